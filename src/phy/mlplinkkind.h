#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

namespace marlune::MLP {

// What a device of the joined list sits behind.
enum class MLPLinkKind : uint8_t
{
    Unknown,    // not in the list of the last enumeration
    FtdiBridge, // an FTDI USB-serial bridge with the DMX512 line
    MakerUsb,   // the maker's own USB interface
};

// The link kind's name in machine-readable output and in the update history; stable.
constexpr const char* linkKindKey(MLPLinkKind kind)
{
    switch (kind) {
    case MLPLinkKind::FtdiBridge:
        return "ftdi-bridge";
    case MLPLinkKind::MakerUsb:
        return "maker-usb";
    case MLPLinkKind::Unknown:
        break;
    }
    return "unknown";
}

// The link kind a key names; Unknown for any other text.
inline MLPLinkKind linkKindFromKey(const std::string& key)
{
    for (MLPLinkKind kind : {MLPLinkKind::FtdiBridge, MLPLinkKind::MakerUsb}) {
        if (key == linkKindKey(kind)) {
            return kind;
        }
    }
    return MLPLinkKind::Unknown;
}

} // namespace marlune::MLP
