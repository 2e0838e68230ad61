#include "builtinupdatefiles.h"
#include "mlu2file.h"
#include "registerbuiltinupdatefiles.h"

#include <QFile>
#include <QtTest>

namespace {

constexpr qint64 kFirstBlockOffset = 1280;
constexpr int kDeviceDataOffset = 100;
constexpr uint32_t kLargeBlock = 32 * 1024;

uint32_t deviceData(const uint8_t* header)
{
    return header[kDeviceDataOffset] | header[kDeviceDataOffset + 1] << 8 |
           header[kDeviceDataOffset + 2] << 16 | static_cast<uint32_t>(header[kDeviceDataOffset + 3]) << 24;
}

} // namespace

// The seven demo update files that the build makes when no real firmware is given.
class TestSampleFirmwares : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerBuiltInUpdateFiles(); }

    void oneSamplePerDemoModel()
    {
        const QStringList expected{":/firmwares/DEMO-A.ml2", ":/firmwares/DEMO-B.ml2",
                                   ":/firmwares/DEMO-C.ml2", ":/firmwares/DEMO-D.ml2",
                                   ":/firmwares/DEMO-E.ml2", ":/firmwares/DEMO-F.ml2",
                                   ":/firmwares/DEMO-G.ml2"};
        QCOMPARE(marlune::builtInUpdateFiles(), expected);
        const QHash<QString, QString> byModel = marlune::builtInUpdateFilesByModel();
        QCOMPARE(byModel.size(), 7);
        QCOMPARE(byModel.value("DEMO-C"), QStringLiteral(":/firmwares/DEMO-C.ml2"));
        QVERIFY(!byModel.contains("demo-c"));
    }

    void samplesMeetTheirStatedProperties_data()
    {
        QTest::addColumn<QString>("path");
        for (const QString& path : marlune::builtInUpdateFiles()) {
            QTest::newRow(qPrintable(path)) << path;
        }
    }

    void samplesMeetTheirStatedProperties()
    {
        QFETCH(QString, path);
        MLU2File file(path);
        QVERIFY(file.open());
        QCOMPARE(file.modelName() + ".ml2", path.section('/', -1));
        QVERIFY(file.modelName().size() >= 5 && file.modelName().size() <= 8);
        QCOMPARE(file.compatibleHardwareVersions(), QList<uint16_t>{0x0100});
        QCOMPARE(file.compatibleHardwareVersionsText(), QStringLiteral("1.00"));
        QVERIFY(file.isHwCompatible(0x0100));
        QVERIFY(file.blockCount() >= 1 && file.blockCount() <= 3);
        QVERIFY(deviceData(file.header()) != 0);

        qint64 blockBytes = 0;
        for (int i = 0; i < file.blockCount(); ++i) {
            QVERIFY(file.block(i).data);
            blockBytes += file.block(i).length;
        }
        QCOMPARE(QFile(path).size(), kFirstBlockOffset + blockBytes);
        QCOMPARE(file.totalSize(), 256 + blockBytes);
    }

    // A demo update has to last long enough for the progress bar to be seen.
    void oneSampleCarriesALargeBlock()
    {
        MLU2File file(":/firmwares/DEMO-A.ml2");
        QVERIFY(file.open());
        QVERIFY(file.block(0).length >= kLargeBlock);
    }
};

QTEST_GUILESS_MAIN(TestSampleFirmwares)
#include "tst_samplefirmwares.moc"
