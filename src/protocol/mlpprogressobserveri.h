#pragma once

namespace marlune::MLP {

// Told by MLPConnection how far a transfer has come; called on the thread that runs it.
class MLPProgressObserverI
{
public:
    virtual ~MLPProgressObserverI();

    // Total payload bytes received so far; no transaction of the connection produces it yet.
    virtual void bytesReceived(int total) = 0;

    // Total payload bytes sent so far in the current write, after each segment.
    virtual void bytesSent(int total) = 0;
};

} // namespace marlune::MLP
