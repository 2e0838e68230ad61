#include "terminationsignalnotifier.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>

namespace {

volatile sig_atomic_t earlierHandlerSignal = 0;

void earlierHandler(int signalNumber)
{
    earlierHandlerSignal = signalNumber;
}

} // namespace

class TestTerminationSignalNotifier : public QObject
{
    Q_OBJECT

private slots:
    void signalArrivesOnTheEventLoop_data();
    void signalArrivesOnTheEventLoop();
    void everySignalIsReported();
    void earlierHandlersComeBackAfterwards_data();
    void earlierHandlersComeBackAfterwards();
};

void TestTerminationSignalNotifier::signalArrivesOnTheEventLoop_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGHUP") << int(SIGHUP);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestTerminationSignalNotifier::signalArrivesOnTheEventLoop()
{
    QFETCH(int, signalNumber);
    TerminationSignalNotifier notifier;
    QVERIFY(notifier.isActive());
    QSignalSpy requests(&notifier, &TerminationSignalNotifier::terminationRequested);

    QCOMPARE(raise(signalNumber), 0);
    QVERIFY2(requests.isEmpty(), "the handler must leave the work to the event loop");

    QVERIFY(requests.wait());
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.first().first().toInt(), signalNumber);
}

void TestTerminationSignalNotifier::everySignalIsReported()
{
    TerminationSignalNotifier notifier;
    QSignalSpy requests(&notifier, &TerminationSignalNotifier::terminationRequested);
    raise(SIGHUP);
    raise(SIGTERM);
    QTRY_COMPARE(requests.size(), 2);
    QCOMPARE(requests.at(0).first().toInt(), int(SIGHUP));
    QCOMPARE(requests.at(1).first().toInt(), int(SIGTERM));
}

void TestTerminationSignalNotifier::earlierHandlersComeBackAfterwards_data()
{
    signalArrivesOnTheEventLoop_data();
}

void TestTerminationSignalNotifier::earlierHandlersComeBackAfterwards()
{
    QFETCH(int, signalNumber);
    const auto previous = std::signal(signalNumber, earlierHandler);
    {
        TerminationSignalNotifier notifier;
    }
    earlierHandlerSignal = 0;
    raise(signalNumber);
    QCOMPARE(int(earlierHandlerSignal), signalNumber);
    std::signal(signalNumber, previous);
}

QTEST_GUILESS_MAIN(TestTerminationSignalNotifier)
#include "tst_terminationsignalnotifier.moc"
