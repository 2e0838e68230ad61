#pragma once

#include "mlpphyftdid2xx.h"

#include <cstdint>

namespace marlune::MLP {

// The FTDI link of the program: accepts the bridges that describe themselves as one of the
// maker's two DMX interfaces.
class MLPPhyFtdi : public MLPPhyFtdiD2xx
{
public:
    static constexpr char kDeviceDescription[] = "MARLUNE MLP-DEV";
    static constexpr char kDongleDescription[] = "MARLUNE MLP-DGL";

    int32_t enumerate() override;
};

} // namespace marlune::MLP
