#pragma once

#include <QDateTime>
#include <QString>

// One update as the history keeps it: which unit, what it had, what was written and how it
// ended. Versions are texts as the tool shows them (device versions BCD-read, "1.05"; the
// file's version as its header gives it). Empty texts are unknown.
struct UpdateHistoryEntry
{
    QDateTime time; // UTC
    QString model;
    QString link; // linkKindKey()
    QString serial;
    QString address;
    QString versionBefore;
    QString file;       // the absolute path, or "built-in MODEL" for a built-in file
    QString fileSha256; // hexadecimal, of the bytes the update sent: the header and the blocks
    // The trusted key that signed the file, by name and id; no name for a file no trusted key
    // signed (then the id, if any, is of the key that is not trusted).
    QString signedBy;
    QString keyId;
    bool isSigned() const { return !signedBy.isEmpty(); }
    QString versionWritten;
    bool succeeded = false;
    QString reason; // why it failed; empty on success
    // What the device reported when asked after the update; empty when it was not asked or
    // did not answer.
    QString versionAfter;
};
