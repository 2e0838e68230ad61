#pragma once

#include <cstdint>

namespace marlune::MLP {

// One answer of MLPPhy::readByte. Readers test `empty` first: when it is set, `value`
// carries no meaning (no byte came within the link's read time-out, or no device is open).
struct MLPPhyReadResult
{
    uint8_t value = 0;
    uint32_t empty = 1;
};

} // namespace marlune::MLP
