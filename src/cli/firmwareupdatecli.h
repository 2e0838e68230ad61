#pragma once

#include "clioutput.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

// marlune-fwupdate-cli: the commands list, inspect, builtin, update and history over the same
// worker thread, requests, update-file reader and built-in catalogue as the window, and with
// the window's rule for which file may go to which device. The update command is
// UpdateCommand's; run() answers an exit code of CliExitCode.
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
    int history(bool json);

    CliOutput m_output;
};
