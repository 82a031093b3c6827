#include "engine/capture_dumps.h"

#include <cstdio>

#include "engine/channel_blocks.h"
#include "platform/platform.h"

namespace asiochan {

namespace {
// The longest single wait of a settle. Two settles waiting at once may reset each
// other's wake-up; the slice bounds what that costs.
constexpr std::uint32_t kSettleSliceMs = 10;

void writeDumpFile(const char* path, const std::uint8_t* bytes, std::int32_t byteLength) {
    std::FILE* file = platform::openFile(path, "wb");
    if (file == nullptr) return;
    if (bytes != nullptr && byteLength > 0) {
        std::fwrite(bytes, 1, static_cast<std::size_t>(byteLength), file);
        std::fflush(file);
    }
    std::fclose(file);
}
}  // namespace

void writeCaptureDump(std::uint32_t channel, const std::uint8_t* userStart, const std::uint8_t* copyStart,
                      std::int32_t byteLength) {
    char path[64];
    std::snprintf(path, sizeof path, "D:\\buffer_debug_%d_output.dat", static_cast<int>(channel));
    writeDumpFile(path, userStart, byteLength);
    std::snprintf(path, sizeof path, "D:\\buffer_debug_%d_internal.dat", static_cast<int>(channel));
    writeDumpFile(path, copyStart, byteLength);
}

void CaptureDumps::post(std::uint32_t channel, const std::uint8_t* userStart, std::uint8_t* copy,
                        std::int32_t byteLength, std::atomic<std::uint8_t>* done) noexcept {
    if (channel >= kChannels || slots_[channel].state.load(std::memory_order_acquire) != kFree) {
        // No slot to wait in: the copy goes with the retired blocks.
        overflow_.retire(copy);
        if (done != nullptr) done->store(1, std::memory_order_seq_cst);
        return;
    }
    Slot& slot = slots_[channel];
    slot.userStart.store(userStart, std::memory_order_relaxed);
    slot.copy.store(copy, std::memory_order_relaxed);
    slot.byteLength.store(byteLength, std::memory_order_relaxed);
    slot.done.store(done, std::memory_order_relaxed);
    pendingCount_.fetch_add(1, std::memory_order_acq_rel);
    slot.inFlight.fetch_add(1, std::memory_order_relaxed);
    slot.state.store(kPending, std::memory_order_release);  // publishes the fields
}

void CaptureDumps::write(std::uint32_t channel, Slot& slot) {
    std::uint8_t* copy = slot.copy.load(std::memory_order_relaxed);
    writeCaptureDump(channel, slot.userStart.load(std::memory_order_relaxed), copy,
                     slot.byteLength.load(std::memory_order_relaxed));
    releaseBlock(copy);
    std::atomic<std::uint8_t>* done = slot.done.load(std::memory_order_relaxed);
    slot.copy.store(nullptr, std::memory_order_relaxed);
    slot.userStart.store(nullptr, std::memory_order_relaxed);
    // The slot is free before the channel is handed back, so a capture armed and
    // completed again at once finds it free.
    slot.state.store(kFree, std::memory_order_release);
    pendingCount_.fetch_sub(1, std::memory_order_acq_rel);
    if (done != nullptr) done->store(1, std::memory_order_seq_cst);  // files closed: the channel is done
    slot.inFlight.fetch_sub(1, std::memory_order_seq_cst);
    if (settling_.load(std::memory_order_seq_cst) != 0) handedBack_.set();
}

std::uint32_t CaptureDumps::writePending(ChannelMask channels) {
    std::uint32_t written = 0;
    for (std::uint32_t i = 0; i < kChannels; ++i) {
        if (!hasChannel(channels, i)) continue;
        Slot& slot = slots_[i];
        std::uint8_t expected = kPending;
        if (slot.state.load(std::memory_order_relaxed) != kPending ||
            !slot.state.compare_exchange_strong(expected, kWriting, std::memory_order_acquire))
            continue;
        write(i, slot);
        ++written;
    }
    return written;
}

void CaptureDumps::settle(ChannelMask channels) {
    writePending(channels);
    for (std::uint32_t i = 0; i < kChannels; ++i) {
        if (!hasChannel(channels, i)) continue;
        // Another thread is writing this one: its files are being closed now, and
        // the channel is handed back right after.
        while (slots_[i].inFlight.load(std::memory_order_acquire) != 0) {
            if (writePending(ChannelMask{1} << i) != 0) continue;
            settling_.fetch_add(1, std::memory_order_seq_cst);
            handedBack_.reset();
            if (slots_[i].inFlight.load(std::memory_order_seq_cst) != 0) handedBack_.wait(kSettleSliceMs);
            settling_.fetch_sub(1, std::memory_order_seq_cst);
        }
    }
}

bool CaptureDumps::pending(std::uint32_t channel) const {
    return channel < kChannels && (slots_[channel].state.load(std::memory_order_acquire) != kFree ||
                                   slots_[channel].inFlight.load(std::memory_order_acquire) != 0);
}

}  // namespace asiochan
