#include "userstatedirectory.h"

#include <QDir>

QString marlune::userStateDirectory()
{
    const QString stateHome = qEnvironmentVariable("XDG_STATE_HOME");
    // Relative paths are to be ignored, as the base-directory rules say.
    if (stateHome.isEmpty() || QDir::isRelativePath(stateHome)) {
        return QDir::homePath() + QStringLiteral("/.local/state");
    }
    return stateHome;
}
