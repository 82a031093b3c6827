// A bounded queue from one thread to one other, without locks: the producer
// pushes, the consumer pops, each side owns its counter.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace cli {

template <typename T>
class SpscRing {
public:
    explicit SpscRing(std::size_t capacity) : slots_(capacity > 0 ? capacity : 1) {}

    // Producer: false when full.
    bool push(const T& item) {
        const std::uint64_t tail = tail_.load(std::memory_order_relaxed);
        if (tail - head_.load(std::memory_order_acquire) >= slots_.size()) return false;
        slots_[static_cast<std::size_t>(tail % slots_.size())] = item;
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }
    // Consumer: false when empty.
    bool pop(T* item) {
        const std::uint64_t head = head_.load(std::memory_order_relaxed);
        if (head == tail_.load(std::memory_order_acquire)) return false;
        *item = slots_[static_cast<std::size_t>(head % slots_.size())];
        head_.store(head + 1, std::memory_order_release);
        return true;
    }
    // Items pushed so far, and popped so far (either side may read both).
    std::uint64_t pushed() const { return tail_.load(std::memory_order_acquire); }
    std::uint64_t popped() const { return head_.load(std::memory_order_acquire); }

private:
    std::vector<T> slots_;
    std::atomic<std::uint64_t> head_{0};
    std::atomic<std::uint64_t> tail_{0};
};

}  // namespace cli
