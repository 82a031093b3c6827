// One of the library's file players, restarted where the file was after the run
// was restarted. The library's player restarts only at the beginning of a file,
// so the rest of the file (for a loop: the file turned round to start there) is
// written to a temporary WAV file and played instead.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "resumable.h"
#include "wav_file.h"

namespace cli {

struct PlayerSetup {
    std::string file;
    WavInfo wav;
    bool multi = false;  // MultipleChanel*: every channel of `mask`
    std::uint32_t mask = 0;
    std::uint32_t channel = 0;  // SingleChanel*: this channel
    bool loop = false;
    float volume = 1.0f;
};

class ResumablePlayer : public Resumable {
public:
    explicit ResumablePlayer(PlayerSetup setup) : setup_(std::move(setup)) {}
    ~ResumablePlayer() override;
    ResumablePlayer(const ResumablePlayer&) = delete;
    ResumablePlayer& operator=(const ResumablePlayer&) = delete;

    // Starts the player at the current place in the file; the player's answer.
    bool start();
    void stop();
    bool inPlay() const;
    // The run was held after `periods` periods of `frames` frames since start:
    // the place in the file moves on by what was played, and the player stops.
    // False when the file was played to its end.
    bool stopAfter(std::uint32_t periods, std::int32_t frames);
    // The file was played to its end before a reset: nothing is left to resume.
    bool finished() const { return finished_; }

    void hold(std::uint32_t periods, std::int32_t frames) override { finished_ = !stopAfter(periods, frames); }
    bool resume() override;
    void halt() override { stop(); }

private:
    bool writeRest(std::string* error);

    PlayerSetup setup_;
    std::uint64_t position_ = 0;          // frames of the file played
    std::uint32_t periodsAtStart_ = 0;    // the run's period count at start
    std::vector<std::string> restFiles_;  // temporary files written, newest last
    bool finished_ = false;
};

}  // namespace cli
