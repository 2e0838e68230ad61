#include "endsessioneventfilter.h"

#include <qt_windows.h>

bool EndSessionEventFilter::nativeEventFilter(const QByteArray&, void* message,
                                              marlune::qtcompat::NativeEventResult* result)
{
    const MSG* nativeMessage = static_cast<const MSG*>(message);
    return handleMessage(nativeMessage->message, static_cast<quintptr>(nativeMessage->wParam),
                         static_cast<qintptr>(nativeMessage->lParam), result);
}
