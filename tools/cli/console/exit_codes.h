// The exit codes of asiochan.exe.
#pragma once

namespace cli {

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // the driver or the engine failed
constexpr int kExitUsage = 2;    // bad arguments, missing driver, bad channel, unreadable file
// Not an exit code: a command's step went well, on to the next.
constexpr int kGoOn = -1;

}  // namespace cli
