#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

// The one window of the program in a user's session. The window claims it at start; a
// second start finds it claimed, hands the running window the file it was started with and
// brings it to the front instead of opening a window that would contend for the same units;
// the command-line tool asks it whether it holds a unit that the tool cannot reach. On Linux
// a name on the session's D-Bus (runningwindow_dbus.cpp), on Windows a named mutex and a
// message-only window (runningwindow_windows.cpp).
class RunningWindow : public QObject
{
    Q_OBJECT

public:
    // Whether the running window holds a unit: by its serial number, or any unit for an
    // empty one.
    using UnitQuery = std::function<bool(const QString& serial)>;

    explicit RunningWindow(QObject* parent = nullptr);
    ~RunningWindow() override;

    // Claims the window for this program; false when another program of this session holds
    // it. Where the session offers no way to tell (no session bus), the claim succeeds.
    bool claim(const UnitQuery& holdsUnit);

    // Brings the running window to the front and hands it `file` (none when empty); false when
    // no window answered.
    static bool activate(const QString& file);
    // Whether a running window holds the unit; false when none runs or answers.
    static bool holdsUnit(const QString& serial);

signals:
    // A second start asked for the window, with the file it was started with (or none).
    void activationRequested(const QString& file);

private:
    struct Handles; // the system's own, in runningwindow_*.cpp
    std::unique_ptr<Handles> m_handles;
};
