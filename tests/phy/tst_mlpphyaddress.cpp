#include "mlpphyaddress.h"
#include "mlpusbportpath.h"

#include <QtTest>

using marlune::MLP::MLPPhyAddress;
using marlune::MLP::MLPUsbPortPath;

class TestMLPPhyAddress : public QObject
{
    Q_OBJECT

private slots:
    void schemesHaveTheirPrefixes()
    {
        QCOMPARE(QString::fromStdString(MLPPhyAddress::ftdi().prefix()), "usb:ftdi/");
        QCOMPARE(QString::fromStdString(MLPPhyAddress::mlUsb().prefix()), "usb:mlusb/");
        QCOMPARE(QString::fromStdString(MLPPhyAddress::multi().prefix()), "usb:m/");
    }

    void makeAddressWritesPlainDecimal()
    {
        QCOMPARE(QString::fromStdString(MLPPhyAddress::ftdi().makeAddress(0)), "usb:ftdi/0");
        QCOMPARE(QString::fromStdString(MLPPhyAddress::multi().makeAddress(2)), "usb:m/2");
        QCOMPARE(QString::fromStdString(MLPPhyAddress::mlUsb().makeAddress(1234)), "usb:mlusb/1234");
    }

    void parseIndexReadsLikeAtoi_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("index");
        QTest::newRow("prefix alone") << "usb:m/" << 0;
        QTest::newRow("trailing text") << "usb:m/12abc" << 12;
        QTest::newRow("negative") << "usb:m/-1" << -1;
        QTest::newRow("plus sign") << "usb:m/+7" << 7;
        QTest::newRow("leading blanks") << "usb:m/ \t42" << 42;
        QTest::newRow("no digits") << "usb:m/x9" << 0;
        QTest::newRow("prefix not compared") << "abc:d/5" << 5;
        QTest::newRow("saturates high") << "usb:m/99999999999999" << INT_MAX;
        QTest::newRow("saturates low") << "usb:m/-99999999999999" << INT_MIN;
    }

    void parseIndexReadsLikeAtoi()
    {
        QFETCH(QString, address);
        QFETCH(int, index);
        const auto parsed = MLPPhyAddress::multi().parseIndex(address.toStdString());
        QVERIFY(parsed.has_value());
        QCOMPARE(*parsed, index);
    }

    void shortAddressHoldsNoIndex()
    {
        QVERIFY(!MLPPhyAddress::multi().parseIndex("").has_value());
        QVERIFY(!MLPPhyAddress::multi().parseIndex("usb:m").has_value());
        QVERIFY(!MLPPhyAddress::mlUsb().parseIndex("usb:m/0").has_value());
    }

    void parseIndexInvertsMakeAddress()
    {
        for (int index : {0, 1, 9, 10, 255, 65536, INT_MAX}) {
            QCOMPARE(*MLPPhyAddress::ftdi().parseIndex(MLPPhyAddress::ftdi().makeAddress(index)), index);
        }
    }

    // A position is an address; a place on the bus is a port path, which D2XX writes as a
    // location id, a hexadecimal digit per level. Both ways agree; what a digit cannot hold
    // has no location id, and a location id with a gap names no place.
    void portPathsAndLocationIdsAgree_data()
    {
        QTest::addColumn<int>("bus");
        QTest::addColumn<QList<int>>("ports");
        QTest::addColumn<QString>("portPath");
        QTest::addColumn<uint>("locationId");
        QTest::newRow("root hub port") << 1 << QList<int>{5} << "1-5" << 0x15u;
        QTest::newRow("behind a hub") << 2 << QList<int>{1, 3} << "2-1.3" << 0x213u;
        QTest::newRow("port 10") << 2 << QList<int>{10, 3} << "2-10.3" << 0x2A3u;
        QTest::newRow("seven levels")
            << 1 << QList<int>{1, 2, 3, 4, 5, 6, 7} << "1-1.2.3.4.5.6.7" << 0x11234567u;
        QTest::newRow("port 16") << 1 << QList<int>{16} << "1-16" << 0u;
        QTest::newRow("bus 16") << 16 << QList<int>{1} << "16-1" << 0u;
        QTest::newRow("root hub itself") << 1 << QList<int>{} << "" << 0u;
    }

    void portPathsAndLocationIdsAgree()
    {
        QFETCH(int, bus);
        QFETCH(QList<int>, ports);
        QFETCH(QString, portPath);
        QFETCH(uint, locationId);
        std::vector<uint8_t> numbers;
        for (int port : ports) {
            numbers.push_back(static_cast<uint8_t>(port));
        }
        QCOMPARE(QString::fromStdString(MLPUsbPortPath::text(static_cast<uint8_t>(bus), numbers)), portPath);
        QCOMPARE(MLPUsbPortPath::locationId(static_cast<uint8_t>(bus), numbers), locationId);
        if (locationId != 0) {
            QCOMPARE(QString::fromStdString(MLPUsbPortPath::ofLocationId(locationId)), portPath);
        }
        QVERIFY(MLPUsbPortPath::ofLocationId(0).empty());
        QVERIFY(MLPUsbPortPath::ofLocationId(0x1023).empty());
    }
};

QTEST_GUILESS_MAIN(TestMLPPhyAddress)
#include "tst_mlpphyaddress.moc"
