#include "mlu2filewriter.h"
#include "updatefilecompatibility.h"

#include <QTemporaryDir>
#include <QTest>

using marlune::testing::MLU2FileWriter;

Q_DECLARE_METATYPE(UpdateFileCompatibility::Verdict)

class TestUpdateFileCompatibility : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void verdictForTheDevice_data();
    void verdictForTheDevice();
    void missingOrBrokenFilesAreUnreadable_data();
    void missingOrBrokenFilesAreUnreadable();
    void emptyPathIsNoFile();

private:
    QString writeFile(const QString& name, const MLU2FileWriter& writer);
    QTemporaryDir m_directory;
};

void TestUpdateFileCompatibility::initTestCase()
{
    QVERIFY(m_directory.isValid());
}

QString TestUpdateFileCompatibility::writeFile(const QString& name, const MLU2FileWriter& writer)
{
    const QString path = m_directory.filePath(name);
    if (!writer.writeTo(path)) {
        qFatal("cannot write %s", qPrintable(path));
    }
    return path;
}

void TestUpdateFileCompatibility::verdictForTheDevice_data()
{
    QTest::addColumn<QByteArray>("fileModel");
    QTest::addColumn<QVector<uint16_t>>("fileHardwareVersions");
    QTest::addColumn<QString>("deviceModel");
    QTest::addColumn<int>("deviceHwVersion");
    QTest::addColumn<UpdateFileCompatibility::Verdict>("verdict");

    const QVector<uint16_t> versions100And102 = {0x0100, 0x0102};
    QTest::newRow("model and listed version")
        << QByteArray("DEMO-5") << versions100And102 << "DEMO-5" << 0x0102 << UpdateFileCompatibility::Fits;
    QTest::newRow("version not listed") << QByteArray("DEMO-5") << versions100And102 << "DEMO-5" << 0x0101
                                        << UpdateFileCompatibility::HardwareNotListed;
    QTest::newRow("other model") << QByteArray("DEMO-6") << versions100And102 << "DEMO-5" << 0x0100
                                 << UpdateFileCompatibility::OtherModel;
    QTest::newRow("model differs only in case") << QByteArray("demo-5") << versions100And102 << "DEMO-5"
                                                << 0x0100 << UpdateFileCompatibility::OtherModel;
    QTest::newRow("model is a prefix") << QByteArray("DEMO") << versions100And102 << "DEMO-5" << 0x0100
                                       << UpdateFileCompatibility::OtherModel;
    QTest::newRow("other model and version not listed")
        << QByteArray("DEMO-6") << versions100And102 << "DEMO-5" << 0x0200
        << UpdateFileCompatibility::OtherModel;
    // Devices report BCD: 0x0112 is 1.12, which the file stores as 0x010C.
    QTest::newRow("device version in BCD") << QByteArray("DEMO-5") << QVector<uint16_t>{0x010C} << "DEMO-5"
                                           << 0x0112 << UpdateFileCompatibility::Fits;
    QTest::newRow("BCD digits read as binary do not match")
        << QByteArray("DEMO-5") << QVector<uint16_t>{0x0112} << "DEMO-5" << 0x0112
        << UpdateFileCompatibility::HardwareNotListed;
    QTest::newRow("last of eight versions")
        << QByteArray("DEMO-5")
        << QVector<uint16_t>{0x0100, 0x0101, 0x0102, 0x0103, 0x0104, 0x0105, 0x0106, 0x0200} << "DEMO-5"
        << 0x0200 << UpdateFileCompatibility::Fits;
}

void TestUpdateFileCompatibility::verdictForTheDevice()
{
    QFETCH(QByteArray, fileModel);
    QFETCH(QVector<uint16_t>, fileHardwareVersions);
    QFETCH(QString, deviceModel);
    QFETCH(int, deviceHwVersion);
    QFETCH(UpdateFileCompatibility::Verdict, verdict);

    MLU2FileWriter writer;
    writer.setModel(fileModel);
    writer.setFirmwareVersion(0x0107);
    for (const uint16_t version : fileHardwareVersions) {
        writer.addHardwareVersion(version);
    }
    writer.setDeviceData(1);
    writer.addBlock(QByteArray(100, '\x5a'));
    const QString path = writeFile(QStringLiteral("file.ml2"), writer);

    QCOMPARE(UpdateFileCompatibility::check(path, deviceModel, static_cast<uint16_t>(deviceHwVersion)),
             verdict);
}

void TestUpdateFileCompatibility::missingOrBrokenFilesAreUnreadable_data()
{
    QTest::addColumn<QString>("path");

    QTest::newRow("missing") << m_directory.filePath(QStringLiteral("missing.ml2"));
    QTest::newRow("a directory") << m_directory.path();

    MLU2FileWriter fine;
    fine.setModel("DEMO-5");
    fine.addHardwareVersion(0x0100);
    fine.addBlock(QByteArray(10, '\x01'));

    MLU2FileWriter shortHeader = fine;
    shortHeader.truncateTo(255);
    QTest::newRow("255 bytes") << writeFile(QStringLiteral("short.ml2"), shortHeader);

    MLU2FileWriter wrongSignature = fine;
    wrongSignature.setSignature(QByteArray("MLU3", 5));
    QTest::newRow("wrong signature") << writeFile(QStringLiteral("signature.ml2"), wrongSignature);

    MLU2FileWriter noHardware = fine;
    noHardware.setHardwareVersionCount(0);
    QTest::newRow("no hardware version") << writeFile(QStringLiteral("nohardware.ml2"), noHardware);
}

void TestUpdateFileCompatibility::missingOrBrokenFilesAreUnreadable()
{
    QFETCH(QString, path);
    QCOMPARE(UpdateFileCompatibility::check(path, QStringLiteral("DEMO-5"), 0x0100),
             UpdateFileCompatibility::Unreadable);
}

void TestUpdateFileCompatibility::emptyPathIsNoFile()
{
    QCOMPARE(UpdateFileCompatibility::check(QString(), QStringLiteral("DEMO-5"), 0x0100),
             UpdateFileCompatibility::NoFile);
}

QTEST_GUILESS_MAIN(TestUpdateFileCompatibility)
#include "tst_updatefilecompatibility.moc"
