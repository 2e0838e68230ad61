#include "unitlist.h"

#include "deviceunittext.h"

#include <QComboBox>
#include <QSignalBlocker>

#include <algorithm>

UnitList::UnitList(QComboBox* combo) : m_combo(combo) {}

int UnitList::fill(const QList<MLPDeviceInfoNode>& devices)
{
    int entryToSelect = 0;
    // Filled quietly: the window selects the chosen entry itself, exactly once.
    const QSignalBlocker blocker(m_combo);
    m_combo->clear();
    m_combo->addItems(DeviceUnitText::listEntries(devices));
    for (int index = 0; index < devices.size(); ++index) {
        if (m_unitToKeep && m_unitToKeep->isSameUnit(devices.at(index))) {
            entryToSelect = index;
        }
        if (m_lost && m_lost->isSameUnit(devices.at(index))) {
            m_lost.reset();
        }
    }
    m_unitToKeep.reset();
    m_listed = devices;
    const int selected = devices.isEmpty() ? -1 : entryToSelect;
    m_combo->setCurrentIndex(selected);
    return selected;
}

void UnitList::clear()
{
    m_combo->clear();
    m_listed.clear();
}

bool UnitList::lists(const MLPDeviceInfoNode& unit) const
{
    return std::any_of(m_listed.begin(), m_listed.end(),
                       [&unit](const MLPDeviceInfoNode& listed) { return unit.isSameUnit(listed); });
}

void UnitList::forget()
{
    m_unitToKeep.reset();
    m_lost.reset();
}
