#include "mlu2reader.h"

using namespace MLU2Format;

namespace {

enum Stage
{
    kHeaderStage,
    kAuxSection1Stage,
    kAuxSection2Stage,
    kBlocksStage,
    kDoneStage,
    kFailedStage
};

// The header is walked in steps of 5, 40, 1, 1, 2, 16, 32, 4 and 155 bytes. Only the
// first four line up with fields; nothing after the block count is checked, so the
// later steps merely count the header out to its 256 bytes.
enum HeaderStep
{
    kSignatureStep,
    kModelStep,
    kHardwareVersionCountStep,
    kBlockCountStep,
    kStep4,
    kStep5,
    kStep6,
    kStep7,
    kStep8,
    kHeaderCompleteStep
};

constexpr uint8_t kStep4Length = 2;
constexpr uint8_t kStep5Length = 16;
constexpr uint8_t kStep6Length = 32;
constexpr uint8_t kStep7Length = 4;
constexpr uint8_t kStep8Length = 155;

enum BlockStep
{
    kBlockStartsNext,
    kInsideBlock,
    kAllBlocksDone
};

// Counts one byte off a header step; true when the step is complete.
bool countDown(uint8_t& left)
{
    return --left == 0;
}

} // namespace

MLU2Reader::MLU2Reader(MLU2ReaderListener* listener)
    : m_listener(listener), m_modelLeft(kModelLength), m_step4Left(kStep4Length), m_step5Left(kStep5Length),
      m_step6Left(kStep6Length), m_step7Left(kStep7Length), m_step8Left(kStep8Length)
{}

void MLU2Reader::feed(uint8_t value)
{
    switch (m_stage) {
    case kHeaderStage:
        feedHeader(value);
        break;
    case kAuxSection1Stage:
        m_aux1[m_aux1Fill++] = value;
        if (m_aux1Fill == kAuxSectionSize) {
            m_listener->onAuxSection1(m_aux1);
            m_stage = kAuxSection2Stage;
        }
        break;
    case kAuxSection2Stage:
        m_aux2[m_aux2Fill++] = value;
        if (m_aux2Fill == kAuxSectionSize) {
            m_listener->onAuxSection2(m_aux2);
            m_stage = kBlocksStage;
        }
        break;
    case kBlocksStage:
        feedBlock(value);
        break;
    default:
        break;
    }
}

void MLU2Reader::feedHeader(uint8_t value)
{
    m_headerCopy[m_headerFill++] = value;
    switch (m_headerStep) {
    case kSignatureStep:
        if (value != kSignature[m_signatureStep]) {
            failFormat();
            return;
        }
        if (++m_signatureStep == kSignatureLength) {
            m_headerStep = kModelStep;
        }
        break;
    case kModelStep:
        if (countDown(m_modelLeft)) {
            m_headerStep = kHardwareVersionCountStep;
        }
        break;
    case kHardwareVersionCountStep:
        m_headerStep = kBlockCountStep;
        if (!isCountInRange(value, kMaxHardwareVersions)) {
            failFormat();
            return;
        }
        break;
    case kBlockCountStep:
        m_headerStep = kStep4;
        if (!isCountInRange(value, kMaxBlocks)) {
            failFormat();
            return;
        }
        break;
    case kStep4:
        if (countDown(m_step4Left)) {
            m_headerStep = kStep5;
        }
        break;
    case kStep5:
        if (countDown(m_step5Left)) {
            m_headerStep = kStep6;
        }
        break;
    case kStep6:
        if (countDown(m_step6Left)) {
            m_headerStep = kStep7;
        }
        break;
    case kStep7:
        if (countDown(m_step7Left)) {
            m_headerStep = kStep8;
        }
        break;
    case kStep8:
        if (countDown(m_step8Left)) {
            m_headerStep = kHeaderCompleteStep;
        }
        break;
    default:
        break;
    }
    if (m_headerStep == kHeaderCompleteStep) {
        m_listener->onHeader(m_headerCopy);
        m_stage = kAuxSection1Stage;
    }
}

void MLU2Reader::feedBlock(uint8_t value)
{
    if (m_blockStep == kBlockStartsNext) {
        m_blockLeft = readUint32(m_headerCopy, kBlockLengthsOffset + 4 * m_currentBlock);
        m_listener->onBlockBegin(m_currentBlock, m_blockLeft);
    }
    m_listener->onBlockByte(value);
    // The countdown runs before the end test, so a block of length 0 would take 2^32
    // bytes. Update files never carry one; MLU2File never feeds blocks through here.
    --m_blockLeft;
    if (m_blockLeft == 0) {
        if (m_currentBlock + 1 == m_headerCopy[kBlockCountOffset]) {
            m_blockStep = kAllBlocksDone;
        } else {
            ++m_currentBlock;
            m_blockStep = kBlockStartsNext;
        }
    } else {
        m_blockStep = kInsideBlock;
    }
    if (m_blockStep == kAllBlocksDone) {
        m_listener->onEnd();
        m_stage = kDoneStage;
    }
}

void MLU2Reader::failFormat()
{
    m_listener->onFormatError();
    m_stage = kFailedStage;
}
