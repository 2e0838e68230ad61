#pragma once

#include "mlu2block.h"
#include "mlu2fileproblem.h"
#include "mlu2format.h"
#include "mlu2readerlistener.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

class QFile;

// One update file, opened for one task: reads the whole file into memory once, validates
// the header through MLU2Reader, answers questions about it and hands out the payload blocks
// as read-only views of that copy. What an update checks, hashes and sends is therefore the
// same bytes, whatever happens to the file meanwhile: changed, cut short, or on a USB stick
// pulled out.
class MLU2File : public QObject, public MLU2ReaderListener
{
    Q_OBJECT

public:
    // The largest file open() reads. Update files carry a microcontroller's firmware,
    // kilobytes to a few MiB (the format's eight 32-bit block lengths would allow 32 GiB):
    // 16 MiB is above any such flash, costs a desktop nothing to hold, and would take over
    // ten minutes to write at the bridge's 250 000 baud. A larger file is no update file;
    // it is refused before a byte of it is read.
    static constexpr qint64 kMaxUpdateFileBytes = 16 * 1024 * 1024;

    explicit MLU2File(const QString& path, QObject* parent = nullptr);
    ~MLU2File() override;

    // Reads the file into memory and checks its header; true when it is valid. Opening
    // again reads the file afresh. problem() tells why it failed, or which counted block
    // does not lie in the file: such a file still opens.
    bool open();
    // Reads the header from the bytes open() read.
    virtual bool readHeader();
    // Releases the bytes: blocks handed out earlier must not be used after this.
    void close();

    // The whole file as open() read it, which the blocks are views of; null while closed.
    const QByteArray& content() const { return m_content; }
    // NAME.ml2.minisig beside the file, read by the same open(): none when there is no such
    // file, empty when it could not be read or is too large to be a signature.
    const std::optional<QByteArray>& signatureText() const { return m_signatureText; }

    // The first thing open() found wrong with the file. Kept after close().
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
    // The file's bytes as open() read them; null while closed.

    int blockCount() const;
    // A view of the bytes open() read, valid until close(). A null address means the block
    // is not available: it does not lie wholly inside the file, it has no bytes, or the file
    // is closed. An index outside 0..blockCount()-1 gives an empty block.
    MLU2Block block(int index) const;
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
    // Reads the whole file into m_content; false, with the problem noted, when it cannot.
    bool readContent();
    void readSignature();
    MLU2FileProblem openFailure(const QFile& file) const;
    // Where a counted block lies, with the kind of problem when it does not lie in the file.
    MLU2FileProblem placement(int index) const;

    QString m_path;
    // The file's bytes as open() read them; null while closed.
    QByteArray m_content;
    std::optional<QByteArray> m_signatureText;
    uint8_t m_headerData[MLU2Format::kHeaderSize] = {};
    bool m_headerValid = false;
    MLU2FileProblem m_problem;
    // The header byte being fed to the reader: where a format error lies.
    int m_feedOffset = 0;
};
