#include "mlptransport.h"

void MLPTransport::init(MLPFrameReceiver* frameReceiver, MLPSendFunction send, void* sendFunctionContext,
                        MLPDoneCallback done, void* doneCallbackContext)
{
    receiver = frameReceiver;
    sendFunction = send;
    sendContext = sendFunctionContext;
    doneCallback = done;
    doneContext = doneCallbackContext;
    listener.context = this;
    listener.onFrame = &MLPTransport::onFrame;
    listener.onTimeout = &MLPTransport::onTimeout;
    frame = nullptr;
    frameLength = 0;
}

bool MLPTransport::send(const uint8_t* bytes, uint16_t length)
{
    return sendFunction(sendContext, bytes, length, &MLPTransport::onSent, this);
}

void MLPTransport::onSent(void* context)
{
    auto* transport = static_cast<MLPTransport*>(context);
    transport->receiver->listener = &transport->listener;
    transport->receiver->arm(kAnswerTimeoutMs);
}

void MLPTransport::onFrame(const uint8_t* receivedFrame, uint16_t length, void* context)
{
    auto* transport = static_cast<MLPTransport*>(context);
    transport->frame = receivedFrame;
    transport->frameLength = length;
    transport->doneCallback(transport->doneContext);
}

void MLPTransport::onTimeout(void* context)
{
    auto* transport = static_cast<MLPTransport*>(context);
    transport->frame = nullptr;
    transport->frameLength = 0;
    transport->doneCallback(transport->doneContext);
}
