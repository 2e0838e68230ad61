#include "builtinupdatefiles.h"
#include "cliexitcode.h"
#include "clirun.h"
#include "emulatedbussuite.h"
#include "firmwareupdatecli.h"
#include "flagrows.h"
#include "minisignsigner.h"
#include "mlpcommand.h"
#include "mlu2file.h"
#include "patternedbytes.h"
#include "registerbuiltinupdatefiles.h"
#include "timedfaultendpoint.h"
#include "updatefilebuilder.h"
#include "updatehistory.h"
#include "workerdevices.h"

#include <QtTest>

#include <csignal>
#include <functional>
#include <memory>

using namespace marlune::testing;

namespace {

constexpr uint32_t kSlowAnswerMs = 40;

// Something a test does while the tool runs, once the output so far is ready for it.
struct Step
{
    std::function<bool(const QString& out)> ready;
    std::function<void()> act;
};

constexpr int kStepPollMs = 20;

// Runs the tool in-process; the steps are taken in turn while it runs.
CliRun runCli(const QStringList& arguments, QList<Step> steps = {})
{
    CliRun result;
    QTextStream out(&result.out);
    QTextStream err(&result.err);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        while (!steps.isEmpty() && steps.first().ready(result.out)) {
            steps.takeFirst().act();
        }
    });
    poll.start(kStepPollMs);
    FirmwareUpdateCli cli(out, err, false);
    result.exitCode = cli.run(QStringList{QStringLiteral("marlune-fwupdate-cli")} + arguments);
    out.flush();
    err.flush();
    if (!steps.isEmpty()) {
        qWarning("the tool ended with %d steps not taken", int(steps.size()));
    }
    return result;
}

std::function<bool(const QString&)> once(const QString& text, int times = 1)
{
    return [text, times](const QString& out) { return out.count(text) >= times; };
}

QJsonObject jsonOf(const CliRun& result)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(result.out.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        qWarning("not a JSON object: %s", qPrintable(result.out));
    }
    return document.object();
}

// A plain version as update files hold it (1.00 is 0x0100), as a device reports it in BCD.
uint16_t toBcd(uint16_t plainVersion)
{
    const auto bcd = [](int value) { return (value / 10) << 4 | (value % 10); };
    return static_cast<uint16_t>(bcd(plainVersion >> 8) << 8 | bcd(plainVersion & 0xFF));
}

} // namespace

// The commands in-process over emulated USB: the real worker thread, links, libusb and
// libftdi1 against virtual devices behind an emulated bridge or maker interface.
class TestFirmwareUpdateCli : public EmulatedBusSuite
{
    Q_OBJECT

private:
    QTemporaryDir m_directory;

    QString writeFile(const QByteArray& model, uint16_t hwVersion, const QByteArray& block,
                      const QString& name = QStringLiteral("update.ml2"))
    {
        UpdateFileBuilder file;
        file.model = model;
        file.hardwareVersions = {hwVersion};
        file.blocks = {block};
        return file.writeTo(m_directory.filePath(name));
    }

    static QList<UpdateHistoryEntry> historyEntries()
    {
        QStringList warnings;
        return UpdateHistory().read(warnings);
    }

    static QByteArray patterned(int length) { return patternedBytes(length, 3, 7); }

private slots:
    void initTestCase()
    {
        registerBuiltInUpdateFiles();
        // Every update appends to the history; never to the history of whoever runs the tests.
        qputenv("XDG_STATE_HOME", m_directory.filePath("state").toUtf8());
    }

    void listShowsEveryDeviceWithItsLinkKind()
    {
        m_emulation->addMakerDevice(makeDevice("MAKER-1", 0x0112, 0x0315));
        m_emulation->addFtdiBridge(makeDevice("BRIDGE-1", 0x0100, 0x0a0b));

        const CliRun result = runCli({"list"});
        QCOMPARE(result.exitCode, int(kExitSuccess));
        const QStringList lines = result.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[0].startsWith("ADDRESS"));
        QCOMPARE(lines[1].simplified(), "usb:m/0 FTDI bridge FT0001 BRIDGE-1 1.00 a.0b 128");
        QVERIFY2(QRegularExpression("^usb:m/1 maker USB \\S+ MAKER-1 1.12 3.15 128$")
                     .match(lines[2].simplified())
                     .hasMatch(),
                 qPrintable(lines[2]));
        QVERIFY(result.err.isEmpty());
    }

    void listJsonShape()
    {
        m_emulation->addMakerDevice(makeDevice("MAKER-1", 0x0112, 0x0315));
        m_emulation->addFtdiBridge(makeDevice("BRIDGE-1"));

        const CliRun result = runCli({"list", "--json"});
        QCOMPARE(result.exitCode, int(kExitSuccess));
        const QJsonObject json = jsonOf(result);
        QCOMPARE(json.value("inaccessibleDevices").toArray().size(), 0);
        const QJsonArray devices = json.value("devices").toArray();
        QCOMPARE(devices.size(), 2);
        QCOMPARE(devices[0].toObject().value("link").toString(), "ftdi-bridge");
        const QJsonObject maker = devices[1].toObject();
        QCOMPARE(maker.keys(),
                 (QStringList{"address", "firmwareVersion", "hardwareVersion", "link", "maxFrameLength",
                              "model", "portPath", "serial", "serialSharedBy"}));
        QCOMPARE(maker.value("address").toString(), "usb:m/1");
        QCOMPARE(maker.value("link").toString(), "maker-usb");
        QCOMPARE(maker.value("model").toString(), "MAKER-1");
        QCOMPARE(maker.value("hardwareVersion").toString(), "1.12");
        QCOMPARE(maker.value("firmwareVersion").toString(), "3.15");
        QCOMPARE(maker.value("maxFrameLength").toInt(), 128);
    }

    void listWithoutDevicesExitsNoDevice()
    {
        const CliRun text = runCli({"list"});
        QCOMPARE(text.exitCode, int(kExitNoDevice));
        QVERIFY(text.out.isEmpty());
        QVERIFY(text.err.contains("No Marlune device found."));

        const CliRun json = runCli({"list", "--json"});
        QCOMPARE(json.exitCode, int(kExitNoDevice));
        QCOMPARE(jsonOf(json).value("devices").toArray().size(), 0);
    }

    void deviceWithoutAccessRightsPointsToTheUdevRules()
    {
        MakerDeviceOptions locked;
        locked.openable = false;
        m_emulation->addMakerDevice(makeDevice("MAKER-1"), locked);

        const CliRun text = runCli({"list"});
        QCOMPARE(text.exitCode, int(kExitNoDevice));
        QVERIFY2(text.err.contains("16d0:0b23"), qPrintable(text.err));
        QVERIFY(text.err.contains("access denied"));
        QVERIFY(text.err.contains("60-marlune-fwupdate.rules"));
        QVERIFY(text.err.contains("marlune-fwupdate-cli(1)"));

        const QJsonArray inaccessible =
            jsonOf(runCli({"list", "--json"})).value("inaccessibleDevices").toArray();
        QCOMPARE(inaccessible.size(), 1);
        const QJsonObject entry = inaccessible[0].toObject();
        QCOMPARE(entry.value("usbId").toString(), "16d0:0b23");
        QCOMPARE(entry.value("accessDenied").toBool(), true);
        QVERIFY(entry.value("bus").toInt() > 0);
        QVERIFY(entry.value("device").toInt() > 0);

        const CliRun update = runCli({"update"});
        QCOMPARE(update.exitCode, int(kExitNoDevice));
        QVERIFY(update.err.contains("60-marlune-fwupdate.rules"));
    }

    void interfaceHeldByAnotherProgramIsNamed()
    {
        MakerDeviceOptions busy;
        busy.interfaceBusy = true;
        m_emulation->addMakerDevice(makeDevice("MAKER-1"), busy);
        m_emulation->addMakerDevice(makeDevice("MAKER-2"), MakerDeviceOptions{0x0DBF, "ML0002"});

        const CliRun result = runCli({"list"});
        QCOMPARE(result.exitCode, int(kExitSuccess));
        QVERIFY(result.out.contains("MAKER-2"));
        QVERIFY2(result.err.contains("in use by another program"), qPrintable(result.err));
        QVERIFY(!result.err.contains("udev"));
    }

    void updateWritesTheBuiltInFileForTheDevicesModel()
    {
        const QHash<QString, QString> builtIn = marlune::builtInUpdateFilesByModel();
        if (builtIn.isEmpty()) {
            QSKIP("no built-in update files in this build");
        }
        const QString model = builtIn.keys().first();
        MLU2File file(builtIn.value(model));
        QVERIFY(file.open());
        const uint16_t hwVersion = toBcd(file.compatibleHardwareVersions().first());
        QByteArray expectedBlocks;
        for (int index = 0; index < file.blockCount(); ++index) {
            const MLU2Block block = file.block(index);
            expectedBlocks.append(reinterpret_cast<const char*>(block.data), static_cast<int>(block.length));
        }
        const QByteArray header(reinterpret_cast<const char*>(file.header()), 256);
        const int blockCount = file.blockCount();
        file.close();

        auto device = makeDevice(model.toStdString(), hwVersion);
        m_emulation->addMakerDevice(device);
        const CliRun result = runCli({"update"});

        QCOMPARE(result.exitCode, int(kExitSuccess));
        QVERIFY2(result.out.contains("Update complete."), qPrintable(result.out + result.err));
        QVERIFY(result.out.contains("100%\n"));
        QCOMPARE(toBytes(device->transferPayload(UpdateHeader, 0)), header);
        QByteArray receivedBlocks;
        for (int index = 0; index < blockCount; ++index) {
            receivedBlocks += toBytes(device->transferPayload(UpdateBlock, static_cast<uint16_t>(index)));
        }
        QCOMPARE(receivedBlocks, expectedBlocks);
    }

    void updateWritesAGivenFileToTheChosenDevice()
    {
        // Bridges are numbered first, so the maker device is usb:m/1.
        auto first = makeDevice("DEMO-5");
        auto second = makeDevice("DEMO-5");
        m_emulation->addFtdiBridge(first);
        m_emulation->addMakerDevice(second);
        const QByteArray block = patterned(700);
        const QString path = writeFile("DEMO-5", 0x0100, block);

        const CliRun result = runCli({"update", "--device", "usb:m/1", "--file", path});
        QCOMPARE(result.exitCode, int(kExitSuccess));
        QCOMPARE(first->dataSegmentCount(), std::size_t{0});
        QCOMPARE(toBytes(second->transferPayload(UpdateBlock, 0)), block);

        // By its serial number the bridge is the same unit wherever it is listed.
        const CliRun bySerial = runCli({"update", "--device", "FT0001", "--file", path});
        QCOMPARE(bySerial.exitCode, int(kExitSuccess));
        QCOMPARE(toBytes(first->transferPayload(UpdateBlock, 0)), block);
    }

    void severalDevicesWithoutChoiceIsAUsageError()
    {
        auto first = makeDevice("DEMO-5");
        auto second = makeDevice("DEMO-6");
        m_emulation->addMakerDevice(first);
        m_emulation->addMakerDevice(second, MakerDeviceOptions{0x0B23, "ML0002"});

        const CliRun result = runCli({"update", "--file", writeFile("DEMO-5", 0x0100, patterned(10))});
        QCOMPARE(result.exitCode, int(kExitUsageError));
        QVERIFY(result.err.contains("--device"));
        QVERIFY(result.err.contains("DEMO-5 at usb:m/"));
        QVERIFY(result.err.contains("DEMO-6 at usb:m/"));
        QCOMPARE(first->dataSegmentCount() + second->dataSegmentCount(), std::size_t{0});
    }

    void absentDeviceAddressExitsNoDevice()
    {
        m_emulation->addMakerDevice(makeDevice("DEMO-5"));
        const CliRun result = runCli({"update", "--device", "usb:m/3", "--dry-run"});
        QCOMPARE(result.exitCode, int(kExitNoDevice));
        QVERIFY(result.err.contains("usb:m/3"));
    }

    void noDeviceExitsNoDevice()
    {
        const CliRun result = runCli({"update", "--file", writeFile("DEMO-5", 0x0100, patterned(10))});
        QCOMPARE(result.exitCode, int(kExitNoDevice));
        QVERIFY(result.err.contains("No Marlune device found."));
    }

    void failedUpdateTellsWhereAndWhy_data() { addFlagRows("json", "text", "json"); }

    void failedUpdateTellsWhereAndWhy()
    {
        QFETCH(bool, json);
        auto device = makeDevice("DEMO-5");
        device->failSegment(4, 0x07);
        m_emulation->addMakerDevice(device);

        const QString path = writeFile("DEMO-5", 0x0100, patterned(2000));
        const CliRun result =
            runCli(json ? QStringList{"update", "--json", path} : QStringList{"update", path});
        QCOMPARE(result.exitCode, int(kExitUpdateFailed));
        QVERIFY(!result.out.contains("Update complete."));
        QCOMPARE(device->dataSegmentCount(), std::size_t{5});
        // Frames of 128 bytes carry 114 payload bytes: the header goes in three segments, and
        // block 0 gets its first one through (256 + 114 bytes) before the fifth is refused.
        if (!json) {
            QVERIFY2(result.err.contains(
                         "could not be completed: block 0 stopped at segment 2: the device refused "
                         "it with status 0x07; the device confirmed 370 of 2256 bytes. The device "
                         "may hold a partial update; run the update again."),
                     qPrintable(result.err));
            return;
        }
        const QJsonObject record =
            QJsonDocument::fromJson(result.out.split('\n', Qt::SkipEmptyParts).last().toUtf8()).object();
        QCOMPARE(record.value("event").toString(), "result");
        QCOMPARE(record.value("succeeded").toBool(), false);
        const QJsonObject outcome = record.value("outcome").toObject();
        QCOMPARE(outcome.value("phase").toString(), "block");
        QCOMPARE(outcome.value("block").toInt(), 0);
        QCOMPARE(outcome.value("segment").toInt(), 2);
        QCOMPARE(outcome.value("status").toString(), "device-error");
        QCOMPARE(outcome.value("deviceStatus").toInt(), 7);
        QCOMPARE(outcome.value("bytesConfirmed").toInt(), 370);
        QCOMPARE(outcome.value("bytesTotal").toInt(), 2256);
    }

    void incompatibleFileIsRefusedAndNothingSent_data()
    {
        QTest::addColumn<QByteArray>("model");
        QTest::addColumn<int>("fileHwVersion");
        QTest::addColumn<QString>("reason");
        QTest::newRow("other model") << QByteArray("DEMO-6") << 0x0100
                                     << "for model DEMO-6, the device is a DEMO-5";
        QTest::newRow("model in other case") << QByteArray("demo-5") << 0x0100 << "for model demo-5";
        QTest::newRow("hardware not listed")
            << QByteArray("DEMO-5") << 0x0200 << "fits hardware 2.00, the device has hardware 1.00";
    }

    void incompatibleFileIsRefusedAndNothingSent()
    {
        QFETCH(QByteArray, model);
        QFETCH(int, fileHwVersion);
        QFETCH(QString, reason);
        auto device = makeDevice("DEMO-5", 0x0100);
        m_emulation->addMakerDevice(device);

        const QString path = writeFile(model, static_cast<uint16_t>(fileHwVersion), patterned(100));
        const CliRun result = runCli({"update", "--file", path});
        QCOMPARE(result.exitCode, int(kExitFileRejected));
        QVERIFY2(result.err.contains(reason), qPrintable(result.err));
        QCOMPARE(device->dataSegmentCount(), std::size_t{0});
    }

    // A file a trusted key signed for this model and version is written; one whose signature
    // does not hold never is; one no trusted key signed only with --allow-unsigned. The
    // history records who signed what was written.
    void signatureDecidesWhetherTheFileIsWritten_data()
    {
        QTest::addColumn<QString>("signing");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("reason");
        const int refused = kExitFileRejected;
        QTest::newRow("signed") << "" << QStringList() << int(kExitSuccess)
                                << "signed by demo (key 68618CD95EDF84EC)";
        QTest::newRow("unsigned") << "unsigned" << QStringList() << refused
                                  << "the update file is not signed, and unsigned files were not allowed "
                                     "(--allow-unsigned writes it)";
        QTest::newRow("unsigned, allowed")
            << "unsigned" << QStringList{"--allow-unsigned"} << int(kExitSuccess) << "not signed";
        QTest::newRow("unknown key") << "stranger" << QStringList() << refused
                                     << "signed by key 2D0F3B0F072539CA, which is not trusted";
        QTest::newRow("unknown key, allowed")
            << "stranger" << QStringList{"--allow-unsigned"} << int(kExitSuccess) << "which is not trusted";
        QTest::newRow("changed after signing, allowed")
            << "changed" << QStringList{"--allow-unsigned"} << refused
            << "the file was changed after it was signed";
        QTest::newRow("signed for another version")
            << "other version" << QStringList() << refused << "the signature is for DEMO-5 1.01";
        QTest::newRow("unsigned, --all")
            << "unsigned" << QStringList{"--all"} << refused << "(--allow-unsigned writes it)";
        QTest::newRow("changed after signing, --all")
            << "changed" << QStringList{"--all", "--allow-unsigned"} << refused
            << "the file was changed after it was signed";
        QTest::newRow("unsigned, --all allowed")
            << "unsigned" << QStringList{"--all", "--allow-unsigned", "--allow-older"} << int(kExitSuccess)
            << "";
    }

    void signatureDecidesWhetherTheFileIsWritten()
    {
        QFETCH(QString, signing);
        QFETCH(QStringList, options);
        QFETCH(int, exitCode);
        QFETCH(QString, reason);
        auto device = makeDevice("DEMO-5", 0x0100);
        m_emulation->addMakerDevice(device);
        const QString path = writeFile("DEMO-5", 0x0100, patterned(300));
        if (signing == "unsigned") {
            MinisignSigner::removeSignature(path);
        } else if (signing == "stranger") {
            MinisignSigner::sign(path, "model=DEMO-5 firmware=1.07", MinisignSigner::Key::Stranger);
        } else if (signing == "other version") {
            MinisignSigner::sign(path, "model=DEMO-5 firmware=1.01");
        } else if (signing == "changed") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.seek(MLU2FileWriter::kFirstBlockOffset + 100));
            QVERIFY(file.putChar('\0'));
        }

        const CliRun result = runCli(QStringList{"update", "--file", path, "--dry-run"} + options);
        QCOMPARE(result.exitCode, exitCode);
        QVERIFY2((result.out + result.err).contains(reason, Qt::CaseInsensitive),
                 qPrintable(result.out + result.err));
        const CliRun written = runCli(QStringList{"update", "--json", "--file", path} + options);
        QCOMPARE(written.exitCode, exitCode);
        const bool sent = exitCode == kExitSuccess;
        QCOMPARE(device->dataSegmentCount() > 0, sent);
        if (sent) {
            const UpdateHistoryEntry entry = historyEntries().last();
            QCOMPARE(entry.signedBy, signing.isEmpty() ? QStringLiteral("demo") : QString());
            QVERIFY2(written.out.contains("\"signature\""), qPrintable(written.out));
        }
    }

    void brokenOrMissingFileIsRefusedBeforeAnyDeviceIsTouched_data()
    {
        addFlagRows("truncated", "missing", "truncated");
    }

    void brokenOrMissingFileIsRefusedBeforeAnyDeviceIsTouched()
    {
        QFETCH(bool, truncated);
        auto device = makeDevice("DEMO-5");
        m_emulation->addMakerDevice(device);
        QString path = m_directory.filePath("absent.ml2");
        if (truncated) {
            UpdateFileBuilder file;
            file.blocks = {patterned(500)};
            MLU2FileWriter writer = file.writer();
            writer.truncateTo(1400);
            path = UpdateFileBuilder::write(writer, m_directory.filePath("truncated.ml2"));
        }

        const CliRun result = runCli({"update", "--file", path});
        QCOMPARE(result.exitCode, int(kExitFileRejected));
        QVERIFY(result.err.contains(truncated ? "truncated" : "does not exist"));
        QCOMPARE(device->frameCount(), std::size_t{0});
    }

    void modelWithoutBuiltInFileIsRefused()
    {
        auto device = makeDevice("NO-SUCH-MODEL");
        m_emulation->addMakerDevice(device);
        const CliRun result = runCli({"update"});
        QCOMPARE(result.exitCode, int(kExitFileRejected));
        QVERIFY(result.err.contains("No built-in update file for model NO-SUCH-MODEL"));
        QCOMPARE(device->dataSegmentCount(), std::size_t{0});
    }

    void dryRunChecksEverythingAndSendsNothing()
    {
        auto device = makeDevice("DEMO-5");
        m_emulation->addMakerDevice(device);
        const CliRun result =
            runCli({"update", "--dry-run", "--file", writeFile("DEMO-5", 0x0100, patterned(900))});
        QCOMPARE(result.exitCode, int(kExitSuccess));
        QVERIFY(result.out.contains("Dry run"));
        QVERIFY(result.out.contains("1156 bytes to send"));
        QCOMPARE(device->dataSegmentCount(), std::size_t{0});
    }

    void silentDeviceIsNotListed()
    {
        auto silent = makeDevice("SILENT");
        silent->setSilent(true);
        m_emulation->addMakerDevice(silent);
        QCOMPARE(runCli({"update", "--dry-run"}).exitCode, int(kExitNoDevice));
    }

    void inspectAndBuiltinNeedNoDevice()
    {
        const QString path = writeFile("DEMO-5", 0x0100, patterned(64));
        const CliRun good = runCli({"inspect", path});
        QCOMPARE(good.exitCode, int(kExitSuccess));
        QVERIFY(good.out.contains("Model:             DEMO-5"));
        QVERIFY(good.out.contains("Every block is available."));

        const CliRun broken = runCli({"inspect", "--json", m_directory.filePath("absent.ml2")});
        QCOMPARE(broken.exitCode, int(kExitFileRejected));
        QCOMPARE(jsonOf(broken).value("usable").toBool(), false);

        const CliRun builtin = runCli({"builtin", "--json"});
        QCOMPARE(builtin.exitCode, int(kExitSuccess));
        const QJsonArray files = jsonOf(builtin).value("files").toArray();
        QCOMPARE(files.size(), marlune::builtInUpdateFiles().size());
        for (const QJsonValue& entry : files) {
            QVERIFY(entry.toObject().value("path").toString().startsWith(":/firmwares/"));
            QVERIFY(entry.toObject().contains("usable"));
        }
    }

    // Each unit "link serial [fault]": a fault of "error" refuses the first segment of block 0,
    // "unplug" pulls the plug and "stall" stops taking bytes at its fourth (segments are counted
    // from 1 in words); "current" runs the file's 1.07 already; "silent" never answers. The
    // others run 1.06.
    void updateAllGoesOnAfterFailedDevices_data()
    {
        QTest::addColumn<QStringList>("units");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("a device error, a unit already up to date")
            << QStringList{"maker ML0001", "maker ML0002 error", "maker ML0003", "maker ML0004 current"}
            << QStringList() << int(kExitUpdateFailed);
        QTest::newRow("side by side: a device error, an unplugged unit, a bridge that stops taking bytes")
            << QStringList{"ftdi FT0001 stall", "maker ML0001", "maker ML0002 error", "maker ML0003 unplug"}
            << QStringList() << int(kExitUpdateFailed);
        QTest::newRow("one at a time") << QStringList{"ftdi FT0001", "maker ML0001", "maker ML0002"}
                                       << QStringList{"--jobs", "1"} << int(kExitSuccess);
        QTest::newRow("a unit that does not answer")
            << QStringList{"maker ML0001", "maker ML0002 silent"} << QStringList() << int(kExitNoDevice);
    }

    void updateAllGoesOnAfterFailedDevices()
    {
        QFETCH(QStringList, units);
        QFETCH(QStringList, options);
        QFETCH(int, exitCode);
        const QHash<QString, QString> verdicts{
            {"", "succeeded"},
            {"error", "failed: block 0 stopped at segment 1: the device refused it with status 0x07"},
            {"unplug", "failed: block 0 stopped at segment 4"},
            {"stall", "failed: block 0 stopped at segment 4: the USB link did not take it"},
            {"current", "skipped: already runs firmware 1.07 (--allow-reinstall"},
            {"silent", "skipped: did not answer; nothing was sent"}};
        QHash<QString, QString> faults;
        QHash<QString, std::shared_ptr<VirtualDevice>> devices;
        QStringList attempted;
        for (const QString& unit : units) {
            const QString serial = unit.section(' ', 1, 1);
            const QString fault = unit.section(' ', 2);
            auto device = makeDevice("DEMO-5", 0x0100, fault == "current" ? 0x0107 : 0x0106);
            auto endpoint = std::make_shared<TimedFaultEndpoint>(device);
            device->setSilent(fault == "silent");
            if (fault == "error") {
                device->failSegment(3, 0x07);
            } else if (fault == "unplug") {
                endpoint->unplugOnDataSegment(6);
            } else if (fault == "stall") {
                endpoint->stopTakingDataAtSegment(6);
            }
            if (unit.startsWith("ftdi")) {
                m_emulation->addFtdiBridge(endpoint, bridgeNamed("MARLUNE MLP-DEV", serial.toStdString()));
            } else {
                m_emulation->addMakerDevice(endpoint, makerWithSerial(serial.toStdString()));
            }
            faults.insert(serial, fault);
            devices.insert(serial, device);
            if (fault != "current" && fault != "silent") {
                attempted << serial;
            }
        }
        const QByteArray block = patterned(1500);
        const int recordedBefore = historyEntries().size();

        const CliRun result =
            runCli(QStringList{"update", "--all", writeFile("DEMO-5", 0x0100, block)} + options);
        QCOMPARE(result.exitCode, exitCode);
        const QStringList lines = result.out.split('\n');
        const QStringList summary = result.out.mid(result.out.lastIndexOf("ADDRESS")).split('\n');
        int written = 0;
        for (const QString& unit : units) {
            const QString serial = unit.section(' ', 1, 1);
            const QString fault = faults.value(serial);
            const QStringList rows = summary.filter(serial);
            QCOMPARE(rows.size(), 1);
            const QString address = rows[0].section(' ', 0, 0);
            // A unit that never answered is listed without the model and firmware it did not tell.
            const bool silent = fault == "silent";
            const QString expected = QStringLiteral("%1 %2 %3 %4 %5 %6")
                                         .arg(silent ? "-" : "DEMO-5",
                                              unit.startsWith("ftdi") ? "FTDI bridge" : "maker USB", serial,
                                              silent               ? "-"
                                              : fault == "current" ? "1.07"
                                                                   : "1.06",
                                              fault.isEmpty() ? "1.07" : "-", verdicts.value(fault));
            QVERIFY2(rows[0].simplified().section(' ', 1).startsWith(expected), qPrintable(rows[0]));
            if (fault == "current" || silent) {
                QCOMPARE(devices.value(serial)->dataSegmentCount(), std::size_t{0});
                continue;
            }
            ++written;
            // As it ended, the unit's own verdict line, naming it and why.
            const QString label = address + ' ' + serial + ": ";
            const QStringList verdictLines = lines.filter(QRegularExpression('^' + label + "(?!\\d+%$)"));
            QVERIFY2(verdictLines.size() == 1, qPrintable(result.out));
            QVERIFY2(verdictLines[0].startsWith(
                         label + (fault.isEmpty() ? "update complete." : verdicts.value(fault))),
                     qPrintable(verdictLines[0]));
            if (fault.isEmpty()) {
                QCOMPARE(toBytes(devices.value(serial)->transferPayload(UpdateBlock, 0)), block);
            }
        }
        // The summary keeps the plan's order, whatever order the units ended in.
        const auto serialsIn = [&faults](const QString& table) {
            QStringList serials;
            for (const QString& row : table.split('\n')) {
                for (const QString& serial : faults.keys()) {
                    if (row.contains(' ' + serial + ' ')) {
                        serials << serial;
                    }
                }
            }
            return serials;
        };
        QCOMPARE(serialsIn(summary.join('\n')), serialsIn(result.out.left(result.out.indexOf("Updating "))));
        QVERIFY(result.out.contains(
            QStringLiteral("%1 of %2 updates succeeded.").arg(faults.keys(QString()).size()).arg(written)));

        // Side by side, every unit starts before the first one ends; one at a time, each ends
        // before the next starts.
        QString sequence;
        for (const QString& line : lines) {
            if (line.startsWith("Updating ")) {
                sequence += 'S';
            } else if (QRegularExpression("^usb:m/\\d+ \\S+: (update complete|failed)")
                           .match(line)
                           .hasMatch()) {
                sequence += 'E';
            }
        }
        QCOMPARE(sequence, options.contains("--jobs") ? QString("SE").repeated(written)
                                                      : QString(written, 'S') + QString(written, 'E'));

        // Each unit once in the history, by a session of its own.
        QStringList recorded;
        for (const UpdateHistoryEntry& entry : historyEntries().mid(recordedBefore)) {
            recorded << entry.serial;
            QCOMPARE(entry.succeeded, faults.value(entry.serial).isEmpty());
        }
        recorded.sort();
        attempted.sort();
        QCOMPARE(recorded, attempted);
    }

    void updateAllWatchWritesUnitsAsTheyArePluggedIn_data()
    {
        addFlagRows("duringWrite", "interrupted while no unit is written", "interrupted during a write");
    }

    // A unit plugged in while watching is written once; one already written, unplugged and
    // plugged in again, is left alone; SIGINT ends the watch with the summary, at once or once
    // the write under way has ended.
    void updateAllWatchWritesUnitsAsTheyArePluggedIn()
    {
        QFETCH(bool, duringWrite);
        auto first = makeDevice("DEMO-5", 0x0100, 0x0106);
        const int firstId = m_emulation->addMakerDevice(first, makerWithSerial("ML0001"));
        auto second = makeDevice("DEMO-5", 0x0100, 0x0106);
        auto third = makeDevice("DEMO-5", 0x0100, 0x0106);
        // Slow answers keep its write going while the signal arrives.
        third->setAnswerDelay(kSlowAnswerMs);
        const QByteArray block = patterned(1500);
        const int recordedBefore = historyEntries().size();

        QList<Step> steps{
            // The first unit leaves as the second comes, so the watch has seen it gone.
            {once("Watching for units"),
             [&] {
                 m_emulation->unplug(firstId);
                 m_emulation->addMakerDevice(second, makerWithSerial("ML0002"));
             }},
            {once("update complete.", 2),
             [&] { m_emulation->addMakerDevice(first, makerWithSerial("ML0001")); }},
        };
        if (duringWrite) {
            steps << Step{once("skipped: "),
                          [&] { m_emulation->addMakerDevice(third, makerWithSerial("ML0003")); }}
                  << Step{once("ML0003: 25%"), [] { raise(SIGINT); }};
        } else {
            steps << Step{once("skipped: "), [] { raise(SIGINT); }};
        }
        const CliRun result =
            runCli({"update", "--all", "--watch", writeFile("DEMO-5", 0x0100, block)}, steps);

        QCOMPARE(result.exitCode, int(kExitSuccess));
        QVERIFY2(result.out.contains(QRegularExpression(
                     "serial ML0001, hardware 1.00, firmware 1.07\\): skipped: already runs firmware 1.07")),
                 qPrintable(result.out));
        QCOMPARE(result.err.contains("No further unit starts"), duringWrite);
        QStringList written{"ML0001", "ML0002"};
        if (duringWrite) {
            written << "ML0003";
        }
        QStringList recorded;
        for (const UpdateHistoryEntry& entry : historyEntries().mid(recordedBefore)) {
            recorded << entry.serial;
            QVERIFY(entry.succeeded);
        }
        QCOMPARE(recorded.size(), written.size());
        QCOMPARE(QSet<QString>(recorded.begin(), recorded.end()),
                 QSet<QString>(written.begin(), written.end()));
        for (const auto& device : {first, second}) {
            QCOMPARE(toBytes(device->transferPayload(UpdateBlock, 0)), block);
        }
        QCOMPARE(third->dataSegmentCount() > 0, duringWrite);
        // The summary holds everything the run and the watch did.
        const QString summary = result.out.mid(result.out.lastIndexOf("ADDRESS"));
        for (const QString& serial : written) {
            QVERIFY2(summary.split('\n').filter(serial).filter("succeeded").size() == 1, qPrintable(summary));
        }
        QVERIFY(summary.contains(QStringLiteral("%1 of %1 updates succeeded.").arg(written.size())));
    }

    void updateJsonLinesParse_data()
    {
        addFlagRows("installs", "unit keeps its old firmware", "unit takes it");
    }

    void updateJsonLinesParse()
    {
        QFETCH(bool, installs);
        auto device = makeDevice("DEMO-5");
        device->setInstallsUpdates(installs);
        m_emulation->addMakerDevice(device);
        const CliRun result = runCli({"update", "--json", writeFile("DEMO-5", 0x0100, patterned(3000))});
        QCOMPARE(result.exitCode, int(installs ? kExitSuccess : kExitUnconfirmed));

        const QStringList lines = result.out.split('\n', Qt::SkipEmptyParts);
        QVERIFY(lines.size() > 2);
        // From 0, as the text starts.
        QCOMPARE(QJsonDocument::fromJson(lines.first().toUtf8()).object().value("percent").toInt(-1), 0);
        int lastPercent = -1;
        QSet<QString> progressSerials;
        QJsonObject record;
        for (const QString& line : lines) {
            QJsonParseError error{};
            record = QJsonDocument::fromJson(line.toUtf8(), &error).object();
            QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(line));
            if (record.value("event") == "progress") {
                progressSerials.insert(record.value("serial").toString());
                QVERIFY(record.value("percent").toInt() > lastPercent);
                lastPercent = record.value("percent").toInt();
            }
        }
        QCOMPARE(lastPercent, 100);
        QCOMPARE(record.value("event").toString(), "result");
        QCOMPARE(record.value("succeeded").toBool(), installs);
        QCOMPARE(record.value("address").toString(), "usb:m/0");
        QVERIFY(!record.value("serial").toString().isEmpty());
        QCOMPARE(progressSerials, QSet<QString>{record.value("serial").toString()});
        QCOMPARE(record.value("versionBefore").toString(), "2.03");
        QCOMPARE(record.value("fileFirmwareVersion").toString(), "1.07");
        // Asked again after the update: written and acknowledged is not yet updated.
        QCOMPARE(record.value("versionAfter").toString(), installs ? "1.07" : "2.03");
        QCOMPARE(record.value("outcome").toObject().value("phase").toString(), "done");
        QCOMPARE(record.value("reason").toString().contains("reports firmware 2.03, not 1.07"), !installs);
    }

    void historySkipsABrokenLineWithAWarning()
    {
        qputenv("XDG_STATE_HOME", m_directory.filePath("broken-history").toUtf8());
        const UpdateHistory history;
        UpdateHistoryEntry entry;
        entry.time = QDateTime::currentDateTimeUtc();
        entry.model = "DEMO-5";
        entry.succeeded = true;
        QCOMPARE(history.append(entry), QString());
        QFile file(history.path());
        QVERIFY(file.open(QIODevice::Append));
        // A record cut short, as a full disk leaves it: no newline after it.
        file.write("{\"time\": \"2026-");
        file.close();
        entry.succeeded = false;
        entry.reason = "the device did not take the whole update";
        QCOMPARE(history.append(entry), QString());

        const CliRun text = runCli({"history"});
        qputenv("XDG_STATE_HOME", m_directory.filePath("state").toUtf8());
        QCOMPARE(text.exitCode, int(kExitSuccess));
        QVERIFY2(text.err.contains("line 2 is not an update record; skipped"), qPrintable(text.err));
        const QStringList rows = text.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 3);
        QVERIFY(rows[1].contains("succeeded"));
        QVERIFY(rows[2].contains("failed: the device did not take the whole update"));
    }

    void usageErrorExitsUsageError()
    {
        const CliRun result = runCli({"flash"});
        QCOMPARE(result.exitCode, int(kExitUsageError));
        QVERIFY(result.err.contains("Unknown command"));
        QVERIFY(result.out.isEmpty());

        // A script that asked for JSON gets the refusal as a JSON line too.
        const CliRun json = runCli({"update", "--json", "--all"});
        QCOMPARE(json.exitCode, int(kExitUsageError));
        const QJsonObject record = QJsonDocument::fromJson(json.out.toUtf8()).object();
        QCOMPARE(record.value("event").toString(), "refused");
        QCOMPARE(record.value("exitCode").toInt(), int(kExitUsageError));
        QVERIFY(record.value("reason").toString().contains("--all needs"));
    }
};

QTEST_GUILESS_MAIN(TestFirmwareUpdateCli)
#include "tst_firmwareupdatecli.moc"
