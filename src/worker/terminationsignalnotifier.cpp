#include "terminationsignalnotifier.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The handler can reach only what is global; written before the handlers are installed
// and cleared before the pipe closes. The handler may run on any of the program's threads
// (the worker thread, Qt's and the USB libraries' own), so a volatile flag is not enough:
// a lock-free atomic is both safe in a signal handler and ordered across threads.
std::atomic<int> signalPipeWriteEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free atomic");

} // namespace

TerminationSignalNotifier::TerminationSignalNotifier(QObject* parent) : QObject(parent)
{
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    m_pipeReadEnd = pipeEnds[0];
    m_pipeWriteEnd = pipeEnds[1];
    signalPipeWriteEnd = m_pipeWriteEnd;

    m_readNotifier = new QSocketNotifier(m_pipeReadEnd, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this,
            &TerminationSignalNotifier::readPendingSignals);

    struct sigaction action = {};
    action.sa_handler = &TerminationSignalNotifier::notifyFromHandler;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls elsewhere in the program (USB transfers, the event loop)
    // resume instead of failing with EINTR.
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, &m_previousTermAction);
    sigaction(SIGHUP, &action, &m_previousHangUpAction);
    sigaction(SIGINT, &action, &m_previousInterruptAction);
}

TerminationSignalNotifier::~TerminationSignalNotifier()
{
    if (!isActive()) {
        return;
    }
    sigaction(SIGTERM, &m_previousTermAction, nullptr);
    sigaction(SIGHUP, &m_previousHangUpAction, nullptr);
    sigaction(SIGINT, &m_previousInterruptAction, nullptr);
    signalPipeWriteEnd = -1;
    delete m_readNotifier;
    close(m_pipeReadEnd);
    close(m_pipeWriteEnd);
}

bool TerminationSignalNotifier::isActive() const
{
    return m_pipeReadEnd >= 0;
}

void TerminationSignalNotifier::notifyFromHandler(int signalNumber)
{
    const int savedErrno = errno;
    const int writeEnd = signalPipeWriteEnd;
    if (writeEnd >= 0) {
        const unsigned char signalByte = static_cast<unsigned char>(signalNumber);
        // A full pipe already holds a wake-up; losing this byte loses nothing.
        [[maybe_unused]] const ssize_t written = write(writeEnd, &signalByte, 1);
    }
    errno = savedErrno;
}

void TerminationSignalNotifier::readPendingSignals()
{
    unsigned char signalBytes[16];
    ssize_t received = 0;
    while ((received = read(m_pipeReadEnd, signalBytes, sizeof signalBytes)) > 0) {
        for (ssize_t index = 0; index < received; ++index) {
            emit terminationRequested(signalBytes[index]);
        }
    }
}
