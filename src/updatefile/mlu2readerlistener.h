#pragma once

#include <cstdint>

// Receives what MLU2Reader finds in the byte stream of an update file, in stream order.
// A stream yields either onFormatError or onHeader, at most once; after onFormatError
// nothing more comes. The pointers stay valid while the reader lives.
class MLU2ReaderListener
{
public:
    virtual void onFormatError() = 0;
    virtual void onHeader(const uint8_t* header) = 0;
    virtual void onAuxSection1(const uint8_t* section) = 0;
    virtual void onAuxSection2(const uint8_t* section) = 0;
    virtual void onBlockBegin(uint8_t index, uint32_t length) = 0;
    virtual void onBlockByte(uint8_t value) = 0;
    virtual void onEnd() = 0;

    virtual ~MLU2ReaderListener();
};
