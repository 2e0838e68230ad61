#pragma once

#include "mlpdeviceinfonode.h"
#include "unitlist.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

class MLPWorkerThread;
class QComboBox;
class StatusLine;

// The unit the window follows through the worker thread: the device list, the unit chosen in
// it, whether the thread has selected that unit, and the discovery or selection posted and not
// yet answered. What the list shows after a discovery, or a loss, goes to the status line.
class UnitSelection
{
public:
    // `awaitingChanged` runs whenever a discovery or a selection is posted or answered.
    UnitSelection(QComboBox* combo, StatusLine& status, std::function<void()> awaitingChanged);

    const UnitList& units() const { return m_units; }
    // The chosen unit as last reported; without a unit, one with no identity and model "N/A",
    // so that nothing is taken for the same unit later.
    const MLPDeviceInfoNode& unit() const { return m_unit; }
    // The thread has selected the chosen unit and has not lost it since.
    bool isSelected() const { return m_selected; }
    bool isDiscovering() const { return m_discovering; }
    // A discovery or a selection is posted and not yet answered.
    bool awaitsThread() const { return m_discovering || m_selecting; }
    // Whether the window holds the unit with this serial number (any unit for an empty one):
    // the selected unit, or with `allListed` every listed one.
    bool holds(const QString& serial, bool allListed) const;

    // Posts a discovery. Keeping selects the chosen unit, or the one that went silent, again once
    // it is listed; otherwise the list starts afresh with its first entry.
    void discover(MLPWorkerThread& thread, bool keepUnit);
    // The discovery has answered and closed the thread's connection, so nothing is selected
    // now. Fills the list, with `updating`, a unit being written, chosen; returns the entry to
    // select, -1 when nothing is listed.
    int discovered(MLPWorkerThread& thread, const std::optional<MLPDeviceInfoNode>& updating);
    // Posts the selection of a listed entry; a stray index past the list keeps the unit.
    void select(MLPWorkerThread& thread, int index);
    // Posts the chosen unit's selection again, once an update has let go of the thread's device.
    void selectAgain(MLPWorkerThread& thread);
    void selected();
    // What the unit answered now is fresher than the listing (an update changes its firmware);
    // false when the answer is about another unit.
    bool refresh(const MLPDeviceInfoNode& device);
    // The thread has lost its device; the list empties. Returns the unit that was selected.
    std::optional<MLPDeviceInfoNode> lose();
    void clearUnit();

private:
    UnitList m_units;
    StatusLine& m_status;
    std::function<void()> m_awaitingChanged;
    MLPDeviceInfoNode m_unit;
    bool m_selected = false;
    bool m_discovering = false;
    bool m_selecting = false;
};
