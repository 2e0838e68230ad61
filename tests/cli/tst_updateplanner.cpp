#include "cliarguments.h"
#include "updatecommandplanner.h"
#include "updatefilebuilder.h"

#include <QtTest>

using marlune::testing::MLU2FileWriter;
using marlune::testing::UpdateFileBuilder;

// What an update command decides before it touches a device: which devices get which file,
// and every refusal with its exit code and reason. Only update files are read.
class TestUpdatePlanner : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_directory;
    QHash<QString, QString> m_catalogue;

    // "MODEL", "MODEL/hhhh" or "MODEL/hhhh/ffff" with the hardware and firmware versions as
    // the device reports them (BCD); "?" for a device that did not answer.
    static QList<MLPDeviceInfoNode> devicesFrom(const QStringList& entries)
    {
        QList<MLPDeviceInfoNode> devices;
        for (const QString& entry : entries) {
            MLPDeviceInfoNode device;
            device.model = entry.section(QLatin1Char('/'), 0, 0);
            device.hwVersion =
                static_cast<uint16_t>(entry.section(QLatin1Char('/'), 1, 1).toUInt(nullptr, 16));
            if (!entry.contains(QLatin1Char('/'))) {
                device.hwVersion = 0x0100;
            }
            device.fwVersion = static_cast<uint16_t>(entry.section(QLatin1Char('/'), 2).toUInt(nullptr, 16));
            device.address = QStringLiteral("usb:m/%1").arg(devices.size());
            device.serial = QStringLiteral("S%1").arg(devices.size());
            device.linkKind = marlune::MLP::MLPLinkKind::MakerUsb;
            devices << device;
        }
        return devices;
    }

private slots:
    void initTestCase()
    {
        UpdateFileBuilder().writeTo(m_directory.filePath("fit.ml2"));
        MLU2FileWriter truncated = UpdateFileBuilder().writer();
        truncated.truncateTo(1300);
        UpdateFileBuilder::write(truncated, m_directory.filePath("broken.ml2"));
        m_catalogue.insert("DEMO-5", m_directory.filePath("fit.ml2"));
        UpdateFileBuilder demo6;
        demo6.model = "DEMO-6";
        demo6.hardwareVersions = {0x0200};
        m_catalogue.insert("DEMO-6", demo6.writeTo(m_directory.filePath("demo6.ml2")));
    }

    void planOrRefusal_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("devices");
        QTest::addColumn<bool>("catalogue");
        QTest::addColumn<int>("refusalCode");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QStringList>("planned");
        QTest::addColumn<int>("skipped");

        QTest::newRow("no device") << "update" << QStringList() << true << 3 << "No Marlune device found."
                                   << QStringList() << 0;
        QTest::newRow("chosen address absent") << "update --device usb:m/3" << QStringList{"DEMO-5"} << true
                                               << 3 << "No device answers at usb:m/3" << QStringList() << 0;
        QTest::newRow("several without choice")
            << "update {dir}/fit.ml2" << QStringList{"DEMO-5", "DEMO-5"} << true << 2
            << "2 devices found; choose one with --device" << QStringList() << 0;
        QTest::newRow("model without built-in file")
            << "update" << QStringList{"OTHER"} << true << 4 << "No built-in update file for model OTHER"
            << QStringList() << 0;
        QTest::newRow("no built-in files installed")
            << "update" << QStringList{"DEMO-5"} << false << 4 << "No built-in update files are installed"
            << QStringList() << 0;
        QTest::newRow("other model") << "update {dir}/fit.ml2" << QStringList{"DEMO-6"} << true << 4
                                     << "the update file is for model DEMO-5, the device is a DEMO-6"
                                     << QStringList() << 0;
        QTest::newRow("hardware not listed")
            << "update {dir}/fit.ml2" << QStringList{"DEMO-5/0200"} << true << 4
            << "fits hardware 1.00, the device has hardware 2.00" << QStringList() << 0;
        QTest::newRow("truncated file") << "update {dir}/broken.ml2" << QStringList{"DEMO-5"} << true << 4
                                        << "truncated" << QStringList() << 0;
        QTest::newRow("all: the file fits none")
            << "update --all {dir}/fit.ml2" << QStringList{"DEMO-6", "OTHER"} << true << 4
            << "fit.ml2 fits none of the listed devices" << QStringList() << 0;
        QTest::newRow("all: no built-in file fits")
            << "update --all --builtin" << QStringList{"DEMO-6", "OTHER"} << true << 4
            << "No listed device has a built-in update file that fits it" << QStringList() << 0;
        QTest::newRow("chosen serial absent") << "update --device X9" << QStringList{"DEMO-5"} << true << 3
                                              << "No device with serial number X9" << QStringList() << 0;
        QTest::newRow("the device with the chosen serial")
            << "update --device S1 {dir}/fit.ml2" << QStringList{"DEMO-6", "DEMO-5"} << true << 0 << ""
            << QStringList{"usb:m/1"} << 0;
        QTest::newRow("the chosen device")
            << "update --device usb:m/1 {dir}/fit.ml2" << QStringList{"DEMO-6", "DEMO-5"} << true << 0 << ""
            << QStringList{"usb:m/1"} << 0;
        QTest::newRow("all: the devices the file fits")
            << "update --all {dir}/fit.ml2" << QStringList{"DEMO-5", "DEMO-6", "DEMO-5"} << true << 0 << ""
            << QStringList{"usb:m/0", "usb:m/2"} << 1;
        // The file brings 1.07: a unit at 1.07 is left alone, one at 1.08 would step back.
        QTest::newRow("all: units already at the file's firmware or newer are left alone")
            << "update --all {dir}/fit.ml2"
            << QStringList{"DEMO-5/0100/0107", "DEMO-5/0100/0106", "DEMO-5/0100/0108"} << true << 0 << ""
            << QStringList{"usb:m/1"} << 2;
        QTest::newRow("all: a rig already up to date is nothing to refuse")
            << "update --all {dir}/fit.ml2" << QStringList{"DEMO-5/0100/0107"} << true << 0 << ""
            << QStringList() << 1;
        QTest::newRow("all: also those, when asked")
            << "update --all --allow-reinstall --allow-older {dir}/fit.ml2"
            << QStringList{"DEMO-5/0100/0107", "DEMO-5/0100/0106", "DEMO-5/0100/0108"} << true << 0 << ""
            << QStringList{"usb:m/0", "usb:m/1", "usb:m/2"} << 0;
        // A watch starts on whatever the bench holds; units are still to come.
        QTest::newRow("all, watching: an empty bench is nothing to refuse")
            << "update --all --watch {dir}/fit.ml2" << QStringList() << true << 0 << "" << QStringList() << 0;
        QTest::newRow("all, watching: a file that fits none is nothing to refuse")
            << "update --all --watch {dir}/fit.ml2" << QStringList{"DEMO-6", "OTHER"} << true << 0 << ""
            << QStringList() << 2;
        QTest::newRow("all: a device that did not answer is listed, not written")
            << "update --all {dir}/fit.ml2" << QStringList{"DEMO-5", "?"} << true << 0 << ""
            << QStringList{"usb:m/0"} << 1;
        QTest::newRow("all: each its own built-in file")
            << "update --all --builtin" << QStringList{"DEMO-6/0200", "OTHER", "DEMO-5"} << true << 0 << ""
            << QStringList{"usb:m/0", "usb:m/2"} << 1;
    }

    void planOrRefusal()
    {
        QFETCH(QString, line);
        QFETCH(QStringList, devices);
        QFETCH(bool, catalogue);
        QFETCH(int, refusalCode);
        QFETCH(QString, reason);
        QFETCH(QStringList, planned);
        QFETCH(int, skipped);

        CliArguments arguments;
        QCOMPARE(arguments.parse(QStringList{"marlune-fwupdate-cli"} +
                                 line.replace("{dir}", m_directory.path()).split(QLatin1Char(' '))),
                 CliArguments::Outcome::Run);
        QList<MLPDeviceInfoNode> listed = devicesFrom(devices);
        MissingDevices missing;
        for (const MLPDeviceInfoNode& device : std::as_const(listed)) {
            if (device.model == "?") {
                missing.unansweredUnits << device;
            }
        }
        listed.erase(std::remove_if(listed.begin(), listed.end(),
                                    [](const MLPDeviceInfoNode& device) { return device.model == "?"; }),
                     listed.end());
        const QHash<QString, QString> builtIn = catalogue ? m_catalogue : QHash<QString, QString>();
        // The planner reads nothing: it is handed what each file holds.
        QHash<QString, UpdateImage> files;
        for (const QString& path : UpdateCommandPlanner::filesFor(arguments, builtIn, listed)) {
            files.insert(path, UpdateImage::read(path));
        }
        const UpdatePlan plan = UpdateCommandPlanner::plan(listed, arguments, builtIn, files, missing);

        QCOMPARE(int(plan.refusalCode), refusalCode);
        QVERIFY2(plan.refusal.contains(reason), qPrintable(plan.refusal));
        QStringList plannedAddresses;
        for (const UpdatePlan::Item& item : plan.items) {
            plannedAddresses << item.device.address;
            QVERIFY(!item.filePath.isEmpty());
        }
        QCOMPARE(plannedAddresses, planned);
        QCOMPARE(plan.skipped.size(), skipped);
    }
};

QTEST_GUILESS_MAIN(TestUpdatePlanner)
#include "tst_updateplanner.moc"
