#pragma once

#include "mlpphyftdid2xx.h"

#include <cstdint>
#include <string>
#include <vector>

namespace marlune::MLP {

// The FTDI link of the program: accepts the bridges that describe themselves as one of the
// maker's two DMX interfaces (MLPUsbIdentities).
class MLPPhyFtdi : public MLPPhyFtdiD2xx
{
public:
    int32_t enumerate() override;

    // The serial number of the bridge at a position of the last enumeration; empty beyond it.
    std::string serialAt(int32_t index) const;
    // Where that bridge sits on the bus ("1-2.3", MLPUsbPortPath); empty where the driver
    // gives no location, and beyond the list.
    std::string portPathAt(int32_t index) const;
    // How many accepted bridges report that bridge's serial number, itself included; 0
    // without a serial number, and beyond the list.
    int32_t serialShareCountAt(int32_t index) const;
    // Bridges of our USB ids that the last enumeration found open in another program: their
    // description cannot be read, so they cannot be accepted, nor told from others' bridges.
    int32_t heldBridgeCount() const { return static_cast<int32_t>(m_heldPortPaths.size()); }
    // Where those bridges sit on the bus, one entry each (empty where the driver gives none).
    const std::vector<std::string>& heldPortPaths() const { return m_heldPortPaths; }

private:
    std::vector<std::string> m_serials;
    std::vector<std::string> m_portPaths;
    std::vector<std::string> m_heldPortPaths;
};

} // namespace marlune::MLP
