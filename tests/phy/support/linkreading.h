#pragma once

#include <QByteArray>

namespace marlune::MLP {
class MLPPhy;
}

namespace marlune::testing {

// Every byte the link hands out until its first empty read.
QByteArray readUntilEmpty(MLP::MLPPhy& link);

} // namespace marlune::testing
