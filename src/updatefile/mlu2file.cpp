#include "mlu2file.h"

#include "mlu2reader.h"

#include <QByteArray>

using namespace MLU2Format;

namespace {

// Plain numbers, major in the high byte: 0x0107 reads 1.07.
QString versionText(uint16_t version)
{
    return QString::asprintf("%i.%02i", version >> 8, version & 0xFF);
}

uint8_t fromBcd(uint8_t value)
{
    return static_cast<uint8_t>(10 * (value >> 4) + (value & 0x0F));
}

} // namespace

MLU2File::MLU2File(const QString& path, QObject* parent) : QObject(parent), m_file(path) {}

MLU2File::~MLU2File()
{
    close();
}

bool MLU2File::open()
{
    close();
    m_headerValid = false;
    if (!m_file.open(QIODevice::ReadOnly)) {
        return false;
    }
    return readHeader();
}

bool MLU2File::readHeader()
{
    m_headerValid = false;
    if (m_file.read(reinterpret_cast<char*>(m_headerData), kHeaderSize) != kHeaderSize) {
        return false;
    }
    MLU2Reader reader(this);
    for (uint8_t value : m_headerData) {
        reader.feed(value);
    }
    return m_headerValid;
}

void MLU2File::close()
{
    m_file.close();
    m_blocks.fill(std::nullopt);
}

QString MLU2File::modelName() const
{
    if (!m_headerValid) {
        return {};
    }
    // A name that fills the field without a NUL is cut at the field's end.
    const char* model = reinterpret_cast<const char*>(m_headerData + kModelOffset);
    return QString::fromUtf8(model, static_cast<int>(qstrnlen(model, kModelLength)));
}

QString MLU2File::firmwareVersionText() const
{
    if (!m_headerValid) {
        return {};
    }
    return versionText(readUint16(m_headerData, kFirmwareVersionOffset));
}

QList<uint16_t> MLU2File::compatibleHardwareVersions() const
{
    const int count = qMin<int>(m_headerData[kHardwareVersionCountOffset], kMaxHardwareVersions);
    QList<uint16_t> versions;
    for (int i = 0; i < count; ++i) {
        versions.append(readUint16(m_headerData, kHardwareVersionsOffset + 2 * i));
    }
    return versions;
}

QString MLU2File::compatibleHardwareVersionsText() const
{
    QString text;
    for (uint16_t version : compatibleHardwareVersions()) {
        if (!text.isEmpty()) {
            text += QLatin1Char(',');
        }
        text += versionText(version);
    }
    return text;
}

bool MLU2File::isHwCompatible(uint16_t deviceHwVersion) const
{
    // Devices report BCD, the header holds plain numbers: 0x0112 (1.12) matches 0x010C.
    const uint16_t plainVersion =
        static_cast<uint16_t>(fromBcd(deviceHwVersion >> 8) << 8 | fromBcd(deviceHwVersion & 0xFF));
    return compatibleHardwareVersions().contains(plainVersion);
}

const uint8_t* MLU2File::header() const
{
    return m_headerData;
}

int MLU2File::blockCount() const
{
    const uint8_t count = m_headerData[kBlockCountOffset];
    return m_headerValid && isCountInRange(count, kMaxBlocks) ? count : 0;
}

MLU2Block MLU2File::block(int index)
{
    if (index < 0 || index >= blockCount()) {
        return {};
    }
    std::optional<MLU2Block>& cached = m_blocks[static_cast<std::size_t>(index)];
    if (!cached) {
        cached = mapBlock(index);
    }
    return *cached;
}

qint64 MLU2File::totalSize() const
{
    qint64 size = kHeaderSize;
    for (int i = 0; i < blockCount(); ++i) {
        size += blockLength(i);
    }
    return size;
}

uint32_t MLU2File::blockLength(int index) const
{
    return readUint32(m_headerData, kBlockLengthsOffset + 4 * index);
}

MLU2Block MLU2File::mapBlock(int index)
{
    MLU2Block mapped;
    mapped.length = blockLength(index);
    qint64 offset = kFirstBlockOffset;
    for (int i = 0; i < index; ++i) {
        offset += blockLength(i);
    }
    // Checked here, not left to map(): on Unix a local file maps past its end, and
    // touching those pages kills the process. A zero-byte mapping is no mapping at all.
    const bool insideFile = mapped.length > 0 && offset + mapped.length <= m_file.size();
    if (insideFile) {
        mapped.data = m_file.map(offset, mapped.length);
    }
    return mapped;
}

void MLU2File::onFormatError() {}

void MLU2File::onHeader(const uint8_t*)
{
    m_headerValid = true;
}

void MLU2File::onAuxSection1(const uint8_t*) {}

void MLU2File::onAuxSection2(const uint8_t*) {}

void MLU2File::onBlockBegin(uint8_t, uint32_t) {}

void MLU2File::onBlockByte(uint8_t) {}

void MLU2File::onEnd() {}
