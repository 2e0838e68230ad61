#include "devicemodelof.h"
#include "emulatedbussuite.h"
#include "linkreading.h"
#include "mlpconnection.h"
#include "mlpdeviceinforecord.h"
#include "mlplinkkind.h"
#include "mlpphyaddress.h"
#include "mlpphyftdi.h"
#include "mlpphyml.h"
#include "mlpphymultiusb.h"
#include "patternedbytes.h"
#include "scriptedendpoint.h"
#include "virtualdevice.h"

#include <QtTest>

#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

using marlune::MLP::MLPLinkKind;
using marlune::MLP::MLPPhy;
using marlune::MLP::MLPPhyAddress;
using marlune::MLP::MLPPhyFtdi;
using marlune::MLP::MLPPhyMl;
using marlune::MLP::MLPPhyMultiUsb;
using namespace marlune::testing;

Q_DECLARE_METATYPE(MLPLinkKind)

namespace {

std::shared_ptr<VirtualDevice> deviceWithModel(const std::string& model)
{
    VirtualDeviceIdentity identity;
    identity.model = model;
    return std::make_shared<VirtualDevice>(identity);
}

// What one unit's thread sees over `rounds` opens of its unit, found as the worker finds a
// unit: a fresh listing, then the position with its link kind and serial number.
std::vector<std::string> modelsSeenAt(MLPLinkKind kind, const std::string& serial, int rounds)
{
    MLPPhyMultiUsb link;
    std::vector<std::string> models;
    for (int round = 0; round < rounds; ++round) {
        const int32_t count = link.enumerate();
        int32_t index = 0;
        while (index < count && (link.linkKindAt(index) != kind || link.serialAt(index) != serial)) {
            ++index;
        }
        link.openIndex(index);
        models.push_back(deviceModelOf(link));
    }
    return models;
}

void addOneRowPerLinkKind()
{
    QTest::addColumn<MLPLinkKind>("kind");
    QTest::newRow("FTDI bridge") << MLPLinkKind::FtdiBridge;
    QTest::newRow("maker USB") << MLPLinkKind::MakerUsb;
}

} // namespace

// The FTDI link over its libftdi1 provider, the maker-USB link and the multi-link over the
// real libusb-1.0, against emulated FT232R bridges and maker devices. What both links must do
// alike is one table with a row for each kind of link.
class TestMLPPhyUsbEmulated : public EmulatedBusSuite
{
    Q_OBJECT

private:
    int plugIn(MLPLinkKind kind, std::shared_ptr<DeviceEndpoint> device)
    {
        return kind == MLPLinkKind::FtdiBridge ? m_emulation->addFtdiBridge(std::move(device))
                                               : m_emulation->addMakerDevice(std::move(device));
    }

    static std::unique_ptr<MLPPhy> linkOf(MLPLinkKind kind)
    {
        if (kind == MLPLinkKind::FtdiBridge) {
            return std::make_unique<MLPPhyFtdi>();
        }
        return std::make_unique<MLPPhyMl>();
    }

    static std::unique_ptr<MLPPhy> openLinkOf(MLPLinkKind kind)
    {
        std::unique_ptr<MLPPhy> link = linkOf(kind);
        link->open(firstAddressOf(kind));
        return link;
    }

    static std::string firstAddressOf(MLPLinkKind kind)
    {
        return kind == MLPLinkKind::FtdiBridge ? "usb:ftdi/0" : "usb:mlusb/0";
    }

    // Two accepted bridges, one maker device, and one of each kind that is not listed.
    void plugInMixedDevices()
    {
        MakerDeviceOptions foreignProduct = makerWithProduct(0x0B24);
        foreignProduct.serial = "ML9";
        m_emulation->addFtdiBridge(deviceWithModel("BRIDGE-A"), bridgeNamed("MARLUNE MLP-DEV", "FT1"));
        m_emulation->addMakerDevice(deviceWithModel("MAKER-C"));
        m_emulation->addFtdiBridge(std::make_shared<ScriptedEndpoint>(),
                                   bridgeNamed("FT232R USB UART", "FT3"));
        m_emulation->addFtdiBridge(deviceWithModel("BRIDGE-B"), bridgeNamed("MARLUNE MLP-DGL", "FT2"));
        m_emulation->addMakerDevice(std::make_shared<ScriptedEndpoint>(), foreignProduct);
    }

    // The model of each listed device by position, as one multi-link opening each in turn
    // sees it.
    static std::vector<std::string> modelsByPosition()
    {
        MLPPhyMultiUsb discovery;
        std::vector<std::string> models;
        const int32_t count = discovery.enumerate();
        for (int32_t index = 0; index < count; ++index) {
            discovery.close();
            discovery.openIndex(index);
            models.push_back(deviceModelOf(discovery));
        }
        return models;
    }

private slots:
    // What every link does alike

    void deviceInformationComesThroughTheLink_data() { addOneRowPerLinkKind(); }

    void deviceInformationComesThroughTheLink()
    {
        QFETCH(MLPLinkKind, kind);
        VirtualDeviceIdentity identity;
        identity.model = "MLP-DGL-7";
        identity.hwVersion = 0x0203;
        identity.fwVersion = 0x0412;
        plugIn(kind, std::make_shared<VirtualDevice>(identity));
        const std::unique_ptr<MLPPhy> link = openLinkOf(kind);
        MLPConnection connection(link.get(), 10000);

        const MLPReadResult result = connection.requestDeviceInfo();

        QCOMPARE(result.status, MLPStatus::Ok);
        QCOMPARE(result.length, uint32_t(MLPDeviceInfoRecord::kPayloadLength));
        const MLPDeviceInfoRecord record = MLPDeviceInfoRecord::fromPayload(result.data.get());
        QCOMPARE(record.model, std::string("MLP-DGL-7"));
        QCOMPARE(record.hwVersion, uint16_t(0x0203));
        QCOMPARE(record.fwVersion, uint16_t(0x0412));
    }

    void readsHandOutWhatTheDeviceSent_data()
    {
        QTest::addColumn<MLPLinkKind>("kind");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("FTDI bridge, a 15-byte answer")
            << MLPLinkKind::FtdiBridge << QByteArrayLiteral("0123456789abcde");
        QTest::newRow("FTDI bridge, several chunks")
            << MLPLinkKind::FtdiBridge << QByteArrayLiteral("0123456789abcdefghijklmnopqrstuvwxyz");
        QTest::newRow("maker USB, one transfer") << MLPLinkKind::MakerUsb << patternedBytes(150);
    }

    void readsHandOutWhatTheDeviceSent()
    {
        QFETCH(MLPLinkKind, kind);
        QFETCH(QByteArray, sent);
        auto device = std::make_shared<ScriptedEndpoint>();
        const int id = plugIn(kind, device);
        const std::unique_ptr<MLPPhy> link = openLinkOf(kind);
        device->queueForHost(sent);

        QByteArray received;
        for (int i = 0; i < sent.size(); ++i) {
            const auto result = link->readByte();
            QCOMPARE(result.empty, 0u);
            received.append(static_cast<char>(result.value));
        }

        QCOMPARE(received, sent);
        if (kind == MLPLinkKind::FtdiBridge) {
            // A read that waited for bytes already received would sit through latency periods
            // in which the bridge has nothing more to send, until its read time-out.
            QCOMPARE(m_emulation->ftdiEmptyAnswerCount(id), 0);
        }
        QCOMPARE(link->readByte().empty, 1u);
    }

    void unpluggedDeviceGivesEmptyReadsAndTakesWrites_data() { addOneRowPerLinkKind(); }

    void unpluggedDeviceGivesEmptyReadsAndTakesWrites()
    {
        QFETCH(MLPLinkKind, kind);
        auto device = std::make_shared<ScriptedEndpoint>();
        const int id = plugIn(kind, device);
        const std::unique_ptr<MLPPhy> link = openLinkOf(kind);
        // The FTDI link's line set-up reaches the device on opening.
        const int receivedOnOpening = device->received().size();

        m_emulation->unplug(id);
        const uint8_t frame[] = {0xAA, 0x01, 0xCC};
        link->write(frame, sizeof frame);

        QCOMPARE(link->readByte().empty, 1u);
        QCOMPARE(link->readByte().empty, 1u);
        QCOMPARE(device->received().size(), receivedOnOpening);
    }

    // The FTDI link

    void listsOnlyBridgesWithAnAcceptedDescription()
    {
        m_emulation->addFtdiBridge(std::make_shared<ScriptedEndpoint>(),
                                   bridgeNamed("MARLUNE MLP-DEV", "FT1"));
        m_emulation->addFtdiBridge(std::make_shared<ScriptedEndpoint>(),
                                   bridgeNamed("MARLUNE MLP-DEVX", "FT2"));
        m_emulation->addFtdiBridge(std::make_shared<ScriptedEndpoint>(),
                                   bridgeNamed("FT232R USB UART", "FT3"));
        m_emulation->addFtdiBridge(std::make_shared<ScriptedEndpoint>(),
                                   bridgeNamed("MARLUNE MLP-DGL", "FT4"));
        m_emulation->addMakerDevice(std::make_shared<ScriptedEndpoint>());
        MLPPhyFtdi link;

        QCOMPARE(link.enumerate(), 2);
    }

    void lineSetupReachesTheBridge()
    {
        auto device = std::make_shared<ScriptedEndpoint>();
        const int bridge = m_emulation->addFtdiBridge(device);
        MLPPhyFtdi link;

        link.openIndex(0);

        // libftdi's own open resets the chip and sets 9600 baud before the link's set-up.
        QCOMPARE(FtdiLineEvent::describe(m_emulation->ftdiLineLog(bridge)),
                 std::string("reset; baud 9600; reset; 8N2; baud 38400; data 00 @38400; baud 250000; "
                             "data 91 4D 6C 01 @250000; latency 2"));
        // At 250 000 baud the slow zero byte is a break, not data.
        QCOMPARE(device->received(), QByteArray::fromHex("914d6c01"));
    }

    // Closing twice must not reach the libftdi1 context twice.
    void closedBridgeReadsNothing()
    {
        auto device = std::make_shared<ScriptedEndpoint>();
        m_emulation->addFtdiBridge(device);
        MLPPhyFtdi link;
        QCOMPARE(link.readByte().empty, 1u);
        link.close();
        link.openIndex(0);
        device->queueForHost(QByteArrayLiteral("abc"));

        link.close();
        link.close();

        QCOMPARE(link.readByte().empty, 1u);
    }

    // The maker-USB link

    void listsOnlyTheMakersProducts_data()
    {
        QTest::addColumn<int>("productId");
        QTest::addColumn<int>("listed");
        QTest::newRow("0b23") << 0x0B23 << 1;
        QTest::newRow("0dbf") << 0x0DBF << 1;
        QTest::newRow("0fa0") << 0x0FA0 << 1;
        QTest::newRow("0b24") << 0x0B24 << 0;
        QTest::newRow("6001") << 0x6001 << 0;
    }

    void listsOnlyTheMakersProducts()
    {
        QFETCH(int, productId);
        QFETCH(int, listed);
        m_emulation->addMakerDevice(std::make_shared<ScriptedEndpoint>(),
                                    makerWithProduct(static_cast<uint16_t>(productId)));
        m_emulation->addFtdiBridge(std::make_shared<ScriptedEndpoint>());
        MLPPhyMl link;

        QCOMPARE(link.enumerate(), listed);
    }

    void devicesAreToldApartBySerial_data()
    {
        QTest::addColumn<QStringList>("serials");
        QTest::addColumn<int>("listed");
        QTest::newRow("two serials") << QStringList{"ML1", "ML2"} << 2;
        QTest::newRow("one serial twice") << QStringList{"ML1", "ML1"} << 1;
        QTest::newRow("one serial twice among others") << QStringList{"ML1", "ML2", "ML1", "ML3"} << 3;
        QTest::newRow("empty serial twice") << QStringList{"", ""} << 1;
    }

    void devicesAreToldApartBySerial()
    {
        QFETCH(QStringList, serials);
        QFETCH(int, listed);
        for (const QString& serial : serials) {
            m_emulation->addMakerDevice(std::make_shared<ScriptedEndpoint>(),
                                        makerWithSerial(serial.toStdString()));
        }
        MLPPhyMl link;

        QCOMPARE(link.enumerate(), listed);
    }

    void deviceWithoutReadableSerialIsLeftOut_data()
    {
        QTest::addColumn<bool>("hasSerial");
        QTest::addColumn<bool>("openable");
        QTest::newRow("no serial string") << false << true;
        QTest::newRow("cannot be opened") << true << false;
    }

    void deviceWithoutReadableSerialIsLeftOut()
    {
        QFETCH(bool, hasSerial);
        QFETCH(bool, openable);
        MakerDeviceOptions unreadable = makerWithSerial("ML9");
        unreadable.hasSerial = hasSerial;
        unreadable.openable = openable;
        m_emulation->addMakerDevice(std::make_shared<ScriptedEndpoint>(), unreadable);
        m_emulation->addMakerDevice(std::make_shared<ScriptedEndpoint>(), makerWithSerial("ML1"));
        MLPPhyMl link;

        QCOMPARE(link.enumerate(), 1);
    }

    void openOnAnEmptyListEnumeratesAgain()
    {
        MLPPhyMl link;
        QCOMPARE(link.enumerate(), 0);
        link.openIndex(0);
        QCOMPARE(link.readByte().empty, 1u);
        auto device = std::make_shared<ScriptedEndpoint>();
        m_emulation->addMakerDevice(device);

        link.openIndex(0);
        device->queueForHost(QByteArrayLiteral("x"));

        QCOMPARE(readUntilEmpty(link), QByteArrayLiteral("x"));
    }

    void addressesNameThePositionsOfTheList()
    {
        m_emulation->addMakerDevice(deviceWithModel("MODEL-A"), makerWithSerial("ML1"));
        m_emulation->addMakerDevice(deviceWithModel("MODEL-B"), makerWithSerial("ML2"));
        MLPPhyMl link;
        QCOMPARE(link.enumerate(), 2);

        std::set<std::string> models;
        for (const char* address : {"usb:mlusb/0", "usb:mlusb/1"}) {
            link.open(address);
            models.insert(deviceModelOf(link));
        }
        link.open("usb:mlusb/2");

        // Which device is position 0 follows the bus order, not the order of plugging in.
        QCOMPARE(models, (std::set<std::string>{"MODEL-A", "MODEL-B"}));
        QCOMPARE(link.readByte().empty, 1u);
    }

    void writeReachesTheDevice()
    {
        auto device = std::make_shared<ScriptedEndpoint>();
        m_emulation->addMakerDevice(device);
        MLPPhyMl link;
        link.openIndex(0);
        const QByteArray block = patternedBytes(300, 0, 7);

        link.write(reinterpret_cast<const uint8_t*>(block.constData()), static_cast<uint32_t>(block.size()));

        QCOMPARE(device->received(), block);
    }

    // The multi-link with both members: the numbering discovery hands out and selection
    // opens again

    void discoveryNumbersBridgesFirstThenMakerDevices()
    {
        plugInMixedDevices();

        const std::vector<std::string> models = modelsByPosition();

        QCOMPARE(models.size(), std::size_t(3));
        // The two bridges keep the order of the bus, which need not be the order of plugging in.
        QCOMPARE((std::set<std::string>{models[0], models[1]}),
                 (std::set<std::string>{"BRIDGE-A", "BRIDGE-B"}));
        QCOMPARE(models[2], std::string("MAKER-C"));
    }

    void selectionOpensTheDeviceDiscoveryNamed()
    {
        plugInMixedDevices();
        const std::vector<std::string> discovered = modelsByPosition();
        QCOMPARE(discovered.size(), std::size_t(3));

        for (int index = 0; index < 3; ++index) {
            MLPPhyMultiUsb selection;
            selection.open(MLPPhyAddress::multi().makeAddress(index));
            QCOMPARE(deviceModelOf(selection), discovered[static_cast<std::size_t>(index)]);
            QCOMPARE(selection.lastError(), 0);
        }
    }

    // Units written side by side, one thread and link each, while another thread lists the
    // bus over and over as a discovery does: every open lands on its own unit, every exchange
    // comes back whole, and every listing finds all units.
    void linksOnSeveralThreadsKeepToTheirOwnUnits()
    {
        constexpr int kRounds = 4;
        m_emulation->addFtdiBridge(deviceWithModel("BRIDGE-A"), bridgeNamed("MARLUNE MLP-DEV", "FT1"));
        m_emulation->addFtdiBridge(deviceWithModel("BRIDGE-B"), bridgeNamed("MARLUNE MLP-DGL", "FT2"));
        m_emulation->addMakerDevice(deviceWithModel("MAKER-C"), makerWithSerial("ML1"));
        std::atomic<bool> unitsDone{false};
        std::vector<int32_t> listings;
        std::thread lister([&] {
            MLPPhyMultiUsb discovery;
            while (!unitsDone.load()) {
                listings.push_back(discovery.enumerate());
            }
        });
        std::vector<std::string> seenA;
        std::vector<std::string> seenB;
        std::vector<std::string> seenC;
        std::thread unitA([&] { seenA = modelsSeenAt(MLPLinkKind::FtdiBridge, "FT1", kRounds); });
        std::thread unitB([&] { seenB = modelsSeenAt(MLPLinkKind::FtdiBridge, "FT2", kRounds); });
        std::thread unitC([&] { seenC = modelsSeenAt(MLPLinkKind::MakerUsb, "ML1", kRounds); });
        unitA.join();
        unitB.join();
        unitC.join();
        unitsDone.store(true);
        lister.join();

        QCOMPARE(seenA, std::vector<std::string>(kRounds, "BRIDGE-A"));
        QCOMPARE(seenB, std::vector<std::string>(kRounds, "BRIDGE-B"));
        QCOMPARE(seenC, std::vector<std::string>(kRounds, "MAKER-C"));
        QVERIFY(!listings.empty());
        QCOMPARE(listings, std::vector<int32_t>(listings.size(), 3));
    }

    void positionBeyondTheListOpensNothing()
    {
        plugInMixedDevices();
        MLPPhyMultiUsb link;
        link.open("usb:m/2");

        link.open("usb:m/3");

        QCOMPARE(link.readByte().empty, 1u);
        QCOMPARE(link.lastError(), 0);
    }
};

QTEST_GUILESS_MAIN(TestMLPPhyUsbEmulated)
#include "tst_mlpphyusb_emulated.moc"
