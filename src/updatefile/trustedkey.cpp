#include "trustedkey.h"

#include "minisignbase64.h"

#include <QList>

namespace {

const char kPublicKeyAlgorithm[] = "Ed";
constexpr int kAlgorithmBytes = 2;
constexpr int kPublicKeyFileBytes = kAlgorithmBytes + TrustedKey::kIdBytes + TrustedKey::kPublicKeyBytes;

} // namespace

QString TrustedKey::idText() const
{
    return idText(id);
}

QString TrustedKey::idText(const QByteArray& id)
{
    QByteArray reversed(id.size(), Qt::Uninitialized);
    std::reverse_copy(id.cbegin(), id.cend(), reversed.begin());
    return QString::fromLatin1(reversed.toHex().toUpper());
}

std::optional<TrustedKey> TrustedKey::fromPublicKeyFile(const QByteArray& text, const QString& name)
{
    QList<QByteArray> lines = text.split('\n');
    while (!lines.isEmpty() && lines.constLast().trimmed().isEmpty()) {
        lines.removeLast();
    }
    if (lines.size() != 2 || !lines.at(0).startsWith("untrusted comment: ")) {
        return std::nullopt;
    }
    const std::optional<QByteArray> decoded = marlune::decodeMinisignBase64(lines.at(1), kPublicKeyFileBytes);
    if (!decoded || !decoded->startsWith(kPublicKeyAlgorithm)) {
        return std::nullopt;
    }
    TrustedKey key;
    key.name = name;
    key.id = decoded->mid(kAlgorithmBytes, kIdBytes);
    key.publicKey = decoded->mid(kAlgorithmBytes + kIdBytes);
    return key;
}
