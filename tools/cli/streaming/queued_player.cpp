#include "streaming/queued_player.h"

#include <algorithm>
#include <cstdio>

#include "asiochan.h"
#include "wav/player_word.h"
#include "wav/sample_codec.h"

namespace cli {

namespace {
// Two seconds a block, as the library's players: one playing and one queued leave
// the host seconds to hand over the next.
constexpr double kBlockSeconds = 2.0;
}  // namespace

std::uint64_t QueuedPlayer::left(std::uint64_t queued) const {
    if (plan_.loop) return UINT64_MAX;
    const std::uint64_t frames = plan_.wav.frames();
    return position_ + queued < frames ? frames - position_ - queued : 0;
}

bool QueuedPlayer::prime() {
    const std::uint64_t frames = plan_.wav.frames();
    if (frames == 0 || !hasPlayerWords(plan_.wav.bitsPerSample, plan_.wav.sampleFormat)) return false;
    const double rate = GetCurrentSampleRate();
    blockFrames_ = static_cast<std::uint64_t>(std::max(1.0, kBlockSeconds * (rate > 0 ? rate : 48000.0)));
    outputs_.clear();
    for (const Route& route : plan_.routes) {
        AsiochanChannelInfo info{};
        info.channel = static_cast<std::int32_t>(route.output);
        info.isInput = 0;
        std::uint8_t scratch[8];
        if (ASIOGetChannelInfo(&info) != ASIOCHAN_OK || encodeSample(0, info.type, scratch) == 0) return false;
        outputs_.push_back({route.output, route.fileChannel, info.type, 0});
    }
    rawFrom_ = UINT64_MAX;
    for (Output& output : outputs_)
        if (!queueBlock(output)) return false;
    periodsAtStart_ = GetPeriodCount();
    running_ = true;
    return true;
}

bool QueuedPlayer::start() {
    if (!prime()) return false;
    StartPlayback();
    feed();
    return true;
}

bool QueuedPlayer::queueBlock(Output& output) {
    const std::uint64_t n = std::min(blockFrames_, left(output.queued));
    if (n == 0) return true;
    const WavInfo& wav = plan_.wav;
    const std::size_t frameBytes = wav.frameBytes();
    if (rawFrom_ != output.queued || rawFrames_ != n) {
        // A loop turns round at the end of the file, as often as a block needs.
        raw_.clear();
        std::vector<std::uint8_t> piece;
        for (std::uint64_t done = 0; done < n;) {
            const std::uint64_t at = (position_ + output.queued + done) % wav.frames();
            const std::uint64_t count = std::min(n - done, wav.frames() - at);
            if (!readFrames(plan_.file, wav, at, static_cast<std::size_t>(count), &piece)) {
                std::fprintf(stderr, "error: cannot read %s again\n", plan_.file.c_str());
                return false;
            }
            raw_.insert(raw_.end(), piece.begin(), piece.end());
            done += count;
        }
        rawFrom_ = output.queued;
        rawFrames_ = n;
    }
    std::uint8_t scratch[8];
    const auto outWidth = static_cast<std::size_t>(encodeSample(0, output.type, scratch));
    const unsigned width = wav.bitsPerSample / 8u;
    block_.resize(static_cast<std::size_t>(n) * outWidth);
    for (std::size_t i = 0; i < n; ++i)
        encodeSample(playerWord(&raw_[i * frameBytes + output.fileChannel * width], width, plan_.volume, wav.isFloat()),
                     output.type, &block_[i * outWidth]);
    if (SetPlayBuffer(block_.data(), static_cast<std::int32_t>(block_.size()), output.channel) != ASIOCHAN_OK)
        return false;
    output.queued += n;
    return true;
}

void QueuedPlayer::feed() {
    if (!running_) return;
    bool ranDry = false;
    for (Output& output : outputs_) {
        if (left(output.queued) == 0 || !IsCanSendNextPlaybackBuffer(output.channel)) continue;
        ranDry = ranDry || !IsPortPlaybackRunning(output.channel);
        queueBlock(output);  // tried again at the next poll when refused
    }
    // An output that ran dry (the host was held up) has a gap; playback may have
    // stopped with it.
    if (ranDry) StartPlayback();
}

bool QueuedPlayer::inPlay() const {
    if (!running_) return false;
    for (const Output& output : outputs_)
        if (left(output.queued) > 0 || IsPortPlaybackRunning(output.channel)) return true;
    return false;
}

void QueuedPlayer::stop() {
    if (!running_) return;
    running_ = false;
    StopPlayback();
}

void QueuedPlayer::hold(const RunBreak& at) {
    const std::uint32_t periods = at.periods;
    const std::int32_t frames = at.frames;
    const std::uint64_t fileFrames = plan_.wav.frames();
    if (running_ && !outputs_.empty()) {
        running_ = false;
        // Playback began with the first period after the start: what played since,
        // at most what was handed over.
        std::uint64_t played =
            static_cast<std::uint64_t>(periods - periodsAtStart_) * static_cast<std::uint64_t>(frames > 0 ? frames : 0);
        for (const Output& output : outputs_) played = std::min(played, output.queued);
        position_ += played;
        if (plan_.loop && fileFrames > 0) position_ %= fileFrames;
    }
    finished_ = !plan_.loop && position_ >= fileFrames;
}

bool QueuedPlayer::resume() {
    if (finished_ || start()) return true;
    std::fprintf(stderr, "error: the player did not start again after the reset\n");
    return false;
}

}  // namespace cli
