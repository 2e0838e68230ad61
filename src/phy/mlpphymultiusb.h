#pragma once

#include "mlplinkkind.h"
#include "mlpphy.h"
#include "mlpphyftdi.h"
#include "mlpphyml.h"

#include <cstdint>
#include <string>
#include <vector>

namespace marlune::MLP {

// The link the device requests use: joins the FTDI bridges and the maker-USB devices into one
// numbered list (bridges first) and passes every byte operation on to the member it opened
// last. Each multi-link has its own members and so its own library contexts: one thread uses
// it at a time, and multi-links on other threads meet it only in MLPUsbListingLock.
class MLPPhyMultiUsb : public MLPPhy
{
public:
    // What lastError reports while no member has been chosen.
    static constexpr int32_t kNoMemberError = 1;

    MLPPhyMultiUsb();
    ~MLPPhyMultiUsb() override;

    MLPPhyMultiUsb(const MLPPhyMultiUsb&) = delete;
    MLPPhyMultiUsb& operator=(const MLPPhyMultiUsb&) = delete;

    void open(const std::string& address) override;
    void close() override;
    MLPPhyReadResult readByte() override;
    bool write(const uint8_t* data, uint32_t length) override;
    int32_t lastError() override;
    std::string errorString(int32_t code) override;

    virtual int32_t enumerate();
    virtual void openIndex(int32_t index);
    // Lists only the devices of one kind, the other member's count being 0, so positions
    // differ from enumerate()'s; a maker device with a port path only there, opening no other
    // device. Unknown lists both, as enumerate() does.
    int32_t enumerateKind(MLPLinkKind kind, const std::string& portPath = std::string());

    // The kind of device at a position of the last enumeration; Unknown beyond it or
    // before the first enumeration.
    MLPLinkKind linkKindAt(int32_t index) const;
    // The serial number the device at a position of the last enumeration reported over
    // USB; empty beyond the list.
    std::string serialAt(int32_t index) const;
    // Where the device at a position of the last enumeration sits on the bus ("1-2.3");
    // empty where the library tells no place, and beyond the list.
    std::string portPathAt(int32_t index) const;
    // How many devices of that kind in the last enumeration report that device's serial
    // number, itself included; 0 without one.
    int32_t serialShareCountAt(int32_t index) const;
    // Bridges of ours held open by another program: found so by the last enumeration, or
    // whose open the driver refused at the last openIndex.
    int32_t heldBridgeCount() const;
    // Where the bridges the last enumeration found held sit on the bus.
    const std::vector<std::string>& heldBridgePortPaths() const { return m_ftdi.heldPortPaths(); }
    bool bridgeOpenRefused() const;

    // Why a device of ours could not be opened.
    enum class OpenRefusal
    {
        None,
        Held,   // another program holds it: D2XX refused the bridge, libusb found the interface busy
        Denied, // the system refused this user (libusb: no access)
        Other,  // the open failed otherwise (gone meanwhile, an I/O error)
    };
    // Why the last openIndex left the link closed, or why a maker listing at a port path found
    // the device there but could not read it; None when it opened or nothing was there.
    OpenRefusal openRefusal() const;

private:
    // Declared in this order so the maker-USB member, and with it its libusb context, ends first.
    MLPPhyFtdi m_ftdi;
    MLPPhyMl m_ml;
    MLPPhy* m_current = nullptr;
    int32_t m_ftdiCount = 0;
    int32_t m_mlCount = 0;
    bool m_enumerated = false;
};

} // namespace marlune::MLP
