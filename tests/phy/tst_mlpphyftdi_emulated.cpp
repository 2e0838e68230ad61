#include "emulatedbus.h"
#include "linkreading.h"
#include "mlpconnection.h"
#include "mlpdeviceinforecord.h"
#include "mlpphyftdi.h"
#include "scriptedendpoint.h"
#include "virtualdevice.h"

#include <QtTest>

#include <memory>
#include <string>

using marlune::MLP::MLPPhyFtdi;
using namespace marlune::testing;

// The FTDI link over its libftdi1 provider, against emulated FT232R bridges.
class TestMLPPhyFtdiEmulated : public QObject
{
    Q_OBJECT

private:
    EmulatedBus m_emulation;

private slots:
    void init() { m_emulation.start(); }

    void cleanup() { m_emulation.stop(); }

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

    void deviceInformationComesThroughTheLink()
    {
        VirtualDeviceIdentity identity;
        identity.model = "MLP-DGL-7";
        identity.hwVersion = 0x0203;
        m_emulation->addFtdiBridge(std::make_shared<VirtualDevice>(identity),
                                   bridgeNamed("MARLUNE MLP-DGL", "FT1"));
        MLPPhyFtdi link;
        link.open("usb:ftdi/0");
        MLPConnection connection(&link, 10000);

        const MLPReadResult result = connection.requestDeviceInfo();

        QCOMPARE(result.status, MLPStatus::Ok);
        QCOMPARE(result.length, uint32_t(MLPDeviceInfoRecord::kPayloadLength));
        const MLPDeviceInfoRecord record = MLPDeviceInfoRecord::fromPayload(result.data.get());
        QCOMPARE(record.model, std::string("MLP-DGL-7"));
        QCOMPARE(record.hwVersion, uint16_t(0x0203));
    }

    void readsHandOutWhatTheDeviceSent_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("a 15-byte answer") << QByteArrayLiteral("0123456789abcde");
        QTest::newRow("several chunks") << QByteArrayLiteral("0123456789abcdefghijklmnopqrstuvwxyz");
    }

    void readsHandOutWhatTheDeviceSent()
    {
        QFETCH(QByteArray, sent);
        auto device = std::make_shared<ScriptedEndpoint>();
        const int bridge = m_emulation->addFtdiBridge(device);
        MLPPhyFtdi link;
        link.openIndex(0);
        device->queueForHost(sent);

        QByteArray received;
        for (int i = 0; i < sent.size(); ++i) {
            const auto result = link.readByte();
            QCOMPARE(result.empty, 0u);
            received.append(static_cast<char>(result.value));
        }

        QCOMPARE(received, sent);
        // A read that waited for bytes already received would sit through latency periods
        // in which the bridge has nothing more to send, until its read time-out.
        QCOMPARE(m_emulation->ftdiEmptyAnswerCount(bridge), 0);
        QCOMPARE(link.readByte().empty, 1u);
    }

    void closedLinkReadsNothing()
    {
        auto device = std::make_shared<ScriptedEndpoint>();
        m_emulation->addFtdiBridge(device);
        MLPPhyFtdi link;
        link.openIndex(0);
        device->queueForHost(QByteArrayLiteral("abc"));

        link.close();
        link.close();

        QCOMPARE(link.readByte().empty, 1u);
    }

    void unpluggedBridgeGivesEmptyReadsAndTakesWrites()
    {
        auto device = std::make_shared<ScriptedEndpoint>();
        const int bridge = m_emulation->addFtdiBridge(device);
        MLPPhyFtdi link;
        link.openIndex(0);
        const int setupBytes = device->received().size();

        m_emulation->unplug(bridge);
        const uint8_t frame[] = {0xAA, 0x01, 0xCC};
        link.write(frame, sizeof frame);

        QCOMPARE(link.readByte().empty, 1u);
        QCOMPARE(device->received().size(), setupBytes);
    }
};

QTEST_GUILESS_MAIN(TestMLPPhyFtdiEmulated)
#include "tst_mlpphyftdi_emulated.moc"
