#include "closedoutput.h"
#include "consoleterminal.h"
#include "firmwareupdatecli.h"
#include "registerbuiltinupdatefiles.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    marlune::surviveClosedOutput();
    registerBuiltInUpdateFiles();
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral(MARLUNE_CLI_NAME));
    QCoreApplication::setApplicationVersion(QStringLiteral(MARLUNE_VERSION));

    QTextStream out(stdout);
    QTextStream err(stderr);
    FirmwareUpdateCli cli(out, err, marlune::isTerminal(stdout));
    const int exitCode = cli.run(QCoreApplication::arguments());
    out.flush();
    err.flush();
    return exitCode;
}
