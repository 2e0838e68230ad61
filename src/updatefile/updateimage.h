#pragma once

#include "updatefileverdict.h"

#include <QByteArray>
#include <QString>

#include <memory>

class MLU2File;
class TrustedKeys;

// One update file as a run writes it: read from disk, checked and hashed once, then shared
// read-only by every unit of the run, each written from these very bytes whatever happens to
// the file meanwhile (replaced, cut short, or on a USB stick pulled out). A later run reads
// the file again. Copies are cheap and share the bytes; nothing changes them after read(), so
// unit threads may read them side by side.
class UpdateImage
{
public:
    // No file at all: check() says NoFile.
    UpdateImage() = default;
    // Reads the file at path once, with its signature beside it, checked against keys; a file
    // that cannot be used still gives an image, whose check() says why.
    static UpdateImage read(const QString& path);
    static UpdateImage read(const QString& path, const TrustedKeys& keys);

    bool isNull() const { return !m_data; }
    QString path() const;
    // The file's bytes as read.
    QByteArray bytes() const;
    // The bytes parsed: header and blocks, for the transfer. Only for an image whose check()
    // has no file problem.
    const MLU2File& file() const;
    // The file alone, as UpdateFileCheck::checkFile judges it: Fits, FileProblem or
    // SignatureRefused, with the signature's verdict.
    UpdateFileVerdict check() const;
    bool isUsable() const { return check().fits(); }
    // The firmware the file brings, as its header reads ("1.07"); empty when it has no valid header.
    QString firmwareVersionText() const;
    // SHA-256 (hexadecimal) of what an update sends: the header, then the counted blocks.
    // Empty when the file cannot be used.
    QString sentSha256() const;

private:
    struct Data;
    std::shared_ptr<const Data> m_data;
};
