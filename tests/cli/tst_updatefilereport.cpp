#include "minisignsigner.h"
#include "mlu2file.h"
#include "updatefilebuilder.h"
#include "updatefilereport.h"

#include <QtTest>

using marlune::testing::MinisignSigner;
using marlune::testing::MLU2FileWriter;
using marlune::testing::UpdateFileBuilder;

namespace {

MLU2FileWriter goodWriter()
{
    UpdateFileBuilder file;
    file.hardwareVersions = {0x0100, 0x0201};
    file.blocks = {QByteArray(300, 'a'), QByteArray(40, 'b')};
    return file.writer();
}

} // namespace

class TestUpdateFileReport : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_directory;

    QString write(const MLU2FileWriter& writer, const QString& name = QStringLiteral("file.ml2"))
    {
        return UpdateFileBuilder::write(writer, m_directory.filePath(name));
    }

private slots:
    void goodFileShowsItsHeaderAndBlocks()
    {
        const QString path = write(goodWriter());
        const UpdateFileReport report = UpdateFileReport::inspect(path);

        QVERIFY(report.isUsable());
        QVERIFY(report.problem().isEmpty());
        QCOMPARE(report.model(), "DEMO-5");
        QCOMPARE(report.firmwareVersion(), "1.07");
        QCOMPARE(report.hardwareVersions(), (QStringList{"1.00", "2.01"}));
        QCOMPARE(report.blocks().size(), 2);
        QCOMPARE(report.blocks()[0].offset, qint64{1280});
        QCOMPARE(report.blocks()[0].length, 300u);
        QCOMPARE(report.blocks()[1].offset, qint64{1580});
        QCOMPARE(report.blocks()[1].length, 40u);
        QCOMPARE(report.updateBytes(), qint64{256 + 300 + 40});
        QCOMPARE(report.fileBytes(), qint64{1280 + 300 + 40});
    }

    void jsonOfAGoodFile()
    {
        const QString path = write(goodWriter());
        const QJsonObject json = UpdateFileReport::inspect(path).toJson();

        QCOMPARE(json.value("path").toString(), path);
        QCOMPARE(json.value("usable").toBool(), true);
        QVERIFY(!json.contains("problem"));
        QCOMPARE(json.value("model").toString(), "DEMO-5");
        QCOMPARE(json.value("firmwareVersion").toString(), "1.07");
        QCOMPARE(json.value("hardwareVersions").toArray(), (QJsonArray{"1.00", "2.01"}));
        QCOMPARE(json.value("updateBytes").toInt(), 596);
        QCOMPARE(json.value("fileBytes").toInt(), 1620);
        QCOMPARE(json.value("allBlocksAvailable").toBool(), true);
        const QJsonArray blocks = json.value("blocks").toArray();
        QCOMPARE(blocks.size(), 2);
        const QJsonObject second = blocks[1].toObject();
        QCOMPARE(second.value("index").toInt(), 1);
        QCOMPARE(second.value("offset").toInt(), 1580);
        QCOMPARE(second.value("length").toInt(), 40);
        QCOMPARE(second.value("available").toBool(), true);
    }

    // Who signed the file is shown; a signature that does not hold makes it unusable.
    void signatureIsShown_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("usable");
        QTest::addColumn<QString>("signature");
        QTest::addColumn<QString>("signedBy");
        QTest::newRow("signed") << "" << true << "signed by demo (key 68618CD95EDF84EC)"
                                << "demo";
        QTest::newRow("unsigned") << "unsigned" << true << "not signed"
                                  << "";
        QTest::newRow("block changed") << "block" << false << "the file was changed after it was signed"
                                       << "";
        QTest::newRow("signed for another version")
            << "version" << false << "the signature is for DEMO-5 1.08"
            << "";
    }

    void signatureIsShown()
    {
        QFETCH(QString, change);
        QFETCH(bool, usable);
        QFETCH(QString, signature);
        QFETCH(QString, signedBy);
        const QString path = write(goodWriter());
        if (change == "unsigned") {
            MinisignSigner::removeSignature(path);
        } else if (change == "version") {
            MinisignSigner::sign(path, "model=DEMO-5 firmware=1.08");
        } else if (change == "block") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.seek(MLU2FileWriter::kFirstBlockOffset + 7));
            QVERIFY(file.putChar('x'));
        }

        const UpdateFileReport report = UpdateFileReport::inspect(path);
        QCOMPARE(report.isUsable(), usable);
        QCOMPARE(report.signature(), signature);
        QCOMPARE(report.problem(), usable ? QString() : signature);
        QVERIFY(report.toText().contains("  Signature:         " + signature));
        const QJsonObject json = report.toJson().value("signature").toObject();
        QCOMPARE(json.value("trusted").toBool(), !signedBy.isEmpty());
        // null for a file no trusted key signed
        QCOMPARE(json.value("signedBy").isNull(), signedBy.isEmpty());
        QCOMPARE(json.value("signedBy").toString(), signedBy);
    }

    void brokenHeaderGetsAReason_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");

        QTest::newRow("empty") << QByteArray() << "too short: 0 bytes, but the header alone takes 256";
        QTest::newRow("short") << goodWriter().bytes().left(100) << "too short: 100 bytes";
        QByteArray signature = goodWriter().bytes();
        signature[2] = 'X';
        QTest::newRow("signature") << signature << "does not start with the signature MLU2";
        MLU2FileWriter noHardware = goodWriter();
        noHardware.setHardwareVersionCount(0);
        QTest::newRow("no hardware version") << noHardware.bytes() << "lists 0 hardware versions; 1 to 8";
        MLU2FileWriter nineHardware = goodWriter();
        nineHardware.setHardwareVersionCount(9);
        QTest::newRow("nine hardware versions") << nineHardware.bytes() << "lists 9 hardware versions";
        MLU2FileWriter nineBlocks = goodWriter();
        nineBlocks.setBlockCount(9);
        QTest::newRow("nine blocks") << nineBlocks.bytes() << "counts 9 blocks; 1 to 8";
        QByteArray oversized = goodWriter().bytes();
        oversized.resize(static_cast<int>(MLU2File::kMaxUpdateFileBytes) + 1);
        QTest::newRow("larger than any update file")
            << oversized << "too large: 16777217 bytes, but an update file has at most 16777216";
    }

    void brokenHeaderGetsAReason()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        const QString path = m_directory.filePath("broken.ml2");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();

        const UpdateFileReport report = UpdateFileReport::inspect(path);
        QVERIFY(!report.isReadable());
        QVERIFY(!report.isUsable());
        QVERIFY2(report.problem().contains(reason), qPrintable(report.problem()));

        const QJsonObject json = report.toJson();
        QCOMPARE(json.value("usable").toBool(), false);
        QCOMPARE(json.value("problem").toString(), report.problem());
        QVERIFY(!json.contains("model"));
        QVERIFY(!json.contains("blocks"));
        QVERIFY(report.toText().join('\n').contains(report.problem()));
    }

    void missingPathAndFolderAreNamed()
    {
        QVERIFY(UpdateFileReport::inspect(m_directory.filePath("absent.ml2"))
                    .problem()
                    .contains("does not exist"));
        QVERIFY(UpdateFileReport::inspect(QString()).problem().contains("does not exist"));
        QVERIFY(UpdateFileReport::inspect(m_directory.path()).problem().contains("folder"));
    }

    void truncatedFileNamesTheMissingBlock()
    {
        MLU2FileWriter writer = goodWriter();
        writer.truncateTo(1280 + 300 + 10);
        const UpdateFileReport report = UpdateFileReport::inspect(write(writer));

        QVERIFY(report.isReadable());
        QVERIFY(!report.isUsable());
        QCOMPARE(report.blocks()[0].available, true);
        QCOMPARE(report.blocks()[1].available, false);
        QVERIFY2(
            report.problem().contains("block 1 (40 bytes from offset 1580) reaches beyond the end of the "
                                      "file (1590 bytes)"),
            qPrintable(report.problem()));

        const QJsonObject json = report.toJson();
        QCOMPARE(json.value("usable").toBool(), false);
        QCOMPARE(json.value("allBlocksAvailable").toBool(), false);
        QCOMPARE(json.value("blocks").toArray()[1].toObject().value("available").toBool(), false);
        QCOMPARE(json.value("model").toString(), "DEMO-5");
    }

    void emptyBlockIsNamed()
    {
        MLU2FileWriter writer = goodWriter();
        writer.setBlockLength(1, 0);
        const UpdateFileReport report = UpdateFileReport::inspect(write(writer));
        QVERIFY(!report.isUsable());
        QVERIFY2(report.problem().contains("block 1 is empty"), qPrintable(report.problem()));
    }
};

QTEST_GUILESS_MAIN(TestUpdateFileReport)
#include "tst_updatefilereport.moc"
