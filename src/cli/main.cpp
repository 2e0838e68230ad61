#include "firmwareupdatecli.h"
#include "registerbuiltinupdatefiles.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

bool isTerminal(FILE* stream)
{
#ifdef Q_OS_WIN
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

} // namespace

int main(int argc, char* argv[])
{
    registerBuiltInUpdateFiles();
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral(MARLUNE_CLI_NAME));
    QCoreApplication::setApplicationVersion(QStringLiteral(MARLUNE_VERSION));

    QTextStream out(stdout);
    QTextStream err(stderr);
    FirmwareUpdateCli cli(out, err, isTerminal(stdout));
    const int exitCode = cli.run(QCoreApplication::arguments());
    out.flush();
    err.flush();
    return exitCode;
}
