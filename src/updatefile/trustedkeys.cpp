#include "trustedkeys.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// A public key file is two short lines.
constexpr qint64 kMaxKeyFileBytes = 4096;

} // namespace

QString TrustedKeys::builtInKeysDirectory()
{
    return QStringLiteral(":/trusted-keys");
}

TrustedKeys::TrustedKeys()
{
    addFolder(builtInKeysDirectory(), false);
    addFolder(administratorsFolder(), true);
}

TrustedKeys::TrustedKeys(const QString& folder)
{
    addFolder(builtInKeysDirectory(), false);
    addFolder(folder, false);
}

const TrustedKey* TrustedKeys::find(const QByteArray& id) const
{
    for (const TrustedKey& key : m_keys) {
        if (key.id == id) {
            return &key;
        }
    }
    return nullptr;
}

void TrustedKeys::addFolder(const QString& folder, bool onlyAdministrators)
{
    if (folder.isEmpty() || (onlyAdministrators && !onlyAdministratorsWrite(folder))) {
        return;
    }
    const QDir directory(folder);
    const QFileInfoList entries = directory.entryInfoList({QStringLiteral("*.pub")}, QDir::Files, QDir::Name);
    for (const QFileInfo& entry : entries) {
        QFile file(entry.filePath());
        if (entry.size() > kMaxKeyFileBytes ||
            (onlyAdministrators && !onlyAdministratorsWrite(entry.filePath())) ||
            !file.open(QIODevice::ReadOnly)) {
            continue;
        }
        if (const std::optional<TrustedKey> key =
                TrustedKey::fromPublicKeyFile(file.read(kMaxKeyFileBytes), entry.completeBaseName())) {
            m_keys.append(*key);
        }
    }
}
