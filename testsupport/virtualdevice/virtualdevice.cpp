#include "virtualdevice.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace marlune::testing {

namespace {

// The device's view of the wire format, kept apart from the host's on purpose.
constexpr uint8_t kStart = 0xAA;
constexpr uint8_t kEnd = 0xCC;
constexpr std::size_t kHeadLength = 12;
constexpr std::size_t kOverhead = 14;
constexpr std::size_t kHeaderByte1Offset = 1;
constexpr std::size_t kHeaderByte2Offset = 2;
constexpr std::size_t kFlagsOffset = 3;
constexpr std::size_t kTypeOffset = 4;
constexpr std::size_t kCommandOffset = 5;
constexpr std::size_t kValueOffset = 6;
constexpr std::size_t kLengthOffset = 8;
constexpr std::size_t kSequenceOffset = 10;
constexpr std::size_t kModelOffset = 6;
constexpr std::size_t kModelFieldLength = 40;
constexpr uint8_t kFirstSegment = 0x08;
constexpr uint8_t kLastSegment = 0x04;
// Where an update header names its blocks and its firmware version (major, minor as plain
// numbers).
constexpr std::size_t kUpdateBlockCountOffset = 46;
constexpr std::size_t kUpdateFirmwareVersionOffset = 48;

uint16_t toBcd(uint8_t number)
{
    return static_cast<uint16_t>((number / 10) << 4 | number % 10);
}
constexpr uint8_t kDeviceHeaderByte1 = 0x00;
constexpr uint8_t kDeviceHeaderByte2 = 0xFF;
// Parsed input is dropped from the front of the buffer once this much has piled up.
constexpr std::size_t kInputCompactThreshold = 4096;

uint16_t readLe16(const uint8_t* bytes)
{
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

void appendLe16(std::vector<uint8_t>& bytes, uint16_t value)
{
    bytes.push_back(static_cast<uint8_t>(value & 0xFF));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
}

uint8_t sum(const uint8_t* bytes, std::size_t length, uint8_t start = 0)
{
    uint8_t total = start;
    for (std::size_t index = 0; index < length; ++index) {
        total = static_cast<uint8_t>(total + bytes[index]);
    }
    return total;
}

uint32_t steadyNowMs()
{
    const auto sinceEpoch = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count());
}

} // namespace

VirtualDevice::VirtualDevice(const VirtualDeviceIdentity& identity)
    : m_identity(identity), m_nowMs(&steadyNowMs)
{}

void VirtualDevice::setIdentity(const VirtualDeviceIdentity& identity)
{
    std::lock_guard lock(m_mutex);
    m_identity = identity;
}

void VirtualDevice::setClock(std::function<uint32_t()> nowMs)
{
    std::lock_guard lock(m_mutex);
    m_nowMs = std::move(nowMs);
}

void VirtualDevice::setSilent(bool silent)
{
    std::lock_guard lock(m_mutex);
    m_silent = silent;
}

void VirtualDevice::failSegment(std::size_t segment, uint8_t status)
{
    std::lock_guard lock(m_mutex);
    m_segmentStatus[segment] = status;
}

void VirtualDevice::dropAck(std::size_t segment)
{
    std::lock_guard lock(m_mutex);
    m_droppedAcks.insert(segment);
}

void VirtualDevice::malformAck(std::size_t segment, AckFault fault)
{
    std::lock_guard lock(m_mutex);
    m_malformedAcks[segment] = fault;
}

void VirtualDevice::setNoise(std::vector<uint8_t> noise)
{
    std::lock_guard lock(m_mutex);
    m_noise = std::move(noise);
}

void VirtualDevice::answerRequestsWithAck(uint8_t status)
{
    std::lock_guard lock(m_mutex);
    m_requestAckStatus = status;
}

void VirtualDevice::setInfoPayloadLength(std::size_t length)
{
    std::lock_guard lock(m_mutex);
    m_infoPayloadLength = length;
}

void VirtualDevice::setAnswerDelay(uint32_t milliseconds)
{
    std::lock_guard lock(m_mutex);
    m_answerDelayMs = milliseconds;
}

void VirtualDevice::detachAfterFrames(std::size_t frames)
{
    std::lock_guard lock(m_mutex);
    m_detachAfterFrames = m_frameCount + frames;
    if (frames == 0) {
        finishDetaching();
    }
}

void VirtualDevice::detach()
{
    std::lock_guard lock(m_mutex);
    finishDetaching();
}

void VirtualDevice::setRecording(bool recording)
{
    std::lock_guard lock(m_mutex);
    m_recording = recording;
}

std::vector<VirtualDeviceFrame> VirtualDevice::receivedFrames() const
{
    std::lock_guard lock(m_mutex);
    return m_frames;
}

std::size_t VirtualDevice::frameCount() const
{
    std::lock_guard lock(m_mutex);
    return m_frameCount;
}

std::size_t VirtualDevice::dataSegmentCount() const
{
    std::lock_guard lock(m_mutex);
    return m_dataSegments;
}

std::vector<uint8_t> VirtualDevice::transferPayload(uint8_t command, uint16_t value) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_transferPayloads.find({command, value});
    return found == m_transferPayloads.end() ? std::vector<uint8_t>() : found->second;
}

std::vector<std::pair<uint8_t, uint16_t>> VirtualDevice::transfers() const
{
    std::lock_guard lock(m_mutex);
    return m_transferOrder;
}

std::size_t VirtualDevice::discardedByteCount() const
{
    std::lock_guard lock(m_mutex);
    return m_discardedBytes;
}

void VirtualDevice::clearRecords()
{
    std::lock_guard lock(m_mutex);
    m_frames.clear();
    m_transferPayloads.clear();
    m_transferOrder.clear();
    m_discardedBytes = 0;
}

bool VirtualDevice::isAttached() const
{
    std::lock_guard lock(m_mutex);
    return m_attached;
}

void VirtualDevice::hostWrote(const uint8_t* data, std::size_t length)
{
    std::lock_guard lock(m_mutex);
    if (!m_attached || m_ignoringFrames) {
        return;
    }
    m_input.insert(m_input.end(), data, data + length);
    parseInput();
}

std::size_t VirtualDevice::readForHost(uint8_t* out, std::size_t capacity)
{
    std::lock_guard lock(m_mutex);
    if (!m_attached) {
        return 0;
    }
    releaseDueAnswers();
    const std::size_t count = std::min(capacity, m_outputReleased - m_outputRead);
    if (count > 0) {
        std::memcpy(out, m_output.data() + m_outputRead, count);
        m_outputRead += count;
    }
    if (m_outputRead == m_output.size()) {
        m_output.clear();
        m_releases.clear();
        m_outputRead = 0;
        m_outputReleased = 0;
        m_nextRelease = 0;
        if (m_detachWhenDrained) {
            finishDetaching();
        }
    }
    return count;
}

void VirtualDevice::releaseDueAnswers()
{
    if (m_nextRelease == m_releases.size()) {
        return;
    }
    const uint32_t nowMs = m_nowMs();
    while (m_nextRelease < m_releases.size() &&
           static_cast<int32_t>(nowMs - m_releases[m_nextRelease].dueMs) >= 0) {
        m_outputReleased = m_releases[m_nextRelease].end;
        ++m_nextRelease;
    }
}

void VirtualDevice::finishDetaching()
{
    m_attached = false;
    m_detachWhenDrained = false;
    m_ignoringFrames = true;
}

// Resynchronises byte by byte: whatever does not start a well-formed frame is skipped.
void VirtualDevice::parseInput()
{
    while (!m_ignoringFrames) {
        const std::size_t available = m_input.size() - m_inputStart;
        const uint8_t* candidate = m_input.data() + m_inputStart;
        if (available == 0) {
            break;
        }
        if (candidate[0] != kStart) {
            ++m_inputStart;
            ++m_discardedBytes;
            continue;
        }
        if (available < kHeadLength) {
            break;
        }
        const uint8_t headerSum = sum(candidate, kHeadLength - 1);
        if (candidate[kHeadLength - 1] != headerSum) {
            ++m_inputStart;
            ++m_discardedBytes;
            continue;
        }
        const std::size_t payloadLength = readLe16(candidate + kLengthOffset);
        const std::size_t frameLength = payloadLength + kOverhead;
        if (available < frameLength) {
            break;
        }
        const uint8_t payloadSum = sum(candidate + kHeadLength, payloadLength, headerSum);
        if (candidate[kHeadLength + payloadLength] != payloadSum || candidate[frameLength - 1] != kEnd) {
            ++m_inputStart;
            ++m_discardedBytes;
            continue;
        }
        m_inputStart += frameLength;
        handleFrame(candidate, frameLength);
    }
    if (m_inputStart == m_input.size()) {
        m_input.clear();
        m_inputStart = 0;
    } else if (m_inputStart > kInputCompactThreshold) {
        m_input.erase(m_input.begin(), m_input.begin() + static_cast<std::ptrdiff_t>(m_inputStart));
        m_inputStart = 0;
    }
}

void VirtualDevice::handleFrame(const uint8_t* frame, std::size_t length)
{
    const uint8_t flags = frame[kFlagsOffset];
    const uint8_t type = frame[kTypeOffset];
    const uint8_t command = frame[kCommandOffset];
    const uint16_t value = readLe16(frame + kValueOffset);
    const uint8_t sequence = frame[kSequenceOffset];
    const uint8_t* payload = frame + kHeadLength;
    const std::size_t payloadLength = length - kOverhead;

    if (m_recording) {
        VirtualDeviceFrame received;
        received.headerByte1 = frame[kHeaderByte1Offset];
        received.headerByte2 = frame[kHeaderByte2Offset];
        received.flags = flags;
        received.type = type;
        received.command = command;
        received.value = value;
        received.sequence = sequence;
        received.payload.assign(payload, payload + payloadLength);
        m_frames.push_back(std::move(received));

        if (type == kTypeData) {
            const std::pair<uint8_t, uint16_t> key{command, value};
            const auto found = m_transferPayloads.find(key);
            if (found == m_transferPayloads.end()) {
                m_transferOrder.push_back(key);
            }
            std::vector<uint8_t>& transfer = m_transferPayloads[key];
            if ((flags & kFirstSegment) != 0) {
                transfer.clear();
            }
            transfer.insert(transfer.end(), payload, payload + payloadLength);
        }
    }
    ++m_frameCount;

    const std::size_t outputBefore = m_output.size();
    if (type == kTypeRequest) {
        answerRequest(command, value, sequence);
    } else if (type == kTypeData) {
        const bool accepted = !m_silent && m_segmentStatus.count(m_dataSegments) == 0;
        answerData(command, value, sequence);
        if (m_installsUpdates) {
            installUpdate(flags, command, value, payload, payloadLength, accepted);
        }
    }

    if (m_detachAfterFrames && m_frameCount >= *m_detachAfterFrames) {
        m_ignoringFrames = true;
        if (m_output.size() == outputBefore && m_outputRead == m_output.size()) {
            finishDetaching();
        } else {
            m_detachWhenDrained = true;
        }
    }
}

void VirtualDevice::answerRequest(uint8_t command, uint16_t value, uint8_t sequence)
{
    // While restarting after an update the device hears nothing.
    if (m_silent || (m_restartStartMs && m_nowMs() - *m_restartStartMs < m_restartAfterUpdateMs)) {
        return;
    }
    if (m_requestAckStatus) {
        const uint8_t status = *m_requestAckStatus;
        queueFrame(kTypeAck, command, value, sequence, &status, 1);
    } else if (command == kCommandDeviceInfo) {
        const std::vector<uint8_t> record = infoRecord();
        queueFrame(kTypeResponse, command, value, sequence, record.data(), record.size());
    } else {
        queueFrame(kTypeAck, command, value, sequence, &kUnknownCommandStatus, 1);
    }
}

void VirtualDevice::setInstallsUpdates(bool installs)
{
    std::lock_guard lock(m_mutex);
    m_installsUpdates = installs;
}

void VirtualDevice::setRestartAfterUpdate(uint32_t milliseconds)
{
    std::lock_guard lock(m_mutex);
    m_restartAfterUpdateMs = milliseconds;
}

void VirtualDevice::installUpdate(uint8_t flags, uint8_t command, uint16_t value, const uint8_t* payload,
                                  std::size_t length, bool accepted)
{
    if (command == kCommandUpdateHeader) {
        if ((flags & kFirstSegment) != 0) {
            m_updateHeader.clear();
        }
        m_updateHeader.insert(m_updateHeader.end(), payload, payload + length);
        return;
    }
    if (command != kCommandUpdateBlock || !accepted || (flags & kLastSegment) == 0 ||
        m_updateHeader.size() != kUpdateHeaderLength ||
        value + 1u != m_updateHeader[kUpdateBlockCountOffset]) {
        return;
    }
    const uint8_t major = m_updateHeader[kUpdateFirmwareVersionOffset + 1];
    const uint8_t minor = m_updateHeader[kUpdateFirmwareVersionOffset];
    m_identity.fwVersion = static_cast<uint16_t>(toBcd(major) << 8 | toBcd(minor));
    m_restartStartMs = m_nowMs();
}

void VirtualDevice::answerData(uint8_t command, uint16_t value, uint8_t sequence)
{
    const std::size_t segment = m_dataSegments++;
    if (m_silent || m_droppedAcks.count(segment) != 0) {
        return;
    }
    const auto status = m_segmentStatus.find(segment);
    const uint8_t payload[] = {status == m_segmentStatus.end() ? uint8_t{0} : status->second, 0};
    const std::size_t ackPayloadLength = 1;

    const auto fault = m_malformedAcks.find(segment);
    if (fault == m_malformedAcks.end()) {
        queueFrame(kTypeAck, command, value, sequence, payload, ackPayloadLength);
        return;
    }
    switch (fault->second) {
    case AckFault::WrongLength:
        queueFrame(kTypeAck, command, value, sequence, payload, ackPayloadLength + 1);
        break;
    case AckFault::WrongCommand:
        queueFrame(kTypeAck, static_cast<uint8_t>(command + 1), value, sequence, payload, ackPayloadLength);
        break;
    case AckFault::WrongValue:
        queueFrame(kTypeAck, command, static_cast<uint16_t>(value + 1), sequence, payload, ackPayloadLength);
        break;
    case AckFault::BadChecksum:
        queueFrame(kTypeAck, command, value, sequence, payload, ackPayloadLength, true);
        break;
    }
}

void VirtualDevice::queueFrame(uint8_t type, uint8_t command, uint16_t value, uint8_t sequence,
                               const uint8_t* payload, std::size_t payloadLength, bool corruptChecksum)
{
    m_output.insert(m_output.end(), m_noise.begin(), m_noise.end());
    const std::size_t frameStart = m_output.size();
    m_output.push_back(kStart);
    m_output.push_back(kDeviceHeaderByte1);
    m_output.push_back(kDeviceHeaderByte2);
    m_output.push_back(type == kTypeResponse ? kFirstSegment | kLastSegment : 0);
    m_output.push_back(type);
    m_output.push_back(command);
    appendLe16(m_output, value);
    appendLe16(m_output, static_cast<uint16_t>(payloadLength));
    m_output.push_back(sequence);
    const uint8_t headerSum = sum(m_output.data() + frameStart, kHeadLength - 1);
    m_output.push_back(headerSum);
    m_output.insert(m_output.end(), payload, payload + payloadLength);
    uint8_t payloadSum = sum(payload, payloadLength, headerSum);
    if (corruptChecksum) {
        ++payloadSum;
    }
    m_output.push_back(payloadSum);
    m_output.push_back(kEnd);
    m_releases.push_back({m_output.size(), m_nowMs() + m_answerDelayMs});
}

std::vector<uint8_t> VirtualDevice::infoRecord() const
{
    std::vector<uint8_t> record;
    record.reserve(kInfoRecordLength);
    appendLe16(record, m_identity.infoWord0);
    appendLe16(record, m_identity.hwVersion);
    appendLe16(record, m_identity.fwVersion);
    const std::size_t modelLength = std::min(m_identity.model.size(), kModelFieldLength);
    record.insert(record.end(), m_identity.model.begin(),
                  m_identity.model.begin() + static_cast<std::ptrdiff_t>(modelLength));
    record.resize(kModelOffset + kModelFieldLength, 0);
    appendLe16(record, m_identity.maxFrameLength);
    appendLe16(record, 0);
    record.resize(m_infoPayloadLength, 0);
    return record;
}

} // namespace marlune::testing
