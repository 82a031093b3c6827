// Setting and clearing the two run flags. The period processing clears a flag
// when it found nothing left to do; a start made by the application while that
// period was deciding must not be lost, so every start is also counted and the
// processing sets the flag again when the count moved under it.
#pragma once

#include <cstdint>

namespace asiochan {

void markPlaybackStarted();
void markCaptureStarted();

// Taken by the period processing before it looks at the channels.
std::uint32_t playbackStartCount();
std::uint32_t captureStartCount();

// Clear the flag unless a start was counted since `startCountSeen`.
void clearPlaybackRunningUnlessRestarted(std::uint32_t startCountSeen);
void clearCaptureRunningUnlessRestarted(std::uint32_t startCountSeen);

}  // namespace asiochan
