#pragma once

// Keeps Ctrl-C, a closed terminal and a plain kill from ending the program while an update
// is being written: the device would be left half-written. The window refuses to close
// while busy for the same reason. Each such signal only prints why it is ignored; the
// update ends by itself, since every exchange with the device is bounded. Only one guard
// exists at a time.
class UpdateInterruptGuard
{
public:
    // passOn, when given, hears of every refused signal, where the signal is handled: it
    // must do only what is safe there (InterruptNotifier::notifyFromHandler).
    explicit UpdateInterruptGuard(void (*passOn)() = nullptr);
    ~UpdateInterruptGuard();

    UpdateInterruptGuard(const UpdateInterruptGuard&) = delete;
    UpdateInterruptGuard& operator=(const UpdateInterruptGuard&) = delete;
};
