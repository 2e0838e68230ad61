#pragma once

#include "updatehistoryentry.h"

#include <QCoreApplication>
#include <QList>
#include <QString>

class QWidget;

// Saves update history entries as a CSV file the person picks: the whole history, or the
// updates of one run.
class HistoryCsvExport
{
    Q_DECLARE_TR_FUNCTIONS(HistoryCsvExport)

public:
    // Asks where (offering suggestedName in the home folder), writes the file whole or not
    // at all, and returns what to tell: "3 updates exported to …". Empty when the person
    // cancelled, or when it failed, which a message box has told in `failedText` (%1 the
    // file, %2 why).
    static QString save(QWidget* parent, const QString& title, const QString& suggestedName,
                        const QString& failedText, const QList<UpdateHistoryEntry>& entries);
};
