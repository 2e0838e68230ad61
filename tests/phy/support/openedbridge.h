#pragma once

#include "recordingd2xx.h"
#include "scriptedendpoint.h"

namespace marlune::testing {

// A link opened on one accepted bridge of the recording D2XX provider, the calls of the
// opening cleared: the start of most tests of a link over a bridge.
template <typename Link>
struct OpenedBridge
{
    explicit OpenedBridge(RecordingD2xx& d2xx)
        : position(d2xx.addBridge(QByteArrayLiteral("MARLUNE MLP-DEV"), &device))
    {
        link.openIndex(0);
        bytesOfOpening = device.received().size();
        d2xx.clearCalls();
    }

    ScriptedEndpoint device;
    const int position;
    Link link;
    // The line set-up the device received while the link opened.
    int bytesOfOpening = 0;
};

} // namespace marlune::testing
