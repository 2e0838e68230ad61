#pragma once

#include "usbdescriptorset.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
typedef struct _UMockdevIoctlData UMockdevIoctlData;

namespace marlune::testing {

class DeviceEndpoint;

// The kernel side of one emulated USB device: answers the usbdevfs ioctls that the real
// libusb sends to the device node, the way the Linux kernel does. Control transfers with
// standard requests are answered from the descriptors; vendor requests and the bulk
// endpoint pair are left to the concrete device.
//
// Every file descriptor opened on the node is one umockdev client with its own URBs, as
// in the kernel. umockdev calls the handlers of all devices on its one thread; the device
// only queues the call there and answers it on a thread of its own, which also does the
// time-driven work (bulk IN transfers waiting for device data, wire timing, held reaps)
// about once a millisecond while some is pending. So devices never wait for each other:
// answering an ioctl reads and writes the caller's memory in round trips to the calling
// thread, which would otherwise hold up every other device's ioctls meanwhile.
class EmulatedUsbDevice
{
public:
    using Clock = std::chrono::steady_clock;

    EmulatedUsbDevice(UsbDescriptorSet descriptors, std::shared_ptr<DeviceEndpoint> endpoint,
                      bool interfaceBusy);
    virtual ~EmulatedUsbDevice();

    EmulatedUsbDevice(const EmulatedUsbDevice&) = delete;
    EmulatedUsbDevice& operator=(const EmulatedUsbDevice&) = delete;

    const UsbDescriptorSet& descriptors() const { return m_descriptors; }
    UMockdevIoctlBase* ioctlHandler() const { return m_ioctlHandler; }

    // Starts the device's own thread; `departed` is called on it once the device has left
    // the bus, by disconnect() or by its endpoint's unplugging.
    void start(std::function<void()> departed);
    // Ends that thread, once it has answered the ioctls queued for it; later ones are
    // answered on umockdev's thread. Called before the device is destroyed.
    void stop();

    // The device leaves the bus: URBs in flight end with ESHUTDOWN and can still be
    // reaped, every other request fails with ENODEV. Also happens by itself once the
    // endpoint reports that it was unplugged.
    void disconnect();
    bool isDisconnected() const;
    // How many string descriptors the host has asked for, the language list left out.
    int stringReadCount() const;

protected:
    struct SetupPacket
    {
        uint8_t requestType;
        uint8_t request;
        uint16_t value;
        uint16_t index;
        uint16_t length;
    };

    struct BulkInTransfer
    {
        uint8_t* buffer;
        std::size_t length;
        std::size_t transferred;
    };

    // The hooks run with m_mutex held.

    // A control request of the vendor or class type. For an IN request, writes up to
    // setup.length bytes to data and returns their count; nullopt stalls the request.
    virtual std::optional<std::size_t> handleVendorRequest(const SetupPacket& setup, uint8_t* data,
                                                           Clock::time_point now) = 0;
    // Takes the data of a bulk OUT URB; returns when that URB completes.
    virtual Clock::time_point acceptBulkOut(const uint8_t* data, std::size_t length,
                                            Clock::time_point now) = 0;
    // Moves device data into a waiting bulk IN URB; true once the URB is complete.
    virtual bool fillBulkIn(BulkInTransfer& transfer, Clock::time_point now) = 0;
    // Work not bound to a URB, such as bytes still on the wire; true while some remains.
    virtual bool serviceDevice(Clock::time_point now);

    DeviceEndpoint& endpoint() const { return *m_endpoint; }

    // Bytes the host wrote reach the endpoint once their time on the wire is over.
    void deliverAt(Clock::time_point due, const uint8_t* data, std::size_t length);
    // Hands the endpoint the bytes that are due; true while more wait.
    bool deliverDueBytes(Clock::time_point now);
    void dropPendingDeliveries();

    mutable std::mutex m_mutex;

private:
    struct Delivery
    {
        Clock::time_point due;
        std::vector<uint8_t> bytes;
    };

    struct GObjectUnref
    {
        void operator()(void* object) const;
    };
    using IoctlDataRef = std::unique_ptr<UMockdevIoctlData, GObjectUnref>;
    using IoctlClientRef = std::unique_ptr<UMockdevIoctlClient, GObjectUnref>;

    struct Urb
    {
        UMockdevIoctlClient* client = nullptr;
        IoctlDataRef urbData;
        IoctlDataRef bufferData;
        uint8_t type = 0;
        uint8_t endpointAddress = 0;
        std::size_t transferred = 0;
        std::optional<Clock::time_point> completeAt;
    };

    struct HeldReap
    {
        IoctlClientRef client;
        std::optional<Clock::time_point> deadline; // none for the blocking reap
    };

    struct ClientState
    {
        std::deque<Urb> completed;
        std::optional<HeldReap> heldReap;
        bool lastReapDelivered = false;
    };

    static int onHandleIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, void* device);
    static void onClientVanished(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, void* device);

    void queueIoctl(UMockdevIoctlClient* client);
    void run();
    // Does the time-driven work that is due; true while more is pending.
    bool service(Clock::time_point now);
    void handleIoctl(UMockdevIoctlClient* client);
    void forgetClient(UMockdevIoctlClient* client);

    void submitUrb(UMockdevIoctlClient* client, Clock::time_point now);
    int runControlUrb(Urb& urb);
    std::optional<std::size_t> handleStandardRequest(const SetupPacket& setup, uint8_t* data);
    void discardUrb(UMockdevIoctlClient* client);
    void reapUrb(UMockdevIoctlClient* client, bool blocking, Clock::time_point now);
    int claimInterface(UMockdevIoctlClient* client, unsigned int interfaceNumber);

    void fillWaitingInUrbs(Clock::time_point now);
    void completeDueOutUrbs(Clock::time_point now);
    void finishUrb(Urb urb, int status);
    void answerHeldReaps(Clock::time_point now);
    void deliverReap(UMockdevIoctlClient* client, ClientState& state);
    void disconnectLocked();

    UsbDescriptorSet m_descriptors;
    std::shared_ptr<DeviceEndpoint> m_endpoint;
    bool m_interfaceBusy;
    UMockdevIoctlBase* m_ioctlHandler;
    std::deque<Urb> m_urbsInFlight;
    std::map<UMockdevIoctlClient*, ClientState> m_clients;
    UMockdevIoctlClient* m_interfaceOwner = nullptr;
    bool m_disconnected = false;
    int m_stringReads = 0;
    std::deque<Delivery> m_deliveries;

    // What the device's thread is handed; never held while answering or servicing.
    std::mutex m_queueMutex;
    std::condition_variable m_wake;
    std::deque<IoctlClientRef> m_queuedIoctls;
    bool m_running = false;
    bool m_stopping = false;
    std::function<void()> m_departed;
    std::thread m_thread;
};

} // namespace marlune::testing
