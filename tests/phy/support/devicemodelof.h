#pragma once

#include <string>

namespace marlune::MLP {
class MLPPhy;
}

namespace marlune::testing {

// The model the device at the open end of the link reports, or "no answer".
std::string deviceModelOf(MLP::MLPPhy& link);

} // namespace marlune::testing
