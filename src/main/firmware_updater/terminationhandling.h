#pragma once

#include <QObject>

#include <memory>

namespace marlune {

// Ends the event loop when the system asks the program to terminate by signal (log-off and
// shut-down of a desktop session, Ctrl+C in a terminal), as a close would. Keep the returned
// object for as long as the loop runs; it is empty where the system asks by window message
// instead (Windows: EndSessionEventFilter).
std::unique_ptr<QObject> exitOnTerminationSignals();

} // namespace marlune
