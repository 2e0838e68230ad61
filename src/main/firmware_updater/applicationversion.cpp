#include "applicationversion.h"

#include <QCoreApplication>

namespace marlune {

namespace {

// Major and minor come from the project's version in the build.
constexpr int kVersionMajor = MARLUNE_VERSION_MAJOR;
constexpr int kVersionMinor = MARLUNE_VERSION_MINOR;
const char* const kVersionSuffix = "";

} // namespace

QString applicationVersionText()
{
    return QString::asprintf("V%i.%02i %s", kVersionMajor, kVersionMinor, kVersionSuffix);
}

QString mainWindowTitle()
{
    // The same translatable text as the title in the main window's form.
    return QCoreApplication::translate("FirmwareUpdateDlg", "Marlune Firmware Update Tool") +
           QStringLiteral(" ") + applicationVersionText();
}

} // namespace marlune
