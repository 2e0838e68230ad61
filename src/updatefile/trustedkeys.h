#pragma once

#include "trustedkey.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The keys an update file's signature is trusted from: those built into the program (the
// resource folder ":/trusted-keys", from the build's MARLUNE_TRUSTED_KEYS) and the minisign
// public key files (*.pub) in a folder only an administrator can write. Read when made; a
// file there that is no public key is passed over.
class TrustedKeys
{
public:
    // The administrators' folder of this system: /etc/marlune-fwupdate/trusted-keys on
    // Linux, %ProgramData%\Marlune\trusted-keys on Windows.
    static QString administratorsFolder();
    static QString builtInKeysDirectory();

    explicit TrustedKeys(const QString& administratorsFolder = TrustedKeys::administratorsFolder());

    // The key with this id; null when none is trusted. A built-in key comes before a folder's.
    const TrustedKey* find(const QByteArray& id) const;
    QList<TrustedKey> keys() const { return m_keys; }

private:
    void addFolder(const QString& folder);

    QList<TrustedKey> m_keys;
};
