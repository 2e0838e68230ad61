#include "mlpunitlinks.h"

#include "mlpphyaddress.h"
#include "mlpphymultiusb.h"

#include <algorithm>
#include <optional>

namespace {

using marlune::MLP::MLPLinkKind;
using marlune::MLP::MLPPhyMultiUsb;

// Whether something other than a position names the unit: then only its own kind is listed,
// and positions, which that listing shifts, are never used.
bool namedBeyondPosition(const MLPDeviceInfoNode& unit)
{
    return unit.linkKind != MLPLinkKind::Unknown && (unit.serialIsOwn() || !unit.portPath.isEmpty());
}

std::optional<int32_t> findNamed(const MLPPhyMultiUsb& link, int32_t count, const MLPDeviceInfoNode& unit)
{
    for (int32_t index = 0; index < count; ++index) {
        // Without an address, so that a position can never stand in for the identity.
        if (unit.isSameUnit(MLPUnitLinks::listedAt(link, index, QString()))) {
            return index;
        }
    }
    return std::nullopt;
}

std::optional<int32_t> findAtAddress(const MLPPhyMultiUsb& link, int32_t count, const MLPDeviceInfoNode& unit)
{
    const std::optional<int> index =
        marlune::MLP::MLPPhyAddress::multi().parseIndex(unit.address.toUtf8().toStdString());
    if (!index || *index < 0 || *index >= count) {
        return std::nullopt;
    }
    // Only an address to go by (a unit never listed): whatever is there now.
    if (unit.linkKind == MLPLinkKind::Unknown ||
        unit.isSameUnit(MLPUnitLinks::listedAt(link, *index, unit.address))) {
        return *index;
    }
    return std::nullopt;
}

MLPUnitLinks::Problem problemOf(MLPPhyMultiUsb::OpenRefusal refusal)
{
    switch (refusal) {
    case MLPPhyMultiUsb::OpenRefusal::None:
        return MLPUnitLinks::Problem::None;
    case MLPPhyMultiUsb::OpenRefusal::Held:
        return MLPUnitLinks::Problem::Held;
    case MLPPhyMultiUsb::OpenRefusal::Denied:
        return MLPUnitLinks::Problem::NotAccessible;
    case MLPPhyMultiUsb::OpenRefusal::Other:
        break;
    }
    return MLPUnitLinks::Problem::NotAttached;
}

// Why a unit that was not found has no link.
MLPUnitLinks::Problem problemOfMissing(const MLPPhyMultiUsb& link, const MLPDeviceInfoNode& unit)
{
    // A maker device found at the unit's port path that could not be read.
    const MLPUnitLinks::Problem refused = problemOf(link.openRefusal());
    if (refused != MLPUnitLinks::Problem::None) {
        return refused;
    }
    // The driver lists a bridge another program holds without its strings, but at its place.
    const std::vector<std::string>& held = link.heldBridgePortPaths();
    if (unit.linkKind == MLPLinkKind::FtdiBridge && !unit.portPath.isEmpty() &&
        std::find(held.begin(), held.end(), unit.portPath.toStdString()) != held.end()) {
        return MLPUnitLinks::Problem::Held;
    }
    return MLPUnitLinks::Problem::NotAttached;
}

} // namespace

MLPDeviceInfoNode MLPUnitLinks::listedAt(const MLPPhyMultiUsb& link, int32_t index, const QString& address)
{
    MLPDeviceInfoNode listed;
    listed.address = address;
    listed.linkKind = link.linkKindAt(index);
    listed.serial = QString::fromStdString(link.serialAt(index));
    listed.portPath = QString::fromStdString(link.portPathAt(index));
    listed.serialShareCount = link.serialShareCountAt(index);
    return listed;
}

MLPUnitLinks::Opening MLPUnitLinks::openUsb(void*, const MLPDeviceInfoNode& unit)
{
    Opening opening;
    auto link = std::make_unique<MLPPhyMultiUsb>();
    std::optional<int32_t> position;
    if (namedBeyondPosition(unit)) {
        // A maker unit is looked for at its port path first, opening no other device.
        const std::string portPath =
            unit.linkKind == MLPLinkKind::MakerUsb ? unit.portPath.toStdString() : "";
        position = findNamed(*link, link->enumerateKind(unit.linkKind, portPath), unit);
        // Not there, and not because it cannot be opened there: with a serial number of its
        // own it may have come back on another port.
        if (!position && !portPath.empty() && unit.serialIsOwn() &&
            link->openRefusal() == MLPPhyMultiUsb::OpenRefusal::None) {
            position = findNamed(*link, link->enumerateKind(unit.linkKind), unit);
        }
    } else {
        position = findAtAddress(*link, link->enumerate(), unit);
    }
    if (!position) {
        opening.problem = problemOfMissing(*link, unit);
        return opening;
    }
    link->openIndex(*position);
    if (link->openRefusal() != MLPPhyMultiUsb::OpenRefusal::None) {
        opening.problem = problemOf(link->openRefusal());
        return opening;
    }
    opening.where = listedAt(*link, *position, unit.address);
    opening.problem = Problem::None;
    opening.link = std::move(link);
    return opening;
}
