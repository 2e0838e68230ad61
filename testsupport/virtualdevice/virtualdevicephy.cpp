#include "virtualdevicephy.h"

#include "fakeclock.h"

namespace marlune::testing {

VirtualDevicePhy::VirtualDevicePhy(DeviceEndpoint& endpoint, FakeClock* clock, uint32_t emptyReadAdvanceMs)
    : m_endpoint(endpoint), m_clock(clock), m_emptyReadAdvanceMs(emptyReadAdvanceMs)
{}

bool VirtualDevicePhy::write(const uint8_t* data, uint32_t length)
{
    m_lastError = 0;
    if (m_writes++ >= m_refusedFrom || !m_endpoint.isAttached()) {
        m_lastError = m_refusalError;
        return false;
    }
    m_endpoint.hostWrote(data, length);
    return true;
}

marlune::MLP::MLPPhyReadResult VirtualDevicePhy::readByte()
{
    if (m_readPosition == m_readFilled && m_endpoint.isAttached()) {
        m_readPosition = 0;
        m_readFilled = m_endpoint.readForHost(m_readBuffer.data(), m_readBuffer.size());
    }
    if (m_readPosition < m_readFilled) {
        return {m_readBuffer[m_readPosition++], 0};
    }
    ++m_emptyReads;
    if (m_clock != nullptr) {
        m_clock->advance(m_emptyReadAdvanceMs);
    }
    return {0, 1};
}

} // namespace marlune::testing
