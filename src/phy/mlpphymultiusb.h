#pragma once

#include "mlplinkkind.h"
#include "mlpphy.h"
#include "mlpphyftdi.h"
#include "mlpphyml.h"

#include <cstdint>
#include <string>

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

    // The kind of device at a position of the last enumeration; Unknown beyond it or
    // before the first enumeration.
    MLPLinkKind linkKindAt(int32_t index) const;
    // The serial number the device at a position of the last enumeration reported over
    // USB; empty beyond the list.
    std::string serialAt(int32_t index) const;
    // Bridges of ours held open by another program: found so by the last enumeration, or
    // whose open the driver refused at the last openIndex.
    int32_t heldBridgeCount() const;
    bool bridgeOpenRefused() const;

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
