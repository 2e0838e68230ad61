#include "emulatedbussuite.h"
#include "emulatedftdibridge.h"
#include "patternedbytes.h"
#include "scriptedendpoint.h"

#include <QtTest>

#include <ftdi.h>

#include <memory>

using namespace marlune::testing;

namespace {

constexpr int kFtdiVendorId = 0x0403;
constexpr int kFt232rProductId = 0x6001;

struct FtdiStrings
{
    std::string manufacturer;
    std::string description;
    std::string serial;
};

} // namespace

class TestEmulatedFtdiBridge : public EmulatedBusSuite
{
    Q_OBJECT

private:
    ftdi_context* ftdi() { return m_emulation.ftdi(); }

    std::vector<FtdiStrings> listBridges()
    {
        ftdi_device_list* list = nullptr;
        std::vector<FtdiStrings> bridges;
        if (ftdi_usb_find_all(ftdi(), &list, kFtdiVendorId, kFt232rProductId) < 0) {
            return bridges;
        }
        for (ftdi_device_list* node = list; node != nullptr; node = node->next) {
            char manufacturer[128] = {};
            char description[128] = {};
            char serial[128] = {};
            if (ftdi_usb_get_strings2(ftdi(), node->dev, manufacturer, sizeof manufacturer, description,
                                      sizeof description, serial, sizeof serial) == 0) {
                bridges.push_back({manufacturer, description, serial});
            }
        }
        ftdi_list_free(&list);
        return bridges;
    }

    // Opens the first bridge the way the FTDI link does before it talks to the device.
    bool openFirstBridge()
    {
        ftdi_device_list* list = nullptr;
        if (ftdi_usb_find_all(ftdi(), &list, kFtdiVendorId, kFt232rProductId) < 1) {
            return false;
        }
        const int opened = ftdi_usb_open_dev(ftdi(), list->dev);
        ftdi_list_free(&list);
        return opened == 0;
    }

    // Reads until `count` bytes came or the bridge has nothing more within `attempts` reads.
    QByteArray readBytes(int count, int attempts)
    {
        QByteArray bytes;
        while (bytes.size() < count && attempts-- > 0) {
            unsigned char buffer[512];
            const int length =
                ftdi_read_data(ftdi(), buffer, std::min(count - int(bytes.size()), int(sizeof buffer)));
            if (length < 0) {
                break;
            }
            bytes.append(reinterpret_cast<const char*>(buffer), length);
        }
        return bytes;
    }

private slots:
    void decodesBaudRateDivisor_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("baudRate");
        QTest::newRow("38400: 78 and 1/8") << 0xC04E << 0 << 38400;
        QTest::newRow("250000: exactly 12") << 12 << 0 << 250000;
        QTest::newRow("9600: 312 and 1/2") << 0x4138 << 0 << 9600;
        QTest::newRow("26 and 3/8: the index carries a fraction bit") << 0x001A << 1 << 113744;
        QTest::newRow("3 MBd") << 0 << 0 << 3000000;
        QTest::newRow("2 MBd") << 1 << 0 << 2000000;
        QTest::newRow("1.5 MBd") << 2 << 0 << 1500000;
        QTest::newRow("divisor between 1 and 2 unusable") << 0x4001 << 0 << 0;
    }

    void decodesBaudRateDivisor()
    {
        QFETCH(int, value);
        QFETCH(int, index);
        QFETCH(int, baudRate);
        QCOMPARE(int(EmulatedFtdiBridge::decodeBaudRate(uint16_t(value), uint16_t(index))), baudRate);
    }

    void listsBridgesWithTheirStrings()
    {
        m_emulation->addFtdiBridge(std::make_shared<ScriptedEndpoint>());
        m_emulation->addFtdiBridge(std::make_shared<ScriptedEndpoint>(),
                                   bridgeNamed("MARLUNE MLP-DGL", "FT0002"));
        m_emulation->addFtdiBridge(std::make_shared<ScriptedEndpoint>(),
                                   bridgeNamed("MARLUNE MLP-DEVX", "FT0003"));

        std::vector<FtdiStrings> bridges = listBridges();
        QCOMPARE(bridges.size(), std::size_t(3));
        std::sort(bridges.begin(), bridges.end(),
                  [](const FtdiStrings& a, const FtdiStrings& b) { return a.serial < b.serial; });
        QCOMPARE(bridges[0].description, std::string("MARLUNE MLP-DEV"));
        QCOMPARE(bridges[0].serial, std::string("FT0001"));
        QCOMPARE(bridges[0].manufacturer, std::string("FTDI"));
        QCOMPARE(bridges[1].description, std::string("MARLUNE MLP-DGL"));
        QCOMPARE(bridges[1].serial, std::string("FT0002"));
        QCOMPARE(bridges[2].description, std::string("MARLUNE MLP-DEVX"));
    }

    void openSequenceIsLoggedInOrder()
    {
        auto endpoint = std::make_shared<ScriptedEndpoint>();
        const int bridge = m_emulation->addFtdiBridge(endpoint);
        QVERIFY(openFirstBridge());

        QCOMPARE(ftdi_usb_reset(ftdi()), 0);
        QCOMPARE(ftdi_set_line_property2(ftdi(), BITS_8, STOP_BIT_2, NONE, BREAK_ON), 0);
        QCOMPARE(ftdi_set_line_property2(ftdi(), BITS_8, STOP_BIT_2, NONE, BREAK_OFF), 0);
        QCOMPARE(ftdi_set_baudrate(ftdi(), 38400), 0);
        const unsigned char breakByte = 0x00;
        QCOMPARE(ftdi_write_data(ftdi(), &breakByte, 1), 1);
        QCOMPARE(ftdi_set_baudrate(ftdi(), 250000), 0);
        const unsigned char startSequence[] = {0x91, 0x4D, 0x6C, 0x01};
        QCOMPARE(ftdi_write_data(ftdi(), startSequence, 4), 4);

        // libftdi's own open resets the chip and sets 9600 baud before the link does anything.
        QCOMPARE(FtdiLineEvent::describe(m_emulation->ftdiLineLog(bridge)),
                 std::string("reset; baud 9600; reset; 8N2; break on; 8N2; break off; baud 38400; "
                             "data 00 @38400; baud 250000; data 91 4D 6C 01 @250000"));
        // The slow zero byte is a break to a receiver at 250000 baud, not data.
        QCOMPARE(endpoint->received(), QByteArray::fromHex("914d6c01"));
        QCOMPARE(ftdi_usb_close(ftdi()), 0);
    }

    void bytesReachDeviceOnlyAtItsBaudRate_data()
    {
        QTest::addColumn<int>("baudRate");
        QTest::addColumn<bool>("breakOn");
        QTest::addColumn<bool>("delivered");
        QTest::newRow("250000 baud") << 250000 << false << true;
        QTest::newRow("115200 baud") << 115200 << false << false;
        QTest::newRow("250000 baud during break") << 250000 << true << false;
    }

    void bytesReachDeviceOnlyAtItsBaudRate()
    {
        QFETCH(int, baudRate);
        QFETCH(bool, breakOn);
        QFETCH(bool, delivered);
        auto endpoint = std::make_shared<ScriptedEndpoint>();
        m_emulation->addFtdiBridge(endpoint);
        QVERIFY(openFirstBridge());
        QCOMPARE(ftdi_set_baudrate(ftdi(), baudRate), 0);
        QCOMPARE(ftdi_set_line_property2(ftdi(), BITS_8, STOP_BIT_2, NONE, breakOn ? BREAK_ON : BREAK_OFF),
                 0);
        const unsigned char bytes[] = {1, 2, 3};
        QCOMPARE(ftdi_write_data(ftdi(), bytes, 3), 3);
        QCOMPARE(endpoint->received().size(), delivered ? 3 : 0);
    }

    void latencyTimerIsSetAndReadBack()
    {
        const int bridge = m_emulation->addFtdiBridge(std::make_shared<ScriptedEndpoint>());
        QVERIFY(openFirstBridge());
        unsigned char latency = 0;
        QCOMPARE(ftdi_get_latency_timer(ftdi(), &latency), 0);
        QCOMPARE(int(latency), 16);
        QCOMPARE(ftdi_set_latency_timer(ftdi(), 2), 0);
        QCOMPARE(ftdi_get_latency_timer(ftdi(), &latency), 0);
        QCOMPARE(int(latency), 2);
        const std::vector<FtdiLineEvent> log = m_emulation->ftdiLineLog(bridge);
        QVERIFY(!log.empty());
        QCOMPARE(log.back().toString(), std::string("latency 2"));
    }

    void idleBridgeAnswersStatusOnly()
    {
        m_emulation->addFtdiBridge(std::make_shared<ScriptedEndpoint>());
        QVERIFY(openFirstBridge());
        unsigned char buffer[64];
        QCOMPARE(ftdi_read_data(ftdi(), buffer, sizeof buffer), 0);
        QCOMPARE(ftdi_read_data(ftdi(), buffer, sizeof buffer), 0);
        unsigned short status = 0;
        QCOMPARE(ftdi_poll_modem_status(ftdi(), &status), 0);
        QCOMPARE(int(status), 0x6001);
    }

    void answerComesBackWithoutStatusBytes_data()
    {
        QTest::addColumn<int>("answerLength");
        QTest::newRow("one byte") << 1;
        QTest::newRow("one packet minus status") << 62;
        QTest::newRow("several packets") << 300;
    }

    void answerComesBackWithoutStatusBytes()
    {
        QFETCH(int, answerLength);
        auto endpoint = std::make_shared<ScriptedEndpoint>();
        m_emulation->addFtdiBridge(endpoint);
        QVERIFY(openFirstBridge());
        QCOMPARE(ftdi_set_baudrate(ftdi(), 250000), 0);
        const QByteArray answer = patternedBytes(answerLength, 3);
        endpoint->queueForHost(answer);

        QCOMPARE(readBytes(answer.size(), 20), answer);
        unsigned char buffer[16];
        QCOMPARE(ftdi_read_data(ftdi(), buffer, sizeof buffer), 0);
    }

    void answerAtAnotherBaudRateIsLost()
    {
        auto endpoint = std::make_shared<ScriptedEndpoint>();
        m_emulation->addFtdiBridge(endpoint);
        QVERIFY(openFirstBridge());
        QCOMPARE(ftdi_set_baudrate(ftdi(), 38400), 0);
        endpoint->queueForHost(QByteArray::fromHex("010203"));
        QVERIFY(readBytes(3, 3).isEmpty());
    }

    void purgesDropBufferedBytes()
    {
        auto endpoint = std::make_shared<ScriptedEndpoint>();
        const int bridge = m_emulation->addFtdiBridge(endpoint);
        QVERIFY(openFirstBridge());
        QCOMPARE(ftdi_set_baudrate(ftdi(), 250000), 0);
        m_emulation->clearFtdiLineLog(bridge);
        QCOMPARE(ftdi_tcoflush(ftdi()), 0);
        QCOMPARE(ftdi_tciflush(ftdi()), 0);
        QCOMPARE(FtdiLineEvent::describe(m_emulation->ftdiLineLog(bridge)),
                 std::string("purge host-to-device; purge device-to-host"));
    }

    void wireTimeModelKeepsBytesIntact()
    {
        auto endpoint = std::make_shared<ScriptedEndpoint>(ScriptedEndpoint::Answer::Echo);
        FtdiBridgeOptions options;
        options.modelWireTime = true;
        m_emulation->addFtdiBridge(endpoint, options);
        QVERIFY(openFirstBridge());
        QCOMPARE(ftdi_set_baudrate(ftdi(), 250000), 0);
        QCOMPARE(ftdi_set_line_property2(ftdi(), BITS_8, STOP_BIT_2, NONE, BREAK_OFF), 0);
        QCOMPARE(ftdi_set_latency_timer(ftdi(), 1), 0);

        const QByteArray request = patternedBytes(1000);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(ftdi_write_data(ftdi(), reinterpret_cast<const unsigned char*>(request.constData()),
                                 request.size()),
                 request.size());
        QCOMPARE(readBytes(request.size(), 2000), request);
        // Each way 1000 characters of 11 bits at 250000 baud take 44 ms.
        qInfo("1000 bytes out and echoed back at 250000 baud 8N2: %lld ms (wire alone: 88 ms)",
              static_cast<long long>(timer.elapsed()));
    }
};

QTEST_GUILESS_MAIN(TestEmulatedFtdiBridge)
#include "tst_emulatedftdibridge.moc"
