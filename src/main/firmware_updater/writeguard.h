#pragma once

class EndSessionEventFilter;
class MLPWorkerThread;
class QWidget;

namespace marlune {

// Keeps a log-off, shut-down or sleep from cutting a firmware write off: while `worker` writes
// to a device, `filter` refuses the session-end query, the system is told why beside `window`,
// and a SleepInhibitor owned by `window` holds. The filter asks the worker until it is given
// another question; clear it before the worker goes.
void guardWritesAgainstSessionEnd(EndSessionEventFilter& filter, MLPWorkerThread& worker, QWidget& window);

} // namespace marlune
