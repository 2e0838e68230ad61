#include "updatefilereport.h"

#include "mlu2file.h"
#include "mlu2format.h"
#include "mlu2reader.h"
#include "mlu2readerlistener.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>

namespace {

// Feeds a header through the reader and notes how many bytes it had taken when it found a
// format error: the position names the rule that was broken.
class FormatErrorLocator : public MLU2ReaderListener
{
public:
    // The number of bytes fed up to and including the offending one; 0 if the header is valid.
    int locate(const QByteArray& header)
    {
        MLU2Reader reader(this);
        for (int offset = 0; offset < header.size() && m_errorAt == 0; ++offset) {
            m_fed = offset + 1;
            reader.feed(static_cast<uint8_t>(header.at(offset)));
        }
        return m_errorAt;
    }

private:
    void onFormatError() override { m_errorAt = m_fed; }
    void onHeader(const uint8_t*) override {}
    void onAuxSection1(const uint8_t*) override {}
    void onAuxSection2(const uint8_t*) override {}
    void onBlockBegin(uint8_t, uint32_t) override {}
    void onBlockByte(uint8_t) override {}
    void onEnd() override {}

    int m_fed = 0;
    int m_errorAt = 0;
};

QString headerProblem(const QByteArray& header)
{
    const int errorAt = FormatErrorLocator().locate(header);
    const int offset = errorAt - 1;
    if (errorAt == 0) {
        return QStringLiteral("its header is not valid");
    }
    if (offset < MLU2Format::kSignatureLength) {
        return QStringLiteral("it is not an update file: it does not start with the signature MLU2");
    }
    const auto count = static_cast<uint8_t>(header.at(offset));
    if (offset == MLU2Format::kHardwareVersionCountOffset) {
        return QStringLiteral("its header lists %1 hardware versions; 1 to %2 are allowed")
            .arg(count)
            .arg(MLU2Format::kMaxHardwareVersions);
    }
    if (offset == MLU2Format::kBlockCountOffset) {
        return QStringLiteral("its header counts %1 blocks; 1 to %2 are allowed")
            .arg(count)
            .arg(MLU2Format::kMaxBlocks);
    }
    return QStringLiteral("its header breaks the format at byte %1").arg(offset);
}

// Why MLU2File would not open the file, in words.
QString openProblem(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists()) {
        return QStringLiteral("the file does not exist");
    }
    if (info.isDir()) {
        return QStringLiteral("it is a folder, not a file");
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QStringLiteral("it cannot be read: %1").arg(file.errorString());
    }
    const QByteArray header = file.read(MLU2Format::kHeaderSize);
    if (header.size() < MLU2Format::kHeaderSize) {
        return QStringLiteral("it is too short: %1 bytes, but the header alone takes %2")
            .arg(header.size())
            .arg(MLU2Format::kHeaderSize);
    }
    return headerProblem(header);
}

} // namespace

UpdateFileReport UpdateFileReport::inspect(const QString& path)
{
    UpdateFileReport report;
    report.m_path = path;
    report.m_fileBytes = QFileInfo(path).size();

    MLU2File file(path);
    if (!file.open()) {
        report.m_problem = openProblem(path);
        return report;
    }
    report.m_readable = true;
    report.m_model = file.modelName();
    report.m_firmwareVersion = file.firmwareVersionText();
    if (!file.compatibleHardwareVersions().isEmpty()) {
        report.m_hardwareVersions = file.compatibleHardwareVersionsText().split(QLatin1Char(','));
    }
    report.m_updateBytes = file.totalSize();

    qint64 offset = MLU2Format::kFirstBlockOffset;
    for (int index = 0; index < file.blockCount(); ++index) {
        const MLU2Block mapped = file.block(index);
        Block block;
        block.index = index;
        block.offset = offset;
        block.length = mapped.length;
        block.available = mapped.data != nullptr;
        report.m_blocks.append(block);
        offset += mapped.length;
        if (!block.available && report.m_problem.isEmpty()) {
            report.m_problem =
                block.length == 0
                    ? QStringLiteral("block %1 is empty").arg(index)
                    : QStringLiteral("block %1 (%2 bytes from offset %3) reaches beyond the end of the file "
                                     "(%4 bytes): the file is truncated")
                          .arg(index)
                          .arg(block.length)
                          .arg(block.offset)
                          .arg(report.m_fileBytes);
        }
    }
    file.close();
    return report;
}

QJsonObject UpdateFileReport::toJson() const
{
    QJsonObject object;
    object.insert(QStringLiteral("path"), m_path);
    object.insert(QStringLiteral("usable"), isUsable());
    if (!m_problem.isEmpty()) {
        object.insert(QStringLiteral("problem"), m_problem);
    }
    if (!m_readable) {
        return object;
    }
    object.insert(QStringLiteral("model"), m_model);
    object.insert(QStringLiteral("firmwareVersion"), m_firmwareVersion);
    object.insert(QStringLiteral("hardwareVersions"), QJsonArray::fromStringList(m_hardwareVersions));
    QJsonArray blocks;
    bool allAvailable = true;
    for (const Block& block : m_blocks) {
        QJsonObject entry;
        entry.insert(QStringLiteral("index"), block.index);
        entry.insert(QStringLiteral("offset"), block.offset);
        entry.insert(QStringLiteral("length"), static_cast<qint64>(block.length));
        entry.insert(QStringLiteral("available"), block.available);
        blocks.append(entry);
        allAvailable = allAvailable && block.available;
    }
    object.insert(QStringLiteral("blocks"), blocks);
    object.insert(QStringLiteral("allBlocksAvailable"), allAvailable);
    object.insert(QStringLiteral("updateBytes"), m_updateBytes);
    object.insert(QStringLiteral("fileBytes"), m_fileBytes);
    return object;
}

QStringList UpdateFileReport::toText() const
{
    QStringList lines;
    lines << m_path;
    if (!m_readable) {
        lines << QStringLiteral("  Unusable: %1.").arg(m_problem);
        return lines;
    }
    lines << QStringLiteral("  Model:             %1").arg(m_model);
    lines << QStringLiteral("  Firmware version:  %1").arg(m_firmwareVersion);
    lines << QStringLiteral("  Hardware versions: %1").arg(m_hardwareVersions.join(QStringLiteral(", ")));
    for (const Block& block : m_blocks) {
        lines << QStringLiteral("  Block %1:           %2 bytes from offset %3%4")
                     .arg(block.index)
                     .arg(block.length)
                     .arg(block.offset)
                     .arg(block.available ? QString() : QStringLiteral(", missing"));
    }
    lines << QStringLiteral("  Update sends:      %1 bytes (header and blocks)").arg(m_updateBytes);
    lines << (isUsable() ? QStringLiteral("  Every block is available.")
                         : QStringLiteral("  Unusable: %1.").arg(m_problem));
    return lines;
}
