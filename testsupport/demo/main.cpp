// marlune-fwupdate-demo: plugs emulated Marlune devices into a umockdev testbed and runs the
// real, unchanged program as a child process, which inherits the emulation. What a tester
// sees is exactly what ships; only the hardware is pretend. MARLUNE_DEMO_DEVICES chooses
// the devices and their faults (see demodevicedescription.h and the README). With --cli as
// the first argument the child is the command-line tool, given the arguments after it.

#include "demodevice.h"
#include "demodevicedescription.h"
#include "emulateddeviceoptions.h"
#include "terminationsignalnotifier.h"
#include "usbemulation.h"
#include "virtualdevice.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>
#include <QTextStream>
#include <QTimer>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unistd.h>
#include <vector>

using marlune::testing::DemoDeviceDescription;
using marlune::testing::UsbEmulation;
using marlune::testing::VirtualDevice;

namespace {

const char* const kDevicesVariable = "MARLUNE_DEMO_DEVICES";
const char* const kPreloadLibrary = "libumockdev-preload";
const char* const kWrapper = "umockdev-wrapper";
const char* const kCliOption = "--cli";
constexpr int kUnplugPollMs = 5;
constexpr int kSetupFailure = 2;

// The preload library diverts the program's view of /sys and /dev into the testbed. The
// launcher needs it too, so it restarts itself under the wrapper when it runs without.
void runUnderUmockdevWrapper(char** argv)
{
    const char* preload = std::getenv("LD_PRELOAD");
    if (preload && std::strstr(preload, kPreloadLibrary)) {
        return;
    }
    std::vector<char*> wrappedArguments{const_cast<char*>(kWrapper)};
    for (char** argument = argv; *argument; ++argument) {
        wrappedArguments.push_back(*argument);
    }
    wrappedArguments.push_back(nullptr);
    execvp(kWrapper, wrappedArguments.data());
    std::perror("marlune-fwupdate-demo: cannot start umockdev-wrapper (install the umockdev package)");
    std::exit(kSetupFailure);
}

struct AttachedDevice
{
    DemoDeviceDescription description;
    std::shared_ptr<VirtualDevice> device;
    int emulationId = 0;
};

} // namespace

int main(int argc, char** argv)
{
    runUnderUmockdevWrapper(argv);
    QCoreApplication application(argc, argv);
    QStringList arguments = application.arguments().mid(1);
    const bool commandLine = !arguments.isEmpty() && arguments.first() == QLatin1String(kCliOption);
    if (commandLine) {
        arguments.removeFirst();
    }
    // The command-line tool's own output stays alone on its stream, for --json and for pipes.
    QTextStream console(commandLine ? stderr : stdout);

    QVector<DemoDeviceDescription> descriptions = DemoDeviceDescription::defaultDevices();
    const QString devicesText = qEnvironmentVariable(kDevicesVariable);
    if (!devicesText.trimmed().isEmpty()) {
        QString error;
        const std::optional<QVector<DemoDeviceDescription>> parsed =
            DemoDeviceDescription::parseList(devicesText, &error);
        if (!parsed) {
            QTextStream(stderr) << kDevicesVariable << ": " << error << Qt::endl;
            return kSetupFailure;
        }
        descriptions = *parsed;
    }

    UsbEmulation emulation;
    std::vector<AttachedDevice> attached;
    int serialNumber = 1;
    // Every device is described, and numbered, at once; one plugged in later reaches the bus then.
    attached.reserve(static_cast<std::size_t>(descriptions.size()));
    for (const DemoDeviceDescription& description : descriptions) {
        AttachedDevice entry{description, marlune::testing::makeDemoDevice(description), 0};
        const QString serial =
            QString::fromLatin1(description.kind == DemoDeviceDescription::Kind::FtdiBridge ? "FTDEMO%1"
                                                                                            : "MLDEMO%1")
                .arg(serialNumber++);
        attached.push_back(std::move(entry));
        AttachedDevice& added = attached.back();
        const auto plugIn = [&emulation, &console, &added, serial] {
            if (added.description.kind == DemoDeviceDescription::Kind::FtdiBridge) {
                marlune::testing::FtdiBridgeOptions options;
                options.serial = serial.toStdString();
                options.modelWireTime = true;
                added.emulationId = emulation.addFtdiBridge(added.device, options);
            } else {
                marlune::testing::MakerDeviceOptions options;
                options.serial = serial.toStdString();
                options.modelWireTime = true;
                options.openable = !added.description.locked;
                added.emulationId = emulation.addMakerDevice(added.device, options);
            }
            console << "attached: " << added.description.describe() << Qt::endl;
        };
        if (description.plugInAfterMs > 0) {
            QTimer::singleShot(static_cast<int>(description.plugInAfterMs), &application, plugIn);
        } else {
            plugIn();
        }
    }

    // An unplug at a given segment has to happen while the update runs, so the launcher
    // watches the segment counts.
    QTimer unplugWatch;
    QObject::connect(&unplugWatch, &QTimer::timeout, [&] {
        for (AttachedDevice& entry : attached) {
            if (entry.description.unplugSegment && entry.emulationId != 0 &&
                emulation.isPlugged(entry.emulationId) &&
                entry.device->dataSegmentCount() >= *entry.description.unplugSegment) {
                emulation.unplug(entry.emulationId);
                console << "unplugged: " << entry.description.model << Qt::endl;
            }
        }
    });
    unplugWatch.start(kUnplugPollMs);

    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.setInputChannelMode(QProcess::ForwardedInputChannel);
    QObject::connect(&program, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), &application,
                     [&](int exitCode, QProcess::ExitStatus status) {
                         application.exit(status == QProcess::NormalExit ? exitCode : EXIT_FAILURE);
                     });
    QObject::connect(&program, &QProcess::errorOccurred, &application, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            QTextStream(stderr) << "cannot start " << program.program() << Qt::endl;
            application.exit(kSetupFailure);
        }
    });

    // Ending the demo ends the program first: the emulation must outlive every USB call of
    // the child, which waits for its answers from this process.
    TerminationSignalNotifier terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignalNotifier::terminationRequested, &program,
                     [&] { program.terminate(); });

    program.start(QString::fromUtf8(commandLine ? MARLUNE_FWUPDATE_CLI_PATH : MARLUNE_FWUPDATE_PATH),
                  arguments);
    const int exitCode = application.exec();
    if (program.state() != QProcess::NotRunning) {
        program.terminate();
        program.waitForFinished(-1);
    }
    return exitCode;
}
