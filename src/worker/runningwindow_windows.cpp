#include "runningwindow.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <qt_windows.h>

namespace {

// The mutex says that a window runs in this session, from its first moment; the
// message-only window, made a moment later, is where it is reached.
constexpr const wchar_t* kMutexName = L"Local\\" MARLUNE_WINDOW_NAME;
constexpr const wchar_t* kClassName = L"" MARLUNE_WINDOW_NAME;

// WM_COPYDATA's kinds of message; the data is the file's or the serial number's UTF-16.
constexpr ULONG_PTR kActivate = 1;
constexpr ULONG_PTR kHoldsUnit = 2;

// A window started a moment ago may not have made its message window yet; one that takes
// longer to answer is taken for none.
constexpr int kFindTimeoutMs = 5000;
constexpr int kFindIntervalMs = 100;
constexpr UINT kAnswerTimeoutMs = 3000;

HWND findWindow(int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (HWND window = FindWindowExW(HWND_MESSAGE, nullptr, kClassName, nullptr)) {
            return window;
        }
        if (waited.elapsed() >= timeoutMs) {
            return nullptr;
        }
        QThread::msleep(kFindIntervalMs);
    }
}

bool send(HWND window, ULONG_PTR kind, const QString& text)
{
    COPYDATASTRUCT data = {};
    data.dwData = kind;
    data.cbData = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    data.lpData = const_cast<ushort*>(text.utf16());
    DWORD_PTR answer = 0;
    const LRESULT sent = SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                                             SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &answer);
    return sent != 0 && answer != 0;
}

QString textOf(const COPYDATASTRUCT& data)
{
    return QString::fromWCharArray(static_cast<const wchar_t*>(data.lpData),
                                   static_cast<int>(data.cbData / sizeof(wchar_t)));
}

} // namespace

struct RunningWindow::Handles
{
    RunningWindow* owner = nullptr;
    UnitQuery holdsUnit;
    HANDLE mutex = nullptr;
    HWND messageWindow = nullptr;

    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* handles = reinterpret_cast<Handles*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message != WM_COPYDATA || !handles) {
            return DefWindowProcW(window, message, wParam, lParam);
        }
        const auto& data = *reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (data.dwData == kActivate) {
            // Answered at once; the window comes forward once the sender has its answer.
            const QString file = textOf(data);
            QMetaObject::invokeMethod(
                handles->owner, [owner = handles->owner, file] { emit owner->activationRequested(file); },
                Qt::QueuedConnection);
            return TRUE;
        }
        if (data.dwData == kHoldsUnit) {
            return handles->holdsUnit(textOf(data)) ? TRUE : FALSE;
        }
        return FALSE;
    }

    ~Handles()
    {
        if (messageWindow) {
            DestroyWindow(messageWindow);
        }
        if (mutex) {
            CloseHandle(mutex);
        }
    }
};

RunningWindow::RunningWindow(QObject* parent) : QObject(parent), m_handles(std::make_unique<Handles>())
{
    m_handles->owner = this;
}

RunningWindow::~RunningWindow() = default;

bool RunningWindow::claim(const UnitQuery& holdsUnit)
{
    m_handles->mutex = CreateMutexW(nullptr, FALSE, kMutexName);
    if (m_handles->mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(m_handles->mutex);
        m_handles->mutex = nullptr;
        return false;
    }
    m_handles->holdsUnit = holdsUnit;
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = &Handles::procedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kClassName;
    RegisterClassW(&windowClass);
    m_handles->messageWindow =
        CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    if (m_handles->messageWindow) {
        SetWindowLongPtrW(m_handles->messageWindow, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(m_handles.get()));
    }
    return true;
}

bool RunningWindow::activate(const QString& file)
{
    HWND window = findWindow(kFindTimeoutMs);
    if (!window) {
        return false;
    }
    // Windows lets the program the user just started hand the foreground on, and the running
    // window may take it only so.
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    AllowSetForegroundWindow(process);
    return send(window, kActivate, file);
}

bool RunningWindow::holdsUnit(const QString& serial)
{
    HWND window = findWindow(0);
    return window && send(window, kHoldsUnit, serial);
}
