#include "mlpconnection.h"

#include "mlpcommand.h"
#include "mlpdeviceinforecord.h"
#include "mlpframelayout.h"
#include "mlpframespec.h"
#include "mlpframetype.h"
#include "mlpphy.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <utility>

namespace {

using Layout = MLPFrameLayout;

constexpr uint32_t kDeviceInfoFrameLength = Layout::kOverhead + MLPDeviceInfoRecord::kPayloadLength;
constexpr uint32_t kAckFrameLength = Layout::kOverhead + 1;
// A link that answers "no byte" without blocking (nothing open) would otherwise keep a
// core busy for the whole answer time.
constexpr uint32_t kIdleBackoffMs = 1;

uint8_t typeByte(MLPFrameType type)
{
    return static_cast<uint8_t>(type);
}

} // namespace

MLPConnection::MLPConnection(marlune::MLP::MLPPhy* link, uint32_t receiveCapacity)
    : m_link(link), m_receiveBuffer(new uint8_t[receiveCapacity]), m_receiveCapacity(receiveCapacity)
{}

MLPConnection::~MLPConnection() = default;

void MLPConnection::setClock(const MLPClock& clock)
{
    m_clock = clock;
}

void MLPConnection::setFrameTrace(MLPFrameTraceFunction trace, void* context, std::string unit)
{
    m_trace = trace;
    m_traceContext = context;
    m_traceUnit = std::move(unit);
}

uint32_t MLPConnection::traceStartMs() const
{
    return m_trace ? m_clock.nowMs(m_clock.context) : 0;
}

void MLPConnection::traceExchange(const MLPFrameSpec& sent, uint16_t sentLength, bool writeAccepted,
                                  MLPStatus status, uint8_t errorCode, uint32_t startMs) const
{
    if (!m_trace) {
        return;
    }
    MLPFrameTrace trace;
    trace.sentFrame = sent.output;
    trace.sentLength = sentLength;
    trace.command = sent.command;
    trace.value = sent.value;
    trace.payloadLength = sent.length;
    trace.writeAccepted = writeAccepted;
    trace.answer = m_transport.frame;
    trace.answerLength = m_transport.frameLength;
    trace.status = status;
    trace.errorCode = errorCode;
    trace.elapsedMs = m_clock.nowMs(m_clock.context) - startMs;
    trace.unit = m_traceUnit.c_str();
    m_trace(m_traceContext, trace);
}

void MLPConnection::prepare()
{
    // The receiver counts in 16 bits. Taking the low 16 bits of a larger buffer would leave
    // it a tiny or zero capacity; the largest count it can hold serves such a buffer fully.
    const auto capacity =
        static_cast<uint16_t>(std::min<uint32_t>(m_receiveCapacity, std::numeric_limits<uint16_t>::max()));
    m_receiver.init(m_receiveBuffer.get(), capacity, nullptr);
    m_transport.init(&m_receiver, &MLPConnection::writeAndWait, this, &MLPConnection::markDone, this);
}

bool MLPConnection::writeAndWait(void* context, const uint8_t* bytes, uint16_t length, MLPSentCallback onSent,
                                 void* onSentContext)
{
    auto* connection = static_cast<MLPConnection*>(context);
    const MLPClock& clock = connection->m_clock;
    if (!connection->m_link->write(bytes, length)) {
        return false;
    }
    onSent(onSentContext);
    uint32_t previousNowMs = clock.nowMs(clock.context);
    while (!connection->m_done) {
        const marlune::MLP::MLPPhyReadResult read = connection->m_link->readByte();
        if (!read.empty) {
            connection->m_receiver.feed(read.value);
        }
        const uint32_t nowMs = clock.nowMs(clock.context);
        connection->m_receiver.tick(nowMs);
        connection->m_receiver.poll();
        if (read.empty && nowMs == previousNowMs && !connection->m_done) {
            clock.sleepMs(clock.context, kIdleBackoffMs);
            previousNowMs = clock.nowMs(clock.context);
        } else {
            previousNowMs = nowMs;
        }
    }
    return true;
}

void MLPConnection::markDone(void* context)
{
    static_cast<MLPConnection*>(context)->m_done = true;
}

bool MLPConnection::exchange(const uint8_t* frame, uint16_t length)
{
    m_done = false;
    return m_transport.send(frame, length);
}

MLPFrameSpec MLPConnection::nextHostFrame(uint8_t* output, MLPFrameType type, uint8_t command)
{
    MLPFrameSpec description;
    description.output = output;
    description.command = command;
    description.headerByte1 = Layout::kHostHeaderByte1;
    description.headerByte2 = Layout::kHostHeaderByte2;
    description.sequence = m_sequence++;
    description.frameType = typeByte(type);
    return description;
}

bool MLPConnection::answerMatches(uint8_t command, uint16_t value) const
{
    // A receive buffer too small for the head cannot show what the answer is.
    if (m_transport.frame == nullptr || m_transport.frameLength < Layout::kHeadLength) {
        return false;
    }
    const auto answerValue =
        static_cast<uint16_t>(answerByte(Layout::kValueOffset) | (answerByte(Layout::kValueOffset + 1) << 8));
    return answerByte(Layout::kCommandOffset) == command && answerValue == value;
}

// The length the frame has on the wire, which exceeds the stored length when the receive
// buffer was too small for it. Only valid once answerMatches() holds.
uint32_t MLPConnection::answerWireLength() const
{
    const uint32_t payloadLength =
        answerByte(Layout::kLengthOffset) | (answerByte(Layout::kLengthOffset + 1) << 8);
    return Layout::kOverhead + payloadLength;
}

bool MLPConnection::answerComplete() const
{
    return m_transport.frameLength == answerWireLength();
}

MLPStatus MLPConnection::evaluateRequestAnswer(uint8_t command, uint16_t value, uint8_t& errorCode) const
{
    if (!answerMatches(command, value)) {
        return MLPStatus::NoValidReply;
    }
    const uint8_t type = answerByte(Layout::kTypeOffset);
    if (type == typeByte(MLPFrameType::Response)) {
        return MLPStatus::Ok;
    }
    if (type != typeByte(MLPFrameType::Ack)) {
        return MLPStatus::NoValidReply;
    }
    // Without a status byte, offset 12 would be the checksum, not a verdict.
    if (answerWireLength() <= Layout::kOverhead || m_transport.frameLength <= Layout::kPayloadOffset) {
        return MLPStatus::NoValidReply;
    }
    const uint8_t status = answerByte(Layout::kPayloadOffset);
    if (status == 0) {
        return MLPStatus::Acknowledged;
    }
    errorCode = status;
    return MLPStatus::DeviceError;
}

MLPStatus MLPConnection::evaluateDataAck(uint8_t command, uint16_t value, uint8_t& errorCode) const
{
    if (!answerMatches(command, value) || answerWireLength() != kAckFrameLength || !answerComplete() ||
        answerByte(Layout::kTypeOffset) != typeByte(MLPFrameType::Ack)) {
        return MLPStatus::NoValidReply;
    }
    const uint8_t status = answerByte(Layout::kPayloadOffset);
    if (status == 0) {
        return MLPStatus::Ok;
    }
    errorCode = status;
    return MLPStatus::DeviceError;
}

MLPReadResult MLPConnection::requestDeviceInfo()
{
    MLPReadResult result;

    std::array<uint8_t, Layout::kOverhead> frame;
    MLPFrameSpec description = nextHostFrame(frame.data(), MLPFrameType::Request, DeviceInfo);
    description.firstSegment = true;
    description.lastSegment = true;

    prepare();
    buildFrame(description);
    const uint32_t startMs = traceStartMs();
    const bool accepted = exchange(frame.data(), Layout::kOverhead);

    const uint16_t deviceInfoValue = 0;
    result.status = evaluateRequestAnswer(DeviceInfo, deviceInfoValue, result.errorCode);
    traceExchange(description, Layout::kOverhead, accepted, result.status, result.errorCode, startMs);
    if (result.status == MLPStatus::Ok && answerWireLength() == kDeviceInfoFrameLength && answerComplete()) {
        const uint8_t* payload = m_transport.frame + Layout::kPayloadOffset;
        const MLPDeviceInfoRecord record = MLPDeviceInfoRecord::fromPayload(payload);
        // A smaller frame leaves no room for payload: writing with it would never end.
        if (record.maxFrameLength >= kMinimumMaxFrameLength) {
            m_maxFrameLength = record.maxFrameLength;
        }
        result.data.reset(new uint8_t[MLPDeviceInfoRecord::kPayloadLength]);
        std::memcpy(result.data.get(), payload, MLPDeviceInfoRecord::kPayloadLength);
        result.length = MLPDeviceInfoRecord::kPayloadLength;
    }
    return result;
}

MLPWriteResult MLPConnection::writeSegmented(const uint8_t* data, uint32_t length, uint8_t command,
                                             uint16_t value)
{
    MLPWriteResult result;
    const uint16_t frameLength = m_maxFrameLength;
    const uint32_t maxChunk = frameLength - Layout::kOverhead;
    std::unique_ptr<uint8_t[]> frame(new uint8_t[frameLength]);

    const uint8_t* nextBytes = data;
    uint32_t remainingBytes = length;
    bool firstSegment = true;
    while (true) {
        const auto chunk = static_cast<uint16_t>(std::min(remainingBytes, maxChunk));
        const bool lastSegment = chunk == remainingBytes;

        MLPFrameSpec description = nextHostFrame(frame.get(), MLPFrameType::Data, command);
        description.payload = nextBytes;
        description.length = chunk;
        description.value = value;
        description.firstSegment = firstSegment;
        description.lastSegment = lastSegment;

        prepare();
        buildFrame(description);
        ++result.segments;
        result.errorCode = 0;
        const auto segmentLength = static_cast<uint16_t>(chunk + Layout::kOverhead);
        const uint32_t startMs = traceStartMs();
        if (!exchange(frame.get(), segmentLength)) {
            // Nothing of this segment counts as sent, and no observer hears of it.
            result.linkWriteFailed = true;
            result.linkError = m_link->lastError();
            if (result.linkError != 0) {
                result.linkErrorName = m_link->errorString(result.linkError);
            }
            result.status = MLPStatus::NoValidReply;
            traceExchange(description, segmentLength, false, result.status, result.errorCode, startMs);
            break;
        }
        result.sentBytes += chunk;
        remainingBytes -= chunk;
        result.finalSegmentAccepted = lastSegment;
        result.status = evaluateDataAck(command, value, result.errorCode);
        traceExchange(description, segmentLength, true, result.status, result.errorCode, startMs);
        if (result.status == MLPStatus::Ok) {
            result.confirmedBytes += chunk;
        }

        nextBytes += chunk;
        for (marlune::MLP::MLPProgressObserverI* observer : m_observers) {
            observer->bytesSent(static_cast<int>(result.sentBytes));
        }
        if (lastSegment || result.status != MLPStatus::Ok) {
            break;
        }
        firstSegment = false;
    }
    return result;
}

void MLPConnection::addObserver(marlune::MLP::MLPProgressObserverI* observer)
{
    m_observers.push_back(observer);
}

void MLPConnection::removeObserver(marlune::MLP::MLPProgressObserverI* observer)
{
    const auto found = std::find(m_observers.begin(), m_observers.end(), observer);
    if (found != m_observers.end()) {
        m_observers.erase(found);
    }
}
