// Whole-update figures that a microbenchmark cannot give: how long an update takes over
// each emulated link against what its wire and the device's turnaround allow, how much
// memory an update of the largest file costs (the file is read into memory once) and that a
// larger one is refused unread, and how much CPU the worker thread burns while the selected
// device is silent, and what checking the signature of a file at the size limit costs
// beside an update of that file.
//
// Run under umockdev-wrapper, which the emulated USB devices need; prints its figures.

#include "fakeclock.h"
#include "minisignsigner.h"
#include "mlpconnection.h"
#include "mlpupdatefirmwarerequest.h"
#include "mlpworkercontext.h"
#include "mlpworkerthread.h"
#include "mlu2file.h"
#include "mlu2filewriter.h"
#include "peakmemorysampler.h"
#include "processusage.h"
#include "trustedkeys.h"
#include "updatefilesignaturecheck.h"
#include "updatetext.h"
#include "usbemulation.h"
#include "virtualdevice.h"
#include "virtualdevicephy.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>

using marlune::testing::FtdiBridgeOptions;
using marlune::testing::MakerDeviceOptions;
using marlune::testing::MLU2FileWriter;
using marlune::testing::UsbEmulation;
using marlune::testing::VirtualDevice;
using marlune::testing::VirtualDeviceIdentity;
using marlune::testing::VirtualDevicePhy;

namespace {

constexpr uint32_t kFrameOverhead = 14;
constexpr uint32_t kAckLength = 15;
constexpr uint32_t kHeaderLength = 256;
// The frame lengths the bench device reports: 512 for throughput, and 100, the length a
// device has until it reports its own, where the per-segment costs dominate.
constexpr uint16_t kLongFrameLength = 512;
constexpr uint16_t kDefaultFrameLength = 100;
constexpr uint32_t kTurnaroundMs = 1;
constexpr int kSelectTimeoutMs = 20000;
constexpr int kUpdateTimeoutMs = 30 * 60 * 1000;

// 250 000 baud, 8 data bits, 2 stop bits and a start bit: 11 bit times per byte.
constexpr double kFtdiSecondsPerByte = 11.0 / 250000.0;
// Full-speed USB as the emulation models it: 19 bulk packets of 64 bytes per 1 ms frame.
constexpr double kUsbSecondsPerPacket = 0.001 / 19.0;
constexpr uint32_t kUsbPacketBytes = 64;

QTextStream out(stdout);

bool waitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

QString writeUpdateFile(const QString& path, uint32_t blockLength)
{
    MLU2FileWriter writer;
    writer.setModel("BENCH-1");
    writer.addHardwareVersion(0x0100);
    writer.addBlock(MLU2FileWriter::pseudoRandomBytes(7, static_cast<int>(blockLength)));
    writer.writeTo(path);
    // Signed as its maker would: every update checks the signature, as it does in use.
    marlune::testing::MinisignSigner::signAsMaker(path);
    return path;
}

std::shared_ptr<VirtualDevice> benchDevice(uint16_t maxFrameLength)
{
    VirtualDeviceIdentity identity;
    identity.model = "BENCH-1";
    identity.hwVersion = 0x0100;
    identity.maxFrameLength = maxFrameLength;
    auto device = std::make_shared<VirtualDevice>(identity);
    device->setRecording(false);
    return device;
}

// Segments an update of `blockLength` bytes takes at this frame length, and the bytes they
// and their acknowledgements put on the wire.
struct UpdateTraffic
{
    UpdateTraffic(uint32_t blockLength, uint16_t maxFrameLength)
    {
        const uint32_t payload = maxFrameLength - kFrameOverhead;
        for (uint32_t length : {kHeaderLength, blockLength}) {
            const uint32_t count = (length + payload - 1) / payload;
            segments += count;
            hostBytes += length + count * kFrameOverhead;
            for (uint32_t sent = 0; sent < length; sent += payload) {
                hostPackets += (std::min(payload, length - sent) + kFrameOverhead + kUsbPacketBytes - 1) /
                               kUsbPacketBytes;
            }
        }
        deviceBytes = segments * kAckLength;
    }

    uint32_t segments = 0;
    uint64_t hostBytes = 0;
    uint64_t hostPackets = 0;
    uint64_t deviceBytes = 0;
};

// The only emulated unit, by its position.
MLPDeviceInfoNode firstPosition()
{
    MLPDeviceInfoNode unit;
    unit.address = QStringLiteral("usb:m/0");
    return unit;
}

// One update through the real worker thread over an emulated device with its wire modelled.
double timedUpdate(MLPWorkerThread& thread, const QString& path)
{
    bool finished = false;
    bool succeeded = false;
    MLPUpdateFirmwareRequest request(thread.discoveredDevices().value(0, firstPosition()),
                                     UpdateImage::read(path));
    // The bench's files are made here and signed by nobody.
    request.allowUnsigned();
    QObject::connect(&request, &MLPWorkerRequestI::workDone, [&] { finished = succeeded = true; });
    QObject::connect(&request, &MLPWorkerRequestI::failed, [&] { finished = true; });
    QElapsedTimer timer;
    timer.start();
    thread.postUpdate(&request);
    if (!waitFor([&] { return finished; }, kUpdateTimeoutMs) || !succeeded) {
        out << "  update FAILED\n";
        return -1;
    }
    return timer.nsecsElapsed() / 1e9;
}

// Returns the milliseconds one segment took, or a negative number when the update failed.
double updateDuration(const QString& linkName, bool bridge, uint32_t blockLength, uint16_t maxFrameLength,
                      const QString& directory)
{
    UsbEmulation emulation;
    auto device = benchDevice(maxFrameLength);
    device->setAnswerDelay(kTurnaroundMs);
    if (bridge) {
        FtdiBridgeOptions options;
        options.modelWireTime = true;
        emulation.addFtdiBridge(device, options);
    } else {
        MakerDeviceOptions options;
        options.modelWireTime = true;
        emulation.addMakerDevice(device, options);
    }

    MLPWorkerThread thread;
    int selections = 0;
    QObject::connect(&thread, &MLPWorkerThread::deviceSelectionFinished, [&] { ++selections; });
    thread.start();
    thread.postSelect(firstPosition());
    if (!waitFor([&] { return selections > 0; }, kSelectTimeoutMs)) {
        out << linkName << ": selection did not finish\n";
        return -1;
    }

    const double seconds = timedUpdate(thread, writeUpdateFile(directory + "/duration.ml2", blockLength));
    thread.stop();
    thread.wait();
    if (seconds < 0) {
        return -1;
    }

    const UpdateTraffic traffic(blockLength, maxFrameLength);
    const double wireSeconds = bridge ? (traffic.hostBytes + traffic.deviceBytes) * kFtdiSecondsPerByte
                                      : (traffic.hostPackets + traffic.segments) * kUsbSecondsPerPacket;
    const double boundSeconds = wireSeconds + traffic.segments * kTurnaroundMs / 1000.0;
    out << QString("%1: %2 KiB block, frame length %3, %4 segments\n")
               .arg(linkName)
               .arg(blockLength / 1024)
               .arg(maxFrameLength)
               .arg(traffic.segments);
    out << QString("  update %1 s, wire + turnaround bound %2 s (wire %3 s), ratio %4, %5 ms per segment\n")
               .arg(seconds, 0, 'f', 2)
               .arg(boundSeconds, 0, 'f', 2)
               .arg(wireSeconds, 0, 'f', 2)
               .arg(seconds / boundSeconds, 0, 'f', 1)
               .arg(seconds * 1000.0 / traffic.segments, 0, 'f', 1);
    out << QString("  per segment: wire %1 ms + turnaround %2 ms, remaining %3 ms (%4)\n")
               .arg(wireSeconds * 1000.0 / traffic.segments, 0, 'f', 1)
               .arg(kTurnaroundMs)
               .arg((seconds - boundSeconds) * 1000.0 / traffic.segments, 0, 'f', 1)
               .arg(bridge ? "the bridge's latency timer and USB scheduling" : "USB frame alignment");
    out.flush();
    return seconds * 1000.0 / traffic.segments;
}

// One update of a file of `fileBytes` bytes over a direct link to the virtual device (no wire),
// with anonymous resident memory sampled against the figure before it.
void memoryOfUpdate(const QString& label, qint64 fileBytes, const QString& directory)
{
    constexpr uint16_t kLargeFrameLength = 65535;
    const QString path = writeUpdateFile(
        directory + "/large.ml2", static_cast<uint32_t>(fileBytes - MLU2FileWriter::kFirstBlockOffset));

    // The device the file is made for: the update checks the model before sending.
    const std::shared_ptr<VirtualDevice> device = benchDevice(kLargeFrameLength);
    MLPWorkerContext context;
    context.units.context = device.get();
    context.units.open = [](void* device, const MLPDeviceInfoNode&) {
        MLPUnitLinks::Opening opening;
        opening.link = std::make_unique<VirtualDevicePhy>(*static_cast<VirtualDevice*>(device));
        opening.problem = MLPUnitLinks::Problem::None;
        return opening;
    };

    PeakMemorySampler memory(std::chrono::milliseconds(5));

    MLPUpdateFirmwareRequest request(MLPDeviceInfoNode(), UpdateImage::read(path));
    // The bench's files are made here and signed by nobody.
    request.allowUnsigned();
    bool succeeded = false;
    QObject::connect(&request, &MLPWorkerRequestI::workDone, [&] { succeeded = true; });
    QElapsedTimer timer;
    timer.start();
    request.run(&context);
    const double seconds = timer.nsecsElapsed() / 1e9;
    const long peakAnon = memory.stop();
    const long idleAnon = memory.idleKiB();

    const MLPUpdateOutcome outcome = request.outcome();
    const bool refused = outcome.phase == MLPUpdateOutcome::Phase::FileCheck;
    out << QString("%1, %2 bytes, over a direct link (no wire): %3 in %4 s\n")
               .arg(label)
               .arg(fileBytes)
               .arg(succeeded ? "done"
                    : refused ? "refused"
                              : "FAILED")
               .arg(seconds, 0, 'f', 2);
    if (refused) {
        out << QString("  %1\n").arg(UpdateText::sentence(UpdateText::fileVerdict(outcome.fileCheck)));
    }
    out << QString("  anonymous resident memory: idle %1 KiB, peak %2 KiB (+%3 KiB, the file is %4 KiB)\n")
               .arg(idleAnon)
               .arg(peakAnon)
               .arg(peakAnon - idleAnon)
               .arg(fileBytes / 1024);
    out.flush();
    QFile::remove(path);
}

// CPU time (user and system) of this process's thread named `name`, in seconds; -1 when none.
double threadCpuSeconds(const QByteArray& name)
{
    for (const marlune::bench::ThreadCpu& thread : marlune::bench::threadCpu()) {
        if (thread.name == name) {
            return thread.seconds;
        }
    }
    return -1;
}

void idleCpu(const QString& situation, bool devicePresent)
{
    constexpr int kMeasureMs = 10000;
    UsbEmulation emulation;
    auto device = benchDevice(100);
    if (devicePresent) {
        emulation.addMakerDevice(device);
    }
    MLPWorkerThread thread;
    thread.setObjectName("bench-worker");
    int selections = 0;
    int losses = 0;
    QObject::connect(&thread, &MLPWorkerThread::deviceSelectionFinished, [&] { ++selections; });
    QObject::connect(&thread, &MLPWorkerThread::lostConnection, [&] { ++losses; });
    thread.start();
    thread.postSelect(firstPosition());
    waitFor([&] { return selections > 0; }, kSelectTimeoutMs);
    device->setSilent(true);

    const double before = threadCpuSeconds("bench-worker");
    QElapsedTimer timer;
    timer.start();
    const int lossesBefore = losses;
    waitFor([] { return false; }, kMeasureMs);
    const double cpu = threadCpuSeconds("bench-worker") - before;
    const double wall = timer.nsecsElapsed() / 1e9;
    thread.stop();
    thread.wait();

    out << QString("%1: worker thread CPU %2 s in %3 s (%4 % of a core), %5 lost-connection reports\n")
               .arg(situation)
               .arg(cpu, 0, 'f', 2)
               .arg(wall, 0, 'f', 1)
               .arg(100.0 * cpu / wall, 0, 'f', 1)
               .arg(losses - lossesBefore);
    out.flush();
}

} // namespace

// The signature check of a file at the size limit, on the bytes in memory that the update
// sends from, as the update runs it; beside the time an update of that file takes over
// maker USB at the segment time measured above.
void signatureCheck(const QString& directory, double makerUsbMsPerSegment)
{
    constexpr int kRuns = 5;
    const QString path =
        writeUpdateFile(directory + "/signed.ml2", static_cast<uint32_t>(MLU2File::kMaxUpdateFileBytes -
                                                                         MLU2FileWriter::kFirstBlockOffset));
    MLU2File file(path);
    file.open();
    const TrustedKeys keys;

    PeakMemorySampler memory(std::chrono::milliseconds(1));
    QList<double> milliseconds;
    UpdateFileSignatureVerdict verdict;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        verdict = UpdateFileSignatureCheck::check(file.content(), file.signatureText(), file.modelName(),
                                                  file.firmwareVersionText(), keys);
        milliseconds << timer.nsecsElapsed() / 1e6;
    }
    const long peakAnon = memory.stop();
    const long idleAnon = memory.idleKiB();
    std::sort(milliseconds.begin(), milliseconds.end());

    const UpdateTraffic traffic(static_cast<uint32_t>(file.totalSize() - kHeaderLength), kLongFrameLength);
    const double updateMs = traffic.segments * makerUsbMsPerSegment;
    const double medianMs = milliseconds.at(kRuns / 2);
    out << QString("Signature check of a file at the size limit, %1 bytes, in memory: %2\n")
               .arg(file.content().size())
               .arg(UpdateText::signature(verdict));
    out << QString("  %1 ms (median of %2; fastest %3 ms, slowest %4 ms)\n")
               .arg(medianMs, 0, 'f', 1)
               .arg(kRuns)
               .arg(milliseconds.first(), 0, 'f', 1)
               .arg(milliseconds.last(), 0, 'f', 1);
    out << QString("  anonymous resident memory: +%1 KiB over the file already read (%2 KiB)\n")
               .arg(peakAnon - idleAnon)
               .arg(file.content().size() / 1024);
    if (makerUsbMsPerSegment > 0) {
        out << QString(
                   "  an update of it over maker USB: %1 segments at %2 ms, about %3 s; the check is %4 %\n")
                   .arg(traffic.segments)
                   .arg(makerUsbMsPerSegment, 0, 'f', 1)
                   .arg(updateMs / 1000.0, 0, 'f', 0)
                   .arg(100.0 * medianMs / updateMs, 0, 'f', 3);
    }
    out.flush();
    file.close();
    QFile::remove(path);
    QFile::remove(path + ".minisig");
}

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QTemporaryDir directory;
    {
        UsbEmulation probe;
        if (!probe.isActive()) {
            std::fprintf(stderr, "run under umockdev-wrapper\n");
            return 2;
        }
    }

    const double makerUsbMsPerSegment =
        updateDuration("maker USB", false, 256 * 1024, kLongFrameLength, directory.path());
    updateDuration("FTDI bridge", true, 16 * 1024, kLongFrameLength, directory.path());
    updateDuration("FTDI bridge", true, 16 * 1024, kDefaultFrameLength, directory.path());
    memoryOfUpdate("Update of a file at the size limit", MLU2File::kMaxUpdateFileBytes, directory.path());
    memoryOfUpdate("Update of a file one byte over it", MLU2File::kMaxUpdateFileBytes + 1, directory.path());
    signatureCheck(directory.path(), makerUsbMsPerSegment);
    idleCpu("selected maker device silent", true);
    idleCpu("selected address without a device", false);
    return 0;
}
