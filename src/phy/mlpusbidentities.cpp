#include "mlpusbidentities.h"

#include <cstring>

namespace marlune::MLP {

static_assert(sizeof MLPUsbIdentities::kDeviceDescription == MLPUsbIdentities::kDescriptionCompareBytes);
static_assert(sizeof MLPUsbIdentities::kDongleDescription == MLPUsbIdentities::kDescriptionCompareBytes);

bool MLPUsbIdentities::isBridgeDescription(const char* description)
{
    return std::memcmp(description, kDeviceDescription, kDescriptionCompareBytes) == 0 ||
           std::memcmp(description, kDongleDescription, kDescriptionCompareBytes) == 0;
}

} // namespace marlune::MLP
