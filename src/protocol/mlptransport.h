#pragma once

#include "mlpframelistener.h"
#include "mlpframereceiver.h"

#include <cstdint>

// Time every exchange allows for the answer, counted from the first clock tick after the write.
constexpr uint32_t kAnswerTimeoutMs = 2000;

using MLPSentCallback = void (*)(void* context);
// Puts `length` bytes on the link, calls onSent(onSentContext), then waits until the done
// callback has fired, and returns true. When the link refuses the bytes it returns false at
// once: no answer can come to a frame that never left, so there is nothing to wait for.
using MLPSendFunction = bool (*)(void* context, const uint8_t* bytes, uint16_t length, MLPSentCallback onSent,
                                 void* onSentContext);
using MLPDoneCallback = void (*)(void* context);

// One exchange: send a frame, then wait for one complete frame or the time-out. Its owner
// supplies the send function (write and wait) and the done callback that ends the wait.
struct MLPTransport
{
    const uint8_t* frame = nullptr; // the last received frame (the receiver's buffer), or null
    uint16_t frameLength = 0;       // bytes of that frame the receiver stored; 0 after a time-out
    MLPFrameReceiver* receiver = nullptr;
    MLPFrameListener listener;
    MLPDoneCallback doneCallback = nullptr;
    void* doneContext = nullptr;
    MLPSendFunction sendFunction = nullptr;
    void* sendContext = nullptr;

    void init(MLPFrameReceiver* frameReceiver, MLPSendFunction send, void* sendFunctionContext,
              MLPDoneCallback done, void* doneCallbackContext);
    // False when the link refused the bytes; the exchange then brought no frame.
    bool send(const uint8_t* bytes, uint16_t length);

    static void onSent(void* transport);
    static void onFrame(const uint8_t* receivedFrame, uint16_t length, void* transport);
    static void onTimeout(void* transport);
};
