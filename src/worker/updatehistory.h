#pragma once

#include "updatehistoryentry.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// The record of every update the window and the command-line tool ran: one JSON object per
// line, appended, in marlune-fwupdate/history.jsonl under the user's state folder
// ($XDG_STATE_HOME, %LOCALAPPDATA% on Windows). A history that cannot be
// written must never cost an update, so append() reports its failure for a warning and
// nothing else. Its own path and the files' paths in its entries have the system's
// separators, backslashes on Windows, in what it writes and in what it reads.
class UpdateHistory
{
public:
    // marlune-fwupdate/history.jsonl in marlune::userStateDirectory().
    static QString defaultPath();
    // An entry as its line in the history holds it.
    static QJsonObject toJson(const UpdateHistoryEntry& entry);

    explicit UpdateHistory(const QString& path = defaultPath());

    QString path() const { return m_path; }

    // Empty on success, otherwise why the entry could not be written.
    QString append(const UpdateHistoryEntry& entry) const;

    // The entries in the order they were written. A line that is not a record is skipped
    // with a sentence in `warnings`; a missing file is an empty history.
    QList<UpdateHistoryEntry> read(QStringList& warnings) const;

private:
    QString m_path;
};
