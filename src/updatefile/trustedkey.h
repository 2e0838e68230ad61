#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// A public key whose signatures an update file may carry: minisign's Ed25519 key with its
// eight-byte id, and the name shown for it. The name is the key file's name without
// ".pub", chosen by whoever built the key in or put it in the administrators' folder; a
// key file's own "untrusted comment" is never shown, as anyone can change it.
struct TrustedKey
{
    static constexpr int kIdBytes = 8;
    static constexpr int kPublicKeyBytes = 32;

    QString name;
    QByteArray id;
    QByteArray publicKey;

    // The id as minisign prints it: sixteen upper-case hexadecimal digits, read as one
    // little-endian number.
    QString idText() const;

    // A minisign public key file: an untrusted comment line, then the base64 of "Ed", the id
    // and the key. Empty when the text is none.
    static std::optional<TrustedKey> fromPublicKeyFile(const QByteArray& text, const QString& name);
    // The id text of any eight bytes, for a key that is not trusted.
    static QString idText(const QByteArray& id);
};
