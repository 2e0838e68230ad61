// A rig of units written by the real RigUpdateRun over the USB emulation, by default four
// FTDI bridges on the modelled 250 kBd line and four maker-USB units, all with one update
// file: first one unit after another, then all side by side, in one run of the process.
// Then the same segments through the same emulation by the cheapest host there is (plain
// libftdi1 and libusb-1.0 calls, a thread per unit): how far the emulation itself lets
// units run side by side, the ceiling for the program's figure.
//
// Run under umockdev-wrapper, which the emulated USB devices need; prints its figures.

#include "deviceendpoint.h"
#include "emulatedftdibridge.h"
#include "emulatedmakerdevice.h"
#include "minisignsigner.h"
#include "mlpworkerthread.h"
#include "mlu2filewriter.h"
#include "processusage.h"
#include "rigupdaterun.h"
#include "updatesession.h"
#include "updatetext.h"
#include "usbemulation.h"
#include "virtualdevice.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMetaEnum>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <ftdi.h>
#include <libusb.h>
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using marlune::testing::DeviceEndpoint;
using marlune::testing::EmulatedFtdiBridge;
using marlune::testing::EmulatedMakerDevice;
using marlune::testing::FtdiBridgeOptions;
using marlune::testing::MakerDeviceOptions;
using marlune::testing::MLU2FileWriter;
using marlune::testing::UsbEmulation;
using marlune::testing::VirtualDevice;
using marlune::testing::VirtualDeviceIdentity;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kDefaultBridges = 4;
constexpr int kDefaultMakers = 4;
constexpr uint32_t kDefaultBlockKiB = 64;
// Every unit reports 512-byte frames (498 payload bytes per segment) and answers each frame
// 1 ms after it has arrived, as in bench_update.
constexpr uint16_t kFrameLength = 512;
constexpr uint32_t kTurnaroundMs = 1;
constexpr uint32_t kFrameOverhead = 14;
constexpr uint32_t kAckLength = 15;
constexpr uint32_t kHeaderLength = 256;
constexpr int kDiscoveryTimeoutMs = 60 * 1000;
constexpr int kRunTimeoutMs = 20 * 60 * 1000;
constexpr auto kAnswerTimeout = std::chrono::seconds(2);
constexpr int kBridgeLatencyMs = 2; // what the program's FTDI link sets
constexpr int kBaudRate = 250000;
constexpr unsigned int kUsbTimeoutMs = 1000;
constexpr unsigned int kUsbPollMs = 100;
constexpr int kMakerInterface = 0;
constexpr int kMakerPacketLength = 64;

// The emulation's threads: each device's own, the one that removes departed devices, and
// umockdev's, which receives every ioctl of every device and hands it on.
const QByteArray kEmulationThreadPrefix = "usbemu";
const QByteArray kIoctlThreadName = "umockdev-ioctl";

QTextStream out(stdout);

struct Unit
{
    bool bridge;
    std::string serial;
};

struct Rig
{
    int bridges = kDefaultBridges;
    int makers = kDefaultMakers;
    uint32_t blockLength = kDefaultBlockKiB * 1024;

    std::vector<Unit> units() const
    {
        std::vector<Unit> units;
        for (int index = 1; index <= bridges; ++index) {
            units.push_back({true, "FTRIG" + std::to_string(index)});
        }
        for (int index = 1; index <= makers; ++index) {
            units.push_back({false, "MLRIG" + std::to_string(index)});
        }
        return units;
    }

    // The frame lengths of the segments an update is written in: the header's, then the block's.
    std::vector<uint32_t> segmentLengths() const
    {
        const uint32_t payload = kFrameLength - kFrameOverhead;
        std::vector<uint32_t> lengths;
        for (uint32_t length : {kHeaderLength, blockLength}) {
            for (uint32_t sent = 0; sent < length; sent += payload) {
                lengths.push_back(std::min(payload, length - sent) + kFrameOverhead);
            }
        }
        return lengths;
    }
};

QString unitName(bool bridge, const QString& serial)
{
    return QString("%1 %2").arg(bridge ? "FTDI bridge" : "maker USB  ").arg(serial);
}

// CPU spent since a mark: by the whole process, by the emulation's threads and by umockdev's.
struct CpuMark
{
    QMap<int, marlune::bench::ThreadCpu> threads = marlune::bench::threadCpu();
    double process = marlune::bench::processCpuSeconds();
};

struct CpuSpent
{
    double process = 0;
    double emulation = 0;
    double ioctlThread = 0;

    static CpuSpent since(const CpuMark& mark)
    {
        const QMap<int, marlune::bench::ThreadCpu> threads = marlune::bench::threadCpu();
        CpuSpent spent;
        spent.process = marlune::bench::processCpuSeconds() - mark.process;
        spent.ioctlThread = marlune::bench::threadCpuSince(mark.threads, threads, kIoctlThreadName);
        spent.emulation =
            spent.ioctlThread + marlune::bench::threadCpuSince(mark.threads, threads, kEmulationThreadPrefix);
        return spent;
    }
};

QString cpuText(const CpuSpent& cpu, std::size_t units, double seconds)
{
    return QString("process CPU %1 s, %2 s per unit (the emulation's threads %3 s of it); umockdev's ioctl "
                   "thread busy %4 % of the time")
        .arg(cpu.process, 0, 'f', 2)
        .arg(cpu.process / static_cast<double>(units), 0, 'f', 3)
        .arg(cpu.emulation / static_cast<double>(units), 0, 'f', 3)
        .arg(100.0 * cpu.ioctlThread / seconds, 0, 'f', 0);
}

// Times of one unit in one pass, in seconds from the pass's start.
struct UnitTimes
{
    QString name;
    double checking = -1;
    double writing = -1;
    double verifying = -1;
    double ended = -1;
    bool updated = false;
    QString verdict;

    double total() const { return ended - checking; }
    double checkTime() const { return (writing >= 0 ? writing : ended) - checking; }
    double writeTime() const { return writing >= 0 && verifying >= 0 ? verifying - writing : 0; }
};

struct PassFigures
{
    double rigSeconds = 0;
    std::vector<UnitTimes> units;
    CpuSpent cpu;

    double slowest(double (UnitTimes::*time)() const) const
    {
        double slowest = 0;
        for (const UnitTimes& unit : units) {
            slowest = std::max(slowest, (unit.*time)());
        }
        return slowest;
    }

    int updatedCount() const
    {
        return static_cast<int>(
            std::count_if(units.begin(), units.end(), [](const UnitTimes& unit) { return unit.updated; }));
    }

    // From Start (the first add()) to the first byte of the unit that began writing last: how
    // long the checks, each finding its unit on a fresh link, keep the last unit waiting.
    double lastFirstByte() const
    {
        double last = 0;
        for (const UnitTimes& unit : units) {
            last = std::max(last, unit.writing);
        }
        return last;
    }
};

// The run could not end: its sessions still run, so nothing of it may be torn down.
[[noreturn]] void giveUp(const QString& reason)
{
    out << "FAILED: " << reason << "\n";
    out.flush();
    std::_Exit(3);
}

PassFigures runRig(MLPWorkerThread& thread, const QList<MLPDeviceInfoNode>& units, const QString& filePath,
                   const QString& historyPath, int maxAtOnce)
{
    PassFigures pass;
    pass.units.resize(static_cast<std::size_t>(units.size()));
    for (int index = 0; index < units.size(); ++index) {
        pass.units[static_cast<std::size_t>(index)].name = unitName(
            units.at(index).linkKind == marlune::MLP::MLPLinkKind::FtdiBridge, units.at(index).serial);
    }

    RigUpdateRun run(thread, historyPath);
    run.setMaxAtOnce(maxAtOnce);
    // The bench's file is made here and signed by nobody.
    run.allowUnsigned();
    QElapsedTimer clock;
    QEventLoop loop;
    bool finished = false;
    const auto now = [&clock] { return clock.nsecsElapsed() / 1e9; };
    QObject::connect(&run, &RigUpdateRun::unitStateChanged, [&](int unit, const UpdateSession& session) {
        UnitTimes& times = pass.units[static_cast<std::size_t>(unit)];
        switch (session.state()) {
        case UpdateSession::State::Checking:
            times.checking = now();
            break;
        case UpdateSession::State::Writing:
            times.writing = now();
            break;
        case UpdateSession::State::Verifying:
            times.verifying = now();
            break;
        default:
            break;
        }
    });
    QObject::connect(&run, &RigUpdateRun::unitEnded, [&](int unit, const UpdateSession& session) {
        UnitTimes& times = pass.units[static_cast<std::size_t>(unit)];
        times.ended = now();
        times.updated = session.confirmed();
        times.verdict =
            QMetaEnum::fromType<UpdateSession::State>().valueToKey(static_cast<int>(session.state()));
        if (!times.updated) {
            times.verdict += ": " + UpdateText::reason(session);
        }
    });
    QObject::connect(&run, &RigUpdateRun::finished, [&] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(kRunTimeoutMs, &loop, &QEventLoop::quit);

    // Read once, as a run does: every unit is written from the same bytes.
    const UpdateImage image = UpdateImage::read(filePath);
    const CpuMark mark;
    clock.start();
    for (const MLPDeviceInfoNode& unit : units) {
        run.add(unit, image);
    }
    loop.exec();
    pass.rigSeconds = now();
    pass.cpu = CpuSpent::since(mark);
    if (!finished) {
        giveUp(QString("the rig's run with maxAtOnce %1 did not finish in time").arg(maxAtOnce));
    }
    return pass;
}

void printPass(const QString& label, const PassFigures& pass)
{
    out << label << ": rig " << QString::number(pass.rigSeconds, 'f', 2) << " s\n";
    // A step the unit did not reach shows as "-".
    const auto step = [](double from, double to) {
        return from < 0 ? QString("-") : QString::number(to - from, 'f', 2);
    };
    for (const UnitTimes& unit : pass.units) {
        out << QString("  %1  %2 s (check %3, write %4, ask again %5)  %6\n")
                   .arg(unit.name)
                   .arg(unit.total(), 6, 'f', 2)
                   .arg(step(unit.checking, unit.writing >= 0 ? unit.writing : unit.ended))
                   .arg(step(unit.writing, unit.verifying >= 0 ? unit.verifying : unit.ended))
                   .arg(step(unit.verifying, unit.ended))
                   .arg(unit.verdict);
    }
    out << "  the last unit's first byte " << QString::number(pass.lastFirstByte(), 'f', 2)
        << " s after Start\n";
    out << "  " << cpuText(pass.cpu, pass.units.size(), pass.rigSeconds) << "\n";
    out.flush();
}

QList<MLPDeviceInfoNode> discover(MLPWorkerThread& thread)
{
    bool discovered = false;
    QEventLoop loop;
    QObject::connect(&thread, &MLPWorkerThread::deviceDiscoverFinsihed, &loop, [&] {
        discovered = true;
        loop.quit();
    });
    QTimer::singleShot(kDiscoveryTimeoutMs, &loop, &QEventLoop::quit);
    thread.postDiscover();
    loop.exec();
    return discovered ? thread.discoveredDevices() : QList<MLPDeviceInfoNode>();
}

// Plugs in the rig's units, each with the device end `device` makes for it.
void plugIn(UsbEmulation& emulation, const Rig& rig,
            const std::function<std::shared_ptr<DeviceEndpoint>()>& device)
{
    for (const Unit& unit : rig.units()) {
        if (unit.bridge) {
            FtdiBridgeOptions options;
            options.serial = unit.serial;
            options.modelWireTime = true;
            options.logLineData = false;
            emulation.addFtdiBridge(device(), options);
        } else {
            MakerDeviceOptions options;
            options.serial = unit.serial;
            options.modelWireTime = true;
            emulation.addMakerDevice(device(), options);
        }
    }
}

std::shared_ptr<DeviceEndpoint> rigDevice()
{
    VirtualDeviceIdentity identity;
    identity.model = "BENCH-1";
    identity.hwVersion = 0x0100;
    identity.fwVersion = 0x0100;
    identity.maxFrameLength = kFrameLength;
    auto device = std::make_shared<VirtualDevice>(identity);
    device->setRecording(false);
    device->setInstallsUpdates(true);
    device->setAnswerDelay(kTurnaroundMs);
    return device;
}

struct ProgramFigures
{
    PassFigures oneByOne;
    PassFigures sideBySide;
    // Resident and anonymous resident memory before the first pass and after the second, in KiB.
    long residentBefore = 0;
    long residentAfter = 0;
    long anonymousBefore = 0;
    long anonymousAfter = 0;
    long anonymousTrimmed = 0;
};

// The program's passes: discovery, then the rig one unit after another, then side by side.
std::optional<ProgramFigures> programPasses(const Rig& rig, const QString& filePath,
                                            const QString& historyPath)
{
    UsbEmulation emulation;
    plugIn(emulation, rig, rigDevice);
    MLPWorkerThread thread;
    thread.start();
    const QList<MLPDeviceInfoNode> units = discover(thread);
    if (units.size() != static_cast<int>(rig.units().size())) {
        out << "discovery listed " << units.size() << " units instead of " << rig.units().size() << "\n";
        return std::nullopt;
    }

    ProgramFigures figures;
    figures.residentBefore = marlune::bench::statusKiB("VmRSS:");
    figures.anonymousBefore = marlune::bench::statusKiB("RssAnon:");
    figures.oneByOne = runRig(thread, units, filePath, historyPath, 1);
    printPass("one after another (maxAtOnce 1)", figures.oneByOne);
    figures.sideBySide = runRig(thread, units, filePath, historyPath, 0);
    printPass("side by side (maxAtOnce 0)", figures.sideBySide);
    figures.residentAfter = marlune::bench::statusKiB("VmRSS:");
    figures.anonymousAfter = marlune::bench::statusKiB("RssAnon:");
    // What the allocator keeps for reuse is not the program's: given back, the rest is.
    malloc_trim(0);
    figures.anonymousTrimmed = marlune::bench::statusKiB("RssAnon:");
    thread.stop();
    thread.wait();
    return figures;
}

// The device end of the ceiling: takes the segments as they come and acknowledges each one,
// once all of it has arrived, with 15 bytes that are readable a turnaround later. The
// segments' lengths repeat, one update after another.
class SegmentAcknowledger : public DeviceEndpoint
{
public:
    explicit SegmentAcknowledger(std::vector<uint32_t> lengths) : m_lengths(std::move(lengths)) {}

    void hostWrote(const uint8_t*, std::size_t length) override
    {
        std::lock_guard lock(m_mutex);
        m_received += length;
        while (m_received >= m_lengths[m_next]) {
            m_received -= m_lengths[m_next];
            m_next = (m_next + 1) % m_lengths.size();
            m_answersDue.push_back(Clock::now() + std::chrono::milliseconds(kTurnaroundMs));
        }
    }

    std::size_t readForHost(uint8_t* data, std::size_t capacity) override
    {
        std::lock_guard lock(m_mutex);
        const Clock::time_point now = Clock::now();
        while (!m_answersDue.empty() && m_answersDue.front() <= now) {
            m_answersDue.pop_front();
            m_ready += kAckLength;
        }
        const std::size_t count = std::min(capacity, m_ready);
        std::fill_n(data, count, 0x5A);
        m_ready -= count;
        return count;
    }

private:
    std::mutex m_mutex;
    const std::vector<uint32_t> m_lengths;
    std::size_t m_next = 0;
    std::size_t m_received = 0;
    std::deque<Clock::time_point> m_answersDue;
    std::size_t m_ready = 0;
};

// One unit as the cheapest host drives it: a library context of its own, the device opened
// by its serial number, then nothing but writes and reads. `error` is empty once open.
struct RawLink
{
    explicit RawLink(const Unit& unit)
    {
        if (unit.bridge) {
            openBridge(unit.serial);
        } else {
            openMaker(unit.serial);
        }
    }

    ~RawLink()
    {
        if (ftdi) {
            ftdi_usb_close(ftdi);
            ftdi_free(ftdi);
        }
        if (handle) {
            libusb_release_interface(handle, kMakerInterface);
            libusb_close(handle);
        }
        if (usb) {
            libusb_exit(usb);
        }
    }

    RawLink(const RawLink&) = delete;
    RawLink& operator=(const RawLink&) = delete;

    void openBridge(const std::string& serial)
    {
        ftdi = ftdi_new();
        if (!ftdi || ftdi_usb_open_desc(ftdi, EmulatedFtdiBridge::kVendorId, EmulatedFtdiBridge::kProductId,
                                        nullptr, serial.c_str()) < 0) {
            error = "cannot open bridge " + serial;
        } else if (ftdi_set_baudrate(ftdi, kBaudRate) < 0 ||
                   ftdi_set_line_property(ftdi, BITS_8, STOP_BIT_2, NONE) < 0 ||
                   ftdi_set_latency_timer(ftdi, kBridgeLatencyMs) < 0) {
            error = "cannot set up the line of bridge " + serial;
        }
    }

    void openMaker(const std::string& serial)
    {
        if (libusb_init(&usb) != 0) {
            usb = nullptr;
            error = "libusb does not start";
            return;
        }
        libusb_device** devices = nullptr;
        const ssize_t count = libusb_get_device_list(usb, &devices);
        for (ssize_t index = 0; index < count && !handle; ++index) {
            libusb_device_descriptor descriptor{};
            libusb_device_handle* candidate = nullptr;
            if (libusb_get_device_descriptor(devices[index], &descriptor) != 0 ||
                descriptor.idVendor != EmulatedMakerDevice::kVendorId ||
                libusb_open(devices[index], &candidate) != 0) {
                continue;
            }
            unsigned char text[64] = {};
            const int length =
                libusb_get_string_descriptor_ascii(candidate, descriptor.iSerialNumber, text, sizeof text);
            if (length > 0 &&
                serial == std::string(reinterpret_cast<char*>(text), static_cast<size_t>(length))) {
                handle = candidate;
            } else {
                libusb_close(candidate);
            }
        }
        libusb_free_device_list(devices, 1);
        if (!handle) {
            error = "no maker device " + serial;
        } else if (libusb_claim_interface(handle, kMakerInterface) != 0) {
            libusb_close(handle);
            handle = nullptr;
            error = "cannot claim maker device " + serial;
        }
    }

    bool write(uint8_t* data, int length)
    {
        if (ftdi) {
            return ftdi_write_data(ftdi, data, length) == length;
        }
        int transferred = 0;
        return libusb_bulk_transfer(handle, EmulatedMakerDevice::kBulkOutEndpoint, data, length, &transferred,
                                    kUsbTimeoutMs) == 0 &&
               transferred == length;
    }

    // What has arrived, up to `capacity` bytes (0 when nothing came for a while); -1 on a failure.
    int read(uint8_t* data, int capacity)
    {
        if (ftdi) {
            return ftdi_read_data(ftdi, data, capacity);
        }
        uint8_t packet[kMakerPacketLength];
        int transferred = 0;
        const int result = libusb_bulk_transfer(handle, EmulatedMakerDevice::kBulkInEndpoint, packet,
                                                sizeof packet, &transferred, kUsbPollMs);
        if ((result != 0 && result != LIBUSB_ERROR_TIMEOUT) || transferred > capacity) {
            return -1;
        }
        std::copy_n(packet, transferred, data);
        return transferred;
    }

    ftdi_context* ftdi = nullptr;
    libusb_context* usb = nullptr;
    libusb_device_handle* handle = nullptr;
    std::string error;
};

// Writes the segments one by one, each once the one before is acknowledged; the seconds it
// took, or -1 with the reason it stopped.
double rawTransfer(RawLink& link, const std::vector<uint32_t>& lengths, std::string& error)
{
    std::vector<uint8_t> frame(kFrameLength, 0xA5);
    uint8_t answer[kAckLength];
    const Clock::time_point start = Clock::now();
    for (std::size_t segment = 0; segment < lengths.size(); ++segment) {
        if (!link.write(frame.data(), static_cast<int>(lengths[segment]))) {
            error = "segment " + std::to_string(segment) + " not written";
            return -1;
        }
        const Clock::time_point deadline = Clock::now() + kAnswerTimeout;
        for (int received = 0; received < static_cast<int>(kAckLength);) {
            const int count = link.read(answer, static_cast<int>(kAckLength) - received);
            if (count < 0 || Clock::now() > deadline) {
                error = "segment " + std::to_string(segment) + " not acknowledged";
                return -1;
            }
            received += count;
        }
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct CeilingFigures
{
    std::vector<double> alone;
    std::vector<double> sideBySide;
    double sideBySideRig = 0;
    CpuSpent aloneCpu;
    CpuSpent sideBySideCpu;

    double slowestAlone() const { return *std::max_element(alone.begin(), alone.end()); }
};

// The same segments as the program's update, through the same emulation, by the cheapest
// host: each unit's transfer alone, then all at once, started together once every unit is open.
std::optional<CeilingFigures> ceiling(const Rig& rig)
{
    const std::vector<Unit> units = rig.units();
    const std::vector<uint32_t> lengths = rig.segmentLengths();
    UsbEmulation emulation;
    plugIn(emulation, rig, [&lengths] { return std::make_shared<SegmentAcknowledger>(lengths); });

    CeilingFigures figures;
    const CpuMark aloneMark;
    for (const Unit& unit : units) {
        RawLink link(unit);
        std::string error = link.error;
        const double seconds = error.empty() ? rawTransfer(link, lengths, error) : -1;
        if (seconds < 0) {
            out << "ceiling, " << unit.serial.c_str() << " alone: " << error.c_str() << "\n";
            return std::nullopt;
        }
        figures.alone.push_back(seconds);
    }
    figures.aloneCpu = CpuSpent::since(aloneMark);

    std::mutex mutex;
    std::condition_variable gate;
    std::size_t opened = 0;
    bool go = false;
    std::vector<std::string> errors(units.size());
    figures.sideBySide.resize(units.size());
    std::vector<std::thread> threads;
    for (std::size_t index = 0; index < units.size(); ++index) {
        threads.emplace_back([&, index] {
            RawLink link(units[index]);
            {
                std::unique_lock lock(mutex);
                ++opened;
                gate.notify_all();
                gate.wait(lock, [&] { return go; });
            }
            errors[index] = link.error;
            figures.sideBySide[index] =
                errors[index].empty() ? rawTransfer(link, lengths, errors[index]) : -1;
        });
    }
    std::optional<CpuMark> sideBySideMark;
    Clock::time_point start;
    {
        std::unique_lock lock(mutex);
        gate.wait(lock, [&] { return opened == units.size(); });
        sideBySideMark.emplace();
        start = Clock::now();
        go = true;
    }
    gate.notify_all();
    for (std::thread& thread : threads) {
        thread.join();
    }
    figures.sideBySideRig = std::chrono::duration<double>(Clock::now() - start).count();
    figures.sideBySideCpu = CpuSpent::since(*sideBySideMark);
    for (std::size_t index = 0; index < units.size(); ++index) {
        if (!errors[index].empty()) {
            out << "ceiling, " << units[index].serial.c_str() << " side by side: " << errors[index].c_str()
                << "\n";
            return std::nullopt;
        }
    }
    return figures;
}

void printCeiling(const Rig& rig, const CeilingFigures& ceiling)
{
    const std::vector<Unit> units = rig.units();
    out << "ceiling: the same segments through the same emulation by plain libftdi1 / libusb-1.0 calls\n";
    for (std::size_t index = 0; index < units.size(); ++index) {
        out << QString("  %1  alone %2 s, side by side %3 s\n")
                   .arg(unitName(units[index].bridge, QString::fromStdString(units[index].serial)))
                   .arg(ceiling.alone[index], 6, 'f', 2)
                   .arg(ceiling.sideBySide[index], 6, 'f', 2);
    }
    out << "  side by side: " << cpuText(ceiling.sideBySideCpu, units.size(), ceiling.sideBySideRig) << "\n";
    out.flush();
}

QString signedKiB(long before, long after)
{
    return QString("%1 -> %2 KiB (%3%4)")
        .arg(before)
        .arg(after)
        .arg(after >= before ? "+" : "")
        .arg(after - before);
}

void printSummary(const Rig& rig, const std::optional<ProgramFigures>& program, const CeilingFigures& ceiling)
{
    const double units = static_cast<double>(rig.units().size());
    out << "\nsummary\n";
    if (program) {
        const int all = static_cast<int>(rig.units().size());
        if (program->oneByOne.updatedCount() < all || program->sideBySide.updatedCount() < all) {
            out << QString("  NOT ALL UNITS UPDATED: %1 of %2 one after another, %3 of %2 side by side; the "
                           "times "
                           "below leave the others' writes out\n")
                       .arg(program->oneByOne.updatedCount())
                       .arg(all)
                       .arg(program->sideBySide.updatedCount());
        }
        const double slowestAlone = program->oneByOne.slowest(&UnitTimes::total);
        const double slowestWriteAlone = program->oneByOne.slowest(&UnitTimes::writeTime);
        out << QString("  rig one after another %1 s, %2 x the slowest unit alone (%3 s)\n")
                   .arg(program->oneByOne.rigSeconds, 0, 'f', 2)
                   .arg(program->oneByOne.rigSeconds / slowestAlone, 0, 'f', 2)
                   .arg(slowestAlone, 0, 'f', 2);
        out << QString("  rig side by side %1 s, %2 x the slowest unit alone (goal <= 1.25; at 32 units <= "
                       "1.15)\n")
                   .arg(program->sideBySide.rigSeconds, 0, 'f', 2)
                   .arg(program->sideBySide.rigSeconds / slowestAlone, 0, 'f', 2);
        out << QString(
                   "  side by side, the last unit's first byte %1 s after Start (goal <= 1 s at 32 units)\n")
                   .arg(program->sideBySide.lastFirstByte(), 0, 'f', 2);
        // The rig's time side by side is the slowest unit's check, which waits for the others'
        // listings, and its write.
        out << QString("  of it: longest check %1 s (alone %2 s), slowest write %3 s, %4 x the slowest write "
                       "alone (%5 s)\n")
                   .arg(program->sideBySide.slowest(&UnitTimes::checkTime), 0, 'f', 2)
                   .arg(program->oneByOne.slowest(&UnitTimes::checkTime), 0, 'f', 2)
                   .arg(program->sideBySide.slowest(&UnitTimes::writeTime), 0, 'f', 2)
                   .arg(program->sideBySide.slowest(&UnitTimes::writeTime) / slowestWriteAlone, 0, 'f', 2)
                   .arg(slowestWriteAlone, 0, 'f', 2);
    }
    out << QString("  emulation's ceiling: plain host all at once %1 s, %2 x its slowest unit alone (%3 s)\n")
               .arg(ceiling.sideBySideRig, 0, 'f', 2)
               .arg(ceiling.sideBySideRig / ceiling.slowestAlone(), 0, 'f', 2)
               .arg(ceiling.slowestAlone(), 0, 'f', 2);
    if (program) {
        out << QString("  CPU per unit: program %1 s one after another, %2 s side by side; plain host %3 s "
                       "alone, %4 s all at once\n")
                   .arg(program->oneByOne.cpu.process / units, 0, 'f', 3)
                   .arg(program->sideBySide.cpu.process / units, 0, 'f', 3)
                   .arg(ceiling.aloneCpu.process / units, 0, 'f', 3)
                   .arg(ceiling.sideBySideCpu.process / units, 0, 'f', 3);
        out << "  memory over both passes: resident "
            << signedKiB(program->residentBefore, program->residentAfter) << ", anonymous "
            << signedKiB(program->anonymousBefore, program->anonymousAfter)
            << ", anonymous once the allocator has given back what it keeps for reuse "
            << signedKiB(program->anonymousBefore, program->anonymousTrimmed) << "\n";
    }
    out.flush();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("A rig of emulated units written one after another, then side by side, "
                                     "beside what the emulation itself allows. Run under umockdev-wrapper.");
    parser.addHelpOption();
    const QCommandLineOption blockOption("block-kib", "The update file's block in KiB (64).", "kib",
                                         QString::number(kDefaultBlockKiB));
    const QCommandLineOption bridgesOption("bridges", "FTDI bridges in the rig (4).", "count",
                                           QString::number(kDefaultBridges));
    const QCommandLineOption makersOption("makers", "Maker-USB units in the rig (4).", "count",
                                          QString::number(kDefaultMakers));
    const QCommandLineOption unitsOption(
        "units",
        "Units in the rig, half FTDI bridges and half maker USB (the bridges "
        "take the odd one); instead of --bridges and --makers.",
        "count");
    const QCommandLineOption ceilingOnlyOption("ceiling-only",
                                               "Only the emulation's ceiling, without the program.");
    parser.addOptions({blockOption, bridgesOption, makersOption, unitsOption, ceilingOnlyOption});
    parser.process(application);

    Rig rig;
    bool blockValid = false;
    bool bridgesValid = false;
    bool makersValid = false;
    const uint32_t blockKiB = parser.value(blockOption).toUInt(&blockValid);
    rig.blockLength = blockKiB * 1024;
    rig.bridges = parser.value(bridgesOption).toInt(&bridgesValid);
    rig.makers = parser.value(makersOption).toInt(&makersValid);
    if (parser.isSet(unitsOption)) {
        const int units = parser.value(unitsOption).toInt(&bridgesValid);
        makersValid = bridgesValid;
        rig.makers = units / 2;
        rig.bridges = units - rig.makers;
    }
    if (!blockValid || blockKiB == 0 || blockKiB > 16 * 1024 || !bridgesValid || !makersValid ||
        rig.bridges < 0 || rig.makers < 0 || rig.bridges + rig.makers == 0) {
        std::fprintf(stderr,
                     "--block-kib takes 1 to 16384; --units, or --bridges and --makers, at least one unit\n");
        return 2;
    }
    {
        UsbEmulation probe;
        if (!probe.isActive()) {
            std::fprintf(stderr, "run under umockdev-wrapper\n");
            return 2;
        }
    }

    out << QString(
               "%1 FTDI bridges (250 kBd line modelled) and %2 maker-USB units, %3 KiB block, frame length "
               "%4: %5 segments per unit\n")
               .arg(rig.bridges)
               .arg(rig.makers)
               .arg(blockKiB)
               .arg(kFrameLength)
               .arg(rig.segmentLengths().size());
    out.flush();

    std::optional<ProgramFigures> program;
    if (!parser.isSet(ceilingOnlyOption)) {
        QTemporaryDir directory;
        MLU2FileWriter writer;
        writer.setModel("BENCH-1");
        writer.setFirmwareVersion(0x0102);
        writer.addHardwareVersion(0x0100);
        writer.addBlock(MLU2FileWriter::pseudoRandomBytes(11, static_cast<int>(rig.blockLength)));
        const QString filePath = directory.filePath("rig.ml2");
        writer.writeTo(filePath);
        // Signed as its maker would: the run checks the signature as it does in use.
        marlune::testing::MinisignSigner::signAsMaker(filePath);
        program = programPasses(rig, filePath, directory.filePath("history.jsonl"));
        if (!program) {
            return 1;
        }
    }
    const std::optional<CeilingFigures> limit = ceiling(rig);
    if (!limit) {
        return 1;
    }
    printCeiling(rig, *limit);
    printSummary(rig, program, *limit);
    return 0;
}
