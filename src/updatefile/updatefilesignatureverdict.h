#pragma once

#include <QString>

// What an update file's signature says of it, with the facts each front end words.
struct UpdateFileSignatureVerdict
{
    enum class Kind
    {
        // No NAME.ml2.minisig beside the file.
        NoSignature,
        // Signed by a trusted key, for the model and firmware version the file's header names.
        Signed,
        // Made by a key that is not trusted: keyId names it.
        UnknownKey,
        // The signature file is not a minisign signature, or cannot be read.
        Malformed,
        // The signature does not hold for the file's bytes: they were changed after signing
        // (or the signature was).
        FileChanged,
        // The signature holds for the bytes, but its trusted comment was changed after signing.
        CommentChanged,
        // A sound signature of a trusted key for another file: signedModel and
        // signedFirmwareVersion say which (empty when its comment names none).
        OtherFile,
    };

    Kind kind = Kind::NoSignature;
    // Signed: the trusted key's name and id; UnknownKey: the id only.
    QString keyName;
    QString keyId;
    // Signed and OtherFile: what the checked trusted comment names.
    QString signedModel;
    QString signedFirmwareVersion;

    // Written without a question: signed by a trusted key for this very file.
    bool trusted() const { return kind == Kind::Signed; }
    // Never written: the signature shows the file is not what was signed.
    bool refused() const
    {
        return kind == Kind::Malformed || kind == Kind::FileChanged || kind == Kind::CommentChanged ||
               kind == Kind::OtherFile;
    }
};
