#pragma once

#include "inaccessibleusbdevice.h"
#include "missingdevices.h"
#include "mlpdeviceinfonode.h"
#include "mlpupdateoutcome.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>

// Where marlune-fwupdate-cli writes and in which forms: results to `out`, refusals and errors
// to `err`; JSON documents and lines, tables padded to their widest cell, and the words for
// devices the tool cannot reach. Shared by the commands.
class CliOutput
{
public:
    // terminal: `out` is a terminal, so progress is drawn as a bar redrawn in place.
    CliOutput(QTextStream& out, QTextStream& err, bool terminal);

    QTextStream& out() { return m_out; }
    QTextStream& err() { return m_err; }
    bool terminal() const { return m_terminal; }

    void printJson(const QJsonObject& object);
    void printJsonLine(const QJsonObject& object);
    void printLines(const QStringList& lines);

    // True, having told why, when the USB library cannot start.
    bool reportUsbStartProblem();
    // Who the discovery saw but could not list, and what to do about each.
    void printMissing(const MissingDevices& missing);
    // Tells that no device was found and why one may be invisible; answers the exit code.
    int reportNoDevice(const MissingDevices& missing);

    static QJsonObject deviceJson(const MLPDeviceInfoNode& device);
    // The missing devices as fields of a list's JSON document.
    static void insertMissingJson(const MissingDevices& missing, QJsonObject& object);
    // The request's account, field by field; null where it has nothing to tell.
    static QJsonObject outcomeJson(const MLPUpdateOutcome& outcome);
    // Why nothing was done, as the last JSON line.
    static QJsonObject refusalJson(const QString& reason, const QStringList& details, int exitCode);
    static QJsonObject inaccessibleJson(const InaccessibleUsbDevice& device);
    // A unit's cells in the plan and summary tables: address, model, link, serial, version.
    static QStringList unitCells(const MLPDeviceInfoNode& device);
    // "-" for an empty cell.
    static QString orDash(const QString& text);
    // Columns padded to their widest cell; the last column is not padded.
    static QStringList table(const QList<QStringList>& rows);

private:
    QTextStream& m_out;
    QTextStream& m_err;
    bool m_terminal;
};
