#include "linkreading.h"

#include "mlpphy.h"

namespace marlune::testing {

QByteArray readUntilEmpty(MLP::MLPPhy& link)
{
    QByteArray received;
    for (auto result = link.readByte(); result.empty == 0; result = link.readByte()) {
        received.append(static_cast<char>(result.value));
    }
    return received;
}

} // namespace marlune::testing
