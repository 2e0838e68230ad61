#include "mlu2filewriter.h"

#include <QFile>

#include <algorithm>

namespace marlune::testing {

namespace {

constexpr int kSignatureLength = 5;

void putBytes(QByteArray& target, int offset, const QByteArray& source, int fieldLength)
{
    std::copy_n(source.constData(), std::min<int>(source.size(), fieldLength), target.data() + offset);
}

void putUint16(QByteArray& target, int offset, uint16_t value)
{
    target[offset] = static_cast<char>(value & 0xFF);
    target[offset + 1] = static_cast<char>(value >> 8);
}

void putUint32(QByteArray& target, int offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        target[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

QByteArray sectionOfSize(const QByteArray& content, int size)
{
    QByteArray section = content.left(size);
    section.append(QByteArray(size - section.size(), '\0'));
    return section;
}

} // namespace

void MLU2FileWriter::setSignature(const QByteArray& signature)
{
    m_signature = signature;
}

void MLU2FileWriter::setModel(const QByteArray& model)
{
    m_model = model;
}

void MLU2FileWriter::setFirmwareVersion(uint16_t version)
{
    m_firmwareVersion = version;
}

void MLU2FileWriter::addHardwareVersion(uint16_t version)
{
    m_hardwareVersions.append(version);
}

void MLU2FileWriter::setDeviceData(uint32_t value)
{
    m_deviceData = value;
}

void MLU2FileWriter::addBlock(const QByteArray& content)
{
    m_blocks.append(content);
}

void MLU2FileWriter::setAuxSection1(const QByteArray& content)
{
    m_auxSection1 = sectionOfSize(content, kAuxSectionSize);
}

void MLU2FileWriter::setAuxSection2(const QByteArray& content)
{
    m_auxSection2 = sectionOfSize(content, kAuxSectionSize);
}

void MLU2FileWriter::setHardwareVersionCount(uint8_t count)
{
    m_hardwareVersionCount = count;
}

void MLU2FileWriter::setBlockCount(uint8_t count)
{
    m_blockCount = count;
}

void MLU2FileWriter::setBlockLength(int index, uint32_t length)
{
    m_blockLengths.insert(index, length);
}

void MLU2FileWriter::setHeaderByte(int offset, uint8_t value)
{
    m_headerBytes.insert(offset, value);
}

void MLU2FileWriter::setTrailingBytes(const QByteArray& bytes)
{
    m_trailingBytes = bytes;
}

void MLU2FileWriter::truncateTo(int size)
{
    m_truncatedSize = size;
}

QByteArray MLU2FileWriter::header() const
{
    QByteArray header(kHeaderSize, '\0');
    putBytes(header, 0, m_signature, kSignatureLength);
    putBytes(header, kModelOffset, m_model, kModelFieldLength);
    header[kHardwareVersionCountOffset] =
        static_cast<char>(m_hardwareVersionCount.value_or(static_cast<uint8_t>(m_hardwareVersions.size())));
    header[kBlockCountOffset] =
        static_cast<char>(m_blockCount.value_or(static_cast<uint8_t>(m_blocks.size())));
    putUint16(header, kFirmwareVersionOffset, m_firmwareVersion);
    for (int i = 0; i < std::min<int>(m_hardwareVersions.size(), kMaxEntries); ++i) {
        putUint16(header, kHardwareVersionsOffset + 2 * i, m_hardwareVersions[i]);
    }
    for (int i = 0; i < kMaxEntries; ++i) {
        const uint32_t length = i < m_blocks.size() ? static_cast<uint32_t>(m_blocks[i].size()) : 0;
        putUint32(header, kBlockLengthsOffset + 4 * i, m_blockLengths.value(i, length));
    }
    putUint32(header, kDeviceDataOffset, m_deviceData);
    for (auto patch = m_headerBytes.cbegin(); patch != m_headerBytes.cend(); ++patch) {
        header[patch.key()] = static_cast<char>(patch.value());
    }
    return header;
}

QByteArray MLU2FileWriter::bytes() const
{
    QByteArray file = header() + m_auxSection1 + m_auxSection2;
    for (const QByteArray& block : m_blocks) {
        file += block;
    }
    file += m_trailingBytes;
    if (m_truncatedSize) {
        file.truncate(*m_truncatedSize);
    }
    return file;
}

bool MLU2FileWriter::writeTo(const QString& path) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    const QByteArray content = bytes();
    return file.write(content) == content.size() && file.flush();
}

QByteArray MLU2FileWriter::pseudoRandomBytes(uint32_t seed, int length)
{
    // xorshift32 from a state that is never 0.
    uint32_t state = seed * 2654435761u + 0x9E3779B9u;
    if (state == 0) {
        state = 1;
    }
    QByteArray bytes(length, '\0');
    for (char& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

} // namespace marlune::testing
