#include "firmwareversion.h"
#include "mlu2file.h"
#include "updatefilebuilder.h"
#include "updatefilecheck.h"
#include "updatefilefolder.h"

#include <QTest>

using marlune::testing::MLU2FileWriter;
using marlune::testing::UpdateFileBuilder;
using marlune::testing::UpdateFileFolder;
using Problem = MLU2FileProblem::Kind;
using Verdict = UpdateFileVerdict::Kind;

Q_DECLARE_METATYPE(MLU2FileProblem::Kind)
Q_DECLARE_METATYPE(UpdateFileVerdict::Kind)
Q_DECLARE_METATYPE(marlune::FirmwareOrder)

namespace {

// DEMO-5, firmware 1.07, hardware 1.00 and 1.02, blocks of 300 and 40 bytes.
MLU2FileWriter demoWriter(const QByteArray& model = "DEMO-5")
{
    UpdateFileBuilder file;
    file.model = model;
    file.hardwareVersions = {0x0100, 0x0102};
    file.blocks = {QByteArray(300, '\x5a'), QByteArray(40, '\xa5')};
    return file.writer();
}

} // namespace

class TestUpdateFileCheck : public QObject
{
    Q_OBJECT

private:
    UpdateFileFolder m_folder;

private slots:
    void initTestCase() { QVERIFY(m_folder.isValid()); }

    void verdictNamesTheFirstFailedRequirement_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("deviceModel");
        QTest::addColumn<int>("deviceHwVersion");
        QTest::addColumn<Verdict>("kind");
        QTest::addColumn<Problem>("problem");
        // The header's facts, present whenever the header could be read.
        QTest::addColumn<QString>("fileModel");

        const QString demo = m_folder.write(demoWriter());
        QTest::newRow("fits") << demo << "DEMO-5" << 0x0102 << Verdict::Fits << Problem::None << "DEMO-5";
        QTest::newRow("no file") << QString() << "DEMO-5" << 0x0100 << Verdict::NoFile << Problem::None << "";
        QTest::newRow("missing file") << m_folder.filePath(QStringLiteral("absent.ml2")) << "DEMO-5" << 0x0100
                                      << Verdict::FileProblem << Problem::Missing << "";
        QTest::newRow("a folder") << m_folder.path() << "DEMO-5" << 0x0100 << Verdict::FileProblem
                                  << Problem::Folder << "";

        MLU2FileWriter shortHeader = demoWriter();
        shortHeader.truncateTo(255);
        QTest::newRow("255 bytes") << m_folder.write(shortHeader) << "DEMO-5" << 0x0100
                                   << Verdict::FileProblem << Problem::TooShort << "";
        const struct
        {
            const char* name;
            int offset;
            uint8_t value;
            Problem problem;
        } headerRules[] = {
            {"signature", 3, '3', Problem::Signature},
            {"signature terminator", 4, 1, Problem::SignatureTerminator},
            {"no hardware version", MLU2FileWriter::kHardwareVersionCountOffset, 0,
             Problem::HardwareVersionCount},
            {"nine blocks", MLU2FileWriter::kBlockCountOffset, 9, Problem::BlockCount},
        };
        for (const auto& rule : headerRules) {
            MLU2FileWriter broken = demoWriter();
            broken.setHeaderByte(rule.offset, rule.value);
            QTest::newRow(rule.name) << m_folder.write(broken) << "DEMO-5" << 0x0100 << Verdict::FileProblem
                                     << rule.problem << "";
        }

        MLU2FileWriter truncated = demoWriter();
        truncated.truncateTo(1280 + 300 + 10);
        const QString truncatedPath = m_folder.write(truncated);
        QTest::newRow("truncated block") << truncatedPath << "DEMO-5" << 0x0100 << Verdict::FileProblem
                                         << Problem::BlockOutsideFile << "DEMO-5";
        MLU2FileWriter emptyBlock = demoWriter();
        emptyBlock.setBlockLength(0, 0);
        QTest::newRow("empty block") << m_folder.write(emptyBlock) << "DEMO-5" << 0x0100
                                     << Verdict::FileProblem << Problem::EmptyBlock << "DEMO-5";

        QTest::newRow("other model") << m_folder.write(demoWriter("DEMO-6")) << "DEMO-5" << 0x0100
                                     << Verdict::OtherModel << Problem::None << "DEMO-6";
        QTest::newRow("model differs only in case")
            << m_folder.write(demoWriter("demo-5")) << "DEMO-5" << 0x0100 << Verdict::OtherModel
            << Problem::None << "demo-5";
        QTest::newRow("model is a prefix") << m_folder.write(demoWriter("DEMO")) << "DEMO-5" << 0x0100
                                           << Verdict::OtherModel << Problem::None << "DEMO";
        QTest::newRow("other model before version")
            << m_folder.write(demoWriter("DEMO-6")) << "DEMO-5" << 0x0200 << Verdict::OtherModel
            << Problem::None << "DEMO-6";
        // What the file is for comes first; the missing block is still told.
        QTest::newRow("other model before truncated block")
            << truncatedPath << "DEMO-6" << 0x0100 << Verdict::OtherModel << Problem::BlockOutsideFile
            << "DEMO-5";
        QTest::newRow("hardware not listed")
            << demo << "DEMO-5" << 0x0101 << Verdict::HardwareNotListed << Problem::None << "DEMO-5";
    }

    // Every entry gives the same verdict: the path, the file the caller opened, and the file
    // alone (which leaves out the device).
    void verdictNamesTheFirstFailedRequirement()
    {
        QFETCH(QString, path);
        QFETCH(QString, deviceModel);
        QFETCH(int, deviceHwVersion);
        QFETCH(Verdict, kind);
        QFETCH(Problem, problem);
        QFETCH(QString, fileModel);
        const auto hwVersion = static_cast<uint16_t>(deviceHwVersion);

        const UpdateFileVerdict verdict = UpdateFileCheck::check(path, deviceModel, hwVersion);
        QCOMPARE(verdict.kind, kind);
        QCOMPARE(verdict.fits(), kind == Verdict::Fits);
        QCOMPARE(verdict.fileProblem.kind, problem);
        QCOMPARE(verdict.fileModel, fileModel);
        QCOMPARE(verdict.deviceModel, deviceModel);
        QCOMPARE(verdict.deviceHwVersion, hwVersion);
        const bool headerRead = !fileModel.isEmpty();
        QCOMPARE(verdict.fileFirmwareVersionText, headerRead ? QStringLiteral("1.07") : QString());
        QCOMPARE(verdict.fileHardwareVersions,
                 headerRead ? (QList<uint16_t>{0x0100, 0x0102}) : QList<uint16_t>());
        QCOMPARE(verdict.fileHardwareVersionsText, headerRead ? QStringLiteral("1.00,1.02") : QString());
        if (path.isEmpty()) {
            return;
        }

        MLU2File file(path);
        file.open();
        QCOMPARE(UpdateFileCheck::check(file, deviceModel, hwVersion).kind, kind);
        const UpdateFileVerdict alone = UpdateFileCheck::checkFile(file);
        QCOMPARE(alone.kind, problem == Problem::None ? Verdict::Fits : Verdict::FileProblem);
        QCOMPARE(alone.fileProblem.kind, problem);
        QCOMPARE(alone.fileModel, fileModel);
        QCOMPARE(alone.deviceModel, QString());
    }

    void unopenedFileIsAProblem()
    {
        MLU2File file(m_folder.write(demoWriter()));
        const UpdateFileVerdict verdict = UpdateFileCheck::checkFile(file);
        QCOMPARE(verdict.kind, Verdict::FileProblem);
        QCOMPARE(verdict.fileProblem.kind, Problem::NotOpened);
    }

    // A file's version is plain numbers (1.12 is 0x010C), a device's BCD (1.12 is 0x0112); a
    // device version with a digit above 9 is no version at all and matches nothing.
    void deviceFirmwareIsComparedAsBcd_data()
    {
        QTest::addColumn<int>("fileVersion");
        QTest::addColumn<int>("deviceVersion");
        QTest::addColumn<marlune::FirmwareOrder>("order");
        using Order = marlune::FirmwareOrder;
        QTest::newRow("same") << 0x010C << 0x0112 << Order::Same;
        QTest::newRow("device minor older") << 0x010C << 0x0111 << Order::DeviceOlder;
        QTest::newRow("device major newer") << 0x010C << 0x0200 << Order::DeviceNewer;
        QTest::newRow("two-digit major") << 0x0A00 << 0x1000 << Order::Same;
        // Read as hexadecimal, 0x1A would be 1.26, or 26 minor as a plain byte: neither is meant.
        QTest::newRow("minor not BCD, file 1.26") << 0x011A << 0x011A << Order::DeviceNotBcd;
        QTest::newRow("minor not BCD, file 1.16") << 0x0110 << 0x011A << Order::DeviceNotBcd;
        QTest::newRow("major not BCD") << 0x0100 << 0x1A00 << Order::DeviceNotBcd;
        QTest::newRow("no answer") << 0x0100 << 0xFFFF << Order::DeviceNotBcd;
    }

    void deviceFirmwareIsComparedAsBcd()
    {
        QFETCH(int, fileVersion);
        QFETCH(int, deviceVersion);
        QFETCH(marlune::FirmwareOrder, order);
        QCOMPARE(marlune::compareFirmware(static_cast<uint16_t>(fileVersion),
                                          static_cast<uint16_t>(deviceVersion)),
                 order);
    }
};

QTEST_GUILESS_MAIN(TestUpdateFileCheck)
#include "tst_updatefilecheck.moc"
