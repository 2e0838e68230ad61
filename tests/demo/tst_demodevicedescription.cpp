#include "demodevicedescription.h"

#include <QTest>

using marlune::testing::DemoDeviceDescription;

class TestDemoDeviceDescription : public QObject
{
    Q_OBJECT

private slots:
    void readsKindsModelsAndOptions();
    void faultsAreRead();
    void mistakesAreReported_data();
    void mistakesAreReported();
    void defaultsOfferAFittingAndAnUnfittingDevice();
};

void TestDemoDeviceDescription::readsKindsModelsAndOptions()
{
    QString error;
    const auto devices = DemoDeviceDescription::parseList(
        QStringLiteral(" ftdi:DEMO-A,hw=1.00 ; usb:DEMO-C,hw=2.10,fw=a.0b,frame=64,delay=0;"), &error);
    QVERIFY2(devices, qPrintable(error));
    QCOMPARE(devices->size(), 2);

    const DemoDeviceDescription& bridge = devices->at(0);
    QCOMPARE(bridge.kind, DemoDeviceDescription::Kind::FtdiBridge);
    QCOMPARE(bridge.model, QStringLiteral("DEMO-A"));
    QCOMPARE(bridge.hwVersion, uint16_t(0x0100));
    QVERIFY(!bridge.silent);
    QVERIFY(!bridge.errorSegment);
    QVERIFY(!bridge.unplugSegment);

    const DemoDeviceDescription& maker = devices->at(1);
    QCOMPARE(maker.kind, DemoDeviceDescription::Kind::MakerUsb);
    QCOMPARE(maker.hwVersion, uint16_t(0x0210));
    QCOMPARE(maker.fwVersion, uint16_t(0x0A0B));
    QCOMPARE(maker.maxFrameLength, uint16_t(64));
    QCOMPARE(maker.answerDelayMs, 0u);
}

void TestDemoDeviceDescription::faultsAreRead()
{
    QString error;
    const auto devices = DemoDeviceDescription::parseList(
        QStringLiteral("usb:S,silent;usb:E,error-at=12/"
                       "0x05;usb:F,error-at=3;ftdi:U,unplug-at=40;usb:L,locked;ftdi:H,held;"
                       "usb:K,keeps-firmware,restart=2500,plug-in-after=9000"),
        &error);
    QVERIFY2(devices, qPrintable(error));
    QVERIFY(devices->at(0).silent);
    QCOMPARE(devices->at(1).errorSegment, std::optional<uint32_t>(12));
    QCOMPARE(devices->at(1).errorStatus, uint8_t(0x05));
    QCOMPARE(devices->at(2).errorSegment, std::optional<uint32_t>(3));
    QCOMPARE(devices->at(2).errorStatus, DemoDeviceDescription::kDefaultErrorStatus);
    QCOMPARE(devices->at(3).unplugSegment, std::optional<uint32_t>(40));
    QVERIFY(devices->at(4).locked);
    QVERIFY(!devices->at(0).locked);
    QVERIFY(devices->at(5).held);
    QVERIFY(!devices->at(0).held);
    QVERIFY(devices->at(6).keepsFirmware && !devices->at(0).keepsFirmware);
    QCOMPARE(devices->at(6).restartMs, 2500u);
    QCOMPARE(devices->at(6).plugInAfterMs, 9000u);
}

void TestDemoDeviceDescription::mistakesAreReported_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("nothing") << "";
    QTest::newRow("no kind") << "DEMO-A";
    QTest::newRow("unknown kind") << "serial:DEMO-A";
    QTest::newRow("no model") << "usb:";
    QTest::newRow("model too long") << "usb:" + QString(40, 'M');
    QTest::newRow("unknown option") << "usb:DEMO-A,colour=red";
    QTest::newRow("version without minor") << "usb:DEMO-A,hw=1";
    QTest::newRow("version with one minor digit") << "usb:DEMO-A,hw=1.0";
    QTest::newRow("version not hexadecimal") << "usb:DEMO-A,hw=1.0g";
    QTest::newRow("frame too small") << "usb:DEMO-A,frame=8";
    QTest::newRow("status zero means no error") << "usb:DEMO-A,error-at=3/0";
    QTest::newRow("status beyond a byte") << "usb:DEMO-A,error-at=3/256";
    QTest::newRow("segment missing") << "usb:DEMO-A,unplug-at=";
    QTest::newRow("silent with a value") << "usb:DEMO-A,silent=1";
    QTest::newRow("locked bridge") << "ftdi:DEMO-A,locked";
    QTest::newRow("held maker device") << "usb:DEMO-A,held";
}

void TestDemoDeviceDescription::mistakesAreReported()
{
    QFETCH(QString, text);
    QString error;
    QVERIFY(!DemoDeviceDescription::parseList(text, &error));
    QVERIFY(!error.isEmpty());
}

void TestDemoDeviceDescription::defaultsOfferAFittingAndAnUnfittingDevice()
{
    const QVector<DemoDeviceDescription> devices = DemoDeviceDescription::defaultDevices();
    QCOMPARE(devices.size(), 3);
    QCOMPARE(devices[0].kind, DemoDeviceDescription::Kind::FtdiBridge);
    QCOMPARE(devices[0].model, QStringLiteral("DEMO-G"));
    QCOMPARE(devices[0].hwVersion, uint16_t(0x0100));
    QCOMPARE(devices[1].kind, DemoDeviceDescription::Kind::MakerUsb);
    QCOMPARE(devices[1].model, QStringLiteral("DEMO-C"));
    QVERIFY(devices[1].hwVersion != 0x0100);
    QCOMPARE(devices[2].kind, DemoDeviceDescription::Kind::MakerUsb);
    QCOMPARE(devices[2].hwVersion, uint16_t(0x0100));
}

QTEST_GUILESS_MAIN(TestDemoDeviceDescription)
#include "tst_demodevicedescription.moc"
