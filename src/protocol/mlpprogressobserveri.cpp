#include "mlpprogressobserveri.h"

namespace marlune::MLP {

MLPProgressObserverI::~MLPProgressObserverI() = default;

} // namespace marlune::MLP
