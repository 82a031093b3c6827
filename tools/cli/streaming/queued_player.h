// Plays file channels on outputs in any order and on any output 0..63, which a
// player started with a channel mask cannot: the host converts blocks of each
// file channel into its output's sample type, as the library's players do, and
// queues them on each output with SetPlayBuffer, one playing and one queued, so
// every output plays gap-free. The first block of every output is handed over
// before playback starts, so all outputs start in the same period and stay aligned.
// It also plays the 32-bit integer and float files the players do not take.
#pragma once

#include <cstdint>
#include <vector>

#include "streaming/file_playback.h"

namespace cli {

class QueuedPlayer : public FilePlayback {
public:
    explicit QueuedPlayer(PlaybackPlan plan) : plan_(std::move(plan)) {}

    bool start() override;
    // Hands every output its first block without starting playback: the caller
    // starts it (capture --play with StartCaptureAndPlayback). False when refused.
    bool prime();
    void stop() override;
    bool inPlay() const override;
    void feed() override;
    bool finished() const override { return finished_; }

    void hold(const RunBreak& at) override;
    bool resume() override;
    void halt() override { stop(); }

private:
    struct Output {
        unsigned channel;
        unsigned fileChannel;
        std::int32_t type;
        std::uint64_t queued;  // frames handed over since the start
    };
    // Frames left to hand over after `queued` (all of them for a loop).
    std::uint64_t left(std::uint64_t queued) const;
    bool queueBlock(Output& output);

    PlaybackPlan plan_;
    std::vector<Output> outputs_;
    std::uint64_t position_ = 0;  // the place in the file this start began at
    std::uint64_t blockFrames_ = 0;
    std::uint32_t periodsAtStart_ = 0;
    bool running_ = false;
    bool finished_ = false;
    // The file frames read last, for the next output that takes the same block.
    std::uint64_t rawFrom_ = UINT64_MAX;
    std::uint64_t rawFrames_ = 0;
    std::vector<std::uint8_t> raw_;
    std::vector<std::uint8_t> block_;
};

}  // namespace cli
