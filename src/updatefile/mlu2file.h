#pragma once

#include "mlu2block.h"
#include "mlu2fileproblem.h"
#include "mlu2format.h"
#include "mlu2readerlistener.h"

#include <QFile>
#include <QList>
#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

// One update file, opened for one task: validates the header through MLU2Reader, answers
// questions about it and hands out the payload blocks as read-only mappings of the file
// (of the resource data, for a built-in file). Blocks are never copied.
class MLU2File : public QObject, public MLU2ReaderListener
{
    Q_OBJECT

public:
    explicit MLU2File(const QString& path, QObject* parent = nullptr);
    ~MLU2File() override;

    // Opens read-only and reads the header; true when it is valid. Opening again starts
    // afresh from the start of the file. problem() tells why it failed, or which counted
    // block does not lie in the file: such a file still opens.
    bool open();
    virtual bool readHeader();
    // Blocks handed out earlier must not be used after this; after the next open() they
    // are mapped afresh.
    void close();

    // The first thing found wrong with the file: by open(), or by block() when the system
    // would not map a block. Kept after close().
    MLU2FileProblem problem() const;

    // Empty until an open() has found a valid header.
    QString modelName() const;
    QString firmwareVersionText() const;

    // These read the header as stored; they mean something once open() returned true.
    QList<uint16_t> compatibleHardwareVersions() const;
    QString compatibleHardwareVersionsText() const;
    // deviceHwVersion is BCD, as devices report it.
    bool isHwCompatible(uint16_t deviceHwVersion) const;
    // The same rule over versions read before: whether a device's BCD hardware version is
    // among a file's hardware versions (plain numbers, major in the high byte).
    static bool listsHardwareVersion(const QList<uint16_t>& fileHardwareVersions, uint16_t deviceHwVersion);
    const uint8_t* header() const;

    int blockCount() const;
    // Mapped on first use and cached while the file stays open. A null address means the
    // block is not available: it does not lie wholly inside the file, it has no bytes, or
    // the file is closed. An index outside 0..blockCount()-1 gives an empty block.
    MLU2Block block(int index);
    // Where a counted block starts in the file: behind the header, the auxiliary sections
    // and the blocks before it.
    qint64 blockOffset(int index) const;
    // Bytes an update sends: the header and the counted blocks. Eight 32-bit lengths can
    // add up past any 32-bit number.
    qint64 totalSize() const;

private:
    void onFormatError() override;
    void onHeader(const uint8_t* header) override;
    void onAuxSection1(const uint8_t* section) override;
    void onAuxSection2(const uint8_t* section) override;
    void onBlockBegin(uint8_t index, uint32_t length) override;
    void onBlockByte(uint8_t value) override;
    void onEnd() override;

    uint32_t blockLength(int index) const;
    MLU2FileProblem openFailure() const;
    // Where a counted block lies, with the kind of problem when it does not lie in the file.
    MLU2FileProblem placement(int index) const;
    MLU2Block mapBlock(int index);

    std::array<std::optional<MLU2Block>, MLU2Format::kMaxBlocks> m_blocks;
    uint8_t m_headerData[MLU2Format::kHeaderSize] = {};
    QFile m_file;
    bool m_headerValid = false;
    MLU2FileProblem m_problem;
    // The header byte being fed to the reader: where a format error lies.
    int m_feedOffset = 0;
};
