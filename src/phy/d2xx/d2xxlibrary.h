#pragma once

namespace marlune::d2xx {

// Whether the D2XX calls reach a working provider. On Windows they go to the FTDI driver's
// library, which a PC without that driver lacks; no bridge is listed then, for that reason
// rather than because none is attached. The providers built into the program are always
// there.
bool d2xxLibraryLoaded();

} // namespace marlune::d2xx
