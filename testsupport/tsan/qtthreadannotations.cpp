// Shows ThreadSanitizer how Qt hands data from one thread to another. The distribution's Qt
// is not built with the sanitizer, and its two hand-overs that matter to us run on code the
// sanitizer cannot see: QMutex sits on a futex of its own, and a queued signal travels in
// an event that Qt allocates and fills in the emitting thread and reads in the receiving
// one. Without help every access ordered by either would be reported as a race, and the
// real reports would drown.
//
// Preloaded into the programs of the thread-sanitizer build, this library
//  - takes the place of QMutex::lock, tryLock and unlock and announces each operation as
//    a mutex operation, then hands it on to Qt, and does the same for the unlocking and
//    relocking inside QWaitCondition::wait;
//  - marks a release when a signal is emitted and when Qt wakes a thread's event loop
//    after posting an event to it, and an acquire before a queued call is delivered;
//  - marks a release when a thread calls QThread::quit (the worker thread does as its
//    last act) and an acquire when QThread::wait reports that thread finished, which Qt
//    decides on a flag under its own lock.
// The queued-call ordering is coarser than Qt's real one (any emission orders any later
// queued delivery), so it can hide a race that only a lost wake-up would expose, never
// report one that is not there.
//
// Built without instrumentation and calling the annotations only when the process has the
// sanitizer, it loads harmlessly into any program (such as the shell between ctest and a
// test).

#include <QDeadlineTimer>
#include <QEvent>
#include <QtGlobal>

#include <dlfcn.h>

extern "C" {
void __tsan_acquire(void* address) __attribute__((weak));
void __tsan_release(void* address) __attribute__((weak));
void __tsan_mutex_pre_lock(void* mutex, unsigned flags) __attribute__((weak));
void __tsan_mutex_post_lock(void* mutex, unsigned flags, int recursion) __attribute__((weak));
int __tsan_mutex_pre_unlock(void* mutex, unsigned flags) __attribute__((weak));
void __tsan_mutex_post_unlock(void* mutex, unsigned flags) __attribute__((weak));
}

namespace {

// The sanitizer's flag values. Every QMutex is announced as reentrant: Qt's recursive
// mutexes lock through the same function, and the sanitizer cannot tell them apart.
constexpr unsigned kReentrant = 1u << 1;
constexpr unsigned kTryLock = 1u << 4;
constexpr unsigned kTryLockFailed = 1u << 5;

using LockFunction = void (*)(void* mutex);
using TryLockFunction = bool (*)(void* mutex, int timeoutMs);
using UnlockFunction = void (*)(void* mutex);
using WaitFunction = bool (*)(void* condition, void* mutex, unsigned long timeoutMs);
using WaitUntilFunction = bool (*)(void* condition, void* mutex, QDeadlineTimer deadline);
using ActivateFunction = void (*)(void* sender, const void* metaObject, int signalIndex, void** arguments);
using WakeUpFunction = void (*)(void* context);
using QuitFunction = void (*)(void* thread);
using ThreadWaitFunction = bool (*)(void* thread, unsigned long timeoutMs);
using ThreadWaitUntilFunction = bool (*)(void* thread, QDeadlineTimer deadline);
using RegisterCallbackFunction = bool (*)(QInternal::Callback kind, qInternalCallback callback);

constexpr const char kLockSymbol[] = "_ZN6QMutex4lockEv";
constexpr const char kTryLockSymbol[] = "_ZN6QMutex7tryLockEi";
constexpr const char kUnlockSymbol[] = "_ZN6QMutex6unlockEv";
constexpr const char kWaitSymbol[] = "_ZN14QWaitCondition4waitEP6QMutexm";
constexpr const char kWaitUntilSymbol[] = "_ZN14QWaitCondition4waitEP6QMutex14QDeadlineTimer";
constexpr const char kActivateSymbol[] = "_ZN11QMetaObject8activateEP7QObjectPKS_iPPv";
constexpr const char kWakeUpSymbol[] = "g_main_context_wakeup";
constexpr const char kQuitSymbol[] = "_ZN7QThread4quitEv";
constexpr const char kThreadWaitSymbol[] = "_ZN7QThread4waitEm";
constexpr const char kThreadWaitUntilSymbol[] = "_ZN7QThread4waitE14QDeadlineTimer";
constexpr const char kRegisterCallbackSymbol[] = "_ZN9QInternal16registerCallbackENS_8CallbackEPFbPPvE";

// The one synchronisation object standing for every posted-event list.
char postedEvents;

template <typename Function>
Function nextDefinition(const char* symbol)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, symbol));
}

bool sanitizerPresent()
{
    return __tsan_acquire != nullptr;
}

// Qt's hook before it delivers any event; its arguments are the receiver, the event and
// the result. Returning false lets Qt deliver as usual.
bool beforeDelivery(void** arguments)
{
    const auto* event = static_cast<const QEvent*>(arguments[1]);
    if (event->type() == QEvent::MetaCall) {
        __tsan_acquire(&postedEvents);
    }
    return false;
}

// QWaitCondition::wait gives the mutex up and takes it back inside Qt.
template <typename Wait>
bool waitAnnotated(void* mutex, Wait wait)
{
    if (!sanitizerPresent()) {
        return wait();
    }
    __tsan_mutex_pre_unlock(mutex, 0);
    __tsan_mutex_post_unlock(mutex, 0);
    const bool woken = wait();
    __tsan_mutex_pre_lock(mutex, kReentrant);
    __tsan_mutex_post_lock(mutex, kReentrant, 0);
    return woken;
}

void watchDeliveriesOnce()
{
    static const bool registered = [] {
        const auto registerCallback =
            reinterpret_cast<RegisterCallbackFunction>(dlsym(RTLD_DEFAULT, kRegisterCallbackSymbol));
        return registerCallback != nullptr &&
               registerCallback(QInternal::EventNotifyCallback, &beforeDelivery);
    }();
    Q_UNUSED(registered);
}

} // namespace

// Defined under the libraries' own names; a member function takes its object as the first
// argument, as the C++ ABI passes `this`.
extern "C" void annotatedQMutexLock(void* mutex) __asm__("_ZN6QMutex4lockEv");
extern "C" bool annotatedQMutexTryLock(void* mutex, int timeoutMs) __asm__("_ZN6QMutex7tryLockEi");
extern "C" void annotatedQMutexUnlock(void* mutex) __asm__("_ZN6QMutex6unlockEv");
extern "C" bool annotatedWait(void* condition, void* mutex,
                              unsigned long timeoutMs) __asm__("_ZN14QWaitCondition4waitEP6QMutexm");
extern "C" bool
annotatedWaitUntil(void* condition, void* mutex,
                   QDeadlineTimer deadline) __asm__("_ZN14QWaitCondition4waitEP6QMutex14QDeadlineTimer");
extern "C" void annotatedActivate(void* sender, const void* metaObject, int signalIndex,
                                  void** arguments) __asm__("_ZN11QMetaObject8activateEP7QObjectPKS_iPPv");
extern "C" void g_main_context_wakeup(void* context);
extern "C" void annotatedQuit(void* thread) __asm__("_ZN7QThread4quitEv");
extern "C" bool annotatedThreadWait(void* thread, unsigned long timeoutMs) __asm__("_ZN7QThread4waitEm");
extern "C" bool
annotatedThreadWaitUntil(void* thread, QDeadlineTimer deadline) __asm__("_ZN7QThread4waitE14QDeadlineTimer");

void annotatedQMutexLock(void* mutex)
{
    static const LockFunction lock = nextDefinition<LockFunction>(kLockSymbol);
    if (!sanitizerPresent()) {
        lock(mutex);
        return;
    }
    __tsan_mutex_pre_lock(mutex, kReentrant);
    lock(mutex);
    __tsan_mutex_post_lock(mutex, kReentrant, 0);
}

bool annotatedQMutexTryLock(void* mutex, int timeoutMs)
{
    static const TryLockFunction tryLock = nextDefinition<TryLockFunction>(kTryLockSymbol);
    if (!sanitizerPresent()) {
        return tryLock(mutex, timeoutMs);
    }
    __tsan_mutex_pre_lock(mutex, kReentrant | kTryLock);
    const bool locked = tryLock(mutex, timeoutMs);
    __tsan_mutex_post_lock(mutex, kReentrant | (locked ? kTryLock : kTryLock | kTryLockFailed), 0);
    return locked;
}

void annotatedQMutexUnlock(void* mutex)
{
    static const UnlockFunction unlock = nextDefinition<UnlockFunction>(kUnlockSymbol);
    if (!sanitizerPresent()) {
        unlock(mutex);
        return;
    }
    __tsan_mutex_pre_unlock(mutex, 0);
    unlock(mutex);
    __tsan_mutex_post_unlock(mutex, 0);
}

bool annotatedWait(void* condition, void* mutex, unsigned long timeoutMs)
{
    static const WaitFunction wait = nextDefinition<WaitFunction>(kWaitSymbol);
    return waitAnnotated(mutex, [&] { return wait(condition, mutex, timeoutMs); });
}

bool annotatedWaitUntil(void* condition, void* mutex, QDeadlineTimer deadline)
{
    static const WaitUntilFunction wait = nextDefinition<WaitUntilFunction>(kWaitUntilSymbol);
    return waitAnnotated(mutex, [&] { return wait(condition, mutex, deadline); });
}

void annotatedActivate(void* sender, const void* metaObject, int signalIndex, void** arguments)
{
    static const ActivateFunction activate = nextDefinition<ActivateFunction>(kActivateSymbol);
    if (sanitizerPresent()) {
        watchDeliveriesOnce();
        __tsan_release(&postedEvents);
    }
    activate(sender, metaObject, signalIndex, arguments);
}

void g_main_context_wakeup(void* context)
{
    static const WakeUpFunction wakeUp = nextDefinition<WakeUpFunction>(kWakeUpSymbol);
    if (sanitizerPresent()) {
        __tsan_release(&postedEvents);
    }
    wakeUp(context);
}

void annotatedQuit(void* thread)
{
    static const QuitFunction quit = nextDefinition<QuitFunction>(kQuitSymbol);
    if (sanitizerPresent()) {
        __tsan_release(thread);
    }
    quit(thread);
}

bool annotatedThreadWait(void* thread, unsigned long timeoutMs)
{
    static const ThreadWaitFunction wait = nextDefinition<ThreadWaitFunction>(kThreadWaitSymbol);
    const bool finished = wait(thread, timeoutMs);
    if (finished && sanitizerPresent()) {
        __tsan_acquire(thread);
    }
    return finished;
}

bool annotatedThreadWaitUntil(void* thread, QDeadlineTimer deadline)
{
    static const ThreadWaitUntilFunction wait =
        nextDefinition<ThreadWaitUntilFunction>(kThreadWaitUntilSymbol);
    const bool finished = wait(thread, deadline);
    if (finished && sanitizerPresent()) {
        __tsan_acquire(thread);
    }
    return finished;
}
