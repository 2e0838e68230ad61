#include "mlu2reader.h"
#include "updatefilebuilder.h"

#include <QtTest>

using marlune::testing::MLU2FileWriter;
using marlune::testing::UpdateFileBuilder;

namespace {

// Writes every callback down as one line, and keeps copies of what the pointers showed.
class RecordingListener : public MLU2ReaderListener
{
public:
    QStringList events;
    QByteArray header;
    QByteArray auxSection1;
    QByteArray auxSection2;
    QByteArray blockBytes;

    void onFormatError() override { events << QStringLiteral("error"); }
    void onHeader(const uint8_t* data) override
    {
        events << QStringLiteral("header");
        header = QByteArray(reinterpret_cast<const char*>(data), MLU2FileWriter::kHeaderSize);
    }
    void onAuxSection1(const uint8_t* data) override
    {
        events << QStringLiteral("aux1");
        auxSection1 = QByteArray(reinterpret_cast<const char*>(data), MLU2FileWriter::kAuxSectionSize);
    }
    void onAuxSection2(const uint8_t* data) override
    {
        events << QStringLiteral("aux2");
        auxSection2 = QByteArray(reinterpret_cast<const char*>(data), MLU2FileWriter::kAuxSectionSize);
    }
    void onBlockBegin(uint8_t index, uint32_t length) override
    {
        events << QStringLiteral("begin %1 %2").arg(index).arg(length);
    }
    void onBlockByte(uint8_t value) override
    {
        events << QStringLiteral("byte");
        blockBytes.append(static_cast<char>(value));
    }
    void onEnd() override { events << QStringLiteral("end"); }
};

void feedAll(MLU2Reader& reader, const QByteArray& bytes)
{
    for (char value : bytes) {
        reader.feed(static_cast<uint8_t>(value));
    }
}

MLU2FileWriter validWriter()
{
    UpdateFileBuilder file;
    file.deviceData = 0x12345678;
    file.blocks = {QByteArray("abc"), QByteArray("z")};
    return file.writer();
}

} // namespace

class TestMLU2Reader : public QObject
{
    Q_OBJECT

private slots:
    void wholeFileIsReportedInStreamOrder()
    {
        MLU2FileWriter writer = validWriter();
        writer.setAuxSection1(MLU2FileWriter::pseudoRandomBytes(1, MLU2FileWriter::kAuxSectionSize));
        writer.setAuxSection2(MLU2FileWriter::pseudoRandomBytes(2, MLU2FileWriter::kAuxSectionSize));
        RecordingListener listener;
        MLU2Reader reader(&listener);
        feedAll(reader, writer.bytes());

        const QStringList expected{"header", "aux1", "aux2",      "begin 0 3", "byte",
                                   "byte",   "byte", "begin 1 1", "byte",      "end"};
        QCOMPARE(listener.events, expected);
        QCOMPARE(listener.header, writer.header());
        QCOMPARE(listener.auxSection1, MLU2FileWriter::pseudoRandomBytes(1, MLU2FileWriter::kAuxSectionSize));
        QCOMPARE(listener.auxSection2, MLU2FileWriter::pseudoRandomBytes(2, MLU2FileWriter::kAuxSectionSize));
        QCOMPARE(listener.blockBytes, QByteArray("abcz"));
    }

    void bytesAfterTheLastBlockAreIgnored()
    {
        MLU2FileWriter writer = validWriter();
        writer.setTrailingBytes(QByteArray(100, 'x'));
        RecordingListener listener;
        MLU2Reader reader(&listener);
        feedAll(reader, writer.bytes());
        QCOMPARE(listener.events.last(), QStringLiteral("end"));
        QCOMPARE(listener.events.count(QStringLiteral("byte")), 4);
    }

    void eachSectionIsReportedAtItsLastByte_data()
    {
        QTest::addColumn<int>("fedBytes");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("255 header bytes") << 255 << QStringList{};
        QTest::newRow("whole header") << 256 << QStringList{"header"};
        QTest::newRow("one byte short of aux1") << 767 << QStringList{"header"};
        QTest::newRow("whole aux1") << 768 << QStringList{"header", "aux1"};
        QTest::newRow("one byte short of aux2") << 1279 << QStringList{"header", "aux1"};
        QTest::newRow("whole aux2") << 1280 << QStringList{"header", "aux1", "aux2"};
        QTest::newRow("first block byte")
            << 1281 << QStringList{"header", "aux1", "aux2", "begin 0 3", "byte"};
    }

    void eachSectionIsReportedAtItsLastByte()
    {
        QFETCH(int, fedBytes);
        QFETCH(QStringList, events);
        RecordingListener listener;
        MLU2Reader reader(&listener);
        feedAll(reader, validWriter().bytes().left(fedBytes));
        QCOMPARE(listener.events, events);
    }

    void eightBlocksAreCutByTheirLengths()
    {
        MLU2FileWriter writer = validWriter();
        writer.setHardwareVersionCount(8);
        for (int i = 2; i < MLU2FileWriter::kMaxEntries; ++i) {
            writer.addBlock(QByteArray(i + 1, static_cast<char>('0' + i)));
        }
        RecordingListener listener;
        MLU2Reader reader(&listener);
        feedAll(reader, writer.bytes());

        QStringList begins;
        for (const QString& event : listener.events) {
            if (event.startsWith(QLatin1String("begin"))) {
                begins << event;
            }
        }
        const QStringList expected{"begin 0 3", "begin 1 1", "begin 2 3", "begin 3 4",
                                   "begin 4 5", "begin 5 6", "begin 6 7", "begin 7 8"};
        QCOMPARE(begins, expected);
        QCOMPARE(listener.events.last(), QStringLiteral("end"));
        QCOMPARE(listener.blockBytes, QByteArray("abcz222333344444555555666666677777777"));
    }

    void headerRulesDecideBetweenHeaderAndFormatError_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("valid");
        QTest::newRow("first letter") << 0 << int('m') << false;
        QTest::newRow("second letter") << 1 << int('X') << false;
        QTest::newRow("third letter") << 2 << int('V') << false;
        QTest::newRow("fourth letter") << 3 << int('1') << false;
        QTest::newRow("terminator 1") << 4 << 1 << false;
        QTest::newRow("hardware count 0") << MLU2FileWriter::kHardwareVersionCountOffset << 0 << false;
        QTest::newRow("hardware count 1") << MLU2FileWriter::kHardwareVersionCountOffset << 1 << true;
        QTest::newRow("hardware count 8") << MLU2FileWriter::kHardwareVersionCountOffset << 8 << true;
        QTest::newRow("hardware count 9") << MLU2FileWriter::kHardwareVersionCountOffset << 9 << false;
        QTest::newRow("hardware count 255") << MLU2FileWriter::kHardwareVersionCountOffset << 255 << false;
        QTest::newRow("block count 0") << MLU2FileWriter::kBlockCountOffset << 0 << false;
        QTest::newRow("block count 1") << MLU2FileWriter::kBlockCountOffset << 1 << true;
        QTest::newRow("block count 8") << MLU2FileWriter::kBlockCountOffset << 8 << true;
        QTest::newRow("block count 9") << MLU2FileWriter::kBlockCountOffset << 9 << false;
        QTest::newRow("padding not checked") << 47 << 0xFF << true;
        QTest::newRow("reserved not checked") << 255 << 0xFF << true;
    }

    void headerRulesDecideBetweenHeaderAndFormatError()
    {
        QFETCH(int, offset);
        QFETCH(int, value);
        QFETCH(bool, valid);
        MLU2FileWriter writer = validWriter();
        writer.setHeaderByte(offset, static_cast<uint8_t>(value));
        RecordingListener listener;
        MLU2Reader reader(&listener);
        feedAll(reader, writer.header());
        QCOMPARE(listener.events, QStringList{valid ? "header" : "error"});
    }

    void nothingFollowsAFormatError()
    {
        // The four letters and then a 1 where the terminating 0 belongs.
        MLU2FileWriter writer = validWriter();
        writer.setHeaderByte(4, 1);
        RecordingListener listener;
        MLU2Reader reader(&listener);
        feedAll(reader, writer.bytes());
        feedAll(reader, validWriter().bytes());
        QCOMPARE(listener.events, QStringList{"error"});
    }

    void blockLengthsComeFromTheHeaderAsFed()
    {
        MLU2FileWriter writer = validWriter();
        writer.setBlockLength(0, 0x01020304);
        RecordingListener listener;
        MLU2Reader reader(&listener);
        feedAll(reader, writer.bytes().left(MLU2FileWriter::kFirstBlockOffset + 1));
        QCOMPARE(listener.events.at(3), QStringLiteral("begin 0 16909060"));
    }
};

QTEST_GUILESS_MAIN(TestMLU2Reader)
#include "tst_mlu2reader.moc"
