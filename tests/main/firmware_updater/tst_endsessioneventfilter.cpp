#include "endsessioneventfilter.h"

#include <QCoreApplication>
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
constexpr NativeEventResult kRefused = 0;
constexpr NativeEventResult kUntouchedResult = 42;
constexpr int kLoopLeftWithoutQuit = 7;

} // namespace

class TestEndSessionEventFilter : public QObject
{
    Q_OBJECT

private slots:
    void decisionTable_data();
    void decisionTable();
    void decisionWhileWriting_data();
    void decisionWhileWriting();
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

void TestEndSessionEventFilter::decisionWhileWriting_data()
{
    using Action = EndSessionEventFilter::Action;
    QTest::addColumn<quint32>("message");
    QTest::addColumn<quintptr>("wParam");
    QTest::addColumn<qintptr>("lParam");
    QTest::addColumn<Action>("action");

    QTest::newRow("query refused") << EndSessionEventFilter::kQueryEndSession << quintptr(0) << qintptr(0)
                                   << Action::Refuse;
    QTest::newRow("query at log-off refused")
        << EndSessionEventFilter::kQueryEndSession << quintptr(0) << kEndSessionLogOff << Action::Refuse;
    // Someone refused, so the session goes on: the write must not be cut off by a quit.
    QTest::newRow("session goes on") << EndSessionEventFilter::kEndSession << quintptr(0) << kEndSessionLogOff
                                     << Action::Agree;
    QTest::newRow("session forced to end")
        << EndSessionEventFilter::kEndSession << quintptr(1) << kEndSessionLogOff << Action::AgreeAndQuit;
    QTest::newRow("close") << kWmClose << quintptr(0) << qintptr(0) << Action::PassOn;
}

void TestEndSessionEventFilter::decisionWhileWriting()
{
    QFETCH(quint32, message);
    QFETCH(quintptr, wParam);
    QFETCH(qintptr, lParam);
    QFETCH(EndSessionEventFilter::Action, action);
    QCOMPARE(EndSessionEventFilter::actionWhileWriting(message, wParam, lParam), action);
}

void TestEndSessionEventFilter::consumedMessagesAnswerOneAndOnlySessionEndQuits_data()
{
    QTest::addColumn<bool>("writing");
    QTest::addColumn<quint32>("message");
    QTest::addColumn<qintptr>("lParam");
    QTest::addColumn<bool>("consumed");
    QTest::addColumn<NativeEventResult>("result");
    QTest::addColumn<bool>("quits");

    QTest::newRow("query end session")
        << false << EndSessionEventFilter::kQueryEndSession << qintptr(0) << true << kAgreed << false;
    QTest::newRow("end session without reason")
        << false << EndSessionEventFilter::kEndSession << qintptr(0) << true << kAgreed << false;
    QTest::newRow("end session at log-off")
        << false << EndSessionEventFilter::kEndSession << kEndSessionLogOff << true << kAgreed << true;
    QTest::newRow("other message") << false << kWmClose << kEndSessionLogOff << false << kUntouchedResult
                                   << false;
    QTest::newRow("query while writing")
        << true << EndSessionEventFilter::kQueryEndSession << qintptr(0) << true << kRefused << false;
    QTest::newRow("session goes on while writing")
        << true << EndSessionEventFilter::kEndSession << kEndSessionLogOff << true << kAgreed << false;
}

void TestEndSessionEventFilter::consumedMessagesAnswerOneAndOnlySessionEndQuits()
{
    QFETCH(bool, writing);
    QFETCH(quint32, message);
    QFETCH(qintptr, lParam);
    QFETCH(bool, consumed);
    QFETCH(NativeEventResult, result);
    QFETCH(bool, quits);

    EndSessionEventFilter filter(QCoreApplication::instance());
    filter.setWriteInProgress([writing] { return writing; });
    NativeEventResult answer = kUntouchedResult;
    bool handled = false;
    // The filter runs inside the application's event loop, as it does in the program; a quit
    // ends it with 0 before the loop's own exit can run. The application's loop, not a local
    // one: a quit would leave a local loop of a later row returning at once, without running
    // the filter at all. The row's timers go with `row`, so none outlives it into the next.
    QObject row;
    QTimer::singleShot(0, &row, [&] {
        // wParam 0: the session does not end after all, as when some program refused.
        handled = filter.handleMessage(message, 0, lParam, &answer);
        QTimer::singleShot(0, &row, [] { QCoreApplication::exit(kLoopLeftWithoutQuit); });
    });
    const int loopResult = QCoreApplication::exec();

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
