#pragma once

#include "deviceendpoint.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <vector>

// A device side for the USB emulation tests: records what the host wrote, answers with
// queued bytes and, in echo mode, with everything the host wrote.
class ScriptedEndpoint : public marlune::testing::DeviceEndpoint
{
public:
    explicit ScriptedEndpoint(bool echo = false) : m_echo(echo) {}

    void hostWrote(const uint8_t* data, std::size_t length) override
    {
        std::lock_guard lock(m_mutex);
        m_received.insert(m_received.end(), data, data + length);
        if (m_echo) {
            m_pending.insert(m_pending.end(), data, data + length);
        }
    }

    std::size_t readForHost(uint8_t* out, std::size_t capacity) override
    {
        std::lock_guard lock(m_mutex);
        std::size_t count = 0;
        while (count < capacity && !m_pending.empty()) {
            out[count++] = m_pending.front();
            m_pending.pop_front();
        }
        return count;
    }

    bool isAttached() const override { return m_attached; }

    void queueForHost(const std::vector<uint8_t>& bytes)
    {
        std::lock_guard lock(m_mutex);
        m_pending.insert(m_pending.end(), bytes.begin(), bytes.end());
    }

    std::vector<uint8_t> received() const
    {
        std::lock_guard lock(m_mutex);
        return m_received;
    }

    void pullPlug() { m_attached = false; }

private:
    const bool m_echo;
    mutable std::mutex m_mutex;
    std::vector<uint8_t> m_received;
    std::deque<uint8_t> m_pending;
    std::atomic<bool> m_attached{true};
};
