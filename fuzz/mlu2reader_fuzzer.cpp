// Feeds arbitrary streams to MLU2Reader and checks every callback against its own reading
// of the input: at most one of onFormatError and onHeader, the sections in stream order at
// their exact byte, every payload byte once and in its block, and nothing after the end.

#include "mlu2reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

constexpr size_t kHeaderSize = 256;
constexpr size_t kAuxSectionSize = 512;
constexpr size_t kAuxSection1End = kHeaderSize + kAuxSectionSize;
constexpr size_t kFirstBlockOffset = kAuxSection1End + kAuxSectionSize;
constexpr size_t kHardwareVersionCountOffset = 45;
constexpr size_t kBlockCountOffset = 46;
constexpr size_t kBlockLengthsOffset = 68;
constexpr uint8_t kSignature[] = {'M', 'L', 'U', '2', 0};
// The reader counts a block down before it tests for its end, so a block of length 0
// runs for 2^32 bytes.
constexpr uint64_t kZeroLengthBlockRun = uint64_t(1) << 32;

void check(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

bool countInRange(uint8_t count)
{
    return count >= 1 && count <= 8;
}

// Position of the byte that breaks a header rule; `size` if none within the input.
size_t formatErrorPosition(const uint8_t* data, size_t size)
{
    for (size_t i = 0; i < sizeof kSignature && i < size; ++i) {
        if (data[i] != kSignature[i]) {
            return i;
        }
    }
    if (size > kHardwareVersionCountOffset && !countInRange(data[kHardwareVersionCountOffset])) {
        return kHardwareVersionCountOffset;
    }
    if (size > kBlockCountOffset && !countInRange(data[kBlockCountOffset])) {
        return kBlockCountOffset;
    }
    return size;
}

class CheckingListener : public MLU2ReaderListener
{
public:
    CheckingListener(const uint8_t* data, size_t size)
        : m_data(data), m_size(size), m_errorPosition(formatErrorPosition(data, size))
    {}

    size_t position = 0;

    void onFormatError() override
    {
        check(!m_finished && !m_sawHeader);
        check(position == m_errorPosition);
        m_finished = true;
    }

    void onHeader(const uint8_t* header) override
    {
        check(!m_finished && !m_sawHeader);
        check(position == kHeaderSize - 1 && m_errorPosition == m_size);
        check(std::memcmp(header, m_data, kHeaderSize) == 0);
        m_sawHeader = true;
        m_blockCount = m_data[kBlockCountOffset];
        uint64_t start = kFirstBlockOffset;
        for (int i = 0; i < m_blockCount; ++i) {
            const size_t field = kBlockLengthsOffset + 4 * static_cast<size_t>(i);
            m_lengths[i] = m_data[field] | m_data[field + 1] << 8 | m_data[field + 2] << 16 |
                           static_cast<uint32_t>(m_data[field + 3]) << 24;
            m_starts[i] = start;
            start += run(i);
        }
        m_blocksEnd = start;
    }

    void onAuxSection1(const uint8_t* section) override
    {
        check(!m_finished && m_sawHeader && !m_sawAux1);
        check(position == kAuxSection1End - 1);
        check(std::memcmp(section, m_data + kHeaderSize, kAuxSectionSize) == 0);
        m_sawAux1 = true;
    }

    void onAuxSection2(const uint8_t* section) override
    {
        check(!m_finished && m_sawAux1 && !m_sawAux2);
        check(position == kFirstBlockOffset - 1);
        check(std::memcmp(section, m_data + kAuxSection1End, kAuxSectionSize) == 0);
        m_sawAux2 = true;
    }

    void onBlockBegin(uint8_t index, uint32_t length) override
    {
        check(!m_finished && m_sawAux2);
        check(index == m_currentBlock + 1 && index < m_blockCount);
        check(m_currentBlock < 0 || m_bytesInBlock == run(m_currentBlock));
        check(length == m_lengths[index] && position == m_starts[index]);
        m_currentBlock = index;
        m_bytesInBlock = 0;
    }

    void onBlockByte(uint8_t value) override
    {
        check(!m_finished && m_currentBlock >= 0);
        check(m_bytesInBlock < run(m_currentBlock));
        check(position == m_starts[m_currentBlock] + m_bytesInBlock && value == m_data[position]);
        ++m_bytesInBlock;
        ++m_blockBytes;
    }

    void onEnd() override
    {
        check(!m_finished && m_currentBlock == m_blockCount - 1);
        check(m_bytesInBlock == run(m_currentBlock) && position == m_blocksEnd - 1);
        m_finished = true;
        m_sawEnd = true;
    }

    // Whatever the input held must have been reported by its last byte.
    void checkComplete() const
    {
        check((m_errorPosition < m_size) == (m_finished && !m_sawEnd));
        if (m_errorPosition < m_size) {
            return;
        }
        check(m_sawHeader == (m_size >= kHeaderSize));
        check(m_sawAux1 == (m_size >= kAuxSection1End));
        check(m_sawAux2 == (m_size >= kFirstBlockOffset));
        if (m_sawAux2) {
            const uint64_t expectedBytes = std::min<uint64_t>(m_size, m_blocksEnd) - kFirstBlockOffset;
            check(m_blockBytes == expectedBytes);
            check(m_sawEnd == (m_size >= m_blocksEnd));
        }
    }

private:
    uint64_t run(int index) const { return m_lengths[index] == 0 ? kZeroLengthBlockRun : m_lengths[index]; }

    const uint8_t* m_data;
    size_t m_size;
    size_t m_errorPosition;
    bool m_sawHeader = false;
    bool m_sawAux1 = false;
    bool m_sawAux2 = false;
    bool m_sawEnd = false;
    bool m_finished = false;
    int m_blockCount = 0;
    uint32_t m_lengths[8] = {};
    uint64_t m_starts[8] = {};
    uint64_t m_blocksEnd = 0;
    int m_currentBlock = -1;
    uint64_t m_bytesInBlock = 0;
    uint64_t m_blockBytes = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CheckingListener listener(data, size);
    MLU2Reader reader(&listener);
    for (size_t i = 0; i < size; ++i) {
        listener.position = i;
        reader.feed(data[i]);
    }
    listener.checkComplete();
    return 0;
}
