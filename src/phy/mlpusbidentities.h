#pragma once

#include "mlplinkkind.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace marlune::MLP {

// The USB devices this tool drives, in one place: the links find devices with it, the
// command-line access probe names the ones it cannot open, and the build generates the udev
// rules that grant users access from the same table (src/phy/CMakeLists.txt reads the rows
// of kIdentities below, so keep each row on one line in this form).
class MLPUsbIdentities
{
public:
    struct Identity
    {
        uint16_t vendorId;
        uint16_t productId;
        MLPLinkKind linkKind;
    };

    // The maker's own USB interface, and the single-channel FTDI bridges (FT232R/FT245R,
    // FT232H, FT-X): D2XX lists every channel of a multi-channel chip as a device of its
    // own, which the libftdi provider does not imitate.
    static constexpr std::array<Identity, 6> kIdentities = {{
        {0x16D0, 0x0B23, MLPLinkKind::MakerUsb},
        {0x16D0, 0x0DBF, MLPLinkKind::MakerUsb},
        {0x16D0, 0x0FA0, MLPLinkKind::MakerUsb},
        {0x0403, 0x6001, MLPLinkKind::FtdiBridge},
        {0x0403, 0x6014, MLPLinkKind::FtdiBridge},
        {0x0403, 0x6015, MLPLinkKind::FtdiBridge},
    }};

    // A bridge is ours when its USB product string is one of these, exactly: the text and
    // its terminating zero, so a description that only begins with one names another product.
    static constexpr char kDeviceDescription[] = "MARLUNE MLP-DEV";
    static constexpr char kDongleDescription[] = "MARLUNE MLP-DGL";
    static constexpr std::size_t kDescriptionCompareBytes = 16;

    // The link kind that drives a device with these ids; Unknown for any other device.
    static constexpr MLPLinkKind linkKindOf(uint16_t vendorId, uint16_t productId)
    {
        for (const Identity& identity : kIdentities) {
            if (identity.vendorId == vendorId && identity.productId == productId) {
                return identity.linkKind;
            }
        }
        return MLPLinkKind::Unknown;
    }

    static constexpr bool isMakerDevice(uint16_t vendorId, uint16_t productId)
    {
        return linkKindOf(vendorId, productId) == MLPLinkKind::MakerUsb;
    }

    static constexpr bool isFtdiBridge(uint16_t vendorId, uint16_t productId)
    {
        return linkKindOf(vendorId, productId) == MLPLinkKind::FtdiBridge;
    }

    // description: at least kDescriptionCompareBytes readable bytes, as a D2XX list node holds.
    static bool isBridgeDescription(const char* description);
};

} // namespace marlune::MLP
