#include "historycsvexport.h"

#include "updatehistorycsv.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QSaveFile>

QString HistoryCsvExport::save(QWidget* parent, const QString& title, const QString& suggestedName,
                               const QString& failedText, const QList<UpdateHistoryEntry>& entries)
{
    const QString path = QFileDialog::getSaveFileName(parent, title, QDir::home().filePath(suggestedName),
                                                      tr("CSV files (*.csv)"));
    if (path.isEmpty()) {
        return QString();
    }
    const QString shownPath = QDir::toNativeSeparators(path);
    // Written aside and renamed at the end: an export that fails leaves no half a file behind.
    QSaveFile file(path);
    const QByteArray document = UpdateHistoryCsv::document(entries);
    if (!file.open(QIODevice::WriteOnly) || file.write(document) != document.size() || !file.commit()) {
        QMessageBox::warning(parent, tr("Export failed"), failedText.arg(shownPath, file.errorString()));
        return QString();
    }
    return entries.size() == 1
               ? tr("1 update exported to %1.").arg(shownPath)
               : tr("%1 updates exported to %2.").arg(QString::number(entries.size()), shownPath);
}
