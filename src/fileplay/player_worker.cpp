#include "fileplay/player_worker.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>

#include "engine/playback.h"
#include "fileplay/sample_conversion.h"

namespace asiochan {

namespace {

constexpr PlaybackService kEngineService{SetPlayBuffer, IsCanSendNextPlaybackBuffer, StartPlayback,
                                         ReleasePlaybackChannel};
std::atomic<const PlaybackService*> serviceOverride{nullptr};

const PlaybackService& service() {
    const PlaybackService* s = serviceOverride.load(std::memory_order_acquire);
    return s ? *s : kEngineService;
}

std::atomic<std::uint32_t> pollMs{kPlayerPollMs};
std::atomic<std::uint32_t> finalWaitMs{kPlayerFinalWaitMs};

// How long a start waits for a stopped worker to wind down. A stopped worker ends
// within one pause slice, or after the block it is converting.
constexpr std::uint32_t kRetireWaitMs = 3000;
constexpr std::uint32_t kPauseSliceMs = 10;

// Sleeps `ms` in short slices and returns early once the player has been stopped:
// a stopped worker only winds down, so nothing it does after a pause depends on
// the pause's length.
void pause(const FilePlayerCore& player, std::uint32_t ms) {
    const std::uint64_t end = platform::monotonicMicros() + std::uint64_t{ms} * 1000;
    while (player.run.load()) {
        const std::uint64_t now = platform::monotonicMicros();
        if (now >= end) return;
        const auto leftMs = static_cast<std::uint32_t>((end - now + 999) / 1000);
        platform::sleepMs(std::min(leftMs, kPauseSliceMs));
    }
}

// Calls `action(channel)` for every channel of `channels`, lowest first.
template <typename Action>
void forEachChannel(std::uint64_t channels, Action action) {
    for (std::uint32_t i = 0; i < 64; ++i)
        if (channels & (std::uint64_t{1} << i)) action(i);
}

// Waits until every channel can take a further block. False when the player was
// stopped while a channel could not: then nothing is to be queued.
bool waitForChannels(const FilePlayerCore& player, std::uint64_t channels) {
    const PlaybackService& svc = service();
    for (;;) {
        bool ready = true;
        for (std::uint32_t i = 0; i < 64 && ready; ++i)
            if ((channels & (std::uint64_t{1} << i)) && svc.canSendNext(i) != 1) ready = false;
        if (ready) return true;
        if (!player.run.load()) return false;
        pause(player, pollMs.load());
    }
}

void giveBackMask(FilePlayerCore& player) {
    if (player.heldMask) player.heldMask->store(0);
}

// Plays one pass from the converter's stream. Returns after the last block of the
// pass, or after giving the channels back when the player was stopped.
void playPass(FilePlayerCore& player, const StreamFormat& format, FrameConverter& converter,
              std::uint8_t* block) {
    const PlaybackService& svc = service();
    const std::uint64_t channels = player.channels;
    std::uint64_t produced = 0;
    while (produced < format.passBytes) {
        if (waitForChannels(player, channels)) {
            const auto count =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(format.passBytes - produced, format.blockBytes));
            converter.convert(block, count / kOutputSampleBytes, player.volume);
            forEachChannel(channels, [&](std::uint32_t i) {
                svc.setPlayBuffer(block, static_cast<std::int32_t>(count), i);
            });
            svc.startPlayback();
            produced += count;
        }
        if (!player.run.load()) {
            forEachChannel(channels, [&](std::uint32_t i) { svc.releaseChannel(i); });
            giveBackMask(player);
            return;
        }
        pause(player, pollMs.load());
    }
}

// The end of every worker: the player reads idle again. `run` goes before
// `inPlay`, so a start that sees inPlay 0 and this worker still alive also sees
// run 0 and waits for it rather than refusing.
void endWorker(FilePlayerCore& player) {
    player.run.store(0);
    giveBackMask(player);
    player.inPlay.store(0);
}

void workerMain(void* argument) {
    FilePlayerCore& player = *static_cast<FilePlayerCore*>(argument);

    WavHeader header;
    StreamFormat format{};
    if (!ReadWavHeader(player.path, header) || !streamFormatOf(header, format)) {
        endWorker(player);
        return;
    }
    std::uint8_t* block = new (std::nothrow) std::uint8_t[format.blockBytes];
    FrameConverter converter;
    if (block == nullptr || !converter.init(format.bytesPerSample, format.channels)) {
        delete[] block;
        endWorker(player);
        return;
    }

    // In play from here. Raised before run is read: a stop that lands in between
    // clears it after us, and a stop seen here ends the worker within moments.
    player.inPlay.store(1);
    bool again = player.run.load() != 0;
    if (!again) pause(player, pollMs.load());

    std::FILE* stream = nullptr;
    while (again) {
        if (stream) std::fclose(stream);
        stream = platform::openFile(player.path, "rb");
        // A file that went away (or cannot be positioned) ends the playing as if
        // the last pass had been played.
        if (stream == nullptr || std::fseek(stream, header.dataOffset, SEEK_SET) != 0) break;
        converter.reset(stream);
        playPass(player, format, converter, block);
        pause(player, pollMs.load());
        again = player.run.load() && player.loop.load();
    }

    pause(player, finalWaitMs.load());
    endWorker(player);
    if (stream) std::fclose(stream);
    delete[] block;
}

}  // namespace

void setPlaybackServiceForTests(const PlaybackService* s) { serviceOverride.store(s, std::memory_order_release); }

void setPlayerTimingForTests(std::uint32_t poll, std::uint32_t finalWait) {
    pollMs.store(poll);
    finalWaitMs.store(finalWait);
}

bool readPlayableHeader(const char* path, WavHeader& header) {
    if (!ReadWavHeader(path, header)) return false;
    const bool widthOk = header.bit_samp == 8 || header.bit_samp == 16 || header.bit_samp == 24;
    return widthOk && header.samp_freq != 0;
}

namespace {
// The length of `text` when it is below `limit`, else `limit`; reads no further.
std::size_t boundedLength(const char* text, std::size_t limit) {
    std::size_t n = 0;
    while (n < limit && text[n] != '\0') ++n;
    return n;
}
}  // namespace

bool streamFormatOf(const WavHeader& header, StreamFormat& format) {
    format.bytesPerSample = header.bit_samp / 8u;
    if (header.bit_samp % 8 != 0 || format.bytesPerSample < 1 || format.bytesPerSample > 3) return false;
    format.channels = std::max<std::uint32_t>(header.channels, 1);
    const std::uint64_t frameBytes = std::uint64_t{format.bytesPerSample} * format.channels;
    format.passBytes = header.length / frameBytes * kOutputSampleBytes;
    const std::uint64_t block = std::uint64_t{header.samp_freq} * 2 * kOutputSampleBytes;
    if (block == 0 || block > INT32_MAX) return false;
    format.blockBytes = static_cast<std::uint32_t>(block);
    return true;
}

bool fitsPlayerPath(const char* path) {
    return path != nullptr && boundedLength(path, kPlayerPathBytes) < kPlayerPathBytes;
}

bool beginStart(FilePlayerCore& player) {
    if (player.starting.exchange(true)) return false;
    platform::ThreadHandle previous = player.thread.load();
    if (previous != nullptr) {
        if (!platform::waitThread(previous, 0)) {
            // Alive with run set: starting or playing. Alive with run clear: stopped
            // and winding down, which takes no longer than a pause slice or a block.
            if (player.run.load() || !platform::waitThread(previous, kRetireWaitMs)) {
                player.starting.store(false);
                return false;
            }
        }
        platform::closeThread(previous);
        player.thread.store(nullptr);
    }
    return true;
}

bool takePlayablePath(FilePlayerCore& player, const char* path) {
    std::memset(player.path, 0, sizeof player.path);
    std::memcpy(player.path, path, boundedLength(path, kPlayerPathBytes - 1));
    WavHeader header;
    return readPlayableHeader(player.path, header);
}

bool launchWorker(FilePlayerCore& player, std::uint8_t loop) {
    player.loop.store(loop ? 1 : 0);
    player.run.store(1);
    player.thread.store(nullptr);
    std::uint32_t id = 0;
    platform::ThreadHandle handle = platform::startThread(workerMain, &player, &id);
    if (handle == nullptr) {
        player.run.store(0);
        return false;
    }
    player.threadId.store(id);
    player.thread.store(handle);
    return true;
}

void finishStart(FilePlayerCore& player) { player.starting.store(false); }

void stopPlayer(FilePlayerCore& player) {
    player.run.store(0);
    player.inPlay.store(0);
}

std::uint8_t setPlayerVolume(FilePlayerCore& player, float volume) {
    if (!std::isfinite(volume) || volume < 0.0f) return 0;
    player.volume.store(volume);
    return 1;
}

void resetPlayerForTests(FilePlayerCore& player) {
    stopPlayer(player);
    if (platform::ThreadHandle t = player.thread.exchange(nullptr)) {
        platform::waitThread(t, 60000);
        platform::closeThread(t);
    }
    std::memset(player.path, 0, sizeof player.path);
    player.channels = 0;
    player.loop.store(0);
    player.threadId.store(0);
    player.volume.store(1.0f);
    player.starting.store(false);
    giveBackMask(player);
}

}  // namespace asiochan
