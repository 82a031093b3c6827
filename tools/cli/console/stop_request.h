// What the console and the session tell a running command, and how it answers:
// Ctrl+C and Ctrl+Break ask it to stop; closing the console window, logging off
// and shutting down ask it to stop and wait until it has closed its file and
// finished the run, since the process is ended as soon as the handler returns.
// Portable: the Windows glue (console_events.cpp) maps the system's events here.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace cli {

enum class ConsoleSignal {
    ctrlC,
    ctrlBreak,
    close,               // the console window is being closed
    logoff,              // a console event (not sent to programs that load user32)
    shutdown,            // the same
    queryEndSession,     // WM_QUERYENDSESSION to the hidden window
    endSession,          // WM_ENDSESSION, the session ends
    endSessionCanceled,  // WM_ENDSESSION, another program refused: nothing ends
    other,               // any other console event
};

enum class Reaction {
    ignore,       // not ours: the next handler (or the system's default) decides
    allow,        // answered yes, nothing to do
    stop,         // the command is asked to stop; the handler returns at once
    stopAndWait,  // asked to stop; the handler returns once the command has ended
};

Reaction reactionTo(ConsoleSignal signal);

class StopRequest {
public:
    // Any thread: asks the running command to stop.
    void request() { requested_.store(true, std::memory_order_release); }
    // The command polls it.
    bool requested() const { return requested_.load(std::memory_order_acquire); }
    // The command: it has ended (its file closed, the run finished, the driver let go).
    void ended() { ended_.store(true, std::memory_order_release); }
    bool hasEnded() const { return ended_.load(std::memory_order_acquire); }

    // The handler's whole work for `signal`: asks for the stop when the signal
    // calls for it and, for the ending ones, waits until the command has ended or
    // `limit` passed, calling `sleep` between looks. True when the signal was
    // handled here (the console's answer TRUE).
    bool handle(ConsoleSignal signal, std::chrono::milliseconds limit, void (*sleep)(std::uint32_t ms));

private:
    std::atomic<bool> requested_{false};
    std::atomic<bool> ended_{false};
};

// How long an ending signal holds the process for the command: the system ends a
// console program about 5 s after a close, a logoff or a shutdown anyway.
constexpr std::chrono::milliseconds kEndingWait{4000};

}  // namespace cli
