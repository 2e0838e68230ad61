#include "builtinfirmwaresdlg.h"
#include "registerbuiltinupdatefiles.h"

#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>

// Runs against the sample update files the build makes when no firmware folder is given.
class TestBuiltInFirmwaresDlg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void oneRowPerSampleInFileNameOrder();
    void formShowsTheColumnHeaders();
    void everythingShowsWholeWithoutScrolling();
    void withoutBuiltInFilesSaysNoneAreInstalled();
};

void TestBuiltInFirmwaresDlg::initTestCase()
{
    registerBuiltInUpdateFiles();
}

void TestBuiltInFirmwaresDlg::oneRowPerSampleInFileNameOrder()
{
    const BuiltInFirmwaresDlg dialog;
    auto* table = dialog.findChild<QTableWidget*>("builtInFirmwaresList");
    QVERIFY(table);

    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        rows << table->item(row, 0)->text() + '|' + table->item(row, 1)->text() + '|' +
                    table->item(row, 2)->text();
    }
    QCOMPARE(rows,
             (QStringList{"DEMO-A|1.00|1.00", "DEMO-B|1.03|1.00", "DEMO-C|2.10|1.00", "DEMO-D|0.95|1.00",
                          "DEMO-E|1.12|1.00", "DEMO-F|3.01|1.00", "DEMO-G|1.07|1.00"}));
}

void TestBuiltInFirmwaresDlg::formShowsTheColumnHeaders()
{
    const BuiltInFirmwaresDlg dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("BuiltInFirmwaresDlg"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Built-in Firmwares"));
    auto* table = dialog.findChild<QTableWidget*>("builtInFirmwaresList");
    QCOMPARE(table->columnCount(), 3);
    QVERIFY(!table->horizontalHeader()->isHidden());
    QVERIFY(table->horizontalHeader()->stretchLastSection());
    QVERIFY(table->verticalHeader()->isHidden());
    QCOMPARE(table->horizontalHeaderItem(0)->text(), QStringLiteral("Device Model"));
    QCOMPARE(table->horizontalHeaderItem(1)->text(), QStringLiteral("Firmware Version"));
    QCOMPARE(table->horizontalHeaderItem(2)->text(), QStringLiteral("Compatible Hardware Versions"));
}

void TestBuiltInFirmwaresDlg::everythingShowsWholeWithoutScrolling()
{
    BuiltInFirmwaresDlg dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    auto* table = dialog.findChild<QTableWidget*>("builtInFirmwaresList");
    QHeaderView* header = table->horizontalHeader();
    const QFontMetrics metrics(header->font());
    for (int column = 0; column < table->columnCount(); ++column) {
        const QString text = table->horizontalHeaderItem(column)->text();
        QVERIFY2(header->sectionSize(column) >= metrics.horizontalAdvance(text), qPrintable(text));
    }
    QCOMPARE(table->horizontalScrollBar()->maximum(), 0);
    QCOMPARE(table->verticalScrollBar()->maximum(), 0);
}

void TestBuiltInFirmwaresDlg::withoutBuiltInFilesSaysNoneAreInstalled()
{
    const QString noneText =
        QStringLiteral("No built-in update files are installed. Load an update file through "
                       "the link \"alternative\" in the main window.");
    Q_CLEANUP_RESOURCE(firmwares);
    {
        const BuiltInFirmwaresDlg dialog;
        QCOMPARE(dialog.findChild<QLabel*>("lbl_noBuiltInFiles")->text(), noneText);
        QVERIFY(!dialog.findChild<QLabel*>("lbl_noBuiltInFiles")->isHidden());
        QVERIFY(dialog.findChild<QTableWidget*>("builtInFirmwaresList")->isHidden());
    }
    registerBuiltInUpdateFiles();
    const BuiltInFirmwaresDlg dialog;
    QVERIFY(dialog.findChild<QLabel*>("lbl_noBuiltInFiles")->isHidden());
    QVERIFY(!dialog.findChild<QTableWidget*>("builtInFirmwaresList")->isHidden());
}

QTEST_MAIN(TestBuiltInFirmwaresDlg)
#include "tst_builtinfirmwaresdlg.moc"
