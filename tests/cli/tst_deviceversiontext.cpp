#include "deviceversiontext.h"

#include <QtTest>

class TestDeviceVersionText : public QObject
{
    Q_OBJECT

private slots:
    void showsTheHexadecimalDigitsOfEachByte_data()
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

    void showsTheHexadecimalDigitsOfEachByte()
    {
        QFETCH(int, version);
        QFETCH(QString, text);
        QCOMPARE(deviceVersionText(static_cast<uint16_t>(version)), text);
    }
};

QTEST_GUILESS_MAIN(TestDeviceVersionText)
#include "tst_deviceversiontext.moc"
