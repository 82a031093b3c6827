// The records of the streaming engine. Fields that the driver's callback thread
// shares with application threads are atomics; the tables handed to the driver by
// address (`bufferInfoTable`, `channelInfoTable`, `callbacks`) are plain, because
// the driver writes them in its own format. Which thread writes and which reads
// each shared field is told in engine.h.
#pragma once

#include <atomic>
#include <cstdint>

#include "driver/asio_types.h"
#include "driver/channel_mask.h"
#include "driver/sample_types.h"
#include "engine/driver_requests.h"
#include "engine/seam.h"

namespace asiochan {

constexpr int kMaxBufferInfos = 2 * kMaxChannels;  // outputs + inputs

// The bits of EngineState::running.
constexpr std::uint8_t kPlaybackRunning = 1;
constexpr std::uint8_t kCaptureRunning = 2;

// The library's own result codes beyond the driver's.
constexpr std::int32_t kStreamEnded = ASIOCHAN_STREAM_ENDED;
constexpr std::int32_t kDriverStuck = ASIOCHAN_DRIVER_STUCK;

// The capture state of one input channel.
struct CaptureChannel {
    std::atomic<std::uint8_t*> writePos{nullptr};  // key field: null = not armed
    std::atomic<std::uint8_t*> copyPos{nullptr};   // null = no shadow copy
    std::atomic<std::int32_t> framesLeft{0};
    std::atomic<std::uint8_t> done{0};              // 1 = free; 0 = armed or never reset
    std::atomic<std::uint8_t*> userStart{nullptr};  // the application's buffer
    std::atomic<std::uint8_t*> copyStart{nullptr};  // the engine's shadow copy (heap)
    std::atomic<std::int32_t> byteLength{0};
};

// The playback state of one output channel.
struct PlaybackChannel {
    std::atomic<std::uint8_t*> current{nullptr};  // engine-owned block being played
    std::atomic<std::uint8_t*> next{nullptr};     // engine-owned block queued behind
    std::atomic<std::uint8_t*> readPos{nullptr};  // key field: null = nothing playing
    std::atomic<std::int32_t> length{0};
    std::atomic<std::int32_t> nextLength{0};
    std::atomic<std::int32_t> readOffset{0};
    std::atomic<std::uint8_t> idle{0};  // 1 = no block; 0 = playing or never reset
};

struct EngineState {
    // Driver information.
    ASIODriverInfo initInfo{};
    std::atomic<std::int32_t> inputChannelCount{0};   // bounded to 0..kMaxChannels
    std::atomic<std::int32_t> outputChannelCount{0};  // bounded to 0..kMaxChannels
    std::atomic<std::int32_t> bufferSizeMin{0};
    std::atomic<std::int32_t> bufferSizeMax{0};
    std::atomic<std::int32_t> bufferSizePreferred{0};
    std::atomic<std::int32_t> bufferSizeGranularity{0};
    std::atomic<double> currentSampleRate{0.0};  // written by lifecycle calls, read by any
    std::atomic<std::uint8_t> outputReadySupported{0};
    std::atomic<std::int32_t> inputLatency{0};
    std::atomic<std::int32_t> outputLatency{0};
    std::atomic<std::int32_t> inputBufferCount{0};
    std::atomic<std::int32_t> outputBufferCount{0};
    ASIOBufferInfo bufferInfoTable[kMaxBufferInfos]{};
    ASIOChannelInfo channelInfoTable[kMaxBufferInfos]{};
    ASIOCallbacks callbacks{};
    std::atomic<std::int32_t> sampleSize[2]{};  // [0] inputs, [1] outputs, bytes per sample
    // Bytes per sample of each entry of bufferInfoTable as its channel query told
    // them at Prepare (0: no width, or the query failed). An entry whose width is
    // known and differs from its direction's sampleSize has a half-buffer of
    // another size than a period's byte count: the period processing skips it.
    std::atomic<std::int32_t> entryWidth[kMaxBufferInfos]{};
    // The sample type of each entry as its channel query told it at Prepare
    // (meaningful where entryWidth is not 0).
    std::atomic<ASIOSampleType> entryType[kMaxBufferInfos]{};

    // 1 from a Prepare whose buffer creation succeeded until the next Finish: the
    // driver may be calling the period processing. The driver session finishes
    // such a run before it releases the driver.
    std::atomic<std::uint8_t> runPrepared{0};
    // 1 from a Finish or Prepare whose wait for the driver's thread to leave the
    // library gave up: the driver's buffers were neither disposed of nor made, and
    // the driver object must not be released (its thread may still be inside the
    // library). A later Finish whose wait succeeds clears it; so does letting the
    // driver go (it is then leaked).
    std::atomic<std::uint8_t> driverStuck{0};

    // What the driver asked for during the run, and its period count.
    DriverRequests requests;

    // Run flags, kPlaybackRunning and kCaptureRunning, in one word that a period
    // reads once: a start of both directions sets them in one step, so they start
    // in the same period. Every start is also counted: the period processing clears
    // a flag when it found nothing left to do, and sets it again when the count
    // moved while it decided, so a start made meanwhile is not lost.
    SeamedAtomic<std::uint8_t> running{0};
    std::uint8_t playbackRunning() const { return (running.load(std::memory_order_acquire) & kPlaybackRunning) != 0; }
    std::uint8_t captureRunning() const { return (running.load(std::memory_order_acquire) & kCaptureRunning) != 0; }
    std::atomic<std::uint32_t> playbackStarts{0};
    std::atomic<std::uint32_t> captureStarts{0};

    // Channels an application thread is taking back from the period processing:
    // every period that sees a channel here leaves it alone.
    std::atomic<ChannelMask> playbackWithdrawn{0};
    std::atomic<ChannelMask> captureWithdrawn{0};
    // Inputs a stop could not take back: they were armed when its wait for the
    // periods gave up, so a period short of its memory mark may still write their
    // buffers. They read armed until every period that entered before `heldMark`
    // is done with memory; inputs that were free stay free. Arming a held input
    // (CaptureBuff taking it over) ends its hold: the new capture has its own
    // state. Shadow copies taken back while such a period may still write them
    // wait in `parkedCopies` for the same mark. Changed under the claim of the
    // channel concerned; `heldMark` only rises.
    std::atomic<ChannelMask> heldInputs{0};
    std::atomic<std::uint32_t> heldMark{0};
    std::atomic<std::uint8_t*> parkedCopies[kMaxChannels]{};

    // The channels the open stream holds (OpenStream to CloseStream): set and
    // cleared by the stream's calls under every claim; the periods leave them to
    // the stream's step.
    std::atomic<ChannelMask> streamInputs{0};
    std::atomic<ChannelMask> streamOutputs{0};

    // Channel records.
    CaptureChannel captureChannels[kMaxChannels]{};
    PlaybackChannel playbackChannels[kMaxChannels]{};
    std::atomic<std::uint8_t> canSendNext[kMaxChannels] = {1};  // flag 0 is 1 at load
};

}  // namespace asiochan
