#include "terminationhandling.h"
#include "terminationsignalnotifier.h"

#include <QCoreApplication>

std::unique_ptr<QObject> marlune::exitOnTerminationSignals(const std::function<void()>& exit)
{
    auto notifier = std::make_unique<TerminationSignalNotifier>();
    QObject::connect(notifier.get(), &TerminationSignalNotifier::terminationRequested,
                     QCoreApplication::instance(), [exit] { exit(); });
    return notifier;
}
