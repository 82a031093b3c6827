// What the single- and multi-channel file players share: the record fields common
// to both, the worker thread that streams a WAV file to a set of output channels in
// two-second blocks through the playback channel service, and the parts of the
// start, stop and volume exports that are the same for both.
#pragma once

#include <atomic>
#include <cstdint>

#include "fileplay/wav_header.h"
#include "platform/abi.h"
#include "platform/platform.h"

namespace asiochan {

constexpr std::uint32_t kPlayerPathBytes = 200;  // the file name with its NUL

// The fields of a player record that the worker uses.
struct FilePlayerCore {
    constexpr explicit FilePlayerCore(std::atomic<std::uint32_t>* maskToClear) : heldMask(maskToClear) {}

    // Written by the start export only while no worker of this player runs, before
    // it creates the worker; read by the worker.
    char path[kPlayerPathBytes] = {};
    std::uint64_t channels = 0;  // bit i: output channel i is fed

    std::atomic<std::uint8_t> loop{0};
    std::atomic<std::uint8_t> run{0};     // set by a start, cleared by a stop
    std::atomic<std::uint8_t> inPlay{0};  // what the in-play query answers
    std::atomic<platform::ThreadHandle> thread{nullptr};  // the most recent worker
    std::atomic<std::uint32_t> threadId{0};
    std::atomic<float> volume{1.0f};
    std::atomic<bool> starting{false};  // a start export is running

    // The multi-channel player's channelMask, which the worker gives back when it
    // releases its channels and when it ends; null for the single-channel player.
    std::atomic<std::uint32_t>* const heldMask;
};

// The playback channel service as the worker calls it. The engine's operations by
// default; tests may put their own in place.
struct PlaybackService {
    std::int32_t(ASIOCHAN_CDECL* setPlayBuffer)(const void* data, std::int32_t byteLength, std::uint32_t channel);
    std::uint8_t(ASIOCHAN_CDECL* canSendNext)(std::uint32_t channel);
    void(ASIOCHAN_CDECL* startPlayback)();
    void (*releaseChannel)(std::uint32_t channel);
};
// Null restores the engine's service. Only while no worker runs.
void setPlaybackServiceForTests(const PlaybackService* service);

// The worker's pauses: 100 ms between polls and 2000 ms before it ends, so that
// the in-play flag stays up about as long as the last blocks play. Every pause is
// cut short once the player is stopped. Tests shorten them and pass these
// defaults back when done; nothing else calls the setter.
constexpr std::uint32_t kPlayerPollMs = 100;
constexpr std::uint32_t kPlayerFinalWaitMs = 2000;
void setPlayerTimingForTests(std::uint32_t pollMs, std::uint32_t finalWaitMs);

// The header of `path` when it reads and can be streamed: 8, 16 or 24 bits per
// sample and a nonzero sample rate. Prints the reader's message when it does not read.
bool readPlayableHeader(const char* path, WavHeader& header);

// What the worker derives from a header. Pass lengths are 64-bit: a file of 2^29
// frames or more has a pass of 2^31 output bytes or more.
struct StreamFormat {
    std::uint32_t bytesPerSample;
    std::uint32_t channels;    // a channel count of 0 counts as 1
    std::uint64_t passBytes;   // output bytes of one pass: whole frames x 4
    std::uint32_t blockBytes;  // two seconds of output samples: samp_freq x 8
};
// False when the header cannot be streamed: a width other than 8, 16 or 24 bits
// (the file may have changed since the start looked at it), a sample rate of 0, or
// a block beyond what the channel service takes in one buffer (a signed 32-bit
// byte count).
bool streamFormatOf(const WavHeader& header, StreamFormat& format);

// Steps of a start export shared by both players.
// True for a non-null name that fits the record's path with its NUL.
bool fitsPlayerPath(const char* path);
// Claims the start for this caller and makes sure no earlier worker of the player
// still runs: a worker that was stopped and is winding down is waited for (a
// bounded wait); one that is starting or playing makes the start fail. On success
// the caller must end with finishStart.
bool beginStart(FilePlayerCore& player);
// Copies the name into the record and checks the file: false when it is not
// playable (then the reader's message, if any, has been printed).
bool takePlayablePath(FilePlayerCore& player, const char* path);
// Sets loop and run and creates the worker; false (run cleared again) when the
// thread cannot be created.
bool launchWorker(FilePlayerCore& player, std::uint8_t loop);
void finishStart(FilePlayerCore& player);

// The stop export: clears run and inPlay and returns at once; the worker winds down
// on its own.
void stopPlayer(FilePlayerCore& player);
// The volume export: finite values from 0.0 up are stored; others are refused.
std::uint8_t setPlayerVolume(FilePlayerCore& player, float volume);

// Stops the player, waits for its worker to end, closes the handle and puts every
// field back to its load value. For tests that need a fresh player.
void resetPlayerForTests(FilePlayerCore& player);

}  // namespace asiochan
