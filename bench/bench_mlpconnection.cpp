// Throughput of MLPConnection::writeSegmented over a virtual device that answers at once,
// so the figure is the protocol's own cost per byte: framing, the device's parsing and
// acknowledging, and recognising each acknowledgement byte by byte.

#include "mlpcommand.h"
#include "mlpconnection.h"
#include "virtualdevice.h"
#include "virtualdevicephy.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

namespace {

std::atomic<uint64_t> g_allocationCount{0};
std::atomic<uint64_t> g_allocatedBytes{0};

constexpr uint32_t kBlockLength = 64 * 1024;
constexpr uint32_t kReceiveCapacity = 50000;
constexpr uint16_t kFrameOverhead = 14;

} // namespace

// Counting every allocation of the process, the device's included. Kept out of line so the
// compiler does not pair an inlined free() with the operator new it cannot see through.
__attribute__((noinline)) void* operator new(std::size_t size)
{
    g_allocationCount.fetch_add(1, std::memory_order_relaxed);
    g_allocatedBytes.fetch_add(size, std::memory_order_relaxed);
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}

__attribute__((noinline)) void operator delete(void* memory) noexcept
{
    std::free(memory);
}

__attribute__((noinline)) void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}

namespace {

void writeSegmented(benchmark::State& state)
{
    const auto maxFrameLength = static_cast<uint16_t>(state.range(0));
    marlune::testing::VirtualDeviceIdentity identity;
    identity.maxFrameLength = maxFrameLength;
    marlune::testing::VirtualDevice device(identity);
    device.setRecording(false);
    marlune::testing::VirtualDevicePhy link(device);
    MLPConnection connection(&link, kReceiveCapacity);
    if (connection.requestDeviceInfo().status != MLPStatus::Ok) {
        state.SkipWithError("the virtual device did not answer");
        return;
    }

    std::vector<uint8_t> block(kBlockLength);
    for (std::size_t index = 0; index < block.size(); ++index) {
        block[index] = static_cast<uint8_t>(index * 13);
    }
    const uint32_t chunk = maxFrameLength - kFrameOverhead;
    const uint64_t segmentsPerWrite = (kBlockLength + chunk - 1) / chunk;

    const uint64_t allocationsBefore = g_allocationCount.load();
    const uint64_t bytesBefore = g_allocatedBytes.load();
    for (auto _ : state) {
        const MLPWriteResult result = connection.writeSegmented(block.data(), kBlockLength, UpdateBlock, 0);
        if (result.status != MLPStatus::Ok) {
            state.SkipWithError("a segment was not acknowledged");
            return;
        }
    }
    const double segments = static_cast<double>(segmentsPerWrite * state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBlockLength);
    state.counters["segments/s"] = benchmark::Counter(segments, benchmark::Counter::kIsRate);
    state.counters["allocs/segment"] =
        static_cast<double>(g_allocationCount.load() - allocationsBefore) / segments;
    state.counters["allocBytes/segment"] =
        static_cast<double>(g_allocatedBytes.load() - bytesBefore) / segments;
}

} // namespace

BENCHMARK(writeSegmented)->ArgName("maxFrameLength")->Arg(64)->Arg(100)->Arg(512)->Arg(4096);

BENCHMARK_MAIN();
