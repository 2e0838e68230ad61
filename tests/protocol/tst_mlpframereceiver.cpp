#include "mlpframereceiver.h"
#include "mlpframespec.h"

#include <QtTest>

#include <vector>

namespace {

// An Ack-typed frame carrying `payload`.
QByteArray frameWith(const QByteArray& payload, uint8_t command = 4, uint16_t value = 2)
{
    QByteArray frame(payload.size() + 14, '\0');
    MLPFrameSpec description;
    description.output = reinterpret_cast<uint8_t*>(frame.data());
    description.payload = reinterpret_cast<const uint8_t*>(payload.constData());
    description.length = static_cast<uint16_t>(payload.size());
    description.command = command;
    description.value = value;
    description.frameType = 1;
    buildFrame(description);
    return frame;
}

// Collects what a receiver reports.
struct Recorder
{
    MLPFrameListener listener{this, &Recorder::onFrame, &Recorder::onTimeout};
    QList<QByteArray> frames;
    int timeouts = 0;

    static void onFrame(const uint8_t* frame, uint16_t length, void* context)
    {
        static_cast<Recorder*>(context)->frames.append(
            QByteArray(reinterpret_cast<const char*>(frame), length));
    }
    static void onTimeout(void* context) { ++static_cast<Recorder*>(context)->timeouts; }
};

// A receiver armed without time limit over its own buffer.
struct ArmedReceiver
{
    explicit ArmedReceiver(uint16_t capacity = 256) : buffer(capacity)
    {
        receiver.init(buffer.data(), capacity, &recorder.listener);
        receiver.arm(MLPFrameReceiver::kNoTimeout);
    }

    void feed(const QByteArray& bytes)
    {
        for (char byte : bytes) {
            receiver.feed(static_cast<uint8_t>(byte));
            receiver.poll();
        }
    }

    std::vector<uint8_t> buffer;
    Recorder recorder;
    MLPFrameReceiver receiver;
};

} // namespace

class TestMLPFrameReceiver : public QObject
{
    Q_OBJECT

private slots:
    void recognisesAckExample()
    {
        ArmedReceiver armed;
        armed.feed(QByteArray::fromHex("aa00ff0001040200010005b600b6cc"));
        QCOMPARE(armed.recorder.frames.size(), 1);
        QCOMPARE(armed.recorder.frames.front().size(), 15);
        QCOMPARE(armed.receiver.state, MLPFrameReceiver::State::Idle);
    }

    void skipsNoiseBeforeStartByte()
    {
        ArmedReceiver armed;
        const QByteArray frame = frameWith(QByteArray("\x00", 1));
        armed.feed(QByteArray::fromHex("00ccff01") + frame);
        QCOMPARE(armed.recorder.frames, QList<QByteArray>{frame});
    }

    void payloadMayHoldStartAndEndBytes()
    {
        ArmedReceiver armed;
        const QByteArray frame = frameWith(QByteArray::fromHex("aacccc aaaa cc"));
        armed.feed(frame);
        QCOMPARE(armed.recorder.frames, QList<QByteArray>{frame});
    }

    void dropsDamagedFrameAndTakesTheNext_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("replacement");
        // Frame of 17 bytes: head 0..11, payload 12..14, payload checksum 15, end 16.
        QTest::newRow("header byte") << 5 << 0x07;
        QTest::newRow("header checksum") << 11 << 0x00;
        QTest::newRow("header checksum is a start byte") << 11 << 0xAA;
        QTest::newRow("payload byte") << 13 << 0x42;
        QTest::newRow("payload checksum") << 15 << 0xAA;
        QTest::newRow("end byte") << 16 << 0xAA;
    }

    void dropsDamagedFrameAndTakesTheNext()
    {
        QFETCH(int, offset);
        QFETCH(int, replacement);
        const QByteArray good = frameWith(QByteArray::fromHex("010203"), 4, 9);
        QByteArray damaged = frameWith(QByteArray::fromHex("010203"), 4, 8);
        QVERIFY(static_cast<uint8_t>(damaged[offset]) != replacement);
        damaged[offset] = static_cast<char>(replacement);

        ArmedReceiver armed;
        armed.feed(damaged);
        QVERIFY(armed.recorder.frames.isEmpty());
        armed.feed(good);
        QCOMPARE(armed.recorder.frames, QList<QByteArray>{good});
    }

    void missingEndByteAbandonsFrame()
    {
        ArmedReceiver armed;
        QByteArray frame = frameWith(QByteArray("\x00", 1));
        frame.chop(1);
        armed.feed(frame + QByteArray::fromHex("00"));
        QVERIFY(armed.recorder.frames.isEmpty());
        QCOMPARE(armed.receiver.state, MLPFrameReceiver::State::WaitStart);
    }

    void oversizedFrameIsRecognisedButTruncated()
    {
        QByteArray payload(40, '\0');
        for (int index = 0; index < payload.size(); ++index) {
            payload[index] = static_cast<char>(index * 7);
        }
        const QByteArray frame = frameWith(payload);
        ArmedReceiver armed(20);
        armed.feed(frame);
        QCOMPARE(armed.recorder.frames, QList<QByteArray>{frame.left(20)});
    }

    void oversizedFrameStillChecksummedBeyondCapacity()
    {
        QByteArray frame = frameWith(QByteArray(40, '\x11'));
        frame[45] = '\x12';
        ArmedReceiver armed(20);
        armed.feed(frame);
        QVERIFY(armed.recorder.frames.isEmpty());
    }

    // The payload length is read as it passes, so even a buffer smaller than the head
    // neither reads past its end nor loses track of the frame.
    void bufferSmallerThanHeadStillFindsFrameEnd()
    {
        const QByteArray first = frameWith(QByteArray(30, '\xCC'));
        ArmedReceiver armed(4);
        armed.feed(first + first);
        QCOMPARE(armed.recorder.frames, QList<QByteArray>{first.left(4)});
    }

    void idleReceiverIgnoresBytes()
    {
        std::vector<uint8_t> buffer(64);
        Recorder recorder;
        MLPFrameReceiver receiver;
        receiver.init(buffer.data(), 64, &recorder.listener);
        for (char byte : frameWith({})) {
            receiver.feed(static_cast<uint8_t>(byte));
        }
        receiver.poll();
        QVERIFY(recorder.frames.isEmpty());
    }

    void deliversEachFrameOnce()
    {
        ArmedReceiver armed;
        armed.feed(frameWith({}));
        armed.receiver.poll();
        armed.receiver.poll();
        QCOMPARE(armed.recorder.frames.size(), 1);
    }

    void timeoutFiresOnlyWhenExceeded_data()
    {
        QTest::addColumn<uint32_t>("startMs");
        QTest::addColumn<QList<uint32_t>>("stepsMs");
        QTest::addColumn<int>("timeouts");
        QTest::newRow("exactly allowed") << 1000u << QList<uint32_t>{2000} << 0;
        QTest::newRow("one more") << 1000u << QList<uint32_t>{2001} << 1;
        QTest::newRow("summed over ticks") << 0u << QList<uint32_t>{500, 500, 500, 500} << 0;
        QTest::newRow("summed and exceeded") << 0u << QList<uint32_t>{500, 500, 500, 500, 1} << 1;
        QTest::newRow("across clock wrap") << 0xFFFFFC00u << QList<uint32_t>{1500, 501} << 1;
        QTest::newRow("fires once") << 5u << QList<uint32_t>{3000, 3000, 3000} << 1;
    }

    void timeoutFiresOnlyWhenExceeded()
    {
        QFETCH(uint32_t, startMs);
        QFETCH(QList<uint32_t>, stepsMs);
        QFETCH(int, timeouts);
        ArmedReceiver armed;
        armed.receiver.arm(2000);
        uint32_t nowMs = startMs;
        armed.receiver.tick(nowMs);
        for (uint32_t stepMs : stepsMs) {
            nowMs += stepMs;
            armed.receiver.tick(nowMs);
        }
        QCOMPARE(armed.recorder.timeouts, timeouts);
    }

    void firstTickOnlySetsTheStart()
    {
        ArmedReceiver armed;
        armed.receiver.arm(10);
        armed.receiver.tick(1'000'000);
        armed.receiver.tick(1'000'010);
        QCOMPARE(armed.recorder.timeouts, 0);
        armed.receiver.tick(1'000'011);
        QCOMPARE(armed.recorder.timeouts, 1);
    }

    void unlimitedWaitNeverTimesOut()
    {
        ArmedReceiver armed;
        armed.receiver.tick(0);
        armed.receiver.tick(0x7FFFFFFF);
        armed.receiver.tick(0xFFFFFFFE);
        QCOMPARE(armed.recorder.timeouts, 0);
    }

    // Fed without polling: the frame is complete before the late tick is seen.
    void completedFrameStopsTheClock()
    {
        ArmedReceiver armed;
        armed.receiver.arm(2000);
        armed.receiver.tick(0);
        for (char byte : frameWith({})) {
            armed.receiver.feed(static_cast<uint8_t>(byte));
        }
        armed.receiver.tick(5000);
        armed.receiver.poll();
        QCOMPARE(armed.recorder.frames.size(), 1);
        QCOMPARE(armed.recorder.timeouts, 0);
    }
};

QTEST_GUILESS_MAIN(TestMLPFrameReceiver)
#include "tst_mlpframereceiver.moc"
