#include "terminationhandling.h"
#include "terminationsignalnotifier.h"

#include <QCoreApplication>

std::unique_ptr<QObject> marlune::exitOnTerminationSignals()
{
    auto notifier = std::make_unique<TerminationSignalNotifier>();
    // exit, not quit: Qt 6's quit first asks the windows to close, and a busy window would
    // refuse; a signal cannot be refused.
    QObject::connect(notifier.get(), &TerminationSignalNotifier::terminationRequested,
                     QCoreApplication::instance(), [] { QCoreApplication::exit(0); });
    return notifier;
}
