#pragma once

#include <QByteArray>

#include <optional>

// A detached signature in minisign's format, read from NAME.ml2.minisig beside the file:
// an untrusted comment line (never read further: anyone can change it), the base64 of the
// algorithm, the key id and the Ed25519 signature, the trusted comment line, and the
// base64 of the signature over the first signature and the trusted comment together.
// Parsing checks the form only; UpdateFileSignatureCheck decides whether it holds.
struct UpdateFileSignature
{
    // Signature files are a few hundred bytes; a larger one is no signature file.
    static constexpr int kMaxFileBytes = 16 * 1024;
    static constexpr int kSignatureBytes = 64;

    enum class Algorithm
    {
        // "ED": over the BLAKE2b-512 hash of the file, minisign's default.
        Prehashed,
        // "Ed": over the file's bytes themselves (minisign -l).
        Legacy,
    };

    Algorithm algorithm = Algorithm::Prehashed;
    QByteArray keyId;
    QByteArray signature;
    // The text after "trusted comment: ", as signed.
    QByteArray trustedComment;
    QByteArray globalSignature;

    // Empty when the text is not a signature file of that form.
    static std::optional<UpdateFileSignature> parse(const QByteArray& text);
};
