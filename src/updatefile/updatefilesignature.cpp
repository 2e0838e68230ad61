#include "updatefilesignature.h"

#include "minisignbase64.h"
#include "trustedkey.h"

#include <QList>

namespace {

const char kUntrustedCommentPrefix[] = "untrusted comment: ";
const char kTrustedCommentPrefix[] = "trusted comment: ";
constexpr int kAlgorithmBytes = 2;
constexpr int kSignatureLineBytes =
    kAlgorithmBytes + TrustedKey::kIdBytes + UpdateFileSignature::kSignatureBytes;

QByteArray withoutCarriageReturn(const QByteArray& line)
{
    return line.endsWith('\r') ? line.chopped(1) : line;
}

} // namespace

std::optional<UpdateFileSignature> UpdateFileSignature::parse(const QByteArray& text)
{
    if (text.size() > kMaxFileBytes) {
        return std::nullopt;
    }
    QList<QByteArray> lines = text.split('\n');
    while (!lines.isEmpty() && withoutCarriageReturn(lines.constLast()).isEmpty()) {
        lines.removeLast();
    }
    if (lines.size() != 4 || !lines.at(0).startsWith(kUntrustedCommentPrefix) ||
        !lines.at(2).startsWith(kTrustedCommentPrefix)) {
        return std::nullopt;
    }
    const std::optional<QByteArray> signatureLine =
        marlune::decodeMinisignBase64(lines.at(1), kSignatureLineBytes);
    const std::optional<QByteArray> globalSignature =
        marlune::decodeMinisignBase64(lines.at(3), kSignatureBytes);
    if (!signatureLine || !globalSignature) {
        return std::nullopt;
    }
    UpdateFileSignature parsed;
    const QByteArray algorithm = signatureLine->left(kAlgorithmBytes);
    if (algorithm == "ED") {
        parsed.algorithm = Algorithm::Prehashed;
    } else if (algorithm == "Ed") {
        parsed.algorithm = Algorithm::Legacy;
    } else {
        return std::nullopt;
    }
    parsed.keyId = signatureLine->mid(kAlgorithmBytes, TrustedKey::kIdBytes);
    parsed.signature = signatureLine->mid(kAlgorithmBytes + TrustedKey::kIdBytes);
    parsed.trustedComment =
        withoutCarriageReturn(lines.at(2)).mid(static_cast<int>(sizeof kTrustedCommentPrefix) - 1);
    parsed.globalSignature = *globalSignature;
    return parsed;
}
