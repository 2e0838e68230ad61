#pragma once

#include <cstdint>

// Where a receiver reports: a context pointer and the two callbacks that receive it.
struct MLPFrameListener
{
    void* context = nullptr;
    void (*onFrame)(const uint8_t* frame, uint16_t length, void* context) = nullptr;
    void (*onTimeout)(void* context) = nullptr;
};
