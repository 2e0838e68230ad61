#include "mlpphyaddress.h"

#include <climits>
#include <utility>

namespace marlune::MLP {

namespace {

bool isAtoiSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

MLPPhyAddress::MLPPhyAddress(std::string prefix) : m_prefix(std::move(prefix)) {}

const MLPPhyAddress& MLPPhyAddress::ftdi()
{
    static const MLPPhyAddress address("usb:ftdi/");
    return address;
}

const MLPPhyAddress& MLPPhyAddress::mlUsb()
{
    static const MLPPhyAddress address("usb:mlusb/");
    return address;
}

const MLPPhyAddress& MLPPhyAddress::multi()
{
    static const MLPPhyAddress address("usb:m/");
    return address;
}

std::string MLPPhyAddress::makeAddress(int index) const
{
    return m_prefix + std::to_string(index);
}

std::optional<int> MLPPhyAddress::parseIndex(const std::string& address) const
{
    if (address.size() < m_prefix.size()) {
        return std::nullopt;
    }
    std::size_t pos = m_prefix.size();
    while (pos < address.size() && isAtoiSpace(address[pos])) {
        ++pos;
    }
    bool negative = false;
    if (pos < address.size() && (address[pos] == '+' || address[pos] == '-')) {
        negative = address[pos] == '-';
        ++pos;
    }
    // atoi leaves overflow undefined; saturating keeps a huge number an invalid index.
    long long magnitude = 0;
    for (; pos < address.size() && address[pos] >= '0' && address[pos] <= '9'; ++pos) {
        magnitude = magnitude * 10 + (address[pos] - '0');
        if (magnitude > static_cast<long long>(INT_MAX) + 1) {
            magnitude = static_cast<long long>(INT_MAX) + 1;
        }
    }
    const long long value = negative ? -magnitude : magnitude;
    if (value > INT_MAX) {
        return INT_MAX;
    }
    return static_cast<int>(value);
}

} // namespace marlune::MLP
