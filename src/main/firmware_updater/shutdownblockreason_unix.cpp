#include "shutdownblockreason.h"

void marlune::holdShutdown(QWidget*) {}

void marlune::releaseShutdown(QWidget*) {}
