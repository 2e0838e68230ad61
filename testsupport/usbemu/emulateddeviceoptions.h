#pragma once

#include <cstdint>
#include <string>

namespace marlune::testing {

// How an emulated maker device presents itself on the bus.
struct MakerDeviceOptions
{
    uint16_t productId = 0x0B23; // the maker's products are 0x0B23, 0x0DBF and 0x0FA0
    std::string serial = "ML0001";
    bool hasSerial = true;      // false: the device descriptor names no serial-number string
    bool openable = true;       // false: opening the device node fails with EACCES (no access rights)
    bool interfaceBusy = false; // true: claiming interface 0 fails with EBUSY (another program holds it)
    std::string manufacturer = "Marlune";
    std::string product = "Marlune MLP device";
    bool modelWireTime = false; // full-speed bulk: at most 19 packets of 64 bytes per 1 ms frame
};

// How an emulated FTDI FT232R bridge presents itself and what sits on its serial line.
struct FtdiBridgeOptions
{
    std::string description = "MARLUNE MLP-DEV"; // the product string
    std::string serial = "FT0001";
    std::string manufacturer = "FTDI";
    uint32_t deviceBaudRate = 250000; // the rate the device behind the bridge receives and answers at
    bool modelWireTime = false;       // bytes take their bit times on the line (11 per byte at 8N2)
    bool logLineData = true;          // false: the line log keeps the line's settings but not its bytes,
                                      // which a long benchmark run would pile up in memory
};

} // namespace marlune::testing
