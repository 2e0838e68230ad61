#pragma once

#include <QByteArray>

#include <string>

namespace marlune::MLP {
class MLPPhy;
}

namespace marlune::testing {

// Every byte the link hands out until its first empty read.
QByteArray readUntilEmpty(MLP::MLPPhy& link);

// The model the device at the open end of the link reports, or "no answer".
std::string deviceModelOf(MLP::MLPPhy& link);

} // namespace marlune::testing
