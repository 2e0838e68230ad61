#include "modaldialogwatcher.h"
#include "pathtext.h"
#include "updatehistory.h"
#include "updatehistorydlg.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextLayout>

namespace {

// What a person reads: the marks that keep names whole are invisible.
QString visible(QString text)
{
    return text.remove(QChar(0x2060)).remove(QChar(0x200B)).replace(QChar(0x00A0), QLatin1Char(' '));
}

// The history keeps UTC; the table shows the time where the dialog runs.
QString shownTime(const QString& utcTime)
{
    return QDateTime::fromString(utcTime, Qt::ISODate)
        .toLocalTime()
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QStringList tableRows(QTableWidget* table)
{
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < table->columnCount(); ++column) {
            cells << visible(table->item(row, column)->text());
        }
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

UpdateHistoryEntry entryAt(const QString& utcTime, const QString& serial, bool succeeded)
{
    UpdateHistoryEntry entry;
    entry.time = QDateTime::fromString(utcTime, Qt::ISODate);
    entry.model = QStringLiteral("DEMO-B");
    entry.link = QStringLiteral("ftdi-bridge");
    entry.serial = serial;
    entry.address = QStringLiteral("usb:m/1");
    entry.versionBefore = QStringLiteral("1.01");
    entry.versionWritten = QStringLiteral("1.03");
    entry.versionAfter = succeeded ? QStringLiteral("1.03") : QString();
    entry.succeeded = succeeded;
    entry.reason = succeeded ? QString() : QStringLiteral("Failed in block 0, segment 3.");
    entry.file = QStringLiteral("/srv/rig files/DEMO-B-release-candidate.ml2");
    entry.fileSha256 = QStringLiteral("5e1f0a2b9c");
    entry.signedBy = QStringLiteral("maker");
    entry.keyId = QStringLiteral("68618CD95EDF84EC");
    return entry;
}

} // namespace

class TestUpdateHistoryDlg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void showsTheHistoryNewestFirst();
    void damagedLineIsSkippedWithAWarning();
    void emptyHistorySaysSoAndOffersNoExport();
    void exportWritesTheRowsAsShown();
    void failedExportSaysWhy();
    void filePathsBreakOnlyAfterSeparators_data();
    void filePathsBreakOnlyAfterSeparators();

private:
    QString historyPath() const { return m_directory.filePath(QStringLiteral("history.jsonl")); }
    void exportTo(UpdateHistoryDlg& dialog, const QString& path);

    QTemporaryDir m_directory;
};

void TestUpdateHistoryDlg::initTestCase()
{
    QVERIFY(m_directory.isValid());
}

void TestUpdateHistoryDlg::init()
{
    QFile::remove(historyPath());
}

void TestUpdateHistoryDlg::showsTheHistoryNewestFirst()
{
    const UpdateHistory history(historyPath());
    UpdateHistoryEntry withoutSerial = entryAt(QStringLiteral("2026-12-08T09:05:00Z"), QString(), true);
    withoutSerial.link = QStringLiteral("maker-usb");
    withoutSerial.versionWritten.clear();
    withoutSerial.signedBy.clear();
    withoutSerial.keyId.clear();
    for (const UpdateHistoryEntry& entry :
         {entryAt(QStringLiteral("2026-12-08T09:00:00Z"), "FT1", false), withoutSerial,
          entryAt(QStringLiteral("2026-12-08T09:10:00Z"), "FT1", true)}) {
        QCOMPARE(history.append(entry), QString());
    }

    UpdateHistoryDlg dialog(history);
    // Paths as the system writes them: backslashes on Windows.
    const QString file =
        QDir::toNativeSeparators(QStringLiteral("/srv/rig files/DEMO-B-release-candidate.ml2")) +
        QStringLiteral("\nSHA-256 5e1f0a2b 9c\n");
    const QString signedFile = file + QStringLiteral("Signed by maker (key 68618CD95EDF84EC)");
    QCOMPARE(tableRows(dialog.findChild<QTableWidget*>("historyTable")),
             (QStringList{shownTime("2026-12-08T09:10:00Z") +
                              "|DEMO-B|FTDI bridge FT1|1.01 \u2192 1.03 \u2192 1.03|Succeeded|" + signedFile,
                          shownTime("2026-12-08T09:05:00Z") +
                              "|DEMO-B|maker USB at usb:m/1|1.01 \u2192 \u2014 \u2192 1.03|Succeeded|" +
                              file + "Unsigned",
                          shownTime("2026-12-08T09:00:00Z") +
                              "|DEMO-B|FTDI bridge FT1|1.01 \u2192 1.03 \u2192 \u2014|Failed\nFailed in "
                              "block 0, segment 3.|" +
                              signedFile}));
    QVERIFY(dialog.findChild<QLabel*>("lbl_historyProblems")->isHidden());
    QCOMPARE(visible(dialog.findChild<QLabel*>("lbl_historyFile")->text()),
             "Every update run on this computer, newest first, from " +
                 QDir::toNativeSeparators(historyPath()) + '.');
}

void TestUpdateHistoryDlg::damagedLineIsSkippedWithAWarning()
{
    QCOMPARE(
        UpdateHistory(historyPath()).append(entryAt(QStringLiteral("2026-12-08T09:00:00Z"), "FT1", true)),
        QString());
    QFile file(historyPath());
    QVERIFY(file.open(QIODevice::Append));
    file.write("{\"time\": \"cut short\n");
    file.close();

    UpdateHistoryDlg dialog{UpdateHistory(historyPath())};
    QCOMPARE(dialog.findChild<QTableWidget*>("historyTable")->rowCount(), 1);
    QCOMPARE(dialog.findChild<QLabel*>("lbl_historyProblems")->text(),
             "Warning: " + QDir::toNativeSeparators(historyPath()) +
                 " line 2 is not an update record; skipped.");
    QVERIFY(!dialog.findChild<QLabel*>("lbl_historyProblems")->isHidden());
}

void TestUpdateHistoryDlg::emptyHistorySaysSoAndOffersNoExport()
{
    UpdateHistoryDlg dialog{UpdateHistory(historyPath())};
    QCOMPARE(dialog.findChild<QTableWidget*>("historyTable")->rowCount(), 0);
    QCOMPARE(visible(dialog.findChild<QLabel*>("lbl_historyFile")->text()),
             "No updates have been recorded yet in " + QDir::toNativeSeparators(historyPath()) + '.');
    QVERIFY(!dialog.findChild<QPushButton*>("bttn_exportCsv")->isEnabled());
}

// Answers the save dialog with `path`, as a user would type it.
void TestUpdateHistoryDlg::exportTo(UpdateHistoryDlg& dialog, const QString& path)
{
    ModalDialogWatcher watcher([&](QWidget* shown) {
        if (auto* fileDialog = qobject_cast<QFileDialog*>(shown)) {
            auto* fileName = fileDialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(fileName);
            fileName->setText(path);
            QMetaObject::invokeMethod(fileDialog, "accept");
        } else {
            auto* box = qobject_cast<QMessageBox*>(shown);
            QVERIFY(box);
            QCOMPARE(box->windowTitle(), QStringLiteral("Export failed"));
            QVERIFY2(box->text().startsWith("The update history could not be written to " +
                                            QDir::toNativeSeparators(path) + ": "),
                     qPrintable(box->text()));
            box->close();
        }
    });
    QTest::mouseClick(dialog.findChild<QPushButton*>("bttn_exportCsv"), Qt::LeftButton);
    QVERIFY(watcher.seenCount() >= 1);
}

void TestUpdateHistoryDlg::exportWritesTheRowsAsShown()
{
    const UpdateHistory history(historyPath());
    QCOMPARE(history.append(entryAt(QStringLiteral("2026-12-08T09:00:00Z"), "FT1", false)), QString());
    QCOMPARE(history.append(entryAt(QStringLiteral("2026-12-08T09:10:00Z"), "FT2", true)), QString());
    UpdateHistoryDlg dialog(history);
    const QString csvPath = m_directory.filePath(QStringLiteral("rig.csv"));

    exportTo(dialog, csvPath);

    QFile csv(csvPath);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csv.readAll().split('\n');
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines.at(0).endsWith("fileSha256\r"));
    QVERIFY(lines.at(1).startsWith("2026-12-08T09:10:00.000Z,DEMO-B,ftdi-bridge,FT2,"));
    QVERIFY(lines.at(2).startsWith("2026-12-08T09:00:00.000Z,DEMO-B,ftdi-bridge,FT1,"));
    QCOMPARE(lines.at(3), QByteArray());
    QCOMPARE(dialog.findChild<QLabel*>("lbl_historyProblems")->text(),
             "2 updates exported to " + QDir::toNativeSeparators(csvPath) + '.');
}

void TestUpdateHistoryDlg::failedExportSaysWhy()
{
    QCOMPARE(
        UpdateHistory(historyPath()).append(entryAt(QStringLiteral("2026-12-08T09:00:00Z"), "FT1", true)),
        QString());
    UpdateHistoryDlg dialog{UpdateHistory(historyPath())};
    // A file in the place of the folder: nothing can be written below it.
    const QString blocked = m_directory.filePath(QStringLiteral("history.jsonl/rig.csv"));

    exportTo(dialog, blocked);

    QVERIFY(!QFile::exists(blocked));
    QVERIFY(dialog.findChild<QLabel*>("lbl_historyProblems")->isHidden());
}

void TestUpdateHistoryDlg::filePathsBreakOnlyAfterSeparators_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("hyphens") << "/usr/lib/udev/rules.d/60-marlune-fwupdate.rules";
    QTest::newRow("blanks and brackets") << "/home/technician/My Firmware (rig 2)/DEMO-B (stage left).ml2";
    QTest::newRow("Windows") << "C:\\Users\\technician\\Rig files\\DEMO-B-rc.ml2";
}

// Laid out as narrow as its longest name allows, every line ends at a separator.
void TestUpdateHistoryDlg::filePathsBreakOnlyAfterSeparators()
{
    QFETCH(QString, path);
    const QString text = PathText::wrappable(path);
    QCOMPARE(visible(text), path);

    QTextLayout layout(text);
    layout.setTextOption(QTextOption(Qt::AlignLeft));
    const QFontMetricsF metrics(layout.font());
    qreal longestName = 0;
    for (const QString& name : path.split(QRegularExpression(QStringLiteral("[/\\\\]")))) {
        longestName = std::max(longestName, metrics.horizontalAdvance(name + QLatin1Char('/')));
    }
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(longestName + 1);
        lines << visible(text.mid(line.textStart(), line.textLength()));
    }
    layout.endLayout();

    QVERIFY2(lines.size() > 1, qPrintable(lines.join(QLatin1Char('|'))));
    for (int index = 0; index + 1 < lines.size(); ++index) {
        QVERIFY2(lines.at(index).endsWith(QLatin1Char('/')) || lines.at(index).endsWith(QLatin1Char('\\')),
                 qPrintable(lines.join(QLatin1Char('|'))));
    }
    QCOMPARE(lines.join(QString()), path);
}

QTEST_MAIN(TestUpdateHistoryDlg)
#include "tst_updatehistorydlg.moc"
