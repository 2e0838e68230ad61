#include "closedoutput.h"
#include "consoleterminal.h"
#include "firmwareupdatecli.h"
#include "registerbuiltinupdatefiles.h"
#include "runningprogrammark.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    marlune::surviveClosedOutput();
    // From the first moment to the last, so that no installer replaces the program under it.
    const RunningProgramMark running;
    registerBuiltInUpdateFiles();
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral(MARLUNE_CLI_NAME));
    QCoreApplication::setApplicationVersion(QStringLiteral(MARLUNE_VERSION));

    // Qt reads the command line as Windows' wide one (arguments()), so a path with any
    // characters arrives whole; the streams write it out whole.
    const std::unique_ptr<QTextStream> out = marlune::openTextStream(stdout);
    const std::unique_ptr<QTextStream> err = marlune::openTextStream(stderr);
    FirmwareUpdateCli cli(*out, *err, marlune::isTerminal(stdout));
    const int exitCode = cli.run(QCoreApplication::arguments());
    out->flush();
    err->flush();
    return exitCode;
}
