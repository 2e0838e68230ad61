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

    explicit ModalDialogWatcher(Handler handler) : m_handler(std::move(handler))
    {
        connect(&m_pollTimer, &QTimer::timeout, this, &ModalDialogWatcher::poll);
        m_pollTimer.start(kPollIntervalMs);
    }

    int seenCount() const { return m_seen; }

private:
    void poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == m_lastHandled) {
            return;
        }
        m_lastHandled = modal;
        ++m_seen;
        m_handler(modal);
    }

    Handler m_handler;
    QTimer m_pollTimer;
    QPointer<QWidget> m_lastHandled;
    int m_seen = 0;
};
