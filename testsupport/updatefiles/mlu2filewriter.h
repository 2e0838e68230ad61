#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVector>

#include <cstdint>
#include <optional>

namespace marlune::testing {

// Writes update files byte by byte, well-formed or deliberately broken, for the tests, the
// fuzz corpora and the sample set built into the program. Knows the layout on its own so
// that it checks the reader rather than mirroring it.
//
// The counts and block lengths in the header follow the hardware versions and blocks added,
// unless setHardwareVersionCount, setBlockCount or setBlockLength give other values.
class MLU2FileWriter
{
public:
    static constexpr int kHeaderSize = 256;
    static constexpr int kAuxSectionSize = 512;
    static constexpr int kFirstBlockOffset = kHeaderSize + 2 * kAuxSectionSize;
    static constexpr int kModelOffset = 5;
    static constexpr int kModelFieldLength = 40;
    static constexpr int kHardwareVersionCountOffset = 45;
    static constexpr int kBlockCountOffset = 46;
    static constexpr int kFirmwareVersionOffset = 48;
    static constexpr int kHardwareVersionsOffset = 50;
    static constexpr int kBlockLengthsOffset = 68;
    static constexpr int kDeviceDataOffset = 100;
    static constexpr int kMaxEntries = 8;

    // Five bytes at offset 0; "MLU2" and a 0 unless replaced.
    void setSignature(const QByteArray& signature);
    // Up to 40 bytes, NUL-padded; 40 bytes leave no terminating NUL.
    void setModel(const QByteArray& model);
    void setFirmwareVersion(uint16_t version);
    void addHardwareVersion(uint16_t version);
    void setDeviceData(uint32_t value);
    void addBlock(const QByteArray& content);
    void setAuxSection1(const QByteArray& content);
    void setAuxSection2(const QByteArray& content);

    void setHardwareVersionCount(uint8_t count);
    void setBlockCount(uint8_t count);
    void setBlockLength(int index, uint32_t length);
    // Applied last, over every field.
    void setHeaderByte(int offset, uint8_t value);

    // Bytes after the last block.
    void setTrailingBytes(const QByteArray& bytes);
    // Cuts the file to this many bytes.
    void truncateTo(int size);

    QByteArray header() const;
    QByteArray bytes() const;
    bool writeTo(const QString& path) const;

    // Deterministic filler for sample content: the same seed always gives the same bytes.
    static QByteArray pseudoRandomBytes(uint32_t seed, int length);

private:
    QByteArray m_signature = QByteArray("MLU2", 5);
    QByteArray m_model;
    uint16_t m_firmwareVersion = 0;
    QVector<uint16_t> m_hardwareVersions;
    uint32_t m_deviceData = 0;
    QVector<QByteArray> m_blocks;
    QByteArray m_auxSection1 = QByteArray(kAuxSectionSize, '\0');
    QByteArray m_auxSection2 = QByteArray(kAuxSectionSize, '\0');
    std::optional<uint8_t> m_hardwareVersionCount;
    std::optional<uint8_t> m_blockCount;
    QMap<int, uint32_t> m_blockLengths;
    QMap<int, uint8_t> m_headerBytes;
    QByteArray m_trailingBytes;
    std::optional<int> m_truncatedSize;
};

} // namespace marlune::testing
