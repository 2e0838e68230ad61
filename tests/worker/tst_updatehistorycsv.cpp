#include "updatehistorycsv.h"

#include <QtTest>

class TestUpdateHistoryCsv : public QObject
{
    Q_OBJECT

private slots:
    void fieldIsQuotedWhereASpreadsheetWouldMisreadIt_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("field");
        QTest::newRow("plain") << "DEMO-A"
                               << "DEMO-A";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("not ASCII") << "D\u00c9MO \u2192 1.00"
                                   << "D\u00c9MO \u2192 1.00";
        QTest::newRow("comma") << "block 0, segment 3"
                               << "\"block 0, segment 3\"";
        QTest::newRow("double quote") << "the \"Data\" frame"
                                      << "\"the \"\"Data\"\" frame\"";
        QTest::newRow("line break") << "first\nsecond"
                                    << "\"first\nsecond\"";
        QTest::newRow("carriage return") << "first\rsecond"
                                         << "\"first\rsecond\"";
        QTest::newRow("blank at the end") << "FT1 "
                                          << "\"FT1 \"";
        QTest::newRow("formula") << "=HYPERLINK(\"x\")"
                                 << "\"'=HYPERLINK(\"\"x\"\")\"";
        QTest::newRow("plus") << "+1"
                              << "'+1";
        QTest::newRow("minus") << "-1"
                               << "'-1";
        QTest::newRow("at") << "@SUM"
                            << "'@SUM";
    }

    void fieldIsQuotedWhereASpreadsheetWouldMisreadIt()
    {
        QFETCH(QString, value);
        QFETCH(QString, field);
        QCOMPARE(UpdateHistoryCsv::field(value), field);
    }

    void documentHasAHeaderAndOneRowPerEntryInTheGivenOrder()
    {
        UpdateHistoryEntry failed;
        failed.time = QDateTime(QDate(2026, 12, 8), QTime(9, 30, 5, 120), Qt::UTC);
        failed.model = QStringLiteral("DEMO-B");
        failed.link = QStringLiteral("ftdi-bridge");
        failed.serial = QStringLiteral("FTDEMO1");
        failed.address = QStringLiteral("usb:m/0");
        failed.versionBefore = QStringLiteral("1.01");
        failed.versionWritten = QStringLiteral("1.03");
        failed.reason = QStringLiteral("Failed in block 0, segment 3.");
        failed.file = QStringLiteral("/srv/rig/DEMO-B.ml2");
        failed.fileSha256 = QStringLiteral("ab12");
        UpdateHistoryEntry succeeded = failed;
        succeeded.time = failed.time.addSecs(60);
        succeeded.succeeded = true;
        succeeded.reason.clear();
        succeeded.versionAfter = QStringLiteral("1.03");

        QCOMPARE(
            UpdateHistoryCsv::document({failed, succeeded}),
            QByteArray("\xEF\xBB\xBF"
                       "time,model,link,serial,address,versionBefore,versionWritten,versionAfter,verdict,"
                       "reason,file,fileSha256\r\n"
                       "2026-12-08T09:30:05.120Z,DEMO-B,ftdi-bridge,FTDEMO1,usb:m/0,1.01,1.03,,failed,"
                       "\"Failed in block 0, segment 3.\",/srv/rig/DEMO-B.ml2,ab12\r\n"
                       "2026-12-08T09:31:05.120Z,DEMO-B,ftdi-bridge,FTDEMO1,usb:m/0,1.01,1.03,1.03,"
                       "succeeded,,/srv/rig/DEMO-B.ml2,ab12\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestUpdateHistoryCsv)
#include "tst_updatehistorycsv.moc"
