#pragma once

#include <cstdint>

namespace marlune::MLP {

// What a device of the joined list sits behind.
enum class MLPLinkKind : uint8_t
{
    Unknown,    // not in the list of the last enumeration
    FtdiBridge, // an FTDI USB-serial bridge with the DMX512 line
    MakerUsb,   // the maker's own USB interface
};

} // namespace marlune::MLP
