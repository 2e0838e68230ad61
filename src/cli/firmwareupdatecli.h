#pragma once

#include "cliarguments.h"
#include "inaccessibleusbdevice.h"
#include "updateexecutor.h"
#include "updateplan.h"

#include <QList>
#include <QStringList>
#include <QTextStream>

class QJsonObject;

// marlune-fwupdate-cli: the commands list, inspect, builtin, update and history over the same
// worker thread, requests, update-file reader and built-in catalogue as the window, and with
// the window's rule for which file may go to which device. An update is planned first
// (UpdatePlanner) and then carried out (UpdateExecutor); this class words both. Results go
// to `out`, refusals and errors to `err`; run() answers an exit code of CliExitCode.
class FirmwareUpdateCli
{
public:
    // terminal: `out` is a terminal, so progress is drawn as a bar redrawn in place.
    FirmwareUpdateCli(QTextStream& out, QTextStream& err, bool terminal);

    int run(const QStringList& arguments);

private:
    int list(bool json);
    int inspect(const QString& path, bool json);
    int builtin(bool json);
    int update(const CliArguments& arguments);
    int history(bool json);

    int refuse(const UpdatePlan& plan, const CliArguments& arguments);
    bool reportUsbStartProblem();
    void printPlan(const UpdatePlan& plan, const CliArguments& arguments);
    UpdateExecutor::Result execute(UpdateExecutor& executor, const UpdatePlan::Item& item,
                                   const CliArguments& arguments);
    void printResult(const UpdateExecutor::Result& result, const CliArguments& arguments);
    void printSummary(const QList<UpdateExecutor::Result>& results, const UpdatePlan& plan,
                      const CliArguments& arguments);

    int reportNoDevice(const QList<InaccessibleUsbDevice>& inaccessible);
    void printInaccessible(const QList<InaccessibleUsbDevice>& inaccessible);
    void printJson(const QJsonObject& object);
    void printJsonLine(const QJsonObject& object);
    void printLines(const QStringList& lines);

    QTextStream& m_out;
    QTextStream& m_err;
    bool m_terminal;
};
