#include "endsessioneventfilter.h"

// Log-off and shut-down arrive here as termination signals (TerminationSignalNotifier), not
// as native window messages.
bool EndSessionEventFilter::nativeEventFilter(const QByteArray&, void*, marlune::qtcompat::NativeEventResult*)
{
    return false;
}
