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
// readable form ("FT_Open(1)", "FT_SetTimeouts(100, 2000)", "FT_Write(91 4d 6c 01)").
// Calls on a handle that is not open are logged with " without device" appended and fail.
// FT_GetQueueStatus moves what the endpoint has ready into the handle's receive queue and
// counts it; reads hand out that queue, then what the endpoint has ready; nothing here waits.
class RecordingD2xx
{
public:
    static RecordingD2xx& instance();

    // Forgets all bridges, the device list, the log and any open handles.
    void reset();

    // Attaches a bridge at the next list position; the description is copied byte for byte
    // into the 64-byte field (so it may hold a zero inside). Returns the position.
    int addBridge(const QByteArray& description, DeviceEndpoint* endpoint = nullptr);
    // FT_Open of this bridge fails.
    void refuseOpen(int position);
    // Another program has this bridge open: it is listed with the opened flag and its USB
    // ids, and without description, as the driver lists such a bridge.
    void holdElsewhere(int position, uint32_t usbIds);
    // The n-th FT_Write on this bridge accepts at most bytesPerCall[n] bytes; later ones take all.
    void limitWrites(int position, const QVector<uint32_t>& bytesPerCall);
    // Every later FT_Write on this bridge takes nothing and answers this D2XX status.
    void failWrites(int position, uint32_t status);

    QStringList calls() const { return m_calls; }
    int callCount(const QString& callPrefix) const;
    void clearCalls() { m_calls.clear(); }
    int openHandleCount() const { return static_cast<int>(m_openHandles.size()); }

    // The D2XX functions of this provider call these.
    struct Bridge
    {
        QByteArray description;
        DeviceEndpoint* endpoint = nullptr;
        bool opens = true;
        bool heldElsewhere = false;
        uint32_t usbIds = 0;
        std::deque<uint32_t> writeLimits;
        uint32_t writeStatus = 0;
    };
    struct Handle
    {
        int position = 0;
        QByteArray received; // taken from the endpoint by FT_GetQueueStatus, not yet read
    };
    void record(const QString& call) { m_calls.append(call); }
    Handle* findHandle(void* handle) const;
    Bridge& bridgeOf(const Handle& handle) { return m_bridges[static_cast<std::size_t>(handle.position)]; }
    // Bridges are only ever appended, so the list is the first bridges up to its length.
    int createList();
    int listedCount() const { return m_listedCount; }
    const Bridge& bridgeAt(int position) const { return m_bridges[static_cast<std::size_t>(position)]; }
    Handle* openListed(int position);
    bool closeHandle(void* handle);

private:
    RecordingD2xx() = default;

    std::vector<Bridge> m_bridges;
    int m_listedCount = 0;
    std::set<Handle*> m_openHandles;
    QStringList m_calls;
};

} // namespace marlune::testing
