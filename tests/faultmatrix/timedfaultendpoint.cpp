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
    // The device queues its answer while it takes the frame, so the delay is in place
    // before the frame's bytes reach it.
    changeDeviceFromFrame(
        frame, [delayMs](marlune::testing::VirtualDevice& device) { device.setAnswerDelay(delayMs); });
}

void TimedFaultEndpoint::changeDeviceFromFrame(std::size_t frame,
                                               std::function<void(marlune::testing::VirtualDevice&)> change)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_changeFrame = frame;
    m_change = std::move(change);
}

void TimedFaultEndpoint::stopTakingDataAtSegment(std::size_t segment)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopTakingSegment = segment;
}

void TimedFaultEndpoint::hostWrote(const uint8_t* data, std::size_t length)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_unplugged) {
        return;
    }
    if (m_changeFrame && m_device->frameCount() >= *m_changeFrame) {
        m_change(*m_device);
        m_changeFrame.reset();
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

bool TimedFaultEndpoint::takesHostData() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_stopTakingSegment || m_device->dataSegmentCount() < *m_stopTakingSegment;
}

bool TimedFaultEndpoint::isAttached() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_unplugged && m_device->isAttached();
}
