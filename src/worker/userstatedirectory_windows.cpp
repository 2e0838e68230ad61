#include "userstatedirectory.h"

#include <QDir>
#include <QStandardPaths>

QString marlune::userStateDirectory()
{
    const QString localAppData = qEnvironmentVariable("LOCALAPPDATA");
    if (!localAppData.isEmpty() && QDir::isAbsolutePath(localAppData)) {
        return QDir::fromNativeSeparators(localAppData);
    }
    // The same folder as the system names it when the variable is missing.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}
