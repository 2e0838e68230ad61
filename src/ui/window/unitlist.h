#pragma once

#include "mlpdeviceinfonode.h"

#include <QList>

#include <optional>

class QComboBox;

// The window's device list: the discovered units in its combo box, the unit a discovery
// should select again, and a unit that stopped answering, remembered until a discovery
// finds it again so the window can say it is missing.
class UnitList
{
public:
    explicit UnitList(QComboBox* combo);

    // The next fill selects this unit again when it is listed, else the first entry.
    void keep(const std::optional<MLPDeviceInfoNode>& unit) { m_unitToKeep = unit; }
    // Fills the box quietly from a discovery and selects the entry to choose; returns its
    // index, or -1 when the list is empty.
    int fill(const QList<MLPDeviceInfoNode>& devices);
    void clear();
    // Whether the box lists the unit now.
    bool lists(const MLPDeviceInfoNode& unit) const;
    QList<MLPDeviceInfoNode> listed() const { return m_listed; }

    void setLost(const MLPDeviceInfoNode& unit) { m_lost = unit; }
    std::optional<MLPDeviceInfoNode> lost() const { return m_lost; }
    // Asked for afresh: nothing is kept or missed any more.
    void forget();

private:
    QComboBox* m_combo;
    QList<MLPDeviceInfoNode> m_listed;
    std::optional<MLPDeviceInfoNode> m_unitToKeep;
    std::optional<MLPDeviceInfoNode> m_lost;
};
