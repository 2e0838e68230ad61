#pragma once

#include "mlu2format.h"
#include "mlu2readerlistener.h"

#include <cstdint>

// Push parser for the byte stream of an update file: checks the header, cuts the stream
// into header, auxiliary sections and blocks, and reports each to its listener. Works in
// its own fixed buffers and allocates nothing.
class MLU2Reader
{
public:
    explicit MLU2Reader(MLU2ReaderListener* listener);

    // Bytes after the end of the last block or after a format error are ignored.
    void feed(uint8_t value);

private:
    void feedHeader(uint8_t value);
    void feedBlock(uint8_t value);
    void failFormat();

    MLU2ReaderListener* m_listener;
    int m_signatureStep = 0;
    int m_headerStep = 0;
    int m_blockStep = 0;
    int m_stage = 0;
    uint8_t m_modelLeft;
    uint8_t m_step4Left;
    uint8_t m_step5Left;
    uint8_t m_step6Left;
    uint8_t m_step7Left;
    uint8_t m_step8Left;
    uint8_t m_headerFill = 0;
    uint16_t m_aux1Fill = 0;
    uint16_t m_aux2Fill = 0;
    uint32_t m_blockLeft = 0;
    uint8_t m_currentBlock = 0;
    uint8_t m_headerCopy[MLU2Format::kHeaderSize];
    uint8_t m_aux1[MLU2Format::kAuxSectionSize];
    uint8_t m_aux2[MLU2Format::kAuxSectionSize];
};
