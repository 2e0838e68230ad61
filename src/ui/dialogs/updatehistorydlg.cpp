#include "updatehistorydlg.h"

#include "deviceunittext.h"
#include "historycsvexport.h"
#include "mlpdeviceinfonode.h"
#include "pathtext.h"
#include "ui_updatehistorydlg.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidgetItem>

#include <algorithm>

using marlune::MLP::MLPLinkKind;

namespace {

enum Column
{
    kTimeColumn,
    kModelColumn,
    kUnitColumn,
    kFirmwareColumn,
    kVerdictColumn,
    kFileColumn,
};

constexpr int kRowsShownWhole = 8;
// The verdict column holds a failure's reason in lines of about this many characters.
constexpr int kVerdictCharacters = 34;
constexpr int kShaGroupLength = 8;
// The file column holds "SHA-256" and this many groups of its hash on a line.
constexpr int kShaGroupsPerLine = 4;

MLPDeviceInfoNode unitOf(const UpdateHistoryEntry& entry)
{
    MLPDeviceInfoNode unit;
    unit.model = entry.model;
    unit.address = entry.address;
    unit.serial = entry.serial;
    for (const MLPLinkKind kind : {MLPLinkKind::FtdiBridge, MLPLinkKind::MakerUsb}) {
        if (entry.link == QLatin1String(marlune::MLP::linkKindKey(kind))) {
            unit.linkKind = kind;
        }
    }
    return unit;
}

QString orDash(const QString& text)
{
    return text.isEmpty() ? QStringLiteral("\u2014") : text;
}

// In groups of eight, as fingerprints are shown: read and compared by eye, and wrapped
// between groups, never inside one.
QString shaLines(const UpdateHistoryEntry& entry)
{
    QStringList groups;
    for (int start = 0; start < entry.fileSha256.size(); start += kShaGroupLength) {
        groups << entry.fileSha256.mid(start, kShaGroupLength);
    }
    return UpdateHistoryDlg::tr("SHA-256 %1").arg(orDash(groups.join(QLatin1Char(' '))));
}

} // namespace

UpdateHistoryDlg::UpdateHistoryDlg(const UpdateHistory& history, QWidget* parent)
    : QDialog(parent), m_ui(new Ui::UpdateHistoryDlg)
{
    m_ui->setupUi(this);
    QStringList warnings;
    m_entries = history.read(warnings);
    // Newest first; the file holds them in the order they were written.
    std::stable_sort(
        m_entries.begin(), m_entries.end(),
        [](const UpdateHistoryEntry& a, const UpdateHistoryEntry& b) { return a.time > b.time; });
    for (const UpdateHistoryEntry& entry : m_entries) {
        addRow(entry);
    }

    // Not selectable: the path is shown with the marks that keep its names whole.
    m_ui->lbl_historyFile->setText(
        m_entries.isEmpty()
            ? tr("No updates have been recorded yet in %1.").arg(PathText::wrappable(history.path()))
            : tr("Every update run on this computer, newest first, from %1.")
                  .arg(PathText::wrappable(history.path())));
    QStringList problems;
    for (const QString& warning : warnings) {
        problems << tr("Warning: %1.").arg(warning);
    }
    m_ui->lbl_historyProblems->setText(problems.join(QLatin1Char('\n')));
    m_ui->lbl_historyProblems->setVisible(!problems.isEmpty());

    QPushButton* exportButton =
        m_ui->buttonBox->addButton(tr("Export CSV\u2026"), QDialogButtonBox::ActionRole);
    exportButton->setObjectName(QStringLiteral("bttn_exportCsv"));
    exportButton->setEnabled(!m_entries.isEmpty());
    connect(exportButton, &QPushButton::clicked, this, &UpdateHistoryDlg::exportCsv);
    fitToTable();
}

UpdateHistoryDlg::~UpdateHistoryDlg()
{
    delete m_ui;
}

void UpdateHistoryDlg::addRow(const UpdateHistoryEntry& entry)
{
    QTableWidget* table = m_ui->historyTable;
    const int row = table->rowCount();
    table->insertRow(row);
    const auto set = [&](int column, const QString& text) {
        table->setItem(row, column, new QTableWidgetItem(text));
    };
    set(kTimeColumn, entry.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    set(kModelColumn, orDash(entry.model));
    set(kUnitColumn, DeviceUnitText::unit(unitOf(entry)));
    set(kFirmwareColumn,
        tr("%1 \u2192 %2 \u2192 %3")
            .arg(orDash(entry.versionBefore), orDash(entry.versionWritten), orDash(entry.versionAfter)));
    set(kVerdictColumn, entry.succeeded ? tr("Succeeded") : tr("Failed\n%1").arg(entry.reason));
    // Who signed the file written, or that no trusted key did.
    const QString signature =
        entry.isSigned() ? tr("Signed by %1 (key %2)").arg(entry.signedBy, entry.keyId) : tr("Unsigned");
    set(kFileColumn, PathText::wrappable(entry.file) + QLatin1Char('\n') + shaLines(entry) +
                         QLatin1Char('\n') + signature);
}

// Short columns take what their texts need; the verdict wraps at the width of a short
// sentence, the file at the width of half its SHA-256. Up to
// kRowsShownWhole rows show without scrolling, and the dialog never outgrows the screen.
void UpdateHistoryDlg::fitToTable()
{
    QTableWidget* table = m_ui->historyTable;
    const QFontMetrics metrics(table->font());
    const int cellPadding = 2 * metrics.averageCharWidth();
    UpdateHistoryEntry widestHash;
    widestHash.fileSha256 = QString(kShaGroupsPerLine * kShaGroupLength, QLatin1Char('0'));
    table->resizeColumnsToContents();
    table->setColumnWidth(kVerdictColumn, kVerdictCharacters * metrics.averageCharWidth() + cellPadding);
    table->setColumnWidth(kFileColumn,
                          std::max(table->horizontalHeader()->sectionSizeHint(kFileColumn),
                                   metrics.horizontalAdvance(shaLines(widestHash)) + cellPadding));
    table->resizeRowsToContents();

    int tableHeight = table->horizontalHeader()->sizeHint().height() + 2 * table->frameWidth();
    for (int row = 0; row < std::min(table->rowCount(), kRowsShownWhole); ++row) {
        tableHeight += table->rowHeight(row);
    }
    table->setMinimumHeight(tableHeight);
    const int tableWidth = table->horizontalHeader()->length() + 2 * table->frameWidth() +
                           table->verticalScrollBar()->sizeHint().width();
    const QMargins margins = layout()->contentsMargins();
    const QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect();
    const int widthWanted = std::max(width(), tableWidth + margins.left() + margins.right());
    resize(screen.isValid() ? std::min(widthWanted, screen.width()) : widthWanted,
           std::max(height(), layout()->minimumSize().height()));
}

void UpdateHistoryDlg::exportCsv()
{
    const QString exported = HistoryCsvExport::save(
        this, tr("Export the Update History"), QStringLiteral("marlune-update-history.csv"),
        tr("The update history could not be written to %1: %2"), m_entries);
    if (exported.isEmpty()) {
        return;
    }
    const QString shown = m_ui->lbl_historyProblems->text();
    m_ui->lbl_historyProblems->setText(shown.isEmpty() ? exported : shown + QLatin1Char('\n') + exported);
    m_ui->lbl_historyProblems->setVisible(true);
}
