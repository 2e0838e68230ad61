#include "timedfaultendpoint.h"

#include <utility>

TimedFaultEndpoint::TimedFaultEndpoint(std::shared_ptr<marlune::testing::VirtualDevice> device)
    : m_device(std::move(device))
{}

void TimedFaultEndpoint::unplugOnFrame(std::size_t frame)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_unplugFrame = frame;
}

void TimedFaultEndpoint::unplugOnDataSegment(std::size_t segment)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_unplugDataSegment = segment;
}

void TimedFaultEndpoint::delayAnswersFromFrame(std::size_t frame, uint32_t delayMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_delayFrame = frame;
    m_delayMs = delayMs;
}

void TimedFaultEndpoint::hostWrote(const uint8_t* data, std::size_t length)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_unplugged) {
        return;
    }
    // The device queues its answer while it takes the frame, so the delay is in place
    // before the frame's bytes reach it.
    if (m_delayFrame && m_device->frameCount() >= *m_delayFrame) {
        m_device->setAnswerDelay(m_delayMs);
        m_delayFrame.reset();
    }
    m_device->hostWrote(data, length);
    // An answer the device has queued by now never leaves.
    if ((m_unplugFrame && m_device->frameCount() > *m_unplugFrame) ||
        (m_unplugDataSegment && m_device->dataSegmentCount() > *m_unplugDataSegment)) {
        m_unplugged = true;
    }
}

std::size_t TimedFaultEndpoint::readForHost(uint8_t* out, std::size_t capacity)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_unplugged ? 0 : m_device->readForHost(out, capacity);
}

bool TimedFaultEndpoint::isAttached() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_unplugged && m_device->isAttached();
}
