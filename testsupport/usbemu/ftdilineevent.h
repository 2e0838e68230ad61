#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace marlune::testing {

// One entry of an emulated FTDI bridge's line log: a change of the serial line set up by
// the host, or bytes the bridge sent on the line. Consecutive writes at the same baud
// rate with nothing in between form one Data entry.
struct FtdiLineEvent
{
    enum class Kind
    {
        Reset,
        PurgeHostToDevice, // bytes the bridge had not yet sent are dropped
        PurgeDeviceToHost, // bytes the bridge had received but not yet passed on are dropped
        BaudRate,
        DataCharacteristics,
        BreakOn,
        BreakOff,
        LatencyTimer,
        Data,
    };

    explicit FtdiLineEvent(Kind eventKind = Kind::Reset) : kind(eventKind) {}

    Kind kind;
    uint32_t baudRate = 0;      // BaudRate: the new rate; Data: the rate the bytes went out at
    uint8_t dataBits = 0;       // DataCharacteristics, with the codes libftdi and D2XX share:
    uint8_t parity = 0;         // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t stopBits = 0;       // 0 one, 1 one and a half, 2 two
    uint8_t latencyMs = 0;      // LatencyTimer
    std::vector<uint8_t> bytes; // Data

    static FtdiLineEvent baud(uint32_t rate);
    static FtdiLineEvent data(std::vector<uint8_t> bytes, uint32_t rate);

    bool operator==(const FtdiLineEvent& other) const;
    bool operator!=(const FtdiLineEvent& other) const { return !(*this == other); }

    // A short text such as "baud 250000", "8N2", "break on" or "data 91 4D @250000".
    std::string toString() const;
    // All entries' texts joined by "; ", for readable comparisons in tests.
    static std::string describe(const std::vector<FtdiLineEvent>& events);
};

} // namespace marlune::testing
