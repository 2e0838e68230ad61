#pragma once

#include <QApplication>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

// Answers the modal dialogs a test provokes, so that no test waits for a person: polls for
// the active modal widget and hands each new one to the handler, which must close it.
// Counts the dialogs it has seen.
class ModalDialogWatcher : public QObject
{
public:
    using Handler = std::function<void(QWidget* dialog)>;

    static constexpr int kPollIntervalMs = 5;

    explicit ModalDialogWatcher(Handler handler) : handler(std::move(handler))
    {
        connect(&pollTimer, &QTimer::timeout, this, &ModalDialogWatcher::poll);
        pollTimer.start(kPollIntervalMs);
    }

    int seenCount() const { return seen; }

private:
    void poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == lastHandled) {
            return;
        }
        lastHandled = modal;
        ++seen;
        handler(modal);
    }

    Handler handler;
    QTimer pollTimer;
    QPointer<QWidget> lastHandled;
    int seen = 0;
};
