#pragma once

#include <QString>

// What one run of the command-line tool gave: its exit code and what it printed.
struct CliRun
{
    int exitCode = -1;
    QString out;
    QString err;
};
