// One of the library's file players, restarted where the file was after the run
// was restarted. The library's player restarts only at the beginning of a file,
// so the rest of the file (for a loop: the file turned round to start there) is
// written to a temporary WAV file and played instead.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "streaming/file_playback.h"

namespace cli {

class ResumablePlayer : public FilePlayback {
public:
    enum class Kind {
        single,  // SingleChanel*: the file's first channel on one output
        multi,   // MultipleChanel*: the file's first channel on every output of the mask
        mapped,  // MultipleChanelPlayStartMapped: file channel i on the i-th lowest output of the mask
    };
    ResumablePlayer(PlaybackPlan plan, Kind kind, std::uint32_t mask)
        : plan_(std::move(plan)), kind_(kind), mask_(mask) {}
    ~ResumablePlayer() override;
    ResumablePlayer(const ResumablePlayer&) = delete;
    ResumablePlayer& operator=(const ResumablePlayer&) = delete;

    bool start() override;
    void stop() override;
    bool inPlay() const override;
    bool finished() const override { return finished_; }

    void hold(const RunBreak& at) override;
    bool resume() override;
    void halt() override { stop(); }

private:
    bool writeRest(std::string* error);

    PlaybackPlan plan_;
    Kind kind_;
    std::uint32_t mask_;
    std::uint64_t position_ = 0;          // frames of the file played
    std::uint32_t periodsAtStart_ = 0;    // the run's period count at start
    std::vector<std::string> restFiles_;  // temporary files written, newest last
    bool finished_ = false;
};

}  // namespace cli
