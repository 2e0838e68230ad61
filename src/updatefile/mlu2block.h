#pragma once

#include <cstdint>

// One payload block of an update file as handed out by MLU2File: a read-only view of the
// bytes it read into memory, valid until that file is closed or opened again. A null `data`
// means the block is not available (it lies beyond the end of the file, or has no bytes);
// nothing may be read through it, whatever `length` says.
struct MLU2Block
{
    const uint8_t* data = nullptr;
    uint32_t length = 0;
};
