// The D2XX provider linked into the program (ours over libftdi1, or the vendor's library
// named at build time) is there whenever the program runs.

#include "d2xxlibrary.h"

bool marlune::d2xx::d2xxLibraryLoaded()
{
    return true;
}
