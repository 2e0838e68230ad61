#pragma once

#include "deviceendpoint.h"
#include "virtualdeviceframe.h"
#include "virtualdeviceidentity.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace marlune::testing {

// A device that speaks the device side of the MLP protocol, for tests, benchmarks and the
// demo. It parses and writes frames with its own code, independent of the host's protocol
// layer, so that it can catch faults there. It answers a DeviceInfo Request with its
// identity record, acknowledges every Data segment with status 0 and records what it
// received; faults are injected on demand. Thread-safe.
//
// Data segments are counted from 0 over the device's lifetime, across transfers.
class VirtualDevice : public DeviceEndpoint
{
public:
    static constexpr uint8_t kTypeData = 0;
    static constexpr uint8_t kTypeAck = 1;
    static constexpr uint8_t kTypeRequest = 2;
    static constexpr uint8_t kTypeResponse = 3;
    static constexpr uint8_t kCommandDeviceInfo = 1;
    static constexpr std::size_t kInfoRecordLength = 50;
    // The commands that carry an update file's header and its blocks, and the header's length.
    static constexpr uint8_t kCommandUpdateHeader = 3;
    static constexpr uint8_t kCommandUpdateBlock = 4;
    static constexpr std::size_t kUpdateHeaderLength = 256;
    // The status a Request for a command the device does not know is acknowledged with.
    static constexpr uint8_t kUnknownCommandStatus = 0x01;

    enum class AckFault
    {
        WrongLength,  // a second status byte: a 16-byte frame
        WrongCommand, // the command byte off by one
        WrongValue,   // the value off by one
        BadChecksum,  // the payload checksum off by one
    };

    explicit VirtualDevice(const VirtualDeviceIdentity& identity = VirtualDeviceIdentity());

    void setIdentity(const VirtualDeviceIdentity& identity);
    // The time base for late answers, in milliseconds; steady_clock by default.
    void setClock(std::function<uint32_t()> nowMs);

    // Fault injection.
    void setSilent(bool silent);
    void failSegment(std::size_t segment, uint8_t status);
    void dropAck(std::size_t segment);
    void malformAck(std::size_t segment, AckFault fault);
    void setNoise(std::vector<uint8_t> noise);     // sent before every answer
    void answerRequestsWithAck(uint8_t status);    // an Ack instead of a Response
    void setInfoPayloadLength(std::size_t length); // a Response of another length
    void setAnswerDelay(uint32_t milliseconds);    // answers become readable this late
    // Answers `frames` frames, then goes away: detached once the last of those answers has
    // been read by the host (at once if it had none); later frames are ignored.
    void detachAfterFrames(std::size_t frames);
    void detach();
    // A device that installs what it is sent: once the last block of an update arrives
    // whole, it reports the firmware version the update's header named. Off by default.
    void setInstallsUpdates(bool installs);
    // Having installed an update, the device answers no request for this long, as one
    // starting its new firmware.
    void setRestartAfterUpdate(uint32_t milliseconds);
    // Recording keeps every frame and transfer in memory; off for long benchmark runs.
    void setRecording(bool recording);

    // What the device has received.
    std::vector<VirtualDeviceFrame> receivedFrames() const;
    std::size_t frameCount() const;
    std::size_t dataSegmentCount() const;
    // The payloads of the Data frames of one (command, value), in order; a first-segment
    // flag starts the transfer afresh.
    std::vector<uint8_t> transferPayload(uint8_t command, uint16_t value) const;
    // The (command, value) pairs of all transfers, in the order they began.
    std::vector<std::pair<uint8_t, uint16_t>> transfers() const;
    // Bytes skipped while looking for a well-formed frame: noise or broken frames from the host.
    std::size_t discardedByteCount() const;
    void clearRecords();

    void hostWrote(const uint8_t* data, std::size_t length) override;
    std::size_t readForHost(uint8_t* out, std::size_t capacity) override;
    bool isAttached() const override;

private:
    struct Release
    {
        std::size_t end;
        uint32_t dueMs;
    };

    void parseInput();
    void handleFrame(const uint8_t* frame, std::size_t length);
    void answerRequest(uint8_t command, uint16_t value, uint8_t sequence);
    void answerData(uint8_t command, uint16_t value, uint8_t sequence);
    void installUpdate(uint8_t flags, uint8_t command, uint16_t value, const uint8_t* payload,
                       std::size_t length, bool accepted);
    void queueFrame(uint8_t type, uint8_t command, uint16_t value, uint8_t sequence, const uint8_t* payload,
                    std::size_t payloadLength, bool corruptChecksum = false);
    std::vector<uint8_t> infoRecord() const;
    void releaseDueAnswers();
    void finishDetaching();

    mutable std::mutex m_mutex;
    VirtualDeviceIdentity m_identity;
    std::function<uint32_t()> m_nowMs;

    bool m_silent = false;
    std::map<std::size_t, uint8_t> m_segmentStatus;
    std::set<std::size_t> m_droppedAcks;
    std::map<std::size_t, AckFault> m_malformedAcks;
    std::vector<uint8_t> m_noise;
    std::optional<uint8_t> m_requestAckStatus;
    std::size_t m_infoPayloadLength = kInfoRecordLength;
    uint32_t m_answerDelayMs = 0;
    std::optional<std::size_t> m_detachAfterFrames;
    bool m_attached = true;
    bool m_detachWhenDrained = false;
    bool m_ignoringFrames = false;
    bool m_recording = true;

    std::vector<uint8_t> m_input;
    std::size_t m_inputStart = 0;
    std::size_t m_discardedBytes = 0;

    std::vector<uint8_t> m_output;
    std::size_t m_outputRead = 0;
    std::size_t m_outputReleased = 0;
    std::vector<Release> m_releases;
    std::size_t m_nextRelease = 0;

    std::size_t m_frameCount = 0;
    std::size_t m_dataSegments = 0;
    bool m_installsUpdates = false;
    uint32_t m_restartAfterUpdateMs = 0;
    std::optional<uint32_t> m_restartStartMs;
    std::vector<uint8_t> m_updateHeader; // the last update header received, as far as it came
    std::vector<VirtualDeviceFrame> m_frames;
    std::map<std::pair<uint8_t, uint16_t>, std::vector<uint8_t>> m_transferPayloads;
    std::vector<std::pair<uint8_t, uint16_t>> m_transferOrder;
};

} // namespace marlune::testing
