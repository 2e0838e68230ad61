#include "mlpunitlinks.h"

#include "mlpphyaddress.h"
#include "mlpphymultiusb.h"

#include <optional>

namespace {

std::optional<int32_t> positionOf(const marlune::MLP::MLPPhyMultiUsb& link, int32_t count,
                                  const MLPDeviceInfoNode& unit)
{
    if (!unit.serial.isEmpty()) {
        const std::string serial = unit.serial.toStdString();
        for (int32_t index = 0; index < count; ++index) {
            if (link.linkKindAt(index) == unit.linkKind && link.serialAt(index) == serial) {
                return index;
            }
        }
        return std::nullopt;
    }
    const std::optional<int> index =
        marlune::MLP::MLPPhyAddress::multi().parseIndex(unit.address.toUtf8().toStdString());
    if (!index || *index >= count) {
        return std::nullopt;
    }
    // Only an address to go by (a unit never listed): whatever is there now.
    if (unit.linkKind == marlune::MLP::MLPLinkKind::Unknown) {
        return *index;
    }
    if (link.linkKindAt(*index) != unit.linkKind || !link.serialAt(*index).empty()) {
        return std::nullopt;
    }
    return *index;
}

} // namespace

std::unique_ptr<marlune::MLP::MLPPhy> MLPUnitLinks::openUsb(void*, const MLPDeviceInfoNode& unit,
                                                            MLPDeviceInfoNode& opened)
{
    auto link = std::make_unique<marlune::MLP::MLPPhyMultiUsb>();
    const std::optional<int32_t> position = positionOf(*link, link->enumerate(), unit);
    if (!position) {
        return nullptr;
    }
    link->openIndex(*position);
    if (link->bridgeOpenRefused()) {
        return nullptr;
    }
    opened.address = QString::fromStdString(marlune::MLP::MLPPhyAddress::multi().makeAddress(*position));
    opened.linkKind = link->linkKindAt(*position);
    opened.serial = QString::fromStdString(link->serialAt(*position));
    return link;
}
