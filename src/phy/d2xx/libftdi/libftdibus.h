#pragma once

#include "libftdibridge.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct libusb_context;
struct libusb_device;
struct libusb_device_descriptor;

namespace marlune::d2xx {

// The libusb context the libftdi provider lists bridges with, and the strings of each bridge
// it has read, kept while that bridge stays attached: a listing opens only the bridges it has
// not read before. A bridge is known by libusb's device, which the bus holds, not by its
// address: one that left and came back, or another one on the same port, is a new device to
// libusb and is read anew.
//
// One bus is shared by whatever uses it, a listing or an open bridge, and ends with the last:
// a context that outlived the devices it saw would list them from memory, and none is left at
// exit.
class LibftdiBus
{
public:
    // The bus in use, or a new one; null when libusb cannot start.
    static std::shared_ptr<LibftdiBus> acquire();

    ~LibftdiBus();

    LibftdiBus(const LibftdiBus&) = delete;
    LibftdiBus& operator=(const LibftdiBus&) = delete;

    // The attached bridges in libusb's order, each with its strings when readStrings is set; a
    // bridge whose strings cannot be read is listed with that text empty, and read again by
    // the next listing.
    FT_STATUS listBridges(bool readStrings, std::vector<LibftdiBridge::ListEntry>& entries);

private:
    struct KnownBridge
    {
        libusb_device* device = nullptr; // referenced while known
        std::string serialNumber;
        std::string description;
    };

    explicit LibftdiBus(libusb_context* context);

    // With m_mutex held: forgets the bridges that are no longer attached.
    void forgetDeparted(libusb_device* const* attached, std::size_t attachedCount);
    // With m_mutex held: the strings of a bridge, read unless known.
    void fillStrings(libusb_device* device, const libusb_device_descriptor& descriptor,
                     LibftdiBridge::ListEntry& entry);

    libusb_context* m_context;
    // Listings may come from any thread, even where the callers keep them apart.
    std::mutex m_mutex;
    std::vector<KnownBridge> m_known;
};

} // namespace marlune::d2xx
