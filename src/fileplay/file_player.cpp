#include "fileplay/file_player.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>

#include "engine/seam.h"

namespace asiochan {

namespace {

// How long a start waits for a stopped worker to wind down. A stopped worker ends
// at once from a pause, or after the block it is converting.
constexpr std::uint32_t kRetireWaitMs = 3000;
// How long a player going away waits for its worker.
constexpr std::uint32_t kEndWaitMs = 60000;

// The length of `text` when it is below `limit`, else `limit`; reads no further.
std::size_t boundedLength(const char* text, std::size_t limit) {
    std::size_t n = 0;
    while (n < limit && text[n] != '\0') ++n;
    return n;
}

// Calls `action(channel)` for every channel of `channels`, lowest first.
template <typename Action>
void forEachChannel(ChannelMask channels, Action action) {
    for (std::uint32_t i = 0; i < kMaxChannels; ++i)
        if (hasChannel(channels, i)) action(i);
}

// The file channel that output `channel` of `channels` plays: mapped, the number of
// channels of the set below it (a mono file's one channel on all); else the first.
std::uint32_t fileChannelOf(ChannelMask channels, std::uint32_t channel, bool mapped, std::uint32_t fileChannels) {
    if (!mapped || fileChannels <= 1) return 0;
    return static_cast<std::uint32_t>(std::popcount(channels & ((ChannelMask{1} << channel) - 1)));
}

}  // namespace

bool streamFormatOf(const WavHeader& header, std::uint32_t sampleBytes, StreamFormat& format) {
    format.bytesPerSample = header.bit_samp / 8u;
    if (header.bit_samp % 8 != 0 || format.bytesPerSample < 1 || format.bytesPerSample > 3) return false;
    format.channels = std::max<std::uint32_t>(header.channels, 1);
    const std::uint64_t frameBytes = std::uint64_t{format.bytesPerSample} * format.channels;
    format.passFrames = header.dataBytes / frameBytes;
    const std::uint64_t blockFrames = std::uint64_t{header.samp_freq} * 2;
    if (blockFrames == 0 || sampleBytes == 0 || blockFrames * sampleBytes > INT32_MAX) return false;
    format.blockFrames = static_cast<std::uint32_t>(blockFrames);
    return true;
}

FilePlayer::FilePlayer(PlaybackPort& port) : port_(port) {}

FilePlayer::~FilePlayer() { retire(kEndWaitMs); }

bool FilePlayer::retire(std::uint32_t timeoutMs) {
    stop();
    platform::ThreadHandle t = thread_.load();
    if (t == nullptr) return true;
    if (!platform::waitThread(t, timeoutMs)) return false;
    platform::closeThread(thread_.exchange(nullptr));
    return true;
}

void FilePlayer::setTiming(std::uint32_t pollMs, std::uint32_t finalWaitMs) {
    pollMs_.store(pollMs);
    finalWaitMs_.store(finalWaitMs);
}

std::uint8_t FilePlayer::startOnChannel(const char* path, std::uint32_t channel, std::uint8_t loop) {
    if (channel >= kMaxChannels) return 0;
    return start(path, ChannelMask{1} << channel, loop);
}

// The channels' sample types in the prepared run, when the periods feed every
// one of them in a type the samples can be laid out in.
bool FilePlayer::playableTypes(ChannelMask channels, ASIOSampleType (&types)[kMaxChannels],
                               std::uint32_t& shape) const {
    // Without a prepared run no period would ever take the blocks.
    if (channels == 0 || !port_.fedOutputTypes(channels, types, shape)) return false;
    for (std::uint32_t i = 0; i < kMaxChannels; ++i)
        if (hasChannel(channels, i) && sampleLayoutWidth(types[i]) == 0) return false;
    return true;
}

std::uint8_t FilePlayer::start(const char* path, ChannelMask channels, std::uint8_t loop) {
    return startPlaying(path, channels, loop, false);
}

std::uint8_t FilePlayer::startMapped(const char* path, ChannelMask channels, std::uint8_t loop) {
    return startPlaying(path, channels, loop, true);
}

std::uint8_t FilePlayer::startPlaying(const char* path, ChannelMask channels, std::uint8_t loop, bool mapped) {
    if (inPlay()) return 0;
    if (path == nullptr || boundedLength(path, kPlayerPathBytes) >= kPlayerPathBytes) return 0;
    // Every channel must be one the periods feed, in a type the samples can take;
    // the types are read in one look at one run.
    ASIOSampleType types[kMaxChannels] = {};
    std::uint32_t shape = 0;
    if (!playableTypes(channels, types, shape)) return 0;
    if (!beginStart()) return 0;
    bool started = false;
    // A worker that ended gave its channels back; one that still holds them is
    // the only reason the set can be taken here.
    ChannelMask none = 0;
    // The outputs are held from here on: a stream cannot take one before the
    // worker queues its first block.
    if (heldChannels_.compare_exchange_strong(none, channels)) {
        if (!port_.holdOutputs(channels)) {
            heldChannels_.store(0);
        } else {
            std::memset(path_, 0, sizeof path_);
            std::memcpy(path_, path, boundedLength(path, kPlayerPathBytes - 1));
            WavHeader header;
            // Mapped, the highest channel of the set needs its file channel.
            const auto highest = static_cast<std::uint32_t>(std::bit_width(channels) - 1);
            if (readWavHeader(path_, header) && isPlayableHeader(header) &&
                fileChannelOf(channels, highest, mapped, header.channels) <
                    std::max<std::uint32_t>(header.channels, 1)) {
                channels_ = channels;
                mapped_ = mapped;
                std::memcpy(types_, types, sizeof types_);
                shape_ = shape;
                started = launchWorker(loop);
            }
            if (!started) giveChannelsBack();
        }
    }
    starting_.store(false);
    return started ? 1 : 0;
}

void FilePlayer::stop() {
    run_.store(0);
    inPlay_.store(0);
    stopped_.set();
}

std::uint8_t FilePlayer::setVolume(float volume) {
    if (!std::isfinite(volume) || volume < 0.0f) return 0;
    volume_.store(volume);
    return 1;
}

// Claims the start for this caller and makes sure no earlier worker of the player
// still runs: a worker that was stopped and is winding down is waited for (a
// bounded wait); one that is starting or playing makes the start fail.
bool FilePlayer::beginStart() {
    if (starting_.exchange(true)) return false;
    platform::ThreadHandle previous = thread_.load();
    if (previous != nullptr) {
        if (!platform::waitThread(previous, 0)) {
            // Alive with run set: starting or playing. Alive with run clear: stopped
            // and winding down, which takes no longer than the block it converts.
            if (run_.load() || !platform::waitThread(previous, kRetireWaitMs)) {
                starting_.store(false);
                return false;
            }
        }
        platform::closeThread(previous);
        thread_.store(nullptr);
    }
    return true;
}

// Sets loop and run and creates the worker; false (run cleared again) when the
// thread cannot be created.
bool FilePlayer::launchWorker(std::uint8_t loop) {
    loop_.store(loop ? 1 : 0);
    stopped_.reset();
    run_.store(1);
    platform::ThreadHandle handle = platform::startThread(workerMain, this, nullptr);
    if (handle == nullptr) {
        run_.store(0);
        return false;
    }
    thread_.store(handle);
    return true;
}

// Waits `ms`, or less once the player has been stopped: a stopped worker only
// winds down, so nothing it does after a pause depends on the pause's length.
void FilePlayer::pause(std::uint32_t ms) {
    if (run_.load()) stopped_.wait(ms);
}

// Waits until every channel can take a further block. False when the player was
// stopped while a channel could not: then nothing is to be queued.
bool FilePlayer::waitForChannels() {
    for (;;) {
        bool ready = true;
        for (std::uint32_t i = 0; i < kMaxChannels && ready; ++i)
            if (hasChannel(channels_, i) && port_.canSendNext(i) != 1) ready = false;
        if (ready) return true;
        if (!run_.load()) return false;
        pause(pollMs_.load());
    }
}

// One block per sample type and file channel among the channels, two seconds long
// in that type's width. False when a block cannot be allocated (those made are
// freed), or when a channel's file channel is not in the file (it changed since the
// start looked at it).
bool FilePlayer::makeBlocks(const StreamFormat& format, Blocks& blocks) const {
    for (std::uint32_t i = 0; i < kMaxChannels; ++i) {
        if (!hasChannel(channels_, i)) continue;
        const std::uint32_t source = fileChannelOf(channels_, i, mapped_, format.channels);
        std::uint32_t t = 0;
        while (t < blocks.count && (blocks.targets[t].type != types_[i] || blocks.targets[t].channel != source)) ++t;
        if (t == blocks.count) {
            const std::uint32_t width = sampleLayoutWidth(types_[i]);
            std::uint8_t* block = width != 0 && t < FrameConverter::kMaxTargets && source < format.channels
                                      ? new (std::nothrow) std::uint8_t[std::size_t{format.blockFrames} * width]
                                      : nullptr;
            if (block == nullptr) {
                for (std::uint32_t k = 0; k < blocks.count; ++k) delete[] blocks.targets[k].out;
                blocks.count = 0;
                return false;
            }
            blocks.targets[t] = {types_[i], block, source};
            blocks.widths[t] = width;
            ++blocks.count;
        }
        blocks.targetOf[i] = t;
    }
    return true;
}

// Whether the blocks may be queued into the run as it is now. A new shape (a
// Finish, a Prepare, a new driver) is looked at once: while no run is prepared
// the player waits; a run that gives every channel the type its blocks are laid
// out in is followed; any other ends the player.
FilePlayer::Follow FilePlayer::followRun() {
    const std::uint32_t seen = port_.shape();
    if (seen == shape_) return Follow::play;
    ASIOSampleType types[kMaxChannels] = {};
    std::uint32_t shape = 0;
    // A run prepared after the look (its shape is new) is looked at next round,
    // not taken for the run the look refused.
    if (!playableTypes(channels_, types, shape))
        return port_.runPrepared() && port_.shape() == seen ? Follow::end : Follow::wait;
    for (std::uint32_t i = 0; i < kMaxChannels; ++i)
        if (hasChannel(channels_, i) && types[i] != types_[i]) return Follow::end;
    shape_ = shape;
    return Follow::play;
}

// Plays one pass from the converter's stream. True after the last block of the
// pass; false after giving the channels back when the player was stopped, or
// when a new run no longer takes its blocks.
bool FilePlayer::playPass(const StreamFormat& format, FrameConverter& converter, const Blocks& blocks) {
    std::uint64_t produced = 0;
    while (produced < format.passFrames) {
        const Follow follow = waitForChannels() ? followRun() : Follow::wait;
        if (follow == Follow::end) return false;
        if (follow == Follow::play) {
            const auto frames =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(format.passFrames - produced, format.blockFrames));
            // Where a worker is slow to queue its first block (host-build tests).
            ASIOCHAN_SEAM("player: before a block");
            // The file's samples are converted once, then laid out once per type.
            converter.convertInto(blocks.targets, blocks.count, frames, volume_);
            // A shape changed since followRun refuses the blocks (they are laid out
            // for the run before, which dropped its blocks); the next round looks
            // at the new run.
            forEachChannel(channels_, [&](std::uint32_t i) {
                const std::uint32_t t = blocks.targetOf[i];
                port_.setPlayBufferOfShape(blocks.targets[t].out, static_cast<std::int32_t>(frames * blocks.widths[t]),
                                           i, shape_);
            });
            port_.startPlayback();
            produced += frames;
        }
        if (!run_.load()) {
            forEachChannel(channels_, [&](std::uint32_t i) { port_.releasePlaybackChannel(i); });
            giveChannelsBack();
            return false;
        }
        pause(pollMs_.load());
    }
    return true;
}

// The end of every worker: the player reads idle again. `run` goes before
// `inPlay`, so a start that sees inPlay 0 and this worker still alive also sees
// run 0 and waits for it rather than refusing.
void FilePlayer::endWorker() {
    run_.store(0);
    giveChannelsBack();
    inPlay_.store(0);
}

void FilePlayer::giveChannelsBack() {
    if (const ChannelMask held = heldChannels_.exchange(0)) port_.releaseOutputs(held);
}

void FilePlayer::workerMain(void* self) {
    FilePlayer& player = *static_cast<FilePlayer*>(self);

    std::uint32_t sampleBytes = 0;
    forEachChannel(player.channels_,
                   [&](std::uint32_t i) { sampleBytes = std::max(sampleBytes, sampleLayoutWidth(player.types_[i])); });
    WavHeader header;
    StreamFormat format{};
    if (!readWavHeader(player.path_, header) || !streamFormatOf(header, sampleBytes, format)) {
        player.endWorker();
        return;
    }
    Blocks blocks;
    FrameConverter converter;
    if (!converter.init(format.bytesPerSample, format.channels) || !player.makeBlocks(format, blocks)) {
        player.endWorker();
        return;
    }

    // In play from here. Raised before run is read: a stop that lands in between
    // clears it after us, and a stop seen here ends the worker within moments.
    player.inPlay_.store(1);
    bool again = player.run_.load() != 0;
    if (!again) player.pause(player.pollMs_.load());

    std::FILE* stream = nullptr;
    while (again) {
        if (stream) std::fclose(stream);
        stream = platform::openFile(player.path_, "rb");
        // A file that went away (or cannot be positioned) ends the playing as if
        // the last pass had been played.
        if (stream == nullptr || std::fseek(stream, header.dataOffset, SEEK_SET) != 0) break;
        converter.reset(stream);
        if (!player.playPass(format, converter, blocks)) break;
        player.pause(player.pollMs_.load());
        again = player.run_.load() && player.loop_.load();
    }

    player.pause(player.finalWaitMs_.load());
    player.endWorker();
    if (stream) std::fclose(stream);
    for (std::uint32_t t = 0; t < blocks.count; ++t) delete[] blocks.targets[t].out;
}

}  // namespace asiochan
