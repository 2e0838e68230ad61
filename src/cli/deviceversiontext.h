#pragma once

#include <QString>

#include <cstdint>

// A version as a device reports it, BCD in both bytes: the hexadecimal digits of the high
// byte, a dot, then the two hexadecimal digits of the low byte (0x0112 reads 1.12).
QString deviceVersionText(uint16_t version);
