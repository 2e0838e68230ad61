#pragma once

#include <optional>
#include <string>

namespace marlune::MLP {

// A device address is a scheme prefix followed by the decimal position of the device in
// the list its link built at the last enumeration. It names a position, not a device:
// it stays valid only while the attached devices and their order do not change.
class MLPPhyAddress
{
public:
    explicit MLPPhyAddress(std::string prefix);

    // The three schemes, created on first use and shared by all links.
    static const MLPPhyAddress& ftdi();  // "usb:ftdi/"
    static const MLPPhyAddress& mlUsb(); // "usb:mlusb/"
    static const MLPPhyAddress& multi(); // "usb:m/"

    const std::string& prefix() const { return m_prefix; }

    std::string makeAddress(int index) const;

    // The number after the prefix, read like atoi. The prefix is skipped by its length,
    // not compared: each link only ever receives addresses of its own scheme. An address
    // shorter than the prefix holds no index.
    std::optional<int> parseIndex(const std::string& address) const;

private:
    std::string m_prefix;
};

} // namespace marlune::MLP
