#include "trustedkeys.h"

#include <QDir>

#include <windows.h>

#include <aclapi.h>
#include <shlobj.h>

namespace {

// Whether the file or folder is owned by the Administrators group or the system: what the
// installer creates, and never what a person without administrator rights creates, though
// ProgramData lets anyone create files and folders in it.
bool ownedByAdministrators(const QString& path)
{
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(name.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                              nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    // A descriptor may come without an owner; it is then nobody's.
    const bool administrators = owner && (IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
                                          IsWellKnownSid(owner, WinLocalSystemSid));
    LocalFree(descriptor);
    return administrators;
}

} // namespace

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

bool TrustedKeys::onlyAdministratorsWrite(const QString& path)
{
    return ownedByAdministrators(path);
}
