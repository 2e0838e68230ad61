#pragma once

#include "updatefilesignatureverdict.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

// What an update file holds and whether an update could send all of it, read through
// MLU2File like every other user of update files. A file that MLU2File refuses gets a
// reason a person can act on.
class UpdateFileReport
{
public:
    struct Block
    {
        int index = 0;
        qint64 offset = 0;
        uint32_t length = 0;
        bool available = false;
    };

    static UpdateFileReport inspect(const QString& path);

    QString path() const { return m_path; }
    // The header is valid.
    bool isReadable() const { return m_readable; }
    // The header is valid, every block lies wholly inside the file, and no signature beside
    // it shows it is not what a trusted key signed.
    bool isUsable() const { return m_readable && m_problem.isEmpty(); }
    // Why the file cannot be used; empty when it can.
    QString problem() const { return m_problem; }

    QString model() const { return m_model; }
    QString firmwareVersion() const { return m_firmwareVersion; }
    // Who signed it, as a clause: "signed by maker (key …)", "not signed", or why its
    // signature does not hold.
    QString signature() const { return m_signature; }
    QStringList hardwareVersions() const { return m_hardwareVersions; }
    QList<Block> blocks() const { return m_blocks; }
    qint64 updateBytes() const { return m_updateBytes; }
    qint64 fileBytes() const { return m_fileBytes; }

    QJsonObject toJson() const;
    QStringList toText() const;

private:
    QString m_path;
    bool m_readable = false;
    QString m_problem;
    QString m_model;
    QString m_firmwareVersion;
    UpdateFileSignatureVerdict::Kind m_signatureKind = UpdateFileSignatureVerdict::Kind::NoSignature;
    QString m_signature;
    QString m_keyName;
    QString m_keyId;
    QStringList m_hardwareVersions;
    QList<Block> m_blocks;
    qint64 m_updateBytes = 0;
    qint64 m_fileBytes = 0;
};
