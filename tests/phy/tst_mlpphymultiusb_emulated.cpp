#include "emulatedbus.h"
#include "linkreading.h"
#include "mlpconnection.h"
#include "mlpdeviceinforecord.h"
#include "mlpphyaddress.h"
#include "mlpphymultiusb.h"
#include "scriptedendpoint.h"
#include "virtualdevice.h"

#include <QtTest>

#include <memory>
#include <set>
#include <string>
#include <vector>

using marlune::MLP::MLPPhyAddress;
using marlune::MLP::MLPPhyMultiUsb;
using namespace marlune::testing;

// The multi-link with both members on the real libraries, against emulated bridges and
// maker devices: the numbering discovery hands out and selection opens again.
class TestMLPPhyMultiUsbEmulated : public QObject
{
    Q_OBJECT

private:
    EmulatedBus m_emulation;

    static std::shared_ptr<VirtualDevice> deviceWithModel(const std::string& model)
    {
        VirtualDeviceIdentity identity;
        identity.model = model;
        return std::make_shared<VirtualDevice>(identity);
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

private slots:
    void init() { m_emulation.start(); }

    void cleanup() { m_emulation.stop(); }

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
            models.push_back(deviceModelOf(link));
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
                discovered.push_back(deviceModelOf(discovery));
            }
        }
        QCOMPARE(discovered.size(), std::size_t(3));

        for (int index = 0; index < 3; ++index) {
            MLPPhyMultiUsb selection;
            selection.open(MLPPhyAddress::multi().makeAddress(index));
            QCOMPARE(deviceModelOf(selection), discovered[static_cast<std::size_t>(index)]);
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
