#include "emulatedbus.h"
#include "linkreading.h"
#include "mlpconnection.h"
#include "mlpdeviceinforecord.h"
#include "mlpphyml.h"
#include "patternedbytes.h"
#include "scriptedendpoint.h"
#include "virtualdevice.h"

#include <QtTest>

#include <memory>
#include <set>
#include <string>

using marlune::MLP::MLPPhyMl;
using namespace marlune::testing;

// The maker-USB link over the real libusb-1.0, against emulated maker devices.
class TestMLPPhyMlEmulated : public QObject
{
    Q_OBJECT

private:
    EmulatedBus m_emulation;

    static VirtualDeviceIdentity identityOf(const std::string& model)
    {
        VirtualDeviceIdentity identity;
        identity.model = model;
        return identity;
    }

private slots:
    void init() { m_emulation.start(); }

    void cleanup() { m_emulation.stop(); }

    // The device list

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
        m_emulation->addMakerDevice(std::make_shared<VirtualDevice>(identityOf("MODEL-A")),
                                    makerWithSerial("ML1"));
        m_emulation->addMakerDevice(std::make_shared<VirtualDevice>(identityOf("MODEL-B")),
                                    makerWithSerial("ML2"));
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

    // Reading and writing

    void deviceInformationComesThroughTheLink()
    {
        VirtualDeviceIdentity identity = identityOf("MLP-USB-3");
        identity.fwVersion = 0x0412;
        m_emulation->addMakerDevice(std::make_shared<VirtualDevice>(identity));
        MLPPhyMl link;
        link.open("usb:mlusb/0");
        MLPConnection connection(&link, 10000);

        const MLPReadResult result = connection.requestDeviceInfo();

        QCOMPARE(result.status, MLPStatus::Ok);
        const MLPDeviceInfoRecord record = MLPDeviceInfoRecord::fromPayload(result.data.get());
        QCOMPARE(record.model, std::string("MLP-USB-3"));
        QCOMPARE(record.fwVersion, uint16_t(0x0412));
    }

    void bytesOfOneTransferAreHandedOutOneByOne()
    {
        auto device = std::make_shared<ScriptedEndpoint>();
        m_emulation->addMakerDevice(device);
        MLPPhyMl link;
        link.openIndex(0);
        const QByteArray sent = patternedBytes(150);
        device->queueForHost(sent);

        QCOMPARE(readUntilEmpty(link), sent);
    }

    void closedLinkReadsNothing()
    {
        auto device = std::make_shared<ScriptedEndpoint>();
        m_emulation->addMakerDevice(device);
        MLPPhyMl link;
        QCOMPARE(link.readByte().empty, 1u);
        link.close();
        link.openIndex(0);
        device->queueForHost(QByteArrayLiteral("abc"));

        link.close();
        link.close();

        QCOMPARE(link.readByte().empty, 1u);
    }

    void bytesLeftFromOneDeviceAreNotHandedOutLater()
    {
        auto first = std::make_shared<ScriptedEndpoint>();
        auto second = std::make_shared<ScriptedEndpoint>();
        m_emulation->addMakerDevice(first, makerWithSerial("ML1"));
        m_emulation->addMakerDevice(second, makerWithSerial("ML2"));
        MLPPhyMl link;
        QCOMPARE(link.enumerate(), 2);
        link.openIndex(0);
        first->queueForHost(QByteArrayLiteral("AAAAAAAAAA"));
        second->queueForHost(QByteArrayLiteral("BBBBBBBBBB"));
        const auto firstByte = link.readByte();
        QCOMPARE(firstByte.empty, 0u);

        link.openIndex(1);

        const QByteArray afterReopen = readUntilEmpty(link);
        QCOMPARE(afterReopen.size(), 10);
        QVERIFY(afterReopen.at(0) != static_cast<char>(firstByte.value));
    }

    void busyInterfaceLeavesTheLinkClosed()
    {
        auto device = std::make_shared<ScriptedEndpoint>();
        MakerDeviceOptions busy;
        busy.interfaceBusy = true;
        m_emulation->addMakerDevice(device, busy);
        MLPPhyMl link;
        QCOMPARE(link.enumerate(), 1);

        link.openIndex(0);
        const uint8_t frame[] = {0xAA, 0xCC};
        link.write(frame, sizeof frame);
        device->queueForHost(QByteArrayLiteral("abc"));

        QCOMPARE(link.readByte().empty, 1u);
        QVERIFY(device->received().isEmpty());
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

    void unpluggedDeviceGivesEmptyReads()
    {
        auto device = std::make_shared<ScriptedEndpoint>();
        const int id = m_emulation->addMakerDevice(device);
        MLPPhyMl link;
        link.openIndex(0);

        m_emulation->unplug(id);
        const uint8_t frame[] = {0xAA, 0xCC};
        link.write(frame, sizeof frame);

        QCOMPARE(link.readByte().empty, 1u);
        QCOMPARE(link.readByte().empty, 1u);
        QVERIFY(device->received().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMLPPhyMlEmulated)
#include "tst_mlpphyml_emulated.moc"
