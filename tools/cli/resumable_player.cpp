#include "resumable_player.h"

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
    std::string path = setup_.file;
    if (position_ > 0) {
        std::string error;
        if (!writeRest(&error)) {
            std::fprintf(stderr, "error: %s\n", error.c_str());
            return false;
        }
        path = restFiles_.back();
    }
    periodsAtStart_ = GetPeriodCount();
    if (setup_.multi) {
        MultipleChanelSetVolume(setup_.volume);
        return MultipleChanelPlayStart(path.c_str(), setup_.mask, setup_.loop) != 0;
    }
    SingleChanelSetVolume(setup_.volume);
    return SingleChanelPlayStart(path.c_str(), setup_.channel, setup_.loop) != 0;
}

void ResumablePlayer::stop() {
    if (setup_.multi)
        MultipleChanelPlayStop();
    else
        SingleChanelPlayStop();
}

bool ResumablePlayer::inPlay() const { return setup_.multi ? IsMultipleInPlay() != 0 : IsSingleInPlay() != 0; }

bool ResumablePlayer::stopAfter(std::uint32_t periods, std::int32_t frames) {
    stop();
    const std::uint64_t fileFrames =
        setup_.wav.dataBytes / ((setup_.wav.bitsPerSample / 8u) * (setup_.wav.channels ? setup_.wav.channels : 1u));
    // The player's first block reaches the run a few periods after its start, so
    // this is a little ahead of what was heard.
    const std::uint64_t played =
        static_cast<std::uint64_t>(periods - periodsAtStart_) * static_cast<std::uint64_t>(frames > 0 ? frames : 0);
    position_ += played;
    if (setup_.loop && fileFrames > 0) position_ %= fileFrames;
    return setup_.loop || position_ < fileFrames;
}

bool ResumablePlayer::resume() {
    if (finished_ || start()) return true;
    std::fprintf(stderr, "error: the player did not start again after the reset\n");
    return false;
}

bool ResumablePlayer::writeRest(std::string* error) {
    const WavInfo& wav = setup_.wav;
    const unsigned width = wav.bitsPerSample / 8u;
    const unsigned frame = width * (wav.channels ? wav.channels : 1u);
    std::vector<std::uint8_t> data;
    if (!readSampleData(setup_.file, wav, &data)) {
        *error = "cannot read " + setup_.file + " again";
        return false;
    }
    // The players play a file's first channel: the rest is written mono, from the
    // place reached, and for a loop followed by the beginning.
    const std::size_t frames = data.size() / frame;
    const std::size_t from = static_cast<std::size_t>(position_ < frames ? position_ : frames);
    std::vector<std::uint8_t> rest;
    rest.reserve((frames - from + (setup_.loop ? from : 0)) * width);
    auto copy = [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i)
            rest.insert(rest.end(), data.begin() + static_cast<std::ptrdiff_t>(i * frame),
                        data.begin() + static_cast<std::ptrdiff_t>(i * frame + width));
    };
    copy(from, frames);
    if (setup_.loop) copy(0, from);
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
                    rest, error);
}

}  // namespace cli
