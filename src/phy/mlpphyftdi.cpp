#include "mlpphyftdi.h"

#include "mlpusbidentities.h"

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

namespace marlune::MLP {

int32_t MLPPhyFtdi::enumerate()
{
    std::vector<int32_t> listIndices;
    m_serials.clear();
    m_heldBridges = 0;
    const std::vector<FT_DEVICE_LIST_INFO_NODE> nodes = listDevices();
    for (std::size_t position = 0; position < nodes.size(); ++position) {
        if (MLPUsbIdentities::isBridgeDescription(nodes[position].Description)) {
            listIndices.push_back(static_cast<int32_t>(position));
            const auto& serial = nodes[position].SerialNumber;
            m_serials.emplace_back(std::begin(serial), std::find(std::begin(serial), std::end(serial), '\0'));
        } else if ((nodes[position].Flags & FT_FLAGS_OPENED) != 0 &&
                   MLPUsbIdentities::isFtdiBridge(static_cast<uint16_t>(nodes[position].ID >> 16),
                                                  static_cast<uint16_t>(nodes[position].ID & 0xFFFF))) {
            ++m_heldBridges;
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

} // namespace marlune::MLP
