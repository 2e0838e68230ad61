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
};

QTEST_GUILESS_MAIN(TestMLPDeviceInfoNode)
#include "tst_mlpdeviceinfonode.moc"
