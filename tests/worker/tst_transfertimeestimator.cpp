#include "transfertimeestimator.h"

#include <QtTest>

class TestTransferTimeEstimator : public QObject
{
    Q_OBJECT

private slots:
    // Samples as "elapsedMs:done" in the order they come; -1 stands for no estimate.
    void estimatesOnlyWhenSteady_data()
    {
        QTest::addColumn<QString>("samples");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<qint64>("remainingMs");

        QTest::newRow("nothing yet") << "" << qint64(100) << qint64(-1);
        QTest::newRow("first seconds") << "0:1 1000:11 2000:21 3000:31" << qint64(100) << qint64(-1);
        // 40 percent in 4 s: the other 59 take 5.9 s.
        QTest::newRow("steady") << "0:1 1000:11 2000:21 3000:31 4000:41" << qint64(100) << qint64(5900);
        // The slow first 2 s fall out of the windows.
        QTest::newRow("slow start forgotten")
            << "0:0 2000:2 3000:12 4000:22 5000:32 6000:42" << qint64(100) << qint64(5800);
        QTest::newRow("slowed down") << "0:0 1000:10 2000:20 3000:30 4000:32 5000:34" << qint64(100)
                                     << qint64(-1);
        QTest::newRow("no progress lately")
            << "0:0 1000:10 2000:20 3000:30 5000:30" << qint64(100) << qint64(-1);
        QTest::newRow("within the tolerance")
            << "0:0 1000:10 2000:20 3000:28 4000:36" << qint64(100) << qint64(7112);
        // 2000 of 10000 bytes in 4 s, segment by segment.
        QTest::newRow("bytes") << "0:0 500:250 1000:500 2000:1000 3000:1500 4000:2000" << qint64(10000)
                               << qint64(16000);
        // Percents one by one, further apart than a window.
        QTest::newRow("slow steps") << "0:1 3000:2 6000:3 9000:4" << qint64(100) << qint64(288000);
        QTest::newRow("done") << "0:90 500:100" << qint64(100) << qint64(0);
        QTest::newRow("a new transfer starts afresh")
            << "0:1 1000:11 2000:21 3000:31 4000:41 4500:3" << qint64(100) << qint64(-1);
    }

    void estimatesOnlyWhenSteady()
    {
        QFETCH(QString, samples);
        QFETCH(qint64, total);
        QFETCH(qint64, remainingMs);

        TransferTimeEstimator estimator(total);
        for (const QString& sample : samples.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QStringList parts = sample.split(QLatin1Char(':'));
            estimator.addSample(parts.at(0).toLongLong(), parts.at(1).toLongLong());
        }
        QCOMPARE(estimator.remainingMs().value_or(-1), remainingMs);
    }
};

QTEST_GUILESS_MAIN(TestTransferTimeEstimator)
#include "tst_transfertimeestimator.moc"
