#include "mlpdeviceinfonode.h"

#include <QtTest>

class TestMLPDeviceInfoNode : public QObject
{
    Q_OBJECT

private slots:
    void versionTextShowsTheHexadecimalDigitsOfEachByte_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<QString>("text");
        QTest::newRow("1.12") << 0x0112 << "1.12";
        QTest::newRow("zero") << 0x0000 << "0.00";
        QTest::newRow("minor padded") << 0x0305 << "3.05";
        QTest::newRow("two-digit major") << 0x1001 << "10.01";
        QTest::newRow("not BCD") << 0x0A0B << "a.0b";
        QTest::newRow("no answer") << 0xFFFF << "ff.ff";
    }

    void versionTextShowsTheHexadecimalDigitsOfEachByte()
    {
        QFETCH(int, version);
        QFETCH(QString, text);
        QCOMPARE(MLPDeviceInfoNode::versionText(static_cast<uint16_t>(version)), text);
    }

    void sameUnitIsItsLinkAndSerialOrWithoutSerialItsPosition_data()
    {
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("otherSerial");
        QTest::addColumn<QString>("otherAddress");
        QTest::addColumn<bool>("otherLinkKind");
        QTest::addColumn<bool>("same");
        QTest::newRow("same serial, moved") << "A1"
                                            << "usb:m/0"
                                            << "A1"
                                            << "usb:m/3" << false << true;
        QTest::newRow("other serial, same position") << "A1"
                                                     << "usb:m/0"
                                                     << "A2"
                                                     << "usb:m/0" << false << false;
        QTest::newRow("same serial, other link kind") << "A1"
                                                      << "usb:m/0"
                                                      << "A1"
                                                      << "usb:m/0" << true << false;
        QTest::newRow("no serials, same position") << ""
                                                   << "usb:m/1"
                                                   << ""
                                                   << "usb:m/1" << false << true;
        QTest::newRow("no serials, moved") << ""
                                           << "usb:m/1"
                                           << ""
                                           << "usb:m/2" << false << false;
        QTest::newRow("one serial missing") << "A1"
                                            << "usb:m/1"
                                            << ""
                                            << "usb:m/1" << false << false;
        QTest::newRow("no serials, no address") << ""
                                                << ""
                                                << ""
                                                << "" << false << false;
    }

    void sameUnitIsItsLinkAndSerialOrWithoutSerialItsPosition()
    {
        QFETCH(QString, serial);
        QFETCH(QString, address);
        QFETCH(QString, otherSerial);
        QFETCH(QString, otherAddress);
        QFETCH(bool, otherLinkKind);
        QFETCH(bool, same);
        MLPDeviceInfoNode unit;
        unit.linkKind = marlune::MLP::MLPLinkKind::MakerUsb;
        unit.serial = serial;
        unit.address = address;
        MLPDeviceInfoNode other = unit;
        other.serial = otherSerial;
        other.address = otherAddress;
        other.fwVersion = 0x0999; // what a unit reports changes with an update
        if (otherLinkKind) {
            other.linkKind = marlune::MLP::MLPLinkKind::FtdiBridge;
        }
        QCOMPARE(unit.isSameUnit(other), same);
        QCOMPARE(other.isSameUnit(unit), same);
    }
};

QTEST_GUILESS_MAIN(TestMLPDeviceInfoNode)
#include "tst_mlpdeviceinfonode.moc"
