#include "interruptnotifier.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t kStopSignalCount = sizeof kStopSignals / sizeof kStopSignals[0];

// A handler reaches only what is global. It may run on any of the program's threads (the
// worker's, the links', the USB library's), so the write end is a lock-free atomic.
std::atomic<int> wakeWriteEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free atomic");
int wakeReadEnd = -1;
struct sigaction previousActions[kStopSignalCount];

void handleStopSignal(int)
{
    InterruptNotifier::notifyFromHandler();
}

} // namespace

InterruptNotifier::InterruptNotifier(QObject* parent) : QObject(parent)
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    wakeReadEnd = ends[0];
    wakeWriteEnd = ends[1];
    auto* notifier = new QSocketNotifier(wakeReadEnd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (read(wakeReadEnd, bytes, sizeof bytes) > 0) {
        }
        emit interrupted();
    });
    m_wake = notifier;

    struct sigaction action = {};
    action.sa_handler = handleStopSignal;
    sigemptyset(&action.sa_mask);
    // Restarted system calls keep the event loop and the USB library undisturbed.
    action.sa_flags = SA_RESTART;
    for (std::size_t index = 0; index < kStopSignalCount; ++index) {
        sigaction(kStopSignals[index], &action, &previousActions[index]);
    }
}

InterruptNotifier::~InterruptNotifier()
{
    if (!m_wake) {
        return;
    }
    for (std::size_t index = 0; index < kStopSignalCount; ++index) {
        sigaction(kStopSignals[index], &previousActions[index], nullptr);
    }
    delete m_wake;
    close(wakeWriteEnd.exchange(-1));
    close(wakeReadEnd);
    wakeReadEnd = -1;
}

void InterruptNotifier::notifyFromHandler()
{
    const int savedErrno = errno;
    const int writeEnd = wakeWriteEnd;
    if (writeEnd >= 0) {
        const char wake = 1;
        // A full pipe already holds a wake-up; losing this byte loses nothing.
        [[maybe_unused]] const ssize_t written = write(writeEnd, &wake, 1);
    }
    errno = savedErrno;
}
