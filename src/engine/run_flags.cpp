// The starts of playback and capture: the run flags the periods read once each.
#include "engine/seam.h"
#include "engine/engine.h"

namespace asiochan {

// The start counts go first, then the flags in one change of the word: a period
// reads the word once, so it sees every flag of this start or none of them, and
// a period clearing a flag as it ends sees a count that moved and sets it again.
void Engine::markStarted(std::uint8_t flags) {
    if (flags & kPlaybackRunning) state_.playbackStarts.fetch_add(1, std::memory_order_seq_cst);
    if (flags & kCaptureRunning) state_.captureStarts.fetch_add(1, std::memory_order_seq_cst);
    ASIOCHAN_SEAM("start: before the run flags");
    state_.running.fetch_or(flags, std::memory_order_seq_cst);
    // The periods may now retire blocks and complete captures: the library's
    // thread looks after them.
    housekeeper_.wake();
}

void Engine::startPlayback() { markStarted(kPlaybackRunning); }
void Engine::startCapture() { markStarted(kCaptureRunning); }
void Engine::startCaptureAndPlayback() { markStarted(kPlaybackRunning | kCaptureRunning); }

}  // namespace asiochan
