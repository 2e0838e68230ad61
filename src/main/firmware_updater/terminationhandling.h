#pragma once

#include <QObject>

#include <functional>
#include <memory>

namespace marlune {

// Calls `exit` on the event loop when the system asks the program to terminate by signal
// (log-off and shut-down of a desktop session, Ctrl+C in a terminal); `exit` ends the loop
// once no firmware is being written. Keep the returned object for as long as the loop runs;
// it is empty where the system asks by window message instead (Windows: EndSessionEventFilter).
std::unique_ptr<QObject> exitOnTerminationSignals(const std::function<void()>& exit);

} // namespace marlune
