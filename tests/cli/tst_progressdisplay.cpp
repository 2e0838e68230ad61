#include "progressdisplay.h"

#include <QtTest>

class TestProgressDisplay : public QObject
{
    Q_OBJECT

private slots:
    void barLineShowsPercentBytesRateAndTimeLeft_data()
    {
        QTest::addColumn<int>("percent");
        QTest::addColumn<qint64>("totalBytes");
        QTest::addColumn<qint64>("elapsedMs");
        QTest::addColumn<QString>("line");
        QTest::newRow("start") << 0 << qint64{10240} << qint64{0}
                               << "[..............................]   0%  0 bytes / 10.0 KiB  --  --:-- left";
        QTest::newRow("half in two seconds")
            << 50 << qint64{10240} << qint64{2000}
            << "[###############...............]  50%  5.0 KiB / 10.0 KiB  2.5 KiB/s  0:02 left";
        QTest::newRow("done")
            << 100 << qint64{2304} << qint64{1000}
            << "[##############################] 100%  2.3 KiB / 2.3 KiB  2.3 KiB/s  0:00 left";
        QTest::newRow("slow, over a minute left")
            << 10 << qint64{100000} << qint64{10000}
            << "[###...........................]  10%  9.8 KiB / 97.7 KiB  1000 bytes/s  1:30 left";
        QTest::newRow("beyond 100 is 100")
            << 120 << qint64{1024} << qint64{1000}
            << "[##############################] 100%  1.0 KiB / 1.0 KiB  1.0 KiB/s  "
               "0:00 left";
    }

    void barLineShowsPercentBytesRateAndTimeLeft()
    {
        QFETCH(int, percent);
        QFETCH(qint64, totalBytes);
        QFETCH(qint64, elapsedMs);
        QFETCH(QString, line);
        QCOMPARE(ProgressDisplay::barLine(percent, totalBytes, elapsedMs), line);
    }

    void plainOutputWritesALineOnlyWhenThePercentChanges()
    {
        QString text;
        QTextStream out(&text);
        ProgressDisplay display(out, false, 1000);
        display.start();
        for (int percent : {0, 3, 3, 3, 50, 100}) {
            display.show(percent);
        }
        display.finish();
        out.flush();
        QCOMPARE(text, "0%\n3%\n50%\n100%\n");
    }

    void terminalOutputRedrawsOneLine()
    {
        QString text;
        QTextStream out(&text);
        ProgressDisplay display(out, true, 1000);
        display.start();
        display.show(40);
        display.show(100);
        display.finish();
        out.flush();
        QCOMPARE(text.count(QLatin1Char('\r')), 3);
        QCOMPARE(text.count(QLatin1Char('\n')), 1);
        QVERIFY(text.endsWith(QLatin1Char('\n')));
        QVERIFY(text.section(QLatin1Char('\r'), -1).startsWith("[##############################] 100%"));
    }
};

QTEST_GUILESS_MAIN(TestProgressDisplay)
#include "tst_progressdisplay.moc"
