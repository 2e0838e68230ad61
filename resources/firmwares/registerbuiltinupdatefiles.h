#pragma once

// Registers the resource bundle of built-in update files (":/firmwares"). The bundle sits
// in a static library: the program's entry, and every test that reads built-in files,
// call this once so that the linker keeps it.
void registerBuiltInUpdateFiles();
