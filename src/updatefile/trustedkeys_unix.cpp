#include "trustedkeys.h"

QString TrustedKeys::administratorsFolder()
{
    return QStringLiteral("/etc/marlune-fwupdate/trusted-keys");
}
