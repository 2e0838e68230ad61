#pragma once

#include <QTextStream>

#include <cstdio>
#include <memory>

namespace marlune {

// Whether a standard stream goes to a terminal (where progress may redraw one line) rather
// than to a file or a pipe.
bool isTerminal(FILE* stream);

// A text stream on a standard stream that carries every character of a path or a model:
// on Windows UTF-8 into a file or a pipe, where scripts read it as such, and the console's
// own Unicode output on a console, whatever its code page; elsewhere the locale's encoding.
std::unique_ptr<QTextStream> openTextStream(FILE* stream);

} // namespace marlune
