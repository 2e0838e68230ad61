#include "mlu2file.h"
#include "updatefilebuilder.h"
#include "updatefilefolder.h"

#include <QtTest>

#include <climits>
#include <cstring>

using marlune::testing::MLU2FileWriter;
using marlune::testing::UpdateFileBuilder;
using marlune::testing::UpdateFileFolder;
using Problem = MLU2FileProblem::Kind;

Q_DECLARE_METATYPE(MLU2FileProblem::Kind)

namespace {

// The example of the file format: three blocks of 1000, 2000 and 256 bytes.
MLU2FileWriter exampleWriter()
{
    UpdateFileBuilder file;
    file.hardwareVersions = {0x0100, 0x0102};
    file.deviceData = 0xCAFE0001;
    file.blocks = {MLU2FileWriter::pseudoRandomBytes(10, 1000), MLU2FileWriter::pseudoRandomBytes(11, 2000),
                   MLU2FileWriter::pseudoRandomBytes(12, 256)};
    return file.writer();
}

QByteArray blockBytes(const MLU2Block& block)
{
    return QByteArray(reinterpret_cast<const char*>(block.data), static_cast<int>(block.length));
}

} // namespace

class TestMLU2File : public QObject
{
    Q_OBJECT

private:
    UpdateFileFolder m_folder;

private slots:
    void initTestCase() { QVERIFY(m_folder.isValid()); }

    void unopenableFileSaysWhy_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<Problem>("problem");
        QTest::newRow("missing") << m_folder.filePath(QStringLiteral("absent.ml2")) << Problem::Missing;
        QTest::newRow("no path") << QString() << Problem::Missing;
        QTest::newRow("a folder") << m_folder.path() << Problem::Folder;
    }

    void unopenableFileSaysWhy()
    {
        QFETCH(QString, path);
        QFETCH(Problem, problem);
        MLU2File file(path);
        QVERIFY(!file.open());
        QCOMPARE(file.problem().kind, problem);
        QCOMPARE(file.modelName(), QString());
        QCOMPARE(file.firmwareVersionText(), QString());
        QCOMPARE(file.blockCount(), 0);
        QCOMPARE(file.totalSize(), qint64(256));
        QCOMPARE(file.block(0).data, nullptr);
    }

    // Whoever may read any file (root, in a container) cannot be refused one.
    void fileTheSystemRefusesSaysWhy()
    {
        const QString path = m_folder.write(exampleWriter().bytes());
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
        QFile probe(path);
        if (probe.open(QIODevice::ReadOnly)) {
            QSKIP("this user reads files without read permission");
        }
        MLU2File file(path);
        QVERIFY(!file.open());
        QCOMPARE(file.problem().kind, Problem::Unreadable);
        QCOMPARE(file.problem().osReason, probe.errorString());
    }

    void headerRulesDecideWhetherTheFileOpens_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("value");
        QTest::addColumn<Problem>("problem");
        const int hardwareCount = MLU2FileWriter::kHardwareVersionCountOffset;
        const int blockCount = MLU2FileWriter::kBlockCountOffset;
        QTest::newRow("as written") << 0 << int('M') << Problem::None;
        QTest::newRow("first letter") << 0 << int('m') << Problem::Signature;
        QTest::newRow("wrong letter") << 2 << int('u') << Problem::Signature;
        QTest::newRow("last letter") << 3 << int('3') << Problem::Signature;
        QTest::newRow("terminator not 0") << 4 << int('!') << Problem::SignatureTerminator;
        QTest::newRow("hardware count 0") << hardwareCount << 0 << Problem::HardwareVersionCount;
        QTest::newRow("hardware count 1") << hardwareCount << 1 << Problem::None;
        QTest::newRow("hardware count 8") << hardwareCount << 8 << Problem::None;
        QTest::newRow("hardware count 9") << hardwareCount << 9 << Problem::HardwareVersionCount;
        QTest::newRow("block count 0") << blockCount << 0 << Problem::BlockCount;
        // One block of 1000 bytes is counted, and it lies in the file.
        QTest::newRow("block count 1") << blockCount << 1 << Problem::None;
        // Eight counted, of which only three have a length: the header is valid, block 3 is empty.
        QTest::newRow("block count 8") << blockCount << 8 << Problem::EmptyBlock;
        QTest::newRow("block count 9") << blockCount << 9 << Problem::BlockCount;
        QTest::newRow("255 counts 255 blocks") << blockCount << 255 << Problem::BlockCount;
    }

    void headerRulesDecideWhetherTheFileOpens()
    {
        QFETCH(int, offset);
        QFETCH(int, value);
        QFETCH(Problem, problem);
        const bool opens = problem == Problem::None || problem == Problem::EmptyBlock;
        MLU2FileWriter writer = exampleWriter();
        writer.setHeaderByte(offset, static_cast<uint8_t>(value));
        MLU2File file(m_folder.write(writer.bytes()));
        QCOMPARE(file.open(), opens);
        QCOMPARE(file.modelName(), opens ? QStringLiteral("DEMO-5") : QString());
        QCOMPARE(file.totalSize() > 256, opens);
        QCOMPARE(file.problem().kind, problem);
        if (!opens) {
            QCOMPARE(file.problem().headerOffset, offset);
            QCOMPARE(file.problem().headerValue, uint8_t(value));
        }
    }

    void shortFilesAreUnreadable_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("empty") << 0;
        QTest::newRow("signature only") << 5;
        QTest::newRow("255 bytes") << 255;
    }

    void shortFilesAreUnreadable()
    {
        QFETCH(int, size);
        MLU2FileWriter writer = exampleWriter();
        writer.truncateTo(size);
        MLU2File file(m_folder.write(writer.bytes()));
        QVERIFY(!file.open());
        QCOMPARE(file.blockCount(), 0);
        QCOMPARE(file.problem().kind, Problem::TooShort);
        QCOMPARE(file.problem().fileSize, qint64(size));
    }

    void exampleHeaderReads()
    {
        const MLU2FileWriter writer = exampleWriter();
        const QByteArray content = writer.bytes();
        QCOMPARE(content.size(), 4536);
        MLU2File file(m_folder.write(content));
        QCOMPARE(file.problem().kind, Problem::NotOpened);
        QVERIFY(file.open());
        QCOMPARE(file.problem().kind, Problem::None);
        QCOMPARE(file.modelName(), QStringLiteral("DEMO-5"));
        QCOMPARE(file.firmwareVersionText(), QStringLiteral("1.07"));
        QCOMPARE(file.compatibleHardwareVersions(), (QList<uint16_t>{0x0100, 0x0102}));
        QCOMPARE(file.compatibleHardwareVersionsText(), QStringLiteral("1.00,1.02"));
        QVERIFY(file.isHwCompatible(0x0102));
        QVERIFY(!file.isHwCompatible(0x0101));
        QCOMPARE(file.blockCount(), 3);
        QCOMPARE(file.totalSize(), qint64(3512));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(file.header()), 256), writer.header());

        const int expectedOffsets[] = {1280, 2280, 4280};
        const uint32_t expectedLengths[] = {1000, 2000, 256};
        for (int i = 0; i < 3; ++i) {
            const MLU2Block block = file.block(i);
            QVERIFY(block.data);
            QCOMPARE(block.length, expectedLengths[i]);
            QCOMPARE(blockBytes(block), content.mid(expectedOffsets[i], static_cast<int>(block.length)));
        }
    }

    void closedFileHandsOutNoBlockUntilReopened()
    {
        MLU2File file(m_folder.write(exampleWriter().bytes()));
        QVERIFY(file.open());
        file.close();
        QCOMPARE(file.block(1).data, nullptr);
        QCOMPARE(file.block(1).length, 2000u);
        QVERIFY(file.open());
        QCOMPARE(file.problem().kind, Problem::None);
        QCOMPARE(blockBytes(file.block(1)), exampleWriter().bytes().mid(2280, 2000));
    }

    void closeKeepsTheHeader()
    {
        MLU2File file(m_folder.write(exampleWriter().bytes()));
        QVERIFY(file.open());
        file.close();
        QCOMPARE(file.modelName(), QStringLiteral("DEMO-5"));
        QCOMPARE(file.blockCount(), 3);
    }

    void openingAgainStartsFromTheHeader()
    {
        MLU2File file(m_folder.write(exampleWriter().bytes()));
        QVERIFY(file.open());
        QVERIFY(file.open());
        QCOMPARE(file.modelName(), QStringLiteral("DEMO-5"));
    }

    void hardwareVersionIsConvertedFromBcd_data()
    {
        QTest::addColumn<int>("entry");
        QTest::addColumn<int>("deviceVersion");
        QTest::addColumn<bool>("compatible");
        QTest::newRow("0x0110 is 1.10") << 0x010A << 0x0110 << true;
        QTest::newRow("0x0110 is not 1.16") << 0x0110 << 0x0110 << false;
        QTest::newRow("0x0112 is 1.12") << 0x010C << 0x0112 << true;
        QTest::newRow("1.00") << 0x0100 << 0x0100 << true;
        QTest::newRow("0x1005 is 10.05") << 0x0A05 << 0x1005 << true;
        QTest::newRow("0x9999 is 99.99") << 0x6363 << 0x9999 << true;
        QTest::newRow("other minor") << 0x0100 << 0x0101 << false;
    }

    void hardwareVersionIsConvertedFromBcd()
    {
        QFETCH(int, entry);
        QFETCH(int, deviceVersion);
        QFETCH(bool, compatible);
        MLU2FileWriter writer;
        writer.setModel("X");
        writer.addHardwareVersion(static_cast<uint16_t>(entry));
        writer.addBlock("b");
        MLU2File file(m_folder.write(writer.bytes()));
        QVERIFY(file.open());
        QCOMPARE(file.isHwCompatible(static_cast<uint16_t>(deviceVersion)), compatible);
    }

    void entriesPastTheCountAreNotCompatible()
    {
        MLU2FileWriter writer = exampleWriter();
        writer.setHardwareVersionCount(1);
        MLU2File file(m_folder.write(writer.bytes()));
        QVERIFY(file.open());
        QVERIFY(file.isHwCompatible(0x0100));
        QVERIFY(!file.isHwCompatible(0x0102));
        QCOMPARE(file.compatibleHardwareVersionsText(), QStringLiteral("1.00"));
    }

    void versionsReadAsText_data()
    {
        QTest::addColumn<int>("firmwareVersion");
        QTest::addColumn<QList<uint16_t>>("hardwareVersions");
        QTest::addColumn<QString>("firmwareText");
        QTest::addColumn<QString>("hardwareText");
        QTest::newRow("1.07") << 0x0107 << QList<uint16_t>{0x0100, 0x0201} << "1.07"
                              << "1.00,2.01";
        QTest::newRow("0.00") << 0x0000 << QList<uint16_t>{0x0100} << "0.00"
                              << "1.00";
        QTest::newRow("10.05") << 0x0A05 << QList<uint16_t>{0x0A05, 0x0063} << "10.05"
                               << "10.05,0.99";
        QTest::newRow("largest") << 0xFFFF << QList<uint16_t>{0xFFFF, 0xFF00, 0x00FF} << "255.255"
                                 << "255.255,255.00,0.255";
        QTest::newRow("eight entries")
            << 0x0100 << QList<uint16_t>{0x0100, 0x0101, 0x0102, 0x0103, 0x0104, 0x0105, 0x0106, 0x0107}
            << "1.00"
            << "1.00,1.01,1.02,1.03,1.04,1.05,1.06,1.07";
    }

    void versionsReadAsText()
    {
        QFETCH(int, firmwareVersion);
        QFETCH(QList<uint16_t>, hardwareVersions);
        QFETCH(QString, firmwareText);
        QFETCH(QString, hardwareText);
        MLU2FileWriter writer;
        writer.setModel("X");
        writer.setFirmwareVersion(static_cast<uint16_t>(firmwareVersion));
        for (uint16_t version : hardwareVersions) {
            writer.addHardwareVersion(version);
        }
        writer.addBlock("b");
        MLU2File file(m_folder.write(writer.bytes()));
        QVERIFY(file.open());
        QCOMPARE(file.firmwareVersionText(), firmwareText);
        QCOMPARE(file.compatibleHardwareVersionsText(), hardwareText);
        QCOMPARE(file.compatibleHardwareVersions(), hardwareVersions);
    }

    void modelNameStopsAtNulOrFieldEnd_data()
    {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QString>("model");
        QTest::newRow("39 characters") << QByteArray(39, 'M') << QString(39, 'M');
        // Without a NUL the name ends with the field, not in the counts behind it.
        QTest::newRow("40 characters, no NUL") << QByteArray(40, 'N') << QString(40, 'N');
        QTest::newRow("text after the NUL") << QByteArray("AB\0CD", 5) << "AB";
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("UTF-8") << QByteArray("Gr\xc3\xbcn") << QString::fromUtf8("Gr\xc3\xbcn");
    }

    void modelNameStopsAtNulOrFieldEnd()
    {
        QFETCH(QByteArray, field);
        QFETCH(QString, model);
        MLU2FileWriter writer = exampleWriter();
        writer.setModel(field);
        MLU2File file(m_folder.write(writer.bytes()));
        QVERIFY(file.open());
        QCOMPARE(file.modelName(), model);
    }

    void truncatedFileOpensWithoutBlocks_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("availableBlocks");
        QTest::addColumn<qint64>("missingBlockOffset");
        QTest::newRow("header only") << 256 << 0 << qint64(1280);
        QTest::newRow("300 bytes") << 300 << 0 << qint64(1280);
        QTest::newRow("aux sections only") << 1280 << 0 << qint64(1280);
        QTest::newRow("first block short by one") << 2279 << 0 << qint64(1280);
        QTest::newRow("first block whole") << 2280 << 1 << qint64(2280);
        QTest::newRow("last block short by one") << 4535 << 2 << qint64(4280);
        QTest::newRow("whole") << 4536 << 3 << qint64(0);
    }

    void truncatedFileOpensWithoutBlocks()
    {
        QFETCH(int, size);
        QFETCH(int, availableBlocks);
        QFETCH(qint64, missingBlockOffset);
        MLU2FileWriter writer = exampleWriter();
        writer.truncateTo(size);
        MLU2File file(m_folder.write(writer.bytes()));
        QVERIFY(file.open());
        // Known from the lengths at open, before any block is asked for.
        const MLU2FileProblem problem = file.problem();
        QCOMPARE(problem.kind, availableBlocks < 3 ? Problem::BlockOutsideFile : Problem::None);
        if (availableBlocks < 3) {
            QCOMPARE(problem.blockIndex, availableBlocks);
            QCOMPARE(problem.blockOffset, missingBlockOffset);
            QCOMPARE(problem.blockLength, file.block(availableBlocks).length);
            QCOMPARE(problem.fileSize, qint64(size));
        }
        QCOMPARE(file.modelName(), QStringLiteral("DEMO-5"));
        QCOMPARE(file.compatibleHardwareVersionsText(), QStringLiteral("1.00,1.02"));
        QCOMPARE(file.blockCount(), 3);
        QCOMPARE(file.totalSize(), qint64(3512));
        const uint32_t lengths[] = {1000, 2000, 256};
        for (int i = 0; i < 3; ++i) {
            const bool available = i < availableBlocks;
            QCOMPARE(file.block(i).data != nullptr, available);
            QCOMPARE(file.block(i).data != nullptr, available);
            QCOMPARE(file.block(i).length, lengths[i]);
        }
    }

    void trailingBytesAreIgnored()
    {
        MLU2FileWriter writer = exampleWriter();
        writer.setTrailingBytes(QByteArray(333, '\xEE'));
        MLU2File file(m_folder.write(writer.bytes()));
        QVERIFY(file.open());
        QCOMPARE(file.totalSize(), qint64(3512));
        QCOMPARE(blockBytes(file.block(2)), MLU2FileWriter::pseudoRandomBytes(12, 256));
    }

    // Offsets and sizes summed in 32 bits would wrap: block 1 behind a block of
    // 2^32 - 1280 bytes would start at offset 0, on the header.
    void hugeLengthsNeitherWrapNorMapOtherBytes_data()
    {
        QTest::addColumn<QVector<uint32_t>>("lengths");
        QTest::addColumn<qint64>("totalSize");
        QTest::newRow("offset wraps to 0")
            << QVector<uint32_t>{0xFFFFFB00u, 256} << qint64(256) + 0xFFFFFB00u + 256;
        QTest::newRow("offset wraps to 1280")
            << QVector<uint32_t>{0x80000000u, 0x80000000u, 1000} << qint64(256) + 0x100000000LL + 1000;
        QTest::newRow("eight largest")
            << QVector<uint32_t>(8, 0xFFFFFFFFu) << qint64(256) + 8 * qint64(0xFFFFFFFFu);
        QTest::newRow("sum is 2^31") << QVector<uint32_t>{0x7FFFFF00u, 1} << qint64(256) + 0x7FFFFF00u + 1;
    }

    void hugeLengthsNeitherWrapNorMapOtherBytes()
    {
        QFETCH(QVector<uint32_t>, lengths);
        QFETCH(qint64, totalSize);
        MLU2FileWriter writer = exampleWriter();
        writer.setBlockCount(static_cast<uint8_t>(lengths.size()));
        for (int i = 0; i < lengths.size(); ++i) {
            writer.setBlockLength(i, lengths[i]);
        }
        MLU2File file(m_folder.write(writer.bytes()));
        QVERIFY(file.open());
        QCOMPARE(file.totalSize(), totalSize);
        for (int i = 0; i < lengths.size(); ++i) {
            QCOMPARE(file.block(i).data, nullptr);
            QCOMPARE(file.block(i).length, lengths[i]);
        }
    }

    void zeroLengthBlockIsNotAvailable()
    {
        MLU2FileWriter writer = exampleWriter();
        writer.setBlockLength(1, 0);
        MLU2File file(m_folder.write(writer.bytes()));
        QVERIFY(file.open());
        QCOMPARE(file.totalSize(), qint64(256 + 1000 + 256));
        QCOMPARE(file.block(1).data, nullptr);
        QCOMPARE(file.block(1).length, 0u);
        QCOMPARE(file.problem().kind, Problem::EmptyBlock);
        QCOMPARE(file.problem().blockIndex, 1);
        QCOMPARE(file.problem().blockOffset, qint64(2280));
        // Block 2 now follows block 0 directly.
        QCOMPARE(blockBytes(file.block(2)), writer.bytes().mid(2280, 256));
    }

    void indexOutsideTheCountGivesAnEmptyBlock_data()
    {
        QTest::addColumn<int>("index");
        QTest::newRow("-1") << -1;
        QTest::newRow("block count") << 3;
        QTest::newRow("past the cache") << 8;
        QTest::newRow("INT_MIN") << INT_MIN;
        QTest::newRow("INT_MAX") << INT_MAX;
    }

    void indexOutsideTheCountGivesAnEmptyBlock()
    {
        QFETCH(int, index);
        MLU2File file(m_folder.write(exampleWriter().bytes()));
        QVERIFY(file.open());
        QCOMPARE(file.block(index).data, nullptr);
        QCOMPARE(file.block(index).length, 0u);
    }

    void invalidHeaderHasNoBlocks()
    {
        MLU2FileWriter writer = exampleWriter();
        writer.setHeaderByte(0, 'X');
        MLU2File file(m_folder.write(writer.bytes()));
        QVERIFY(!file.open());
        QCOMPARE(file.blockCount(), 0);
        QCOMPARE(file.totalSize(), qint64(256));
        QCOMPARE(file.block(0).data, nullptr);
    }
};

QTEST_GUILESS_MAIN(TestMLU2File)
#include "tst_mlu2file.moc"
