#pragma once

#include "updatehistoryentry.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The update history as comma-separated values for a spreadsheet and the paperwork of a
// rig: a header row with the history's field names, then one row per entry in the order
// given, each field as the history holds it. UTF-8 with a byte-order mark, so that
// spreadsheet programs read model names and paths as they are, and CRLF line ends.
class UpdateHistoryCsv
{
public:
    static QByteArray document(const QList<UpdateHistoryEntry>& entries);

    // One field: in double quotes (doubled inside) when it holds a comma, a double quote, a
    // line break or blanks at its ends. A field a spreadsheet would take for a formula gets
    // a leading apostrophe: model names and serial numbers come from the devices.
    static QString field(const QString& value);
};
