#include "ftdilineevent.h"

#include <cstdio>
#include <utility>

namespace marlune::testing {

namespace {

char parityLetter(uint8_t parity)
{
    static const char letters[] = {'N', 'O', 'E', 'M', 'S'};
    return parity < sizeof letters ? letters[parity] : '?';
}

const char* stopBitsText(uint8_t stopBits)
{
    switch (stopBits) {
    case 0:
        return "1";
    case 1:
        return "1.5";
    case 2:
        return "2";
    default:
        return "?";
    }
}

} // namespace

FtdiLineEvent FtdiLineEvent::baud(uint32_t rate)
{
    FtdiLineEvent event(Kind::BaudRate);
    event.baudRate = rate;
    return event;
}

FtdiLineEvent FtdiLineEvent::data(std::vector<uint8_t> bytes, uint32_t rate)
{
    FtdiLineEvent event(Kind::Data);
    event.baudRate = rate;
    event.bytes = std::move(bytes);
    return event;
}

bool FtdiLineEvent::operator==(const FtdiLineEvent& other) const
{
    return kind == other.kind && baudRate == other.baudRate && dataBits == other.dataBits &&
           parity == other.parity && stopBits == other.stopBits && latencyMs == other.latencyMs &&
           bytes == other.bytes;
}

std::string FtdiLineEvent::toString() const
{
    switch (kind) {
    case Kind::Reset:
        return "reset";
    case Kind::PurgeHostToDevice:
        return "purge host-to-device";
    case Kind::PurgeDeviceToHost:
        return "purge device-to-host";
    case Kind::BaudRate:
        return "baud " + std::to_string(baudRate);
    case Kind::DataCharacteristics:
        return std::to_string(dataBits) + parityLetter(parity) + stopBitsText(stopBits);
    case Kind::BreakOn:
        return "break on";
    case Kind::BreakOff:
        return "break off";
    case Kind::LatencyTimer:
        return "latency " + std::to_string(latencyMs);
    case Kind::Data: {
        std::string text = "data";
        for (const uint8_t byte : bytes) {
            char hex[4];
            std::snprintf(hex, sizeof hex, " %02X", byte);
            text += hex;
        }
        return text + " @" + std::to_string(baudRate);
    }
    }
    return "?";
}

std::string FtdiLineEvent::describe(const std::vector<FtdiLineEvent>& events)
{
    std::string text;
    for (const FtdiLineEvent& event : events) {
        if (!text.empty()) {
            text += "; ";
        }
        text += event.toString();
    }
    return text;
}

} // namespace marlune::testing
