#include "interruptnotifier.h"

#include "terminationsignalnotifier.h"

#include <csignal>

InterruptNotifier::InterruptNotifier(QObject* parent) : QObject(parent)
{
    auto* notifier = new TerminationSignalNotifier(this);
    if (!notifier->isActive()) {
        delete notifier;
        return;
    }
    connect(notifier, &TerminationSignalNotifier::terminationRequested, this,
            &InterruptNotifier::interrupted);
    m_wake = notifier;
}

// The notifier, a child, puts the earlier handlers back as it goes.
InterruptNotifier::~InterruptNotifier() = default;

void InterruptNotifier::notifyFromHandler()
{
    TerminationSignalNotifier::notifyFromHandler(SIGINT);
}
