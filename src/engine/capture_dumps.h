// The dump files of completed captures, taken off the driver's thread. The
// period processing posts a completed channel here instead of writing its two
// files; the library's thread (or, failing that, the application's next call)
// writes them, releases the channel's shadow copy, and only then sets the
// channel's `done` flag. Until then the channel reads as still capturing, so an
// application that waited for done finds both files written and closed, and
// nothing reads its buffer after done.
//
// One slot per input channel bounds the work: a channel cannot complete again
// before its dump is written, because it is handed back (`done`) only after.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/channel_blocks.h"
#include "engine/engine_state.h"
#include "platform/platform.h"

namespace asiochan {

class CaptureDumps {
public:
    static constexpr std::uint32_t kChannels = kMaxChannels;

    // `overflow` takes the copy of a post that finds no free slot, since the
    // driver's thread may not release it.
    explicit CaptureDumps(RetiredBlocks& overflow) : overflow_(overflow) {}
    CaptureDumps(const CaptureDumps&) = delete;
    CaptureDumps& operator=(const CaptureDumps&) = delete;

    // Driver's thread, for a channel that just completed: records what its dump
    // needs and takes over its shadow copy block (`copy`, may be null). No heap,
    // no lock, no wait. `done` is the channel's flag, set once the files are
    // closed. A channel out of range, or one whose earlier dump is still pending
    // (the caller broke the hand-back rule), is handed back at once without a dump.
    void post(std::uint32_t channel, const std::uint8_t* userStart, std::uint8_t* copy, std::int32_t byteLength,
              std::atomic<std::uint8_t>* done) noexcept;

    // Any thread but the driver's: writes the pending dumps of `channels` that no
    // other thread is writing, and hands those channels back. Returns how many.
    std::uint32_t writePending(ChannelMask channels = kAllChannels);

    // Application thread, before it takes channels back (re-arming, stopping,
    // finishing): writes their pending dumps and waits for those another thread
    // is writing right now, so none is left in flight on return. A completed
    // capture's dump is always kept: its data is complete.
    void settle(ChannelMask channels);

    bool pending(std::uint32_t channel) const;
    // Dumps posted and not yet written (and handed back).
    std::uint32_t pendingCount() const { return pendingCount_.load(std::memory_order_acquire); }

private:
    enum : std::uint8_t { kFree = 0, kPending = 1, kWriting = 2 };
    struct Slot {
        std::atomic<std::uint8_t> state{kFree};
        std::atomic<const std::uint8_t*> userStart{nullptr};
        std::atomic<std::uint8_t*> copy{nullptr};
        std::atomic<std::int32_t> byteLength{0};
        std::atomic<std::atomic<std::uint8_t>*> done{nullptr};
        // Posts whose writer has not yet handed the channel back. The slot is
        // free again a moment before `done` is set; until this drops to 0 a
        // settle must not let the channel be armed, or the late `done` would
        // mark the new capture as finished while it still runs.
        std::atomic<std::uint32_t> inFlight{0};
    };

    void write(std::uint32_t channel, Slot& slot);

    RetiredBlocks& overflow_;
    Slot slots_[kChannels];
    std::atomic<std::uint32_t> pendingCount_{0};
    // Settles waiting for another thread's write; a writer that hands a channel
    // back while one waits sets the event.
    std::atomic<std::uint32_t> settling_{0};
    platform::Event handedBack_;
};

// Writes "D:\buffer_debug_<channel>_output.dat" from `userStart` and
// "D:\buffer_debug_<channel>_internal.dat" from `copyStart`, `byteLength` bytes
// each; a null start makes an empty file, a file that cannot be opened is skipped.
void writeCaptureDump(std::uint32_t channel, const std::uint8_t* userStart, const std::uint8_t* copyStart,
                      std::int32_t byteLength);

}  // namespace asiochan
