#pragma once

#include <QByteArray>
#include <QStringList>
#include <QVector>

#include <cstdint>
#include <deque>
#include <set>
#include <vector>

namespace marlune::testing {

class DeviceEndpoint;

// A D2XX provider for tests, linked in place of the real one: a list of bridges the test
// describes, each optionally backed by a device endpoint, and a log of every D2XX call in a
// readable form ("FT_Open(1)", "FT_OpenEx(FT01)", "FT_OpenEx(location 0x123)",
// "FT_SetTimeouts(100, 2000)",
// "FT_Write(91 4d 6c 01)").
// Calls on a handle that is not open are logged with " without device" appended and fail.
// FT_GetQueueStatus moves what the endpoint has ready into the handle's receive queue and
// counts it; reads hand out that queue, then what the endpoint has ready; nothing here waits.
class RecordingD2xx
{
public:
    static RecordingD2xx& instance();

    // Forgets all bridges, the device list, the log and any open handles.
    void reset();

    // Attaches a bridge after the others; the description is copied byte for byte into the
    // 64-byte field (so it may hold a zero inside). Returns the bridge's number, which the
    // calls below take; it is also its list position while no bridge before it is unplugged.
    int addBridge(const QByteArray& description, DeviceEndpoint* endpoint = nullptr);
    // The bridge's serial number (none unless set), as the list shows it and FT_OpenEx finds it.
    void setSerialNumber(int bridge, const QByteArray& serialNumber);
    // Where the bridge sits on the bus, as its list node's LocId shows it and FT_OpenEx by
    // location finds it (none unless set); kept while another program holds it.
    void setLocationId(int bridge, uint32_t locationId);
    // The bridge leaves the bus: the next list closes up behind it and FT_OpenEx no longer
    // finds it.
    void unplug(int bridge);
    // FT_Open of this bridge fails.
    void refuseOpen(int bridge);
    // Another program has this bridge open: it is listed with the opened flag and its USB
    // ids, and without description, as the driver lists such a bridge.
    void holdElsewhere(int bridge, uint32_t usbIds);
    // The n-th FT_Write on this bridge accepts at most bytesPerCall[n] bytes; later ones take all.
    void limitWrites(int bridge, const QVector<uint32_t>& bytesPerCall);
    // Every later FT_Write on this bridge takes nothing and answers this D2XX status.
    void failWrites(int bridge, uint32_t status);

    QStringList calls() const { return m_calls; }
    int callCount(const QString& callPrefix) const;
    void clearCalls() { m_calls.clear(); }
    int openHandleCount() const { return static_cast<int>(m_openHandles.size()); }

    // The D2XX functions of this provider call these.
    struct Bridge
    {
        QByteArray description;
        QByteArray serialNumber;
        uint32_t locationId = 0;
        DeviceEndpoint* endpoint = nullptr;
        bool attached = true;
        bool opens = true;
        bool heldElsewhere = false;
        uint32_t usbIds = 0;
        std::deque<uint32_t> writeLimits;
        uint32_t writeStatus = 0;
    };
    struct Handle
    {
        int bridge = 0;
        QByteArray received; // taken from the endpoint by FT_GetQueueStatus, not yet read
    };
    void record(const QString& call) { m_calls.append(call); }
    Handle* findHandle(void* handle) const;
    Bridge& bridgeOf(const Handle& handle) { return m_bridges[static_cast<std::size_t>(handle.bridge)]; }
    // The attached bridges in the order they were added.
    int createList();
    int listedCount() const { return static_cast<int>(m_list.size()); }
    const Bridge& bridgeAt(int position) const
    {
        return m_bridges[static_cast<std::size_t>(m_list[static_cast<std::size_t>(position)])];
    }
    Handle* openListed(int position);
    // The first attached bridge with this serial number, whatever the list holds.
    Handle* openBySerialNumber(const QByteArray& serialNumber);
    // The attached bridge at this location, whatever the list holds.
    Handle* openByLocation(uint32_t locationId);
    bool closeHandle(void* handle);

private:
    RecordingD2xx() = default;

    Handle* openBridge(int bridge);

    std::vector<Bridge> m_bridges;
    std::vector<int> m_list; // the bridges of the last list, by number
    std::set<Handle*> m_openHandles;
    QStringList m_calls;
};

} // namespace marlune::testing
