#include "streaming/resumable_player.h"

#include <windows.h>

#include <cstdio>

#include "asiochan.h"

namespace cli {

ResumablePlayer::~ResumablePlayer() {
    if (restFiles_.empty()) return;
    stop();
    for (const std::string& file : restFiles_) DeleteFileA(file.c_str());
}

bool ResumablePlayer::start() {
    std::string path = plan_.file;
    if (position_ > 0) {
        std::string error;
        if (!writeRest(&error)) {
            std::fprintf(stderr, "error: %s\n", error.c_str());
            return false;
        }
        path = restFiles_.back();
    }
    periodsAtStart_ = GetPeriodCount();
    const std::uint8_t loop = plan_.loop ? 1 : 0;
    if (kind_ != Kind::single) {
        MultipleChanelSetVolume(plan_.volume);
        return (kind_ == Kind::mapped ? MultipleChanelPlayStartMapped(path.c_str(), mask_, loop)
                                      : MultipleChanelPlayStart(path.c_str(), mask_, loop)) != 0;
    }
    SingleChanelSetVolume(plan_.volume);
    return SingleChanelPlayStart(path.c_str(), plan_.routes[0].output, loop) != 0;
}

void ResumablePlayer::stop() {
    if (kind_ == Kind::single)
        SingleChanelPlayStop();
    else
        MultipleChanelPlayStop();
}

bool ResumablePlayer::inPlay() const { return kind_ == Kind::single ? IsSingleInPlay() != 0 : IsMultipleInPlay() != 0; }

void ResumablePlayer::hold(const RunBreak& at) {
    const std::uint32_t periods = at.periods;
    const std::int32_t frames = at.frames;
    stop();
    const std::uint64_t fileFrames = plan_.wav.frames();
    // The player's first block reaches the run a few periods after its start, so
    // this is a little ahead of what was heard.
    const std::uint64_t played =
        static_cast<std::uint64_t>(periods - periodsAtStart_) * static_cast<std::uint64_t>(frames > 0 ? frames : 0);
    position_ += played;
    if (plan_.loop && fileFrames > 0) position_ %= fileFrames;
    finished_ = !plan_.loop && position_ >= fileFrames;
}

bool ResumablePlayer::resume() {
    if (finished_ || start()) return true;
    std::fprintf(stderr, "error: the player did not start again after the reset\n");
    return false;
}

bool ResumablePlayer::writeRest(std::string* error) {
    const WavInfo& wav = plan_.wav;
    const unsigned frame = wav.frameBytes();
    // The mapped player plays every channel; the others the first.
    const unsigned kept = kind_ == Kind::mapped ? frame : wav.bitsPerSample / 8u;
    std::vector<std::uint8_t> data;
    if (!readSampleData(plan_.file, wav, &data)) {
        *error = "cannot read " + plan_.file + " again";
        return false;
    }
    // The rest from the place reached, and for a loop followed by the beginning.
    const std::size_t frames = data.size() / frame;
    const std::size_t from = static_cast<std::size_t>(position_ < frames ? position_ : frames);
    std::vector<std::uint8_t> rest;
    rest.reserve((frames - from + (plan_.loop ? from : 0)) * kept);
    auto copy = [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i)
            rest.insert(rest.end(), data.begin() + static_cast<std::ptrdiff_t>(i * frame),
                        data.begin() + static_cast<std::ptrdiff_t>(i * frame + kept));
    };
    copy(from, frames);
    if (plan_.loop) copy(0, from);
    // A new file each time: a stopped player may still be reading the last one.
    char folder[MAX_PATH];
    const DWORD n = GetTempPathA(sizeof folder, folder);
    if (n == 0 || n >= sizeof folder) {
        *error = "no folder for temporary files";
        return false;
    }
    restFiles_.push_back(std::string(folder) + "asiochan-rest-" + std::to_string(GetCurrentProcessId()) + "-" +
                         std::to_string(restFiles_.size()) + ".wav");
    return writeWav(restFiles_.back(), wav.formatTag == 0xFFFE ? 1 : wav.formatTag, wav.sampleRate, wav.bitsPerSample,
                    rest, error, static_cast<std::uint16_t>(kept / (wav.bitsPerSample / 8u)));
}

}  // namespace cli
