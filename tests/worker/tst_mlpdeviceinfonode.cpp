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

    void sameUnitIsItsLinkAndOwnSerialOrItsPortPath_data()
    {
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("portPath");
        QTest::addColumn<QString>("otherSerial");
        QTest::addColumn<QString>("otherAddress");
        QTest::addColumn<QString>("otherPortPath");
        QTest::addColumn<int>("sharedBy"); // how many report the serial number, on both sides
        QTest::addColumn<bool>("otherLinkKind");
        QTest::addColumn<bool>("same");
        QTest::newRow("same serial, moved") << "A1"
                                            << "usb:m/0"
                                            << "1-2"
                                            << "A1"
                                            << "usb:m/3"
                                            << "1-4" << 1 << false << true;
        QTest::newRow("other serial, same position") << "A1"
                                                     << "usb:m/0"
                                                     << ""
                                                     << "A2"
                                                     << "usb:m/0"
                                                     << "" << 1 << false << false;
        QTest::newRow("same serial, other link kind") << "A1"
                                                      << "usb:m/0"
                                                      << ""
                                                      << "A1"
                                                      << "usb:m/0"
                                                      << "" << 1 << true << false;
        QTest::newRow("no serials, same position") << ""
                                                   << "usb:m/1"
                                                   << ""
                                                   << ""
                                                   << "usb:m/1"
                                                   << "" << 0 << false << true;
        QTest::newRow("no serials, moved") << ""
                                           << "usb:m/1"
                                           << ""
                                           << ""
                                           << "usb:m/2"
                                           << "" << 0 << false << false;
        QTest::newRow("one serial missing") << "A1"
                                            << "usb:m/1"
                                            << ""
                                            << ""
                                            << "usb:m/1"
                                            << "" << 1 << false << false;
        QTest::newRow("no serials, no address") << ""
                                                << ""
                                                << ""
                                                << ""
                                                << ""
                                                << "" << 0 << false << false;
        // Positions shift while other units hold their links; the port path does not.
        QTest::newRow("no serials, same port, other position") << ""
                                                               << "usb:m/1"
                                                               << "1-2.3"
                                                               << ""
                                                               << "usb:m/0"
                                                               << "1-2.3" << 0 << false << true;
        QTest::newRow("no serials, other port, same position") << ""
                                                               << "usb:m/1"
                                                               << "1-2.3"
                                                               << ""
                                                               << "usb:m/1"
                                                               << "1-2.4" << 0 << false << false;
        QTest::newRow("no serials, one port path unknown") << ""
                                                           << "usb:m/1"
                                                           << "1-2.3"
                                                           << ""
                                                           << "usb:m/1"
                                                           << "" << 0 << false << false;
        QTest::newRow("shared serial, same port") << "A5028"
                                                  << "usb:m/0"
                                                  << "1-3"
                                                  << "A5028"
                                                  << "usb:m/1"
                                                  << "1-3" << 2 << false << true;
        QTest::newRow("shared serial, other port") << "A5028"
                                                   << "usb:m/0"
                                                   << "1-3"
                                                   << "A5028"
                                                   << "usb:m/0"
                                                   << "1-4" << 2 << false << false;
    }

    void sameUnitIsItsLinkAndOwnSerialOrItsPortPath()
    {
        QFETCH(QString, serial);
        QFETCH(QString, address);
        QFETCH(QString, portPath);
        QFETCH(QString, otherSerial);
        QFETCH(QString, otherAddress);
        QFETCH(QString, otherPortPath);
        QFETCH(int, sharedBy);
        QFETCH(bool, otherLinkKind);
        QFETCH(bool, same);
        MLPDeviceInfoNode unit;
        unit.linkKind = marlune::MLP::MLPLinkKind::MakerUsb;
        unit.serial = serial;
        unit.address = address;
        unit.portPath = portPath;
        unit.serialShareCount = sharedBy;
        MLPDeviceInfoNode other = unit;
        other.serial = otherSerial;
        other.address = otherAddress;
        other.portPath = otherPortPath;
        other.fwVersion = 0x0999; // what a unit reports changes with an update
        if (otherLinkKind) {
            other.linkKind = marlune::MLP::MLPLinkKind::FtdiBridge;
        }
        QCOMPARE(unit.isSameUnit(other), same);
        QCOMPARE(other.isSameUnit(unit), same);
    }

    // A serial number that was its own when the unit was listed names it no more once a
    // second device reports it too: then only the port path does.
    void serialSharedOnOneSideGoesByPortPath()
    {
        MLPDeviceInfoNode listed;
        listed.linkKind = marlune::MLP::MLPLinkKind::FtdiBridge;
        listed.serial = "A5028";
        listed.serialShareCount = 1;
        listed.portPath = "1-2";
        MLPDeviceInfoNode now = listed;
        now.serialShareCount = 2;
        now.portPath = "1-5";
        QVERIFY(!listed.isSameUnit(now));
        now.portPath = listed.portPath;
        QVERIFY(listed.isSameUnit(now));
    }
};

QTEST_GUILESS_MAIN(TestMLPDeviceInfoNode)
#include "tst_mlpdeviceinfonode.moc"
