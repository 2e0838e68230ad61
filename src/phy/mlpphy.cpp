#include "mlpphy.h"

namespace marlune::MLP {

MLPPhy::~MLPPhy() = default;

void MLPPhy::open(const std::string&) {}

void MLPPhy::close() {}

MLPPhyReadResult MLPPhy::readByte()
{
    return MLPPhyReadResult{0, 1};
}

bool MLPPhy::write(const uint8_t*, uint32_t)
{
    return false;
}

int32_t MLPPhy::lastError()
{
    return 0;
}

std::string MLPPhy::errorString(int32_t code)
{
    return code == 0 ? "OK" : "Unknown";
}

} // namespace marlune::MLP
