#pragma once

// Exit codes of marlune-fwupdate-cli. Scripts on service benches branch on them, so they
// never change meaning; the help text and the README list them.
enum CliExitCode
{
    kExitSuccess = 0,
    kExitUpdateFailed = 1, // the device did not take the whole update
    kExitUsageError = 2,   // unknown command or option, missing or surplus argument
    kExitNoDevice = 3,     // no device found, the chosen one is absent or did not answer; with --all,
                           // an attached one was not reached and nothing worse happened
    kExitFileRejected = 4, // update file unreadable, broken, or not for this device
    kExitUnconfirmed = 5,  // the device took the whole file but does not report its firmware afterwards
};
