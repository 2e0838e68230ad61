#include "emulatedusbdevice.h"

#include "deviceendpoint.h"

#include <umockdev.h>

#include <linux/usbdevice_fs.h>
#include <pthread.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace marlune::testing {

namespace {

// What a current kernel reports. Bulk continuation and no packet size limit make libusb
// submit each bulk transfer as one URB; reap-after-disconnect lets it collect the URBs
// that a disconnect ended.
constexpr uint32_t kUsbfsCapabilities = USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_CONTINUATION |
                                        USBDEVFS_CAP_NO_PACKET_SIZE_LIM | USBDEVFS_CAP_REAP_AFTER_DISCONNECT;

// libusb polls the device node, which is always ready under umockdev, and reaps until
// EAGAIN, so a waiting transfer turns into a stream of reaps. Holding an idle reap this
// long bounds their rate; a URB that completes meanwhile is still handed back at once.
constexpr std::chrono::milliseconds kIdleReapHold{5};

constexpr auto kServiceTick = std::chrono::milliseconds(1);
// Even without transfers the device looks at its endpoint now and then, to notice that it
// was unplugged.
constexpr auto kIdleServiceInterval = std::chrono::milliseconds(20);

constexpr std::size_t kSetupPacketLength = 8;
constexpr uint8_t kRequestTypeMask = 0x60;
constexpr uint8_t kStandardRequestType = 0x00;
constexpr uint8_t kDirectionIn = 0x80;

constexpr uint8_t kGetStatus = 0x00;
constexpr uint8_t kGetDescriptor = 0x06;
constexpr uint8_t kGetConfiguration = 0x08;
constexpr uint8_t kGetInterface = 0x0A;

constexpr uint8_t kDeviceDescriptor = 1;
constexpr uint8_t kConfigurationDescriptor = 2;
constexpr uint8_t kStringDescriptor = 3;

uint16_t readWord(const uint8_t* bytes)
{
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

std::size_t copyReply(const std::vector<uint8_t>& reply, uint8_t* data, std::size_t capacity)
{
    const std::size_t length = std::min(reply.size(), capacity);
    std::copy_n(reply.begin(), length, data);
    return length;
}

usbdevfs_urb* urbStruct(UMockdevIoctlData* urbData)
{
    return reinterpret_cast<usbdevfs_urb*>(urbData->data);
}

void completeIoctl(UMockdevIoctlClient* client, long result, int errorNumber)
{
    umockdev_ioctl_client_complete(client, result, errorNumber);
}

} // namespace

void EmulatedUsbDevice::GObjectUnref::operator()(void* object) const
{
    g_object_unref(object);
}

EmulatedUsbDevice::EmulatedUsbDevice(UsbDescriptorSet descriptors, std::shared_ptr<DeviceEndpoint> endpoint,
                                     bool interfaceBusy)
    : m_descriptors(std::move(descriptors)), m_endpoint(std::move(endpoint)), m_interfaceBusy(interfaceBusy),
      m_ioctlHandler(umockdev_ioctl_base_new())
{
    g_signal_connect(m_ioctlHandler, "handle-ioctl", G_CALLBACK(&EmulatedUsbDevice::onHandleIoctl), this);
    g_signal_connect(m_ioctlHandler, "client-vanished", G_CALLBACK(&EmulatedUsbDevice::onClientVanished),
                     this);
}

EmulatedUsbDevice::~EmulatedUsbDevice()
{
    g_signal_handlers_disconnect_by_data(m_ioctlHandler, this);
    g_object_unref(m_ioctlHandler);
}

void EmulatedUsbDevice::start(std::function<void()> departed)
{
    m_departed = std::move(departed);
    {
        std::lock_guard lock(m_queueMutex);
        m_running = true;
    }
    m_thread = std::thread(&EmulatedUsbDevice::run, this);
    // Named so that a benchmark can tell the emulation's CPU from the program's.
    pthread_setname_np(m_thread.native_handle(), "usbemu-device");
}

void EmulatedUsbDevice::stop()
{
    {
        std::lock_guard lock(m_queueMutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void EmulatedUsbDevice::run()
{
    bool busy = false;
    bool departureTold = false;
    while (true) {
        std::deque<IoctlClientRef> calls;
        bool stopping = false;
        {
            std::unique_lock lock(m_queueMutex);
            m_wake.wait_for(lock, busy ? kServiceTick : kIdleServiceInterval,
                            [this] { return m_stopping || !m_queuedIoctls.empty(); });
            calls.swap(m_queuedIoctls);
            stopping = m_stopping;
            m_running = !stopping;
        }
        for (const IoctlClientRef& client : calls) {
            handleIoctl(client.get());
        }
        if (stopping) {
            return;
        }
        busy = service(Clock::now());
        if (!departureTold && isDisconnected()) {
            departureTold = true;
            m_departed();
        }
    }
}

void EmulatedUsbDevice::queueIoctl(UMockdevIoctlClient* client)
{
    {
        std::lock_guard lock(m_queueMutex);
        if (m_running) {
            m_queuedIoctls.emplace_back(static_cast<UMockdevIoctlClient*>(g_object_ref(client)));
            m_wake.notify_one();
            return;
        }
    }
    handleIoctl(client);
}

bool EmulatedUsbDevice::service(Clock::time_point now)
{
    std::lock_guard lock(m_mutex);
    if (!m_disconnected && !m_endpoint->isAttached()) {
        disconnectLocked();
    }
    bool deviceBusy = false;
    if (!m_disconnected) {
        deviceBusy = serviceDevice(now);
        completeDueOutUrbs(now);
        fillWaitingInUrbs(now);
    }
    answerHeldReaps(now);
    const bool reapHeld = std::any_of(m_clients.begin(), m_clients.end(),
                                      [](const auto& entry) { return entry.second.heldReap.has_value(); });
    return deviceBusy || reapHeld || !m_urbsInFlight.empty();
}

void EmulatedUsbDevice::disconnect()
{
    std::lock_guard lock(m_mutex);
    disconnectLocked();
}

bool EmulatedUsbDevice::isDisconnected() const
{
    std::lock_guard lock(m_mutex);
    return m_disconnected;
}

int EmulatedUsbDevice::stringReadCount() const
{
    std::lock_guard lock(m_mutex);
    return m_stringReads;
}

bool EmulatedUsbDevice::serviceDevice(Clock::time_point)
{
    return false;
}

int EmulatedUsbDevice::onHandleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* device)
{
    // umockdev's thread serves every device; named once, so that a benchmark can tell its CPU.
    static thread_local const bool named = pthread_setname_np(pthread_self(), "umockdev-ioctl") == 0;
    static_cast<void>(named);
    static_cast<EmulatedUsbDevice*>(device)->queueIoctl(client);
    return TRUE;
}

void EmulatedUsbDevice::onClientVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* device)
{
    static_cast<EmulatedUsbDevice*>(device)->forgetClient(client);
}

void EmulatedUsbDevice::handleIoctl(UMockdevIoctlClient* client)
{
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* argument = umockdev_ioctl_client_get_arg(client);
    const Clock::time_point now = Clock::now();

    std::lock_guard lock(m_mutex);
    if (!m_disconnected && !m_endpoint->isAttached()) {
        disconnectLocked();
    }

    // Reaping stays possible after a disconnect so that the URBs it ended can be collected.
    if (request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY) {
        reapUrb(client, request == USBDEVFS_REAPURB, now);
        return;
    }
    if (m_disconnected) {
        completeIoctl(client, -1, ENODEV);
        return;
    }

    switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
        IoctlDataRef capabilities(umockdev_ioctl_data_resolve(argument, 0, sizeof(uint32_t), nullptr));
        std::memcpy(capabilities->data, &kUsbfsCapabilities, sizeof kUsbfsCapabilities);
        completeIoctl(client, 0, 0);
        return;
    }
    case USBDEVFS_CLAIMINTERFACE: {
        IoctlDataRef interfaceNumber(umockdev_ioctl_data_resolve(argument, 0, sizeof(unsigned int), nullptr));
        const int error = claimInterface(client, *reinterpret_cast<unsigned int*>(interfaceNumber->data));
        completeIoctl(client, error == 0 ? 0 : -1, error);
        return;
    }
    case USBDEVFS_DISCONNECT_CLAIM: {
        IoctlDataRef claim(
            umockdev_ioctl_data_resolve(argument, 0, sizeof(usbdevfs_disconnect_claim), nullptr));
        const int error =
            claimInterface(client, reinterpret_cast<usbdevfs_disconnect_claim*>(claim->data)->interface);
        completeIoctl(client, error == 0 ? 0 : -1, error);
        return;
    }
    case USBDEVFS_RELEASEINTERFACE:
        if (m_interfaceOwner == client) {
            m_interfaceOwner = nullptr;
        }
        completeIoctl(client, 0, 0);
        return;
    case USBDEVFS_SETCONFIGURATION:
    case USBDEVFS_SETINTERFACE:
    case USBDEVFS_CLEAR_HALT:
    case USBDEVFS_RESETEP:
    case USBDEVFS_RESET:
        completeIoctl(client, 0, 0);
        return;
    case USBDEVFS_GETDRIVER:
    case USBDEVFS_IOCTL:
        // No kernel driver is bound to the interface, so there is nothing to detach.
        completeIoctl(client, -1, ENODATA);
        return;
    case USBDEVFS_SUBMITURB:
        submitUrb(client, now);
        return;
    case USBDEVFS_DISCARDURB:
        discardUrb(client);
        return;
    default:
        completeIoctl(client, -1, ENOTTY);
        return;
    }
}

void EmulatedUsbDevice::forgetClient(UMockdevIoctlClient* client)
{
    std::lock_guard lock(m_mutex);
    // Closing the descriptor kills its URBs and releases its interface, as the kernel does.
    m_urbsInFlight.erase(std::remove_if(m_urbsInFlight.begin(), m_urbsInFlight.end(),
                                        [client](const Urb& urb) { return urb.client == client; }),
                         m_urbsInFlight.end());
    m_clients.erase(client);
    if (m_interfaceOwner == client) {
        m_interfaceOwner = nullptr;
    }
}

int EmulatedUsbDevice::claimInterface(UMockdevIoctlClient* client, unsigned int interfaceNumber)
{
    if (interfaceNumber != UsbDescriptorSet::kInterfaceNumber) {
        return ENOENT;
    }
    if (m_interfaceBusy || (m_interfaceOwner != nullptr && m_interfaceOwner != client)) {
        return EBUSY;
    }
    m_interfaceOwner = client;
    return 0;
}

void EmulatedUsbDevice::submitUrb(UMockdevIoctlClient* client, Clock::time_point now)
{
    UMockdevIoctlData* argument = umockdev_ioctl_client_get_arg(client);
    Urb urb;
    urb.client = client;
    urb.urbData.reset(umockdev_ioctl_data_resolve(argument, 0, sizeof(usbdevfs_urb), nullptr));
    if (!urb.urbData) {
        completeIoctl(client, -1, EFAULT);
        return;
    }
    const usbdevfs_urb* request = urbStruct(urb.urbData.get());
    urb.type = request->type;
    urb.endpointAddress = request->endpoint;
    if (request->buffer_length < 0) {
        completeIoctl(client, -1, EINVAL);
        return;
    }
    if (request->buffer_length > 0) {
        urb.bufferData.reset(umockdev_ioctl_data_resolve(urb.urbData.get(), offsetof(usbdevfs_urb, buffer),
                                                         static_cast<gsize>(request->buffer_length),
                                                         nullptr));
        if (!urb.bufferData) {
            completeIoctl(client, -1, EFAULT);
            return;
        }
    }
    const auto bufferLength = static_cast<std::size_t>(request->buffer_length);
    const UsbDeviceIdentity& identity = m_descriptors.identity();

    if (urb.type == USBDEVFS_URB_TYPE_CONTROL && urb.endpointAddress == 0) {
        if (bufferLength < kSetupPacketLength) {
            completeIoctl(client, -1, EINVAL);
            return;
        }
        // The reply is in place before the submission completes, so one sync carries it.
        const int status = runControlUrb(urb);
        finishUrb(std::move(urb), status);
        completeIoctl(client, 0, 0);
        answerHeldReaps(now);
        return;
    }

    const bool isBulkIn = urb.endpointAddress == identity.bulkInEndpoint;
    const bool isBulkOut = urb.endpointAddress == identity.bulkOutEndpoint;
    if (!isBulkIn && !isBulkOut) {
        completeIoctl(client, -1, ENOENT);
        return;
    }
    if (urb.type != USBDEVFS_URB_TYPE_BULK) {
        completeIoctl(client, -1, EINVAL);
        return;
    }
    // Using an endpoint claims its interface implicitly, as usbfs does.
    if (const int error = claimInterface(client, UsbDescriptorSet::kInterfaceNumber); error != 0) {
        completeIoctl(client, -1, error);
        return;
    }
    completeIoctl(client, 0, 0);

    // A device that takes no data NAKs: the URB waits until the host discards it.
    if (isBulkOut && !endpoint().takesHostData()) {
        urb.transferred = 0;
        m_urbsInFlight.push_back(std::move(urb));
    } else if (isBulkOut) {
        const uint8_t* data = urb.bufferData ? urb.bufferData->data : nullptr;
        const Clock::time_point completeAt = acceptBulkOut(data, bufferLength, now);
        urb.transferred = bufferLength;
        if (completeAt <= now) {
            finishUrb(std::move(urb), 0);
        } else {
            urb.completeAt = completeAt;
            m_urbsInFlight.push_back(std::move(urb));
        }
    } else {
        m_urbsInFlight.push_back(std::move(urb));
        fillWaitingInUrbs(now);
    }
    answerHeldReaps(now);
}

int EmulatedUsbDevice::runControlUrb(Urb& urb)
{
    uint8_t* buffer = urb.bufferData->data;
    const SetupPacket setup{buffer[0], buffer[1], readWord(buffer + 2), readWord(buffer + 4),
                            readWord(buffer + 6)};
    const std::size_t dataCapacity = std::min<std::size_t>(
        setup.length, static_cast<std::size_t>(urb.bufferData->data_len) - kSetupPacketLength);
    uint8_t* data = buffer + kSetupPacketLength;

    std::optional<std::size_t> dataLength;
    const SetupPacket boundedSetup{setup.requestType, setup.request, setup.value, setup.index,
                                   static_cast<uint16_t>(dataCapacity)};
    if ((setup.requestType & kRequestTypeMask) == kStandardRequestType) {
        dataLength = handleStandardRequest(boundedSetup, data);
    } else {
        dataLength = handleVendorRequest(boundedSetup, data, Clock::now());
    }
    if (!dataLength) {
        return -EPIPE;
    }
    // For OUT requests the whole data stage was taken; usbfs reports it as transferred.
    urb.transferred = (setup.requestType & kDirectionIn) ? *dataLength : dataCapacity;
    return 0;
}

std::optional<std::size_t> EmulatedUsbDevice::handleStandardRequest(const SetupPacket& setup, uint8_t* data)
{
    if (!(setup.requestType & kDirectionIn)) {
        return 0; // SET_FEATURE, CLEAR_FEATURE and the like: accepted
    }
    switch (setup.request) {
    case kGetDescriptor: {
        const auto descriptorType = static_cast<uint8_t>(setup.value >> 8);
        const auto descriptorIndex = static_cast<uint8_t>(setup.value & 0xFF);
        std::vector<uint8_t> reply;
        if (descriptorType == kDeviceDescriptor) {
            reply = m_descriptors.deviceDescriptor();
        } else if (descriptorType == kConfigurationDescriptor && descriptorIndex == 0) {
            reply = m_descriptors.configurationDescriptor();
        } else if (descriptorType == kStringDescriptor) {
            reply = m_descriptors.stringDescriptor(descriptorIndex);
            if (descriptorIndex != 0) {
                ++m_stringReads;
            }
        }
        if (reply.empty()) {
            return std::nullopt;
        }
        return copyReply(reply, data, setup.length);
    }
    case kGetConfiguration:
        return copyReply({UsbDescriptorSet::kConfigurationValue}, data, setup.length);
    case kGetStatus:
        return copyReply({0, 0}, data, setup.length);
    case kGetInterface:
        return copyReply({0}, data, setup.length);
    default:
        return std::nullopt;
    }
}

void EmulatedUsbDevice::discardUrb(UMockdevIoctlClient* client)
{
    UMockdevIoctlData* argument = umockdev_ioctl_client_get_arg(client);
    gulong urbAddress = 0;
    std::memcpy(&urbAddress, argument->data, sizeof urbAddress);
    const auto found = std::find_if(m_urbsInFlight.begin(), m_urbsInFlight.end(), [&](const Urb& urb) {
        return urb.client == client && urb.urbData->client_addr == urbAddress;
    });
    if (found == m_urbsInFlight.end()) {
        // Already completed: libusb then waits for the completion it is about to reap.
        completeIoctl(client, -1, EINVAL);
        return;
    }
    Urb urb = std::move(*found);
    m_urbsInFlight.erase(found);
    completeIoctl(client, 0, 0);
    // A killed URB keeps the bytes it had already received, like usb_kill_urb.
    finishUrb(std::move(urb), -ENOENT);
    answerHeldReaps(Clock::now());
}

void EmulatedUsbDevice::reapUrb(UMockdevIoctlClient* client, bool blocking, Clock::time_point now)
{
    ClientState& state = m_clients[client];
    if (!state.completed.empty()) {
        deliverReap(client, state);
        return;
    }
    if (m_disconnected) {
        completeIoctl(client, -1, ENODEV);
        return;
    }
    if (!blocking && state.lastReapDelivered) {
        state.lastReapDelivered = false;
        completeIoctl(client, -1, EAGAIN);
        return;
    }
    HeldReap held;
    held.client.reset(static_cast<UMockdevIoctlClient*>(g_object_ref(client)));
    if (!blocking) {
        held.deadline = now + kIdleReapHold;
    }
    state.heldReap = std::move(held);
}

void EmulatedUsbDevice::deliverReap(UMockdevIoctlClient* client, ClientState& state)
{
    Urb urb = std::move(state.completed.front());
    state.completed.pop_front();
    UMockdevIoctlData* argument = umockdev_ioctl_client_get_arg(client);
    IoctlDataRef urbPointer(umockdev_ioctl_data_resolve(argument, 0, sizeof(void*), nullptr));
    umockdev_ioctl_data_set_ptr(urbPointer.get(), 0, urb.urbData.get());
    completeIoctl(client, 0, 0);
    state.lastReapDelivered = true;
}

void EmulatedUsbDevice::answerHeldReaps(Clock::time_point now)
{
    for (auto& [client, state] : m_clients) {
        if (!state.heldReap) {
            continue;
        }
        const bool expired = state.heldReap->deadline && *state.heldReap->deadline <= now;
        if (state.completed.empty() && !m_disconnected && !expired) {
            continue;
        }
        // umockdev keeps no reference to a client whose ioctl is pending; ours must
        // outlive the completion.
        const HeldReap held = std::move(*state.heldReap);
        state.heldReap.reset();
        if (!state.completed.empty()) {
            deliverReap(client, state);
        } else if (m_disconnected) {
            completeIoctl(client, -1, ENODEV);
        } else {
            state.lastReapDelivered = false;
            completeIoctl(client, -1, EAGAIN);
        }
    }
}

void EmulatedUsbDevice::completeDueOutUrbs(Clock::time_point now)
{
    for (auto it = m_urbsInFlight.begin(); it != m_urbsInFlight.end();) {
        if (it->completeAt && *it->completeAt <= now) {
            Urb urb = std::move(*it);
            it = m_urbsInFlight.erase(it);
            finishUrb(std::move(urb), 0);
        } else {
            ++it;
        }
    }
}

void EmulatedUsbDevice::fillWaitingInUrbs(Clock::time_point now)
{
    // IN URBs on the one IN endpoint are filled strictly in submission order.
    while (true) {
        const auto waiting =
            std::find_if(m_urbsInFlight.begin(), m_urbsInFlight.end(), [this](const Urb& urb) {
                return urb.endpointAddress == m_descriptors.identity().bulkInEndpoint;
            });
        if (waiting == m_urbsInFlight.end()) {
            return;
        }
        BulkInTransfer transfer{waiting->bufferData ? waiting->bufferData->data : nullptr,
                                waiting->bufferData ? static_cast<std::size_t>(waiting->bufferData->data_len)
                                                    : 0,
                                waiting->transferred};
        const bool complete = fillBulkIn(transfer, now);
        waiting->transferred = transfer.transferred;
        if (!complete) {
            return;
        }
        Urb urb = std::move(*waiting);
        m_urbsInFlight.erase(waiting);
        finishUrb(std::move(urb), 0);
    }
}

void EmulatedUsbDevice::finishUrb(Urb urb, int status)
{
    usbdevfs_urb* result = urbStruct(urb.urbData.get());
    result->status = status;
    result->actual_length = static_cast<int>(urb.transferred);
    m_clients[urb.client].completed.push_back(std::move(urb));
}

void EmulatedUsbDevice::disconnectLocked()
{
    if (m_disconnected) {
        return;
    }
    m_disconnected = true;
    // The host controller gives back every URB of a vanished device with ESHUTDOWN.
    while (!m_urbsInFlight.empty()) {
        Urb urb = std::move(m_urbsInFlight.front());
        m_urbsInFlight.pop_front();
        finishUrb(std::move(urb), -ESHUTDOWN);
    }
    answerHeldReaps(Clock::now());
}

void EmulatedUsbDevice::deliverAt(Clock::time_point due, const uint8_t* data, std::size_t length)
{
    m_deliveries.push_back({due, std::vector<uint8_t>(data, data + length)});
}

bool EmulatedUsbDevice::deliverDueBytes(Clock::time_point now)
{
    while (!m_deliveries.empty() && m_deliveries.front().due <= now) {
        const std::vector<uint8_t>& bytes = m_deliveries.front().bytes;
        m_endpoint->hostWrote(bytes.data(), bytes.size());
        m_deliveries.pop_front();
    }
    return !m_deliveries.empty();
}

void EmulatedUsbDevice::dropPendingDeliveries()
{
    m_deliveries.clear();
}

} // namespace marlune::testing
