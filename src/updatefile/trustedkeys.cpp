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

TrustedKeys::TrustedKeys(const QString& administratorsFolder)
{
    addFolder(builtInKeysDirectory());
    addFolder(administratorsFolder);
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

void TrustedKeys::addFolder(const QString& folder)
{
    if (folder.isEmpty()) {
        return;
    }
    const QDir directory(folder);
    const QFileInfoList entries = directory.entryInfoList({QStringLiteral("*.pub")}, QDir::Files, QDir::Name);
    for (const QFileInfo& entry : entries) {
        QFile file(entry.filePath());
        if (entry.size() > kMaxKeyFileBytes || !file.open(QIODevice::ReadOnly)) {
            continue;
        }
        if (const std::optional<TrustedKey> key =
                TrustedKey::fromPublicKeyFile(file.read(kMaxKeyFileBytes), entry.completeBaseName())) {
            m_keys.append(*key);
        }
    }
}
