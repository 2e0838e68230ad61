#pragma once

#include <QString>

namespace marlune {

// The folder where this user's programs keep state that outlives a run (the update history):
// $XDG_STATE_HOME on Linux, %LOCALAPPDATA% on Windows, with each system's fallback.
QString userStateDirectory();

} // namespace marlune
