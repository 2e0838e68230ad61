#pragma once

#include "mlpdeviceinfonode.h"

#include <QList>
#include <QMetaObject>

#include <functional>

class MLPWorkerThread;
class QObject;

// The worker thread's answers the main window follows: discoveries, selections and a lost
// device, each to the window's slot of that name, and what a selected unit answered. Followed
// while the window's own device is in use; not while a rig's units run on links of their own.
class WorkerThreadAnswers
{
public:
    using SelectionAnswered = std::function<void(bool answered, const MLPDeviceInfoNode& device)>;

    WorkerThreadAnswers(QObject& window, SelectionAnswered selectionAnswered);
    ~WorkerThreadAnswers();
    WorkerThreadAnswers(const WorkerThreadAnswers&) = delete;
    WorkerThreadAnswers& operator=(const WorkerThreadAnswers&) = delete;

    // Once only while following already.
    void follow(MLPWorkerThread& thread);
    void ignore();

private:
    QObject& m_window;
    SelectionAnswered m_selectionAnswered;
    QList<QMetaObject::Connection> m_connections;
};
