// Test control of the host build's stand-ins for the operating system: which
// folder a Windows drive letter maps to, and counts of the calls that may block or
// wake a thread. The registry, class table and USB device list are in
// host_system_control.h.
#pragma once

#include <cstdint>
#include <string>

namespace asiochan::platform::host {

// Paths that begin with "<letter>:\" are opened under `folder` instead, with the
// backslashes turned into slashes. An empty folder removes the mapping, and such
// paths then fail to open as they would on a machine without that drive.
void mapDrive(char letter, const std::string& folder);

// The path a Windows path is opened under in the host build.
std::string hostPath(const char* windowsPath);

// Calls on the calling thread of the stand-ins that may block on Windows: file
// opens, sleeps, yields, thread waits, mutex locks and event waits. Lets tests prove that a thread (the
// driver's) makes none of them.
std::uint64_t blockingCallsOnThisThread();
void countBlockingCall();

// The library's own threads (those of startLibraryThread), all together: the
// waits they began (event waits and sleeps; each one that ends is a wake-up), and
// how many of them wait without a time limit right now.
std::uint64_t libraryThreadWaits();
int libraryThreadsAsleep();
// For the stand-ins: a wait begins or ends on the calling thread.
void noteWaitBegins(bool withoutLimit);
void noteWaitEnds(bool withoutLimit);

// The high-resolution timer stand-in: whether the "system" has one (from now
// on; it has by default), timers made and not closed, and waits on them; and the
// timer resolution's raises in force now and made in all.
void setHighResolutionTimerAvailable(bool available);
int highResolutionTimersOpen();
std::uint64_t highResolutionTimerWaits();
int timerResolutionRaisesInForce();
std::uint64_t timerResolutionRaisesMade();

// Event sets made on the calling thread.
std::uint64_t eventSetsOnThisThread();

}  // namespace asiochan::platform::host
