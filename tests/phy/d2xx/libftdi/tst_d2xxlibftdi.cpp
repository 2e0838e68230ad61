#include "d2xxapi.h"
#include "emulatedbus.h"
#include "flagrows.h"
#include "scriptedendpoint.h"

#include <QtTest>

#include <chrono>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace marlune::testing;

// The D2XX calls over libftdi1, against emulated FT232R bridges driven by the real libftdi1
// and libusb-1.0.
class TestD2xxLibftdi : public QObject
{
    Q_OBJECT

private:
    static constexpr ULONG kWorkingBaudRate = 250000;
    // Long enough that a loaded machine never runs into it when the bytes are on their way.
    static constexpr ULONG kGenerousTimeoutMs = 5000;
    static constexpr ULONG kShortTimeoutMs = 100;

    EmulatedBus m_emulation;
    FT_HANDLE m_handle = nullptr;

    // Lists the bridges and opens the first at the working baud rate.
    bool openOnlyBridge()
    {
        DWORD count = 0;
        if (FT_CreateDeviceInfoList(&count) != FT_OK || count != 1) {
            return false;
        }
        return FT_Open(0, &m_handle) == FT_OK && FT_SetBaudRate(m_handle, kWorkingBaudRate) == FT_OK;
    }

    std::set<std::string> listedSerialNumbers()
    {
        DWORD count = 0;
        FT_CreateDeviceInfoList(&count);
        std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count);
        FT_GetDeviceInfoList(nodes.data(), &count);
        std::set<std::string> serialNumbers;
        for (const FT_DEVICE_LIST_INFO_NODE& node : nodes) {
            serialNumbers.insert(node.SerialNumber);
        }
        return serialNumbers;
    }

    QByteArray readFor(DWORD count, ULONG timeoutMs, FT_STATUS* status = nullptr)
    {
        FT_SetTimeouts(m_handle, timeoutMs, kGenerousTimeoutMs);
        QByteArray bytes(static_cast<int>(count), '\0');
        DWORD returned = 0;
        const FT_STATUS readStatus = FT_Read(m_handle, bytes.data(), count, &returned);
        if (status != nullptr) {
            *status = readStatus;
        }
        bytes.resize(static_cast<int>(returned));
        return bytes;
    }

private slots:
    void init() { m_emulation.start(); }

    void cleanup()
    {
        if (m_handle != nullptr) {
            FT_Close(m_handle);
            m_handle = nullptr;
        }
        m_emulation.stop();
    }

    // The device list

    void listsBridgesWithTheirProductStrings()
    {
        m_emulation->addFtdiBridge(std::make_shared<ScriptedEndpoint>());
        m_emulation->addFtdiBridge(std::make_shared<ScriptedEndpoint>(),
                                   bridgeNamed("MARLUNE MLP-DGL", "FT0002"));
        m_emulation->addMakerDevice(std::make_shared<ScriptedEndpoint>());

        DWORD count = 0;
        QCOMPARE(FT_CreateDeviceInfoList(&count), FT_OK);
        QCOMPARE(count, DWORD(2));
        FT_DEVICE_LIST_INFO_NODE nodes[2];
        QCOMPARE(FT_GetDeviceInfoList(nodes, &count), FT_OK);
        QCOMPARE(count, DWORD(2));

        std::set<std::string> listed;
        for (const FT_DEVICE_LIST_INFO_NODE& node : nodes) {
            QCOMPARE(node.ID, ULONG(0x04036001));
            listed.insert(std::string(node.Description) + "/" + node.SerialNumber);
        }
        QCOMPARE(listed, (std::set<std::string>{"MARLUNE MLP-DEV/FT0001", "MARLUNE MLP-DGL/FT0002"}));
    }

    // While a bridge stays attached its strings are read once, as long as an open bridge keeps
    // what the provider read.
    void listingReadsABridgeOnceWhileItStaysAttached()
    {
        m_emulation->addFtdiBridge(std::make_shared<ScriptedEndpoint>(),
                                   bridgeNamed("MARLUNE MLP-DEV", "FT0001"));
        const int other = m_emulation->addFtdiBridge(std::make_shared<ScriptedEndpoint>(),
                                                     bridgeNamed("MARLUNE MLP-DEV", "FT0002"));
        QCOMPARE(FT_OpenEx(const_cast<char*>("FT0001"), FT_OPEN_BY_SERIAL_NUMBER, &m_handle), FT_OK);
        DWORD count = 0;
        FT_CreateDeviceInfoList(&count);
        const int reads = m_emulation->stringReadCount(other);

        QCOMPARE(listedSerialNumbers(), (std::set<std::string>{"FT0001", "FT0002"}));
        QVERIFY(reads > 0);
        QCOMPARE(m_emulation->stringReadCount(other), reads);
    }

    // A bridge plugged in again, or another one in its place, is read anew.
    void bridgePluggedInAgainIsReadAnew_data()
    {
        addFlagRows("samePort", "on the next port, another bridge open meanwhile", "on the same port");
    }

    void bridgePluggedInAgainIsReadAnew()
    {
        QFETCH(bool, samePort);
        if (!samePort) {
            m_emulation->addFtdiBridge(std::make_shared<ScriptedEndpoint>(),
                                       bridgeNamed("MARLUNE MLP-DEV", "FT0009"));
            QCOMPARE(FT_OpenEx(const_cast<char*>("FT0009"), FT_OPEN_BY_SERIAL_NUMBER, &m_handle), FT_OK);
        }
        const int first = m_emulation->addFtdiBridge(std::make_shared<ScriptedEndpoint>(),
                                                     bridgeNamed("MARLUNE MLP-DEV", "FT0001"));
        QVERIFY(listedSerialNumbers().count("FT0001") == 1);
        const std::string firstPort = m_emulation->portPath(first);

        if (samePort) {
            // The emulation hands out no address twice on one bus; a fresh one starts again.
            m_emulation.stop();
            m_emulation.start();
        } else {
            m_emulation->unplug(first);
        }
        const int second = m_emulation->addFtdiBridge(std::make_shared<ScriptedEndpoint>(),
                                                      bridgeNamed("MARLUNE MLP-DEV", "FT0002"));

        QCOMPARE(m_emulation->portPath(second) == firstPort, samePort);
        const std::set<std::string> listed = listedSerialNumbers();
        QVERIFY(listed.count("FT0002") == 1);
        QVERIFY(listed.count("FT0001") == 0);
    }

    void descriptionFillsTheFieldWithItsTerminatingZero()
    {
        m_emulation->addFtdiBridge(std::make_shared<ScriptedEndpoint>(), bridgeNamed(std::string(70, 'D')));

        DWORD count = 0;
        FT_CreateDeviceInfoList(&count);
        QCOMPARE(count, DWORD(1));
        FT_DEVICE_LIST_INFO_NODE node;
        std::memset(&node, 0xFF, sizeof node);
        FT_GetDeviceInfoList(&node, &count);

        QCOMPARE(std::string(node.Description), std::string(63, 'D'));
    }

    void openOutsideTheListFails_data()
    {
        QTest::addColumn<int>("position");
        QTest::newRow("negative") << -1;
        QTest::newRow("past the end") << 1;
    }

    void openOutsideTheListFails()
    {
        QFETCH(int, position);
        m_emulation->addFtdiBridge(std::make_shared<ScriptedEndpoint>());
        DWORD count = 0;
        FT_CreateDeviceInfoList(&count);

        FT_HANDLE handle = &count;
        QVERIFY(FT_Open(position, &handle) != FT_OK);
        QVERIFY(handle == nullptr);
    }

    void openOfABridgeUnpluggedSinceListingFails()
    {
        const int bridge = m_emulation->addFtdiBridge(std::make_shared<ScriptedEndpoint>());
        DWORD count = 0;
        FT_CreateDeviceInfoList(&count);
        QCOMPARE(count, DWORD(1));
        m_emulation->unplug(bridge);

        FT_HANDLE handle = nullptr;
        QVERIFY(FT_Open(0, &handle) != FT_OK);
        QVERIFY(handle == nullptr);
    }

    // A serial number names its bridge apart from the device list, which another thread
    // may be rebuilding meanwhile.
    void openBySerialNumberReachesThatBridge_data()
    {
        QTest::addColumn<QByteArray>("serialNumber");
        QTest::addColumn<int>("reached");
        QTest::newRow("second bridge") << QByteArrayLiteral("FT0002") << 1;
        QTest::newRow("serial number of no bridge") << QByteArrayLiteral("FT0009") << -1;
    }

    void openBySerialNumberReachesThatBridge()
    {
        QFETCH(QByteArray, serialNumber);
        QFETCH(int, reached);
        const std::shared_ptr<ScriptedEndpoint> devices[] = {std::make_shared<ScriptedEndpoint>(),
                                                             std::make_shared<ScriptedEndpoint>()};
        m_emulation->addFtdiBridge(devices[0], bridgeNamed("MARLUNE MLP-DEV", "FT0001"));
        m_emulation->addFtdiBridge(devices[1], bridgeNamed("MARLUNE MLP-DEV", "FT0002"));

        const FT_STATUS status = FT_OpenEx(serialNumber.data(), FT_OPEN_BY_SERIAL_NUMBER, &m_handle);

        if (reached < 0) {
            QCOMPARE(status, FT_DEVICE_NOT_FOUND);
            QVERIFY(m_handle == nullptr);
            return;
        }
        QCOMPARE(status, FT_OK);
        uint8_t frame[] = {0xAA, 0x10, 0xCC};
        DWORD written = 0;
        QCOMPARE(FT_SetBaudRate(m_handle, kWorkingBaudRate), FT_OK);
        QCOMPARE(FT_Write(m_handle, frame, sizeof frame, &written), FT_OK);
        QCOMPARE(devices[reached]->received(), QByteArray::fromHex("aa10cc"));
        QVERIFY(devices[1 - reached]->received().isEmpty());
    }

    // Handles

    void callsWithoutAnOpenHandleFail_data() { addFlagRows("closedHandle", "null handle", "closed handle"); }

    void callsWithoutAnOpenHandleFail()
    {
        QFETCH(bool, closedHandle);
        FT_HANDLE handle = nullptr;
        if (closedHandle) {
            m_emulation->addFtdiBridge(std::make_shared<ScriptedEndpoint>());
            DWORD count = 0;
            FT_CreateDeviceInfoList(&count);
            QCOMPARE(FT_Open(0, &handle), FT_OK);
            QCOMPARE(FT_Close(handle), FT_OK);
        }
        uint8_t buffer[4] = {1, 2, 3, 4};
        DWORD transferred = 99;

        QCOMPARE(FT_ResetDevice(handle), FT_INVALID_HANDLE);
        QCOMPARE(FT_SetDataCharacteristics(handle, FT_BITS_8, FT_STOP_BITS_2, FT_PARITY_NONE),
                 FT_INVALID_HANDLE);
        QCOMPARE(FT_SetTimeouts(handle, 100, 2000), FT_INVALID_HANDLE);
        QCOMPARE(FT_SetBaudRate(handle, kWorkingBaudRate), FT_INVALID_HANDLE);
        QCOMPARE(FT_Write(handle, buffer, sizeof buffer, &transferred), FT_INVALID_HANDLE);
        QCOMPARE(transferred, DWORD(0));
        transferred = 99;
        QCOMPARE(FT_Read(handle, buffer, sizeof buffer, &transferred), FT_INVALID_HANDLE);
        QCOMPARE(transferred, DWORD(0));
        transferred = 99;
        QCOMPARE(FT_GetQueueStatus(handle, &transferred), FT_INVALID_HANDLE);
        QCOMPARE(transferred, DWORD(0));
        QCOMPARE(FT_SetLatencyTimer(handle, 2), FT_INVALID_HANDLE);
        QCOMPARE(FT_Close(handle), FT_INVALID_HANDLE);
    }

    // Line set-up

    void lineSetupReachesTheBridge()
    {
        const int bridge = m_emulation->addFtdiBridge(std::make_shared<ScriptedEndpoint>());
        QVERIFY(openOnlyBridge());
        m_emulation->clearFtdiLineLog(bridge);

        QCOMPARE(FT_ResetDevice(m_handle), FT_OK);
        QCOMPARE(FT_SetDataCharacteristics(m_handle, FT_BITS_8, FT_STOP_BITS_2, FT_PARITY_NONE), FT_OK);
        QCOMPARE(FT_SetDataCharacteristics(m_handle, FT_BITS_7, FT_STOP_BITS_1, FT_PARITY_EVEN), FT_OK);
        QCOMPARE(FT_SetBaudRate(m_handle, 38400), FT_OK);
        // D2XX takes latency timers from 2 ms.
        QCOMPARE(FT_SetLatencyTimer(m_handle, 1), FT_INVALID_PARAMETER);
        QCOMPARE(FT_SetLatencyTimer(m_handle, 2), FT_OK);

        QCOMPARE(FtdiLineEvent::describe(m_emulation->ftdiLineLog(bridge)),
                 std::string("reset; 8N2; 7E1; baud 38400; latency 2"));
    }

    void unsupportedLineSettingsAreRefused_data()
    {
        QTest::addColumn<int>("wordLength");
        QTest::addColumn<int>("stopBits");
        QTest::addColumn<int>("parity");
        QTest::newRow("six data bits") << 6 << int(FT_STOP_BITS_2) << int(FT_PARITY_NONE);
        QTest::newRow("stop bits code 1") << int(FT_BITS_8) << 1 << int(FT_PARITY_NONE);
        QTest::newRow("parity code 5") << int(FT_BITS_8) << int(FT_STOP_BITS_2) << 5;
    }

    void unsupportedLineSettingsAreRefused()
    {
        QFETCH(int, wordLength);
        QFETCH(int, stopBits);
        QFETCH(int, parity);
        const int bridge = m_emulation->addFtdiBridge(std::make_shared<ScriptedEndpoint>());
        QVERIFY(openOnlyBridge());
        m_emulation->clearFtdiLineLog(bridge);

        QCOMPARE(FT_SetDataCharacteristics(m_handle, UCHAR(wordLength), UCHAR(stopBits), UCHAR(parity)),
                 FT_INVALID_PARAMETER);
        QVERIFY(m_emulation->ftdiLineLog(bridge).empty());
    }

    void unreachableBaudRateIsRefused()
    {
        m_emulation->addFtdiBridge(std::make_shared<ScriptedEndpoint>());
        QVERIFY(openOnlyBridge());

        QCOMPARE(FT_SetBaudRate(m_handle, 0), FT_INVALID_BAUD_RATE);
        QCOMPARE(FT_SetBaudRate(m_handle, 4000000000u), FT_INVALID_BAUD_RATE);
    }

    // Writing and reading

    void writeReachesTheDevice()
    {
        auto device = std::make_shared<ScriptedEndpoint>();
        m_emulation->addFtdiBridge(device);
        QVERIFY(openOnlyBridge());
        uint8_t frame[] = {0xAA, 0x10, 0x20, 0xCC};
        DWORD written = 0;

        QCOMPARE(FT_Write(m_handle, frame, sizeof frame, &written), FT_OK);

        QCOMPARE(written, DWORD(sizeof frame));
        QCOMPARE(device->received(), QByteArray::fromHex("aa1020cc"));
    }

    void readWaitsForTheRequestedCount()
    {
        auto device = std::make_shared<ScriptedEndpoint>();
        m_emulation->addFtdiBridge(device);
        QVERIFY(openOnlyBridge());
        device->queueForHost(QByteArrayLiteral("0123"));
        // The rest comes after the bridge has answered a few empty latency periods:
        // ftdi_read_data alone would return with the first part.
        std::thread lateSender([device] {
            std::this_thread::sleep_for(std::chrono::milliseconds(80));
            device->queueForHost(QByteArrayLiteral("456789"));
        });

        const QByteArray bytes = readFor(10, kGenerousTimeoutMs);
        lateSender.join();

        QCOMPARE(bytes, QByteArrayLiteral("0123456789"));
    }

    void readEndsAtTheTimeOutWithWhatCame_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("nothing") << QByteArray();
        QTest::newRow("three bytes") << QByteArrayLiteral("abc");
    }

    void readEndsAtTheTimeOutWithWhatCame()
    {
        QFETCH(QByteArray, sent);
        auto device = std::make_shared<ScriptedEndpoint>();
        m_emulation->addFtdiBridge(device);
        QVERIFY(openOnlyBridge());
        device->queueForHost(sent);

        FT_STATUS status = FT_IO_ERROR;
        const QByteArray bytes = readFor(10, kShortTimeoutMs, &status);

        QCOMPARE(status, FT_OK);
        QCOMPARE(bytes, sent);
    }

    void surplusBytesWaitForTheNextRead()
    {
        auto device = std::make_shared<ScriptedEndpoint>();
        m_emulation->addFtdiBridge(device);
        QVERIFY(openOnlyBridge());
        const QByteArray sent = QByteArrayLiteral("0123456789abcdefghijklmno");
        device->queueForHost(sent);
        DWORD queued = 0;

        QCOMPARE(FT_GetQueueStatus(m_handle, &queued), FT_OK);
        QCOMPARE(queued, DWORD(sent.size()));
        QCOMPARE(readFor(10, kGenerousTimeoutMs), sent.mid(0, 10));
        QCOMPARE(FT_GetQueueStatus(m_handle, &queued), FT_OK);
        QCOMPARE(queued, DWORD(sent.size() - 10));
        QCOMPARE(readFor(10, kGenerousTimeoutMs), sent.mid(10, 10));
        QCOMPARE(readFor(10, kShortTimeoutMs), sent.mid(20));
    }

    void readFromAnUnpluggedBridgeFails()
    {
        const int bridge = m_emulation->addFtdiBridge(std::make_shared<ScriptedEndpoint>());
        QVERIFY(openOnlyBridge());
        m_emulation->unplug(bridge);

        FT_STATUS status = FT_OK;
        const QByteArray bytes = readFor(10, kGenerousTimeoutMs, &status);

        QVERIFY(status != FT_OK);
        QVERIFY(bytes.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestD2xxLibftdi)
#include "tst_d2xxlibftdi.moc"
