// The library's own thread for the slow work the driver's thread must not do:
// writing the dump files of completed captures and releasing the blocks the
// period processing retired. It polls every few milliseconds (the driver's
// thread never signals it: a signal is a system call that may block).
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
#include "platform/platform.h"

namespace asiochan {

class Housekeeper {
public:
    using ThreadStarter = bool (*)(platform::ThreadEntry entry, void* argument);
    static constexpr std::uint32_t kPollMs = 2;
    static constexpr std::uint32_t kIdleExitMs = 1000;

    constexpr Housekeeper(CaptureDumps& dumps, RetiredBlocks& retired,
                          ThreadStarter startThread = &platform::startLibraryThread)
        : dumps_(dumps), retired_(retired), startThread_(startThread) {}
    Housekeeper(const Housekeeper&) = delete;
    Housekeeper& operator=(const Housekeeper&) = delete;

    // Application thread: starts the thread unless it runs; false when it could not.
    bool ensureRunning();
    // While kept alive the thread does not end when idle.
    void setKeepAlive(bool keep) { keepAlive_.store(keep, std::memory_order_release); }
    // Application thread, from calls that may find work waiting (polls, arming,
    // stops): restarts a thread that ended, or, when none can run, writes the
    // pending dumps and releases the retired blocks right here.
    void serviceFromApplication();
    // Application thread (never inside DllMain): asks the thread to end and waits
    // up to `timeoutMs` for it; true when no thread runs on return. Work left
    // is done by the next serviceFromApplication or ensureRunning.
    bool stop(std::uint32_t timeoutMs);
    bool running() const { return state_.load(std::memory_order_acquire) != kStopped; }

    // One round of the thread's work; any thread but the driver's. True when there was any.
    bool doWork();

private:
    enum : std::uint8_t { kStopped = 0, kRunning = 1, kStopRequested = 2 };
    static void threadMain(void* self);
    void run();

    CaptureDumps& dumps_;
    RetiredBlocks& retired_;
    ThreadStarter startThread_;
    std::atomic<std::uint8_t> state_{kStopped};
    std::atomic<bool> keepAlive_{false};
};

}  // namespace asiochan
