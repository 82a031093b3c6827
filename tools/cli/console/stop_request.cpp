#include "console/stop_request.h"

namespace cli {

Reaction reactionTo(ConsoleSignal signal) {
    switch (signal) {
        case ConsoleSignal::ctrlC:
        case ConsoleSignal::ctrlBreak:
            return Reaction::stop;
        case ConsoleSignal::close:
        case ConsoleSignal::logoff:
        case ConsoleSignal::shutdown:
        case ConsoleSignal::endSession:
            return Reaction::stopAndWait;
        case ConsoleSignal::queryEndSession:
            return Reaction::allow;
        case ConsoleSignal::endSessionCanceled:
        case ConsoleSignal::other:
            break;
    }
    return Reaction::ignore;
}

bool StopRequest::handle(ConsoleSignal signal, std::chrono::milliseconds limit, void (*sleep)(std::uint32_t ms)) {
    const Reaction reaction = reactionTo(signal);
    if (reaction == Reaction::ignore) return false;
    if (reaction == Reaction::allow) return true;
    request();
    if (reaction == Reaction::stop) return true;
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!hasEnded() && std::chrono::steady_clock::now() < until) sleep(10);
    return true;
}

}  // namespace cli
