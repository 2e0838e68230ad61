#pragma once

// The few places where Qt 5 and Qt 6 differ for the program's entry and its native event
// filter. Everything else uses what both versions share.

#include <QCoreApplication>
#include <QtGlobal>

namespace marlune::qtcompat {

// What a native event filter writes its answer to.
#if QT_VERSION_MAJOR >= 6
using NativeEventResult = qintptr;
#else
using NativeEventResult = long;
#endif

// Makes a high-density screen scale the window and use the pictures drawn for it. Qt 6
// always does; Qt 5 must be asked before the application object exists.
inline void enableHighDpiScaling()
{
#if QT_VERSION_MAJOR < 6
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
#endif
}

// Dialogs get no "?" button in their title bars: the program offers no What's This help, so
// the button would do nothing. Qt 6 adds it to no dialog; Qt 5 must be told, before the
// first dialog exists.
inline void disableContextHelpButtons()
{
#if QT_VERSION_MAJOR < 6
    QCoreApplication::setAttribute(Qt::AA_DisableWindowContextHelpButton);
#endif
}

} // namespace marlune::qtcompat
