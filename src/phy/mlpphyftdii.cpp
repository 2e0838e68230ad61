#include "mlpphyftdii.h"

namespace marlune::MLP {

MLPPhyFtdiI::~MLPPhyFtdiI() = default;

} // namespace marlune::MLP
