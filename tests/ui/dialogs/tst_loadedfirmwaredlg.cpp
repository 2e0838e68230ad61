#include "loadedfirmwaredlg.h"
#include "updatefilebuilder.h"

#include <QDir>
#include <QHeaderView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using marlune::testing::MLU2FileWriter;
using marlune::testing::UpdateFileBuilder;

class TestLoadedFirmwareDlg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void readableFileShowsItsHeaderAndPath();
    void unreadableFileShowsErrorAndPath_data();
    void unreadableFileShowsErrorAndPath();
    void formHidesBothHeaders();
    void propertyNamesShowWhole();

private:
    QStringList rows(const LoadedFirmwareDlg& dialog) const;
    QTemporaryDir m_directory;
};

void TestLoadedFirmwareDlg::initTestCase()
{
    QVERIFY(m_directory.isValid());
}

QStringList TestLoadedFirmwareDlg::rows(const LoadedFirmwareDlg& dialog) const
{
    auto* table = dialog.findChild<QTableWidget*>("firmwareInfoTable");
    QStringList result;
    for (int row = 0; table && row < table->rowCount(); ++row) {
        result << table->item(row, 0)->text() + '|' + table->item(row, 1)->text();
    }
    return result;
}

void TestLoadedFirmwareDlg::readableFileShowsItsHeaderAndPath()
{
    UpdateFileBuilder file;
    file.hardwareVersions = {0x0100, 0x0102};
    const QString path = file.writeTo(m_directory.filePath(QStringLiteral("demo5.ml2")));

    const LoadedFirmwareDlg dialog(path);
    const QStringList header{"Device Model|DEMO-5", "Compatible Hardware Versions|1.00,1.02",
                             "Firmware Version|1.07", "Path|" + QDir::toNativeSeparators(path)};
    QCOMPARE(rows(dialog), header + QStringList{"Signature|Signed by demo (key 68618CD95EDF84EC)."});

    // A readable header with a block cut short: the problem the tool tip names is told too, and
    // the signature no longer holds.
    QFile cut(path);
    QVERIFY(cut.resize(cut.size() - 10));
    const LoadedFirmwareDlg truncated(path);
    QCOMPARE(rows(truncated), QStringList(header)
                                  << "Signature|The file was changed after it was signed."
                                  << "Problem|Block 0 (100 bytes from offset 1280) reaches beyond the end "
                                     "of the file (1370 bytes): the file is truncated.");
}

void TestLoadedFirmwareDlg::unreadableFileShowsErrorAndPath_data()
{
    QTest::addColumn<QString>("path");
    // The row added below the two the dialog always had: why, as the tool tip says it.
    QTest::addColumn<QString>("problem");

    QTest::newRow("missing") << m_directory.filePath(QStringLiteral("missing.ml2"))
                             << "The file does not exist.";
    QTest::newRow("relative path as held") << QStringLiteral("not/here.ml2") << "The file does not exist.";

    MLU2FileWriter broken = UpdateFileBuilder().writer();
    broken.setBlockCount(9);
    QTest::newRow("nine blocks") << UpdateFileBuilder::write(
                                        broken, m_directory.filePath(QStringLiteral("nine-blocks.ml2")))
                                 << "Its header counts 9 blocks; 1 to 8 are allowed.";
}

void TestLoadedFirmwareDlg::unreadableFileShowsErrorAndPath()
{
    QFETCH(QString, path);
    QFETCH(QString, problem);
    const LoadedFirmwareDlg dialog(path);
    // The path as the system writes it: backslashes on Windows.
    QCOMPARE(rows(dialog), (QStringList{"Error|Unable to read firmware update file",
                                        "Path|" + QDir::toNativeSeparators(path), "Problem|" + problem}));
}

void TestLoadedFirmwareDlg::formHidesBothHeaders()
{
    const LoadedFirmwareDlg dialog(QString{});
    QCOMPARE(dialog.objectName(), QStringLiteral("LoadedFirmwareDlg"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Update File Information"));
    QVERIFY(!dialog.isModal());
    auto* table = dialog.findChild<QTableWidget*>("firmwareInfoTable");
    QCOMPARE(table->columnCount(), 2);
    QVERIFY(table->horizontalHeader()->isHidden());
    QVERIFY(table->verticalHeader()->isHidden());
    QCOMPARE(table->horizontalHeader()->defaultSectionSize(), 150);
    QCOMPARE(table->horizontalHeader()->minimumSectionSize(), 100);
    QVERIFY(table->horizontalHeader()->stretchLastSection());
}

void TestLoadedFirmwareDlg::propertyNamesShowWhole()
{
    const QString path = UpdateFileBuilder().writeTo(m_directory.filePath(QStringLiteral("names.ml2")));

    const LoadedFirmwareDlg dialog(path);
    auto* table = dialog.findChild<QTableWidget*>("firmwareInfoTable");
    const QFontMetrics metrics(table->font());
    QVERIFY(table->columnWidth(0) >=
            metrics.horizontalAdvance(QStringLiteral("Compatible Hardware Versions")));
}

QTEST_MAIN(TestLoadedFirmwareDlg)
#include "tst_loadedfirmwaredlg.moc"
