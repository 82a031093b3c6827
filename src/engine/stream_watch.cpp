// The stream's ending without a wait, and its stall watch. Every caller of the
// stream (reader, writer, state read, stop) passes here: a reset request ends a
// running stream at once, a stream being stopped is ended by whoever first finds
// no period inside it, and no period for the stall time raises one stall, once.
#include "engine/engine.h"
#include "engine/stream_rings.h"

namespace asiochan {

void Engine::beginEnding(StreamRings& s) {
    std::uint32_t phase = s.phase.load(std::memory_order_seq_cst);
    while (phase == kPhaseOpen || phase == kPhaseRunning) {
        if (s.phase.compare_exchange_weak(phase, kPhaseStopping, std::memory_order_seq_cst)) {
            // Every period that enters from here on sees Stopping and leaves the stream alone.
            s.stopMark.store(periods_.enteredMark(), std::memory_order_seq_cst);
            s.stopMarked.store(1, std::memory_order_seq_cst);
            return;
        }
    }
}

bool Engine::tryEnd(StreamRings& s) {
    const std::uint32_t phase = s.phase.load(std::memory_order_seq_cst);
    if (phase != kPhaseStopping) return phase == kPhaseEnded;
    if (s.stopMarked.load(std::memory_order_seq_cst) == 0 ||
        !periods_.doneSince(s.stopMark.load(std::memory_order_seq_cst)))
        return false;
    std::uint8_t none = 0;
    if (s.finisher.compare_exchange_strong(none, 1, std::memory_order_seq_cst))
        endStreamAt(s, s.position.load(std::memory_order_acquire));
    return s.phase.load(std::memory_order_seq_cst) == kPhaseEnded;
}

void Engine::watchStream(StreamRings& s) {
    std::uint32_t phase = s.phase.load(std::memory_order_seq_cst);
    // A reset request ends the stream at once, whether or not a period comes.
    if (phase == kPhaseRunning && state_.requests.resetPending()) {
        beginEnding(s);
        phase = kPhaseStopping;
    }
    if (phase == kPhaseStopping) {
        if (tryEnd(s)) stream_.wake.wakeAll();
        return;
    }
    if (phase != kPhaseRunning) return;
    // The stall watch: the period count with the millisecond it was first seen.
    const std::uint32_t entered = periods_.enteredMark();
    const auto nowMs = static_cast<std::uint32_t>(platform::monotonicMicros() / 1000);
    std::uint64_t w = s.watch.load(std::memory_order_acquire);
    if (static_cast<std::uint32_t>(w >> 32) != entered) {
        s.watch.compare_exchange_strong(w, std::uint64_t{entered} << 32 | nowMs, std::memory_order_acq_rel);
        return;
    }
    if (nowMs - static_cast<std::uint32_t>(w) < s.stallLimitMs) return;
    // Once per stall: the watch word names it.
    std::uint64_t raised = s.stallRaisedFor.load(std::memory_order_acquire);
    if (raised == w || !s.stallRaisedFor.compare_exchange_strong(raised, w, std::memory_order_acq_rel)) return;
    s.stallPosition.store(s.position.load(std::memory_order_acquire), std::memory_order_relaxed);
    s.stalls.fetch_add(1, std::memory_order_release);
    stream_.wake.wakeAll();
}

}  // namespace asiochan
