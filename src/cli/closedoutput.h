#pragma once

namespace marlune {

// Keeps a closed output from ending the program: where the system would end a program that
// writes to a pipe no one reads any more (`update --json | head -1`), the write fails
// instead and is lost, and an update under way goes on to its end. Its exit code and the
// history still say how the update ended.
void surviveClosedOutput();

} // namespace marlune
