#include "closedoutput.h"

#include <csignal>

void marlune::surviveClosedOutput()
{
    // Ignored, SIGPIPE leaves the write to fail with EPIPE, which the text streams take as a
    // failed write and go on from.
    std::signal(SIGPIPE, SIG_IGN);
}
