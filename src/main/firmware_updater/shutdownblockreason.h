#pragma once

class QWidget;

namespace marlune {

// While firmware is being written, tells the system why the program holds up a log-off or
// shut-down: Windows lists the reason beside the program's window and lets the user force
// the end. A desktop session elsewhere keeps no such list (it ends programs by signal), so
// there these do nothing.
void holdShutdown(QWidget* window);
void releaseShutdown(QWidget* window);

} // namespace marlune
