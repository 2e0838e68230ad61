#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdint>

// Why an update file cannot be used, with the facts a person needs to act on it. MLU2File
// keeps the first one it finds, so that no caller has to read the file again to guess.
// Only the fields that the kind names are set; the others keep their defaults.
struct MLU2FileProblem
{
    enum class Kind
    {
        None,
        // open() has not been called yet.
        NotOpened,
        // The file cannot be read: no file at the path (or no path at all), a folder, or
        // one the system will not open or read (osReason).
        Missing,
        Folder,
        Unreadable,
        // Fewer than the 256 header bytes (fileSize: the bytes there are).
        TooShort,
        // More bytes (fileSize) than MLU2File::kMaxUpdateFileBytes: no update file, so
        // none of it is read.
        TooLarge,
        // A header byte breaks a rule (headerOffset, headerValue): bytes 0..3 are not "MLU2",
        // byte 4 is not 0, or a count is not 1..8.
        Signature,
        SignatureTerminator,
        HardwareVersionCount,
        BlockCount,
        // A counted block (blockIndex, blockOffset, blockLength) runs past the end of the
        // file (fileSize) or has no bytes. The file still opens: its header is valid.
        BlockOutsideFile,
        EmptyBlock,
    };

    Kind kind = Kind::None;
    QString osReason;
    qint64 fileSize = 0;
    int headerOffset = 0;
    uint8_t headerValue = 0;
    int blockIndex = 0;
    qint64 blockOffset = 0;
    uint32_t blockLength = 0;

    bool isNone() const { return kind == Kind::None; }
    // The header was read and is valid; one of its counted blocks is at fault.
    bool isInBlock() const { return kind == Kind::BlockOutsideFile || kind == Kind::EmptyBlock; }
    bool headerIsValid() const { return isNone() || isInBlock(); }
};
