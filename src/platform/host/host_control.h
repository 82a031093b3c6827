// Test control of the host build's stand-ins for the operating system: which
// folder a Windows drive letter maps to, and (added by the driver-list tests) the
// in-memory registry, class table and USB device list.
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

}  // namespace asiochan::platform::host
