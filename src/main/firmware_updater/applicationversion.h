#pragma once

#include <QString>

namespace marlune {

// The program's version as the title bar shows it, and the main window's title.

// "V" major "." two-digit minor, a blank and the suffix: V0.28 with a trailing blank
// while the suffix is empty.
QString applicationVersionText();

// "Marlune Firmware Update Tool", a blank and the version text.
QString mainWindowTitle();

} // namespace marlune
