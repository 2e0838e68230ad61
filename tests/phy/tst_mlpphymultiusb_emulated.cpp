#include "mlpconnection.h"
#include "mlpdeviceinforecord.h"
#include "mlpphyaddress.h"
#include "mlpphymultiusb.h"
#include "scriptedendpoint.h"
#include "usbemulation.h"
#include "virtualdevice.h"

#include <QtTest>

#include <memory>
#include <set>
#include <string>
#include <vector>

using marlune::MLP::MLPPhyAddress;
using marlune::MLP::MLPPhyMultiUsb;
using marlune::testing::FtdiBridgeOptions;
using marlune::testing::MakerDeviceOptions;
using marlune::testing::ScriptedEndpoint;
using marlune::testing::UsbEmulation;
using marlune::testing::VirtualDevice;
using marlune::testing::VirtualDeviceIdentity;

// The multi-link with both members on the real libraries, against emulated bridges and
// maker devices: the numbering discovery hands out and selection opens again.
class TestMLPPhyMultiUsbEmulated : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<UsbEmulation> m_emulation;

    static std::shared_ptr<VirtualDevice> deviceWithModel(const std::string& model)
    {
        VirtualDeviceIdentity identity;
        identity.model = model;
        return std::make_shared<VirtualDevice>(identity);
    }

    static std::string modelOf(MLPPhyMultiUsb& link)
    {
        MLPConnection connection(&link, 10000);
        const MLPReadResult result = connection.requestDeviceInfo();
        if (result.status != MLPStatus::Ok) {
            return "no answer";
        }
        return MLPDeviceInfoRecord::fromPayload(result.data.get()).model;
    }

    // Two accepted bridges, one maker device, and one of each kind that is not listed.
    void plugInMixedDevices()
    {
        FtdiBridgeOptions first;
        first.serial = "FT1";
        FtdiBridgeOptions second;
        second.description = "MARLUNE MLP-DGL";
        second.serial = "FT2";
        FtdiBridgeOptions foreignBridge;
        foreignBridge.description = "FT232R USB UART";
        foreignBridge.serial = "FT3";
        MakerDeviceOptions foreignProduct;
        foreignProduct.productId = 0x0B24;
        foreignProduct.serial = "ML9";
        m_emulation->addFtdiBridge(deviceWithModel("BRIDGE-A"), first);
        m_emulation->addMakerDevice(deviceWithModel("MAKER-C"));
        m_emulation->addFtdiBridge(std::make_shared<ScriptedEndpoint>(), foreignBridge);
        m_emulation->addFtdiBridge(deviceWithModel("BRIDGE-B"), second);
        m_emulation->addMakerDevice(std::make_shared<ScriptedEndpoint>(), foreignProduct);
    }

private slots:
    void init()
    {
        m_emulation = std::make_unique<UsbEmulation>();
        QVERIFY2(m_emulation->isActive(), "run the test under umockdev-wrapper");
    }

    void cleanup() { m_emulation.reset(); }

    void discoveryNumbersBridgesFirstThenMakerDevices()
    {
        plugInMixedDevices();
        MLPPhyMultiUsb link;

        const int32_t count = link.enumerate();
        QCOMPARE(count, 3);
        std::vector<std::string> models;
        for (int32_t index = 0; index < count; ++index) {
            link.close();
            link.openIndex(index);
            models.push_back(modelOf(link));
        }

        // The two bridges keep the order of the bus, which need not be the order of plugging in.
        QCOMPARE((std::set<std::string>{models[0], models[1]}),
                 (std::set<std::string>{"BRIDGE-A", "BRIDGE-B"}));
        QCOMPARE(models[2], std::string("MAKER-C"));
    }

    void selectionOpensTheDeviceDiscoveryNamed()
    {
        plugInMixedDevices();
        std::vector<std::string> discovered;
        {
            MLPPhyMultiUsb discovery;
            const int32_t count = discovery.enumerate();
            for (int32_t index = 0; index < count; ++index) {
                discovery.close();
                discovery.openIndex(index);
                discovered.push_back(modelOf(discovery));
            }
        }
        QCOMPARE(discovered.size(), std::size_t(3));

        for (int index = 0; index < 3; ++index) {
            MLPPhyMultiUsb selection;
            selection.open(MLPPhyAddress::multi().makeAddress(index));
            QCOMPARE(modelOf(selection), discovered[static_cast<std::size_t>(index)]);
            QCOMPARE(selection.lastError(), 0);
        }
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

    void withoutDevicesNothingOpens()
    {
        MLPPhyMultiUsb link;

        QCOMPARE(link.enumerate(), 0);
        link.open("usb:m/0");

        QCOMPARE(link.readByte().empty, 1u);
        QCOMPARE(link.lastError(), 1);
        QCOMPARE(QString::fromStdString(link.errorString(0)), QString());
    }
};

QTEST_GUILESS_MAIN(TestMLPPhyMultiUsbEmulated)
#include "tst_mlpphymultiusb_emulated.moc"
