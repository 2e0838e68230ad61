#include "updatefilesignaturecheck.h"

#include "trustedkeys.h"
#include "updatefilesignature.h"

#include <QRegularExpression>

#include <sodium.h>

namespace {

using Kind = UpdateFileSignatureVerdict::Kind;

const unsigned char* bytesOf(const QByteArray& bytes)
{
    return reinterpret_cast<const unsigned char*>(bytes.constData());
}

// The Ed25519 signature over the file: over its BLAKE2b-512 hash for the prehashed
// algorithm, hashed in place so that the file is never copied.
bool signatureHolds(const UpdateFileSignature& signature, const TrustedKey& key, const QByteArray& fileBytes)
{
    if (signature.algorithm == UpdateFileSignature::Algorithm::Legacy) {
        return crypto_sign_verify_detached(bytesOf(signature.signature), bytesOf(fileBytes),
                                           static_cast<unsigned long long>(fileBytes.size()),
                                           bytesOf(key.publicKey)) == 0;
    }
    unsigned char hash[crypto_generichash_BYTES_MAX];
    crypto_generichash(hash, sizeof hash, bytesOf(fileBytes),
                       static_cast<unsigned long long>(fileBytes.size()), nullptr, 0);
    return crypto_sign_verify_detached(bytesOf(signature.signature), hash, sizeof hash,
                                       bytesOf(key.publicKey)) == 0;
}

bool commentHolds(const UpdateFileSignature& signature, const TrustedKey& key)
{
    const QByteArray signedText = signature.signature + signature.trustedComment;
    return crypto_sign_verify_detached(bytesOf(signature.globalSignature), bytesOf(signedText),
                                       static_cast<unsigned long long>(signedText.size()),
                                       bytesOf(key.publicKey)) == 0;
}

} // namespace

UpdateFileSignatureVerdict UpdateFileSignatureCheck::check(const QByteArray& fileBytes,
                                                           const std::optional<QByteArray>& signatureText,
                                                           const QString& model,
                                                           const QString& firmwareVersionText,
                                                           const TrustedKeys& keys)
{
    UpdateFileSignatureVerdict verdict;
    if (!signatureText) {
        return verdict;
    }
    const std::optional<UpdateFileSignature> signature = UpdateFileSignature::parse(*signatureText);
    if (!signature || sodium_init() < 0) {
        verdict.kind = Kind::Malformed;
        return verdict;
    }
    verdict.keyId = TrustedKey::idText(signature->keyId);
    const TrustedKey* key = keys.find(signature->keyId);
    if (!key) {
        verdict.kind = Kind::UnknownKey;
        return verdict;
    }
    if (!signatureHolds(*signature, *key, fileBytes)) {
        verdict.kind = Kind::FileChanged;
        return verdict;
    }
    if (!commentHolds(*signature, *key)) {
        verdict.kind = Kind::CommentChanged;
        return verdict;
    }
    // Read only now that it is known to be the key's own.
    static const QRegularExpression commentForm(QStringLiteral("^model=(.+) firmware=(\\S+)$"));
    const QRegularExpressionMatch named = commentForm.match(QString::fromUtf8(signature->trustedComment));
    verdict.signedModel = named.captured(1);
    verdict.signedFirmwareVersion = named.captured(2);
    if (!named.hasMatch() || verdict.signedModel != model ||
        verdict.signedFirmwareVersion != firmwareVersionText) {
        verdict.kind = Kind::OtherFile;
        return verdict;
    }
    verdict.kind = Kind::Signed;
    verdict.keyName = key->name;
    return verdict;
}
