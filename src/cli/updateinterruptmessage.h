#pragma once

// What the update interrupt guard prints when it refuses to stop the program.
inline constexpr char kUpdateInterruptMessage[] =
    "\nAn update is being written; stopping now would leave the "
    "device half-written. It ends by itself.\n";
