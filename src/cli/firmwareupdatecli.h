#pragma once

#include "cliarguments.h"
#include "inaccessibleusbdevice.h"
#include "mlpdeviceinfonode.h"

#include <QList>
#include <QStringList>
#include <QTextStream>

class CliDeviceSession;
class QJsonObject;

// marlune-fwupdate-cli: the commands list, inspect, builtin and update over the same worker
// thread, requests, update-file reader and built-in catalogue as the window, and with the
// window's rule for which file may go to which device. Results go to `out`, refusals and
// errors to `err`; run() answers an exit code of CliExitCode.
class FirmwareUpdateCli
{
public:
    // terminal: `out` is a terminal, so progress is drawn as a bar redrawn in place.
    FirmwareUpdateCli(QTextStream& out, QTextStream& err, bool terminal);

    int run(const QStringList& arguments);

    // The window's compatibility rule: the file opens, names the device's model exactly
    // and lists the device's hardware version. Empty when the file fits, else the reason.
    static QString incompatibility(const QString& path, const MLPDeviceInfoNode& device);

private:
    int list(bool json);
    int inspect(const QString& path, bool json);
    int builtin(bool json);
    int update(const CliArguments& arguments);

    int reportNoDevice(const QList<InaccessibleUsbDevice>& inaccessible);
    void printInaccessible(const QList<InaccessibleUsbDevice>& inaccessible);
    void printJson(const QJsonObject& object);

    QTextStream& m_out;
    QTextStream& m_err;
    bool m_terminal;
};
