#pragma once

#include "mlpclock.h"
#include "mlpframereceiver.h"
#include "mlpframetrace.h"
#include "mlpframetype.h"
#include "mlpprogressobserveri.h"
#include "mlpreadresult.h"
#include "mlptransport.h"
#include "mlpwriteresult.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace marlune::MLP {
class MLPPhy;
}
struct MLPFrameSpec;

// The protocol object through which requests talk to one device over an opened link: reads
// the device-information record and writes data as acknowledged segments. It owns the
// receive buffer, the sequence counter and the observer list; the link stays the caller's.
// Used by one thread at a time.
class MLPConnection
{
public:
    static constexpr uint16_t kInitialMaxFrameLength = 100;
    // Smallest frame length that leaves room for one payload byte.
    static constexpr uint16_t kMinimumMaxFrameLength = 15;

    MLPConnection(marlune::MLP::MLPPhy* link, uint32_t receiveCapacity);
    ~MLPConnection();

    MLPConnection(const MLPConnection&) = delete;
    MLPConnection& operator=(const MLPConnection&) = delete;

    void setClock(const MLPClock& clock);
    // Hears every exchange once it has been judged; null (the default) traces nothing. `unit`
    // names the device in each trace, for a caller that traces several at once.
    void setFrameTrace(MLPFrameTraceFunction trace, void* context, std::string unit = std::string());

    // Re-initialises the receiver and the transport; every transaction calls it before each exchange.
    void prepare();

    MLPReadResult requestDeviceInfo();
    MLPWriteResult writeSegmented(const uint8_t* data, uint32_t length, uint8_t command, uint16_t value);

    // Duplicates are allowed; removing drops the first occurrence only.
    void addObserver(marlune::MLP::MLPProgressObserverI* observer);
    void removeObserver(marlune::MLP::MLPProgressObserverI* observer);

    uint16_t maxFrameLength() const { return m_maxFrameLength; }

private:
    static bool writeAndWait(void* connection, const uint8_t* bytes, uint16_t length, MLPSentCallback onSent,
                             void* onSentContext);
    static void markDone(void* connection);

    // False when the link refused the frame; then no answer was waited for.
    bool exchange(const uint8_t* frame, uint16_t length);
    uint32_t traceStartMs() const;
    void traceExchange(const MLPFrameSpec& sent, uint16_t sentLength, bool writeAccepted, MLPStatus status,
                       uint8_t errorCode, uint32_t startMs) const;
    // A frame from this host carrying the next sequence number.
    MLPFrameSpec nextHostFrame(uint8_t* output, MLPFrameType type, uint8_t command);

    bool answerMatches(uint8_t command, uint16_t value) const;
    uint32_t answerWireLength() const;
    bool answerComplete() const;
    uint8_t answerByte(uint16_t offset) const { return m_transport.frame[offset]; }
    MLPStatus evaluateRequestAnswer(uint8_t command, uint16_t value, uint8_t& errorCode) const;
    MLPStatus evaluateDataAck(uint8_t command, uint16_t value, uint8_t& errorCode) const;

    marlune::MLP::MLPPhy* m_link;
    MLPFrameReceiver m_receiver;
    MLPTransport m_transport;
    std::unique_ptr<uint8_t[]> m_receiveBuffer;
    uint32_t m_receiveCapacity;
    uint8_t m_sequence = 0;
    uint16_t m_maxFrameLength = kInitialMaxFrameLength;
    bool m_done = false;
    std::vector<marlune::MLP::MLPProgressObserverI*> m_observers;
    MLPClock m_clock;
    MLPFrameTraceFunction m_trace = nullptr;
    void* m_traceContext = nullptr;
    std::string m_traceUnit;
};
