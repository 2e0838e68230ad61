#include "mlpphyaddress.h"

#include <QtTest>

using marlune::MLP::MLPPhyAddress;

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
};

QTEST_GUILESS_MAIN(TestMLPPhyAddress)
#include "tst_mlpphyaddress.moc"
