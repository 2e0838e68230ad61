#pragma once

#include "deviceendpoint.h"

#include <QByteArray>

#include <algorithm>
#include <mutex>

namespace marlune::testing {

// The smallest device behind a link: hands out the bytes a test queued for the host, as
// fast as they are asked for, and keeps everything the host wrote.
class ScriptedEndpoint : public DeviceEndpoint
{
public:
    void queueForHost(const QByteArray& bytes)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_forHost.append(bytes);
    }

    QByteArray received() const
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_received;
    }

    void hostWrote(const uint8_t* data, std::size_t length) override
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_received.append(reinterpret_cast<const char*>(data), static_cast<int>(length));
    }

    std::size_t readForHost(uint8_t* out, std::size_t capacity) override
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const auto count = std::min(capacity, static_cast<std::size_t>(m_forHost.size()));
        std::copy_n(m_forHost.constData(), count, reinterpret_cast<char*>(out));
        m_forHost.remove(0, static_cast<int>(count));
        return count;
    }

private:
    mutable std::mutex m_mutex;
    QByteArray m_forHost;
    QByteArray m_received;
};

} // namespace marlune::testing
