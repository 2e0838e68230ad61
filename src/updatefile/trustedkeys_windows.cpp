#include "trustedkeys.h"

#include <QDir>

#include <shlobj.h>

QString TrustedKeys::administratorsFolder()
{
    // From the system, not from %ProgramData%: a person can set their own environment to
    // point at a folder they write themselves.
    PWSTR programData = nullptr;
    QString folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &programData))) {
        folder = QDir::fromNativeSeparators(QString::fromWCharArray(programData)) +
                 QStringLiteral("/Marlune/trusted-keys");
    }
    CoTaskMemFree(programData);
    return folder;
}
