#pragma once

#include <cstdio>

namespace marlune {

// Whether a standard stream goes to a terminal (where progress may redraw one line) rather
// than to a file or a pipe.
bool isTerminal(FILE* stream);

} // namespace marlune
