// A file player: streams a WAV file to a set of output channels, once or in a
// loop, at a volume of its own, on a worker thread that hands two-second blocks to
// the playback channel service. Every channel of the set plays the file's first
// channel, or, started mapped, the file's channels in turn. The single-channel
// player is a player whose set holds one channel.
#pragma once

#include <atomic>
#include <cstdint>

#include "driver/asio_types.h"
#include "driver/channel_mask.h"
#include "engine/playback_port.h"
#include "fileplay/sample_conversion.h"
#include "fileplay/wav_header.h"
#include "platform/platform.h"

namespace asiochan {

constexpr std::uint32_t kPlayerPathBytes = 200;  // the file name with its NUL

// The worker's pauses: 100 ms between polls and 2000 ms before it ends, so that
// the in-play flag stays up about as long as the last blocks play. Every pause is
// cut short once the player is stopped.
constexpr std::uint32_t kPlayerPollMs = 100;
constexpr std::uint32_t kPlayerFinalWaitMs = 2000;

// What the worker derives from a header. Pass lengths are 64-bit: a file may hold
// 2^32 frames and more.
struct StreamFormat {
    std::uint32_t bytesPerSample;
    std::uint32_t channels;     // a channel count of 0 counts as 1
    std::uint64_t passFrames;   // whole frames of one pass
    std::uint32_t blockFrames;  // two seconds: samp_freq x 2
};
// False when the header cannot be streamed into samples of `sampleBytes` bytes: a
// width other than 8, 16 or 24 bits (the file may have changed since the start
// looked at it), a sample rate of 0, or a block beyond what the channel service
// takes in one buffer (a signed 32-bit byte count).
bool streamFormatOf(const WavHeader& header, std::uint32_t sampleBytes, StreamFormat& format);

// Threads: start, stop, setVolume and inPlay are called by application threads;
// the worker reads the record and writes `run`, `inPlay` and `heldChannels_`.
class FilePlayer {
public:
    // `port` tells the prepared run's output types and takes the blocks (the
    // engine itself, or a test's stand-in).
    explicit FilePlayer(PlaybackPort& port);
    // Retires the player.
    ~FilePlayer();
    FilePlayer(const FilePlayer&) = delete;
    FilePlayer& operator=(const FilePlayer&) = delete;

    // 1 when the worker was started; 0 when the player is in play or still busy,
    // no run is prepared, the set is empty or names a channel at or beyond the
    // run's outputs or one the periods do not feed (see PlaybackPort::fedOutputTypes),
    // an earlier worker still holds its channels, the name is null or 200 bytes or
    // longer, or the file is not playable. Each channel gets the file's samples in
    // its own sample type. A new run is followed while it gives every channel the
    // same type; one that does not ends the worker as after its last pass.
    std::uint8_t start(const char* path, ChannelMask channels, std::uint8_t loop);
    // The same, but the i-th lowest channel of the set plays the file's channel i
    // (the file's further channels are not played), and a mono file plays on every
    // channel. 0 as well for a file with more than one channel but fewer than the set.
    std::uint8_t startMapped(const char* path, ChannelMask channels, std::uint8_t loop);
    // The same for one channel: 0 for a channel at or beyond the output count.
    std::uint8_t startOnChannel(const char* path, std::uint32_t channel, std::uint8_t loop);
    // Clears run and in-play at once and wakes a pausing worker; the worker gives
    // the channels back and winds down on its own.
    void stop();
    // Stops the player, waits up to `timeoutMs` for its worker to end and gives
    // the worker's handle back; false when the worker is still running.
    bool retire(std::uint32_t timeoutMs = 60000);
    // 1 when stored; 0 for a negative or non-finite volume, which leaves it as it was.
    std::uint8_t setVolume(float volume);
    std::uint8_t inPlay() const { return inPlay_.load(); }

    // What the record holds, for callers that observe a player.
    float volume() const { return volume_.load(); }
    const char* path() const { return path_; }
    ChannelMask channels() const { return channels_; }
    ChannelMask heldChannels() const { return heldChannels_.load(); }
    std::uint8_t running() const { return run_.load(); }

    // The pauses between polls and before the worker ends.
    void setTiming(std::uint32_t pollMs, std::uint32_t finalWaitMs);

private:
    static void workerMain(void* self);
    std::uint8_t startPlaying(const char* path, ChannelMask channels, std::uint8_t loop, bool mapped);
    bool beginStart();
    bool launchWorker(std::uint8_t loop);
    void pause(std::uint32_t ms);
    bool waitForChannels();
    // The blocks of one pass's conversion: one per sample type and file channel
    // among the channels.
    struct Blocks {
        FrameConverter::Target targets[FrameConverter::kMaxTargets];
        std::uint32_t widths[FrameConverter::kMaxTargets];
        std::uint32_t count = 0;
        std::uint32_t targetOf[kMaxChannels];  // which block feeds a channel
    };
    bool makeBlocks(const StreamFormat& format, Blocks& blocks) const;
    bool playPass(const StreamFormat& format, FrameConverter& converter, const Blocks& blocks);
    void endWorker();
    // Clears heldChannels_ and releases the outputs the start held.
    void giveChannelsBack();
    bool playableTypes(ChannelMask channels, ASIOSampleType (&types)[kMaxChannels], std::uint32_t& shape) const;
    enum class Follow { play, wait, end };
    Follow followRun();

    PlaybackPort& port_;

    // Written by start only while no worker of this player runs, before it creates
    // the worker; read by the worker.
    char path_[kPlayerPathBytes] = {};
    ChannelMask channels_ = 0;                 // bit i: output channel i is fed
    bool mapped_ = false;                      // the i-th channel plays the file's channel i
    ASIOSampleType types_[kMaxChannels] = {};  // the sample type of each fed channel
    // The run's shape the types were read in; the worker follows it to a new
    // run that keeps the types (and then writes it itself).
    std::uint32_t shape_ = 0;

    std::atomic<std::uint8_t> loop_{0};
    std::atomic<std::uint8_t> run_{0};     // set by a start, cleared by a stop
    std::atomic<std::uint8_t> inPlay_{0};  // what the in-play query answers
    std::atomic<float> volume_{1.0f};
    std::atomic<bool> starting_{false};  // a start is running
    // Nonzero from a start until the worker gives the channels back: while it is
    // set, no other start takes channels.
    std::atomic<ChannelMask> heldChannels_{0};
    std::atomic<platform::ThreadHandle> thread_{nullptr};  // the most recent worker
    platform::Event stopped_;                              // set by a stop: every pause of the worker ends at once
    std::atomic<std::uint32_t> pollMs_{kPlayerPollMs};
    std::atomic<std::uint32_t> finalWaitMs_{kPlayerFinalWaitMs};
};

}  // namespace asiochan
