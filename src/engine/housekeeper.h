// The library's own thread for the slow work the driver's thread must not do:
// writing the dump files of completed captures and releasing the blocks the
// period processing retired.
//
// Its polls sleep on a high-resolution timer where Windows has one, or with the
// system timer's resolution raised only while it polls (platform/poll_timer.h):
// at the default resolution a 2 ms sleep lasts about 15.6 ms.
//
// Waking. The periods hand work over (post a dump, retire a block) without a
// word to this thread: the driver's thread makes no call to the operating system
// for it (see engine.h). They hand work over only while a run flag, playback or
// capture running, is up. So the thread polls every kPollMs while a flag is up,
// a period is running, or a dump is pending; otherwise nothing can complete, and
// it sleeps on its event until an application call wakes it: a start (which
// raises a flag), arming a capture, Prepare, Finish (the end of the keep-alive)
// and a stop of the thread. A call changes what the thread reads before it wakes
// the thread, and the thread resets its event and looks once more before it
// sleeps, so a wake-up given between that look and the sleep ends the sleep at
// once. A period that clears a flag and sets it again (a start came as it
// decided) is running while the flag reads 0, which the look sees
// (PeriodGuard::quietSince).
//
// Lifetime. The engine owns it; an application call starts the thread when there
// is work ahead (Prepare, arming a capture). The thread runs while it is kept
// alive (a run is prepared) or has work; after a second with neither it ends by
// itself. An engine that goes (tests make and drop their own) stops it first. On Windows it holds a
// reference on the DLL and ends with FreeLibraryAndExitThread, so a FreeLibrary
// by the application returns at once and the DLL is unloaded only after the
// thread has finished its last dump; no library thread outlives the DLL, and no
// one waits for the thread inside DllMain (the object's destructor does nothing).
// When the thread cannot be started, serviceFromApplication does its work on the
// application's thread, at the application's next call into the library.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/capture_dumps.h"
#include "engine/channel_blocks.h"
#include "engine/period_guard.h"
#include "engine/stream_rings.h"
#include "platform/platform.h"
#include "platform/poll_timer.h"

namespace asiochan {

// What tells the thread whether the periods may still hand work over: the word
// of run flags under which they do (any bit up), and the period counters.
struct HandOverSigns {
    const std::atomic<std::uint8_t>& running;
    const PeriodGuard& periods;
};

class Housekeeper {
public:
    using ThreadStarter = bool (*)(platform::ThreadEntry entry, void* argument);
    static constexpr std::uint32_t kPollMs = 2;
    static constexpr std::uint32_t kIdleExitMs = 1000;

    Housekeeper(CaptureDumps& dumps, RetiredBlocks& retired, HandOverSigns signs,
                ThreadStarter startThread = &platform::startLibraryThread)
        : dumps_(dumps), retired_(retired), signs_(signs), startThread_(startThread) {}
    Housekeeper(const Housekeeper&) = delete;
    Housekeeper& operator=(const Housekeeper&) = delete;

    // Application thread: starts the thread unless it runs (then wakes it); false
    // when it could not.
    bool ensureRunning();
    // Application thread, after a call that may have made work: ends the thread's sleep.
    void wake() { wakeUp_.set(); }
    // While kept alive the thread does not end when idle.
    void setKeepAlive(bool keep);
    // Application thread, from calls that may find work waiting (polls, arming,
    // stops): restarts a thread that ended, or, when none can run, writes the
    // pending dumps and releases the retired blocks right here.
    void serviceFromApplication();
    // Application thread (never inside DllMain): asks the thread to end and waits
    // up to `timeoutMs` for it; true when no thread runs on return. Work left
    // is done by the next serviceFromApplication or ensureRunning.
    bool stop(std::uint32_t timeoutMs);
    bool running() const { return state_.load(std::memory_order_acquire) != kStopped; }

    // The stream's readers and writers that wait: while one does, the thread
    // polls and sets their events every round (the periods never signal).
    void wakeStreamsWith(StreamWake* wake) { streamWake_ = wake; }

    // One round of the thread's work; any thread but the driver's. True when there was any.
    bool doWork();

private:
    enum : std::uint8_t { kStopped = 0, kRunning = 1, kStopRequested = 2 };
    static void threadMain(void* self);
    void run();
    // True when a period may still hand work over; read before the work is looked at.
    bool periodsMayHandOver() const;

    CaptureDumps& dumps_;
    RetiredBlocks& retired_;
    HandOverSigns signs_;
    ThreadStarter startThread_;
    StreamWake* streamWake_ = nullptr;
    std::atomic<std::uint8_t> state_{kStopped};
    std::atomic<bool> keepAlive_{false};
    platform::PollTimer poll_;  // the polls' sleeps, the thread's own
    platform::Event wakeUp_;  // set by the application calls above; the thread sleeps on it
    platform::Event ended_;   // set by the thread just before it ends, for a stop that waits
};

}  // namespace asiochan
