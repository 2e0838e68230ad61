#include "mlpframespec.h"
#include "mlptransport.h"

#include <QtTest>

#include <vector>

namespace {

// Stands in for a connection: its send function records the write, fires onSent, then
// plays a scripted answer into the receiver one byte and one millisecond at a time until
// the done callback has fired.
struct ScriptedLink
{
    MLPFrameReceiver receiver;
    MLPTransport transport;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(64);
    QByteArray written;
    QByteArray answer;
    bool done = false;
    int doneCalls = 0;
    uint32_t armedTimeoutMs = 0;
    uint32_t nowMs = 0;

    ScriptedLink()
    {
        receiver.init(buffer.data(), static_cast<uint16_t>(buffer.size()), nullptr);
        transport.init(&receiver, &ScriptedLink::sendAndWait, this, &ScriptedLink::markDone, this);
    }

    static void markDone(void* context)
    {
        auto* link = static_cast<ScriptedLink*>(context);
        link->done = true;
        ++link->doneCalls;
    }

    static bool sendAndWait(void* context, const uint8_t* bytes, uint16_t length, MLPSentCallback onSent,
                            void* onSentContext)
    {
        auto* link = static_cast<ScriptedLink*>(context);
        link->written = QByteArray(reinterpret_cast<const char*>(bytes), length);
        onSent(onSentContext);
        link->armedTimeoutMs = link->receiver.timeoutMs;
        int position = 0;
        while (!link->done) {
            if (position < link->answer.size()) {
                link->receiver.feed(static_cast<uint8_t>(link->answer[position++]));
            }
            link->receiver.tick(link->nowMs++);
            link->receiver.poll();
        }
        return true;
    }
};

QByteArray ackFrame()
{
    return QByteArray::fromHex("aa00ff0001040200010005b600b6cc");
}

} // namespace

class TestMLPTransport : public QObject
{
    Q_OBJECT

private slots:
    void sendWritesTheBytesAndArmsTheAnswerTime()
    {
        ScriptedLink link;
        link.answer = ackFrame();
        const QByteArray request = QByteArray::fromHex("aa00ff0c020100000000 00b8b8cc");
        link.transport.send(reinterpret_cast<const uint8_t*>(request.constData()),
                            static_cast<uint16_t>(request.size()));
        QCOMPARE(link.written, request);
        QCOMPARE(link.armedTimeoutMs, kAnswerTimeoutMs);
        QCOMPARE(link.receiver.listener, &link.transport.listener);
    }

    void frameEndsTheExchangeOnce()
    {
        ScriptedLink link;
        link.answer = QByteArray::fromHex("0102") + ackFrame() + ackFrame();
        const uint8_t request[] = {0xAA};
        link.transport.send(request, sizeof request);
        QCOMPARE(link.doneCalls, 1);
        QCOMPARE(link.transport.frameLength, uint16_t{15});
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(link.transport.frame), link.transport.frameLength),
                 ackFrame());
    }

    void silenceEndsTheExchangeWithoutFrame()
    {
        ScriptedLink link;
        const uint8_t request[] = {0xAA};
        link.transport.send(request, sizeof request);
        QCOMPARE(link.doneCalls, 1);
        QVERIFY(link.transport.frame == nullptr);
        QCOMPARE(link.transport.frameLength, uint16_t{0});
        QCOMPARE(link.nowMs, kAnswerTimeoutMs + 2);
    }
};

QTEST_GUILESS_MAIN(TestMLPTransport)
#include "tst_mlptransport.moc"
