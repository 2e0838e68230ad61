#include "endsessioneventfilter.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

Q_DECLARE_METATYPE(EndSessionEventFilter::Action)

namespace {

constexpr quint32 kWmClose = 0x0010;
constexpr quint32 kWmPaint = 0x000F;
// Reason flags of a session end.
constexpr qintptr kEndSessionLogOff = qintptr(0x80000000u);
constexpr qintptr kEndSessionCloseApp = 0x1;
constexpr qintptr kEndSessionCritical = 0x40000000;

using marlune::qtcompat::NativeEventResult;

constexpr NativeEventResult kAgreed = 1;
constexpr NativeEventResult kUntouchedResult = 42;
constexpr int kLoopLeftWithoutQuit = 7;

} // namespace

class TestEndSessionEventFilter : public QObject
{
    Q_OBJECT

private slots:
    void decisionTable_data();
    void decisionTable();
    void consumedMessagesAnswerOneAndOnlySessionEndQuits_data();
    void consumedMessagesAnswerOneAndOnlySessionEndQuits();
    void nativeMessagesOfOtherPlatformsPassThrough();
};

void TestEndSessionEventFilter::decisionTable_data()
{
    using Action = EndSessionEventFilter::Action;
    QTest::addColumn<quint32>("message");
    QTest::addColumn<qintptr>("lParam");
    QTest::addColumn<Action>("action");

    QTest::newRow("query end session")
        << EndSessionEventFilter::kQueryEndSession << qintptr(0) << Action::Agree;
    QTest::newRow("query end session at log-off")
        << EndSessionEventFilter::kQueryEndSession << kEndSessionLogOff << Action::Agree;
    QTest::newRow("end session without reason")
        << EndSessionEventFilter::kEndSession << qintptr(0) << Action::Agree;
    QTest::newRow("end session at log-off")
        << EndSessionEventFilter::kEndSession << kEndSessionLogOff << Action::AgreeAndQuit;
    QTest::newRow("end session, application closed")
        << EndSessionEventFilter::kEndSession << kEndSessionCloseApp << Action::AgreeAndQuit;
    QTest::newRow("end session, critical")
        << EndSessionEventFilter::kEndSession << kEndSessionCritical << Action::AgreeAndQuit;
    QTest::newRow("close") << kWmClose << qintptr(0) << Action::PassOn;
    QTest::newRow("paint with flags") << kWmPaint << kEndSessionLogOff << Action::PassOn;
    QTest::newRow("message zero") << quint32(0) << qintptr(1) << Action::PassOn;
}

void TestEndSessionEventFilter::decisionTable()
{
    QFETCH(quint32, message);
    QFETCH(qintptr, lParam);
    QFETCH(EndSessionEventFilter::Action, action);
    QCOMPARE(EndSessionEventFilter::actionFor(message, lParam), action);
}

void TestEndSessionEventFilter::consumedMessagesAnswerOneAndOnlySessionEndQuits_data()
{
    QTest::addColumn<quint32>("message");
    QTest::addColumn<qintptr>("lParam");
    QTest::addColumn<bool>("consumed");
    QTest::addColumn<NativeEventResult>("result");
    QTest::addColumn<bool>("quits");

    QTest::newRow("query end session")
        << EndSessionEventFilter::kQueryEndSession << qintptr(0) << true << kAgreed << false;
    QTest::newRow("end session without reason")
        << EndSessionEventFilter::kEndSession << qintptr(0) << true << kAgreed << false;
    QTest::newRow("end session at log-off")
        << EndSessionEventFilter::kEndSession << kEndSessionLogOff << true << kAgreed << true;
    QTest::newRow("other message") << kWmClose << kEndSessionLogOff << false << kUntouchedResult << false;
}

void TestEndSessionEventFilter::consumedMessagesAnswerOneAndOnlySessionEndQuits()
{
    QFETCH(quint32, message);
    QFETCH(qintptr, lParam);
    QFETCH(bool, consumed);
    QFETCH(NativeEventResult, result);
    QFETCH(bool, quits);

    EndSessionEventFilter filter(QCoreApplication::instance());
    NativeEventResult answer = kUntouchedResult;
    bool handled = false;
    // The filter runs inside the event loop, as it does in the program; a quit ends the
    // loop with 0 before the loop's own exit can run.
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] {
        handled = filter.handleMessage(message, lParam, &answer);
        QTimer::singleShot(0, &loop, [&] { loop.exit(kLoopLeftWithoutQuit); });
    });
    const int loopResult = loop.exec();

    QCOMPARE(handled, consumed);
    QCOMPARE(answer, result);
    QCOMPARE(loopResult == 0, quits);
}

void TestEndSessionEventFilter::nativeMessagesOfOtherPlatformsPassThrough()
{
#ifdef Q_OS_WIN
    QSKIP("Windows delivers its own messages; the decision table covers them");
#else
    EndSessionEventFilter filter(QCoreApplication::instance());
    quint32 fakeEvent[8] = {EndSessionEventFilter::kEndSession, 1, 1, 1};
    NativeEventResult answer = kUntouchedResult;
    QVERIFY(!filter.nativeEventFilter(QByteArrayLiteral("xcb_generic_event_t"), fakeEvent, &answer));
    QCOMPARE(answer, kUntouchedResult);
#endif
}

QTEST_GUILESS_MAIN(TestEndSessionEventFilter)
#include "tst_endsessioneventfilter.moc"
