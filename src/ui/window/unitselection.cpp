#include "unitselection.h"

#include "devicelisttext.h"
#include "mlpworkerthread.h"
#include "statusline.h"

#include <algorithm>
#include <utility>

UnitSelection::UnitSelection(QComboBox* combo, StatusLine& status, std::function<void()> awaitingChanged)
    : m_units(combo), m_status(status), m_awaitingChanged(std::move(awaitingChanged))
{
    clearUnit();
}

bool UnitSelection::holds(const QString& serial, bool allListed) const
{
    if (allListed) {
        const QList<MLPDeviceInfoNode> units = m_units.listed();
        return std::any_of(units.begin(), units.end(), [&serial](const MLPDeviceInfoNode& unit) {
            return serial.isEmpty() || unit.serial == serial;
        });
    }
    return m_selected && (serial.isEmpty() || m_unit.serial == serial);
}

void UnitSelection::discover(MLPWorkerThread& thread, bool keepUnit)
{
    if (keepUnit) {
        m_units.keep(m_selected ? std::optional(m_unit) : m_units.lost());
    } else {
        m_units.forget();
    }
    m_discovering = true;
    // The controls are told first: what Update All offers while the list is read again is
    // what it offered before.
    m_awaitingChanged();
    m_units.clear();
    thread.postDiscover();
}

int UnitSelection::discovered(MLPWorkerThread& thread, const std::optional<MLPDeviceInfoNode>& updating)
{
    m_selected = false;
    clearUnit();
    // A selection posted before the discovery has run or was replaced by it; either way no
    // answer to it is awaited any more.
    m_discovering = false;
    m_selecting = false;
    m_awaitingChanged();
    if (updating) {
        // The update looks for its unit again: that unit stays the chosen one.
        m_units.keep(updating);
    }
    const QList<MLPDeviceInfoNode> devices = thread.discoveredDevices();
    const int entryToSelect = m_units.fill(devices);
    m_status.setDeviceState(DeviceListText::afterDiscovery(devices, thread.missingDevices(), m_units.lost()));
    return entryToSelect;
}

void UnitSelection::select(MLPWorkerThread& thread, int index)
{
    m_selecting = true;
    m_awaitingChanged();
    thread.selectDevice(index);
    m_unit = m_units.listed().value(index, m_unit);
}

void UnitSelection::selectAgain(MLPWorkerThread& thread)
{
    if (m_selected) {
        m_selecting = true;
        thread.postSelect(m_unit);
    }
}

void UnitSelection::selected()
{
    m_selected = true;
    m_selecting = false;
    m_awaitingChanged();
}

bool UnitSelection::refresh(const MLPDeviceInfoNode& device)
{
    if (!device.isSameUnit(m_unit)) {
        return false;
    }
    m_unit = device;
    return true;
}

std::optional<MLPDeviceInfoNode> UnitSelection::lose()
{
    std::optional<MLPDeviceInfoNode> lost;
    if (m_selected) {
        lost = m_unit;
        m_units.setLost(m_unit);
    }
    m_units.clear();
    m_selected = false;
    clearUnit();
    return lost;
}

void UnitSelection::clearUnit()
{
    m_unit = MLPDeviceInfoNode();
    m_unit.model = QStringLiteral("N/A");
}
