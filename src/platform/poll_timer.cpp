#include "platform/poll_timer.h"

namespace asiochan::platform {

// The thread ends its polls itself (end()). One still polling here was ended by
// the process's exit, which also ends the raised resolution: nothing is called in
// another module then, as it may have gone before this one.
PollTimer::~PollTimer() {
    if (timer_ != nullptr) closeTimer(timer_);
}

void PollTimer::sleepMs(std::uint32_t milliseconds) {
    if (!polling_) {
        polling_ = true;
        if (!looked_) {
            looked_ = true;
            timer_ = createHighResolutionTimer();
        }
        if (timer_ == nullptr) raised_ = raiseTimerResolution();
    }
    if (timer_ != nullptr)
        waitOnTimer(timer_, milliseconds * 1000u);
    else
        platform::sleepMs(milliseconds);
}

void PollTimer::end() {
    if (!polling_) return;
    polling_ = false;
    if (raised_) restoreTimerResolution();
    raised_ = false;
}

}  // namespace asiochan::platform
