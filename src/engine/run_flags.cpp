#include "engine/run_flags.h"

#include <atomic>

#include "engine/engine_state.h"

namespace asiochan {

namespace {
std::atomic<std::uint32_t> playbackStarts{0};
std::atomic<std::uint32_t> captureStarts{0};

// Both sides store, then load the other side's field (all sequentially
// consistent): either the start sees the clear and its own store wins, or the
// clearing side sees the start and sets the flag again.
void clearUnlessRestarted(std::atomic<std::uint8_t>& flag, std::atomic<std::uint32_t>& starts,
                          std::uint32_t seen) {
    flag.store(0, std::memory_order_seq_cst);
    if (starts.load(std::memory_order_seq_cst) != seen) flag.store(1, std::memory_order_seq_cst);
}
}  // namespace

void markPlaybackStarted() {
    playbackStarts.fetch_add(1, std::memory_order_seq_cst);
    engine.playbackRunning.store(1, std::memory_order_seq_cst);
}

void markCaptureStarted() {
    captureStarts.fetch_add(1, std::memory_order_seq_cst);
    engine.captureRunning.store(1, std::memory_order_seq_cst);
}

std::uint32_t playbackStartCount() { return playbackStarts.load(std::memory_order_seq_cst); }
std::uint32_t captureStartCount() { return captureStarts.load(std::memory_order_seq_cst); }

void clearPlaybackRunningUnlessRestarted(std::uint32_t seen) {
    clearUnlessRestarted(engine.playbackRunning, playbackStarts, seen);
}

void clearCaptureRunningUnlessRestarted(std::uint32_t seen) {
    clearUnlessRestarted(engine.captureRunning, captureStarts, seen);
}

}  // namespace asiochan
