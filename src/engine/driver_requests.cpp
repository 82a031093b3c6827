#include "engine/driver_requests.h"

#include <bit>

namespace asiochan {

void DriverRequests::noteSampleRate(double rate) {
    rateBits_.store(std::bit_cast<std::uint64_t>(rate), std::memory_order_release);
    note(kRequestSampleRate);
}

double DriverRequests::lastSampleRate() const {
    return std::bit_cast<double>(rateBits_.load(std::memory_order_acquire));
}

void DriverRequests::startRun() {
    bits_.store(0, std::memory_order_release);
    streamNotices_.store(0, std::memory_order_release);
    resetPending_.store(0, std::memory_order_release);
    periods_.store(0, std::memory_order_release);
    skipped_.restart();
    rateBits_.store(0, std::memory_order_release);
}

}  // namespace asiochan
