#include "engine/stream_rings.h"

namespace asiochan {

bool StreamGaps::push(std::uint64_t at, std::uint64_t frames) {
    const std::uint32_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) >= kSlots) return false;
    at_[tail % kSlots].store(at, std::memory_order_relaxed);
    frames_[tail % kSlots].store(frames, std::memory_order_relaxed);
    tail_.store(tail + 1, std::memory_order_release);
    return true;
}

bool StreamGaps::full() const {
    return tail_.load(std::memory_order_relaxed) - head_.load(std::memory_order_acquire) >= kSlots;
}

bool StreamGaps::peek(std::uint64_t& at, std::uint64_t& frames) const {
    const std::uint32_t head = head_.load(std::memory_order_relaxed);
    if (tail_.load(std::memory_order_acquire) == head) return false;
    at = at_[head % kSlots].load(std::memory_order_relaxed);
    frames = frames_[head % kSlots].load(std::memory_order_relaxed);
    return true;
}

std::uint64_t StreamGaps::nextAfter(std::uint64_t frame) const {
    const std::uint32_t tail = tail_.load(std::memory_order_acquire);
    for (std::uint32_t i = head_.load(std::memory_order_acquire); i != tail; ++i) {
        const std::uint64_t at = at_[i % kSlots].load(std::memory_order_relaxed);
        if (at > frame) return at;
    }
    return UINT64_MAX;
}

void StreamGaps::pop() { head_.store(head_.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

void StreamEvents::push(std::uint32_t code, std::uint64_t frames, std::uint64_t position) {
    const std::uint32_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) >= kSlots) {
        lost_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    code_[tail % kSlots].store(code, std::memory_order_relaxed);
    frames_[tail % kSlots].store(static_cast<std::uint32_t>(frames > UINT32_MAX ? UINT32_MAX : frames),
                                 std::memory_order_relaxed);
    position_[tail % kSlots].store(position, std::memory_order_relaxed);
    tail_.store(tail + 1, std::memory_order_release);
}

bool StreamEvents::pop(AsiochanStreamEvent& event) {
    const std::uint32_t head = head_.load(std::memory_order_relaxed);
    if (tail_.load(std::memory_order_acquire) == head) return false;
    event.code = code_[head % kSlots].load(std::memory_order_relaxed);
    event.frames = frames_[head % kSlots].load(std::memory_order_relaxed);
    event.position = position_[head % kSlots].load(std::memory_order_relaxed);
    head_.store(head + 1, std::memory_order_release);
    return true;
}

std::uint32_t StreamEvents::pending() const {
    return tail_.load(std::memory_order_acquire) - head_.load(std::memory_order_acquire);
}

std::uint32_t StreamEvents::takeLost() {
    const std::uint32_t lost = lost_.load(std::memory_order_relaxed);
    const std::uint32_t fresh = lost - lostReported_;
    lostReported_ = lost;
    return fresh;
}

}  // namespace asiochan
