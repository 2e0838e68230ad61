#include "mlpphyftdi.h"

#include "mlpusbidentities.h"
#include "mlpusbportpath.h"

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

namespace marlune::MLP {

int32_t MLPPhyFtdi::enumerate()
{
    std::vector<int32_t> listIndices;
    m_serials.clear();
    m_portPaths.clear();
    m_heldPortPaths.clear();
    const std::vector<FT_DEVICE_LIST_INFO_NODE> nodes = listDevices();
    for (std::size_t position = 0; position < nodes.size(); ++position) {
        const FT_DEVICE_LIST_INFO_NODE& node = nodes[position];
        if (MLPUsbIdentities::isBridgeDescription(node.Description)) {
            listIndices.push_back(static_cast<int32_t>(position));
            const auto& serial = node.SerialNumber;
            m_serials.emplace_back(std::begin(serial), std::find(std::begin(serial), std::end(serial), '\0'));
            m_portPaths.push_back(MLPUsbPortPath::ofLocationId(node.LocId));
        } else if ((node.Flags & FT_FLAGS_OPENED) != 0 &&
                   MLPUsbIdentities::isFtdiBridge(static_cast<uint16_t>(node.ID >> 16),
                                                  static_cast<uint16_t>(node.ID & 0xFFFF))) {
            m_heldPortPaths.push_back(MLPUsbPortPath::ofLocationId(node.LocId));
        }
    }
    const auto acceptedCount = static_cast<int32_t>(listIndices.size());
    setListIndices(std::move(listIndices));
    return acceptedCount;
}

std::string MLPPhyFtdi::serialAt(int32_t index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_serials.size()) {
        return std::string();
    }
    return m_serials[static_cast<std::size_t>(index)];
}

std::string MLPPhyFtdi::portPathAt(int32_t index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_portPaths.size()) {
        return std::string();
    }
    return m_portPaths[static_cast<std::size_t>(index)];
}

int32_t MLPPhyFtdi::serialShareCountAt(int32_t index) const
{
    const std::string serial = serialAt(index);
    if (serial.empty()) {
        return 0;
    }
    return static_cast<int32_t>(std::count(m_serials.begin(), m_serials.end(), serial));
}

} // namespace marlune::MLP
