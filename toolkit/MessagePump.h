#pragma once

namespace orvex {

// A quit request met while pumping messages.
struct TQuitRequest {
    bool seen = false;
    int exitCode = 0;
};

// Asks the application's message loop to end with exitCode. The request
// travels as a message, behind those already waiting, so work that pumps
// messages itself meets it on the way (see ProcessMessages).
void PostQuitMessage(int exitCode);

// Dispatches the messages waiting for the calling (window) thread, for work
// that runs long inside an event handler and keeps the window responsive.
// A quit request met among them (PostQuitMessage, or the application's own
// quit) is not carried out here but posted again, so that the outer message
// loop still ends, and reported to the caller, who is expected to wind up.
// Without an application object there is nothing to pump.
TQuitRequest ProcessMessages();

} // namespace orvex
