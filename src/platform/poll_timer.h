// The short sleeps of the library's thread while it polls: on a high-resolution
// waitable timer where the system has one; otherwise plain sleeps with the
// system timer's resolution raised to 1 ms from the first sleep of a poll to its
// end, and restored after, so that the raise lasts only while work is under way
// (a capture or playback running, a stream's reader or writer waiting).
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace asiochan::platform {

class PollTimer {
public:
    PollTimer() = default;
    // Closes the timer; a poll not ended is left to the process's end.
    ~PollTimer();
    PollTimer(const PollTimer&) = delete;
    PollTimer& operator=(const PollTimer&) = delete;

    // One sleep of a poll; the first begins the poll. One thread only.
    void sleepMs(std::uint32_t milliseconds);
    // The poll ends (the thread sleeps on its event, or ends): a raised
    // resolution is restored. Nothing when no poll runs.
    void end();

private:
    WaitableTimer timer_ = nullptr;
    bool looked_ = false;  // for the timer, once
    bool polling_ = false;
    bool raised_ = false;
};

}  // namespace asiochan::platform
