#include "workerthreadanswers.h"

#include "mlpworkerthread.h"

#include <utility>

WorkerThreadAnswers::WorkerThreadAnswers(QObject& window, SelectionAnswered selectionAnswered)
    : m_window(window), m_selectionAnswered(std::move(selectionAnswered))
{}

WorkerThreadAnswers::~WorkerThreadAnswers()
{
    ignore();
}

void WorkerThreadAnswers::follow(MLPWorkerThread& thread)
{
    if (!m_connections.isEmpty()) {
        return;
    }
    m_connections = {
        QObject::connect(&thread, SIGNAL(deviceDiscoverFinsihed()), &m_window, SLOT(devicesDiscovered())),
        QObject::connect(&thread, SIGNAL(deviceSelectionFinished(uint16_t, uint16_t)), &m_window,
                         SLOT(deviceSelected(uint16_t, uint16_t))),
        QObject::connect(&thread, SIGNAL(lostConnection()), &m_window, SLOT(onConnectionLost())),
        QObject::connect(&thread, &MLPWorkerThread::deviceSelectionAnswered, &m_window,
                         [this](bool answered, const MLPDeviceInfoNode& device) {
                             m_selectionAnswered(answered, device);
                         })};
}

void WorkerThreadAnswers::ignore()
{
    for (const QMetaObject::Connection& connection : std::exchange(m_connections, {})) {
        QObject::disconnect(connection);
    }
}
