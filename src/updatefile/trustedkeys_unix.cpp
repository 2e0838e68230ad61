#include "trustedkeys.h"

#include <QFileInfo>

QString TrustedKeys::administratorsFolder()
{
    return QStringLiteral("/etc/marlune-fwupdate/trusted-keys");
}

bool TrustedKeys::onlyAdministratorsWrite(const QString& path)
{
    // Owned by root, and no one else may write it.
    const QFileInfo entry(path);
    return entry.ownerId() == 0 && !entry.permission(QFileDevice::WriteGroup) &&
           !entry.permission(QFileDevice::WriteOther);
}
