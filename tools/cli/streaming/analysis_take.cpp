#include "streaming/analysis_take.h"

#include <algorithm>
#include <string>

#include "asiochan.h"

namespace cli {

namespace {
using Clock = std::chrono::steady_clock;

std::string numbered(const char* before, unsigned long long n, const char* after) {
    return before + std::to_string(n) + after;
}

// What the blocks of a take have told so far; the first fault decides.
class TakeWatch {
public:
    explicit TakeWatch(std::uint64_t played) : played_(played) {}

    void events(const AsiochanStreamBlock& b) {
        const std::uint32_t count = std::min<std::uint32_t>(b.eventCount, ASIOCHAN_STREAM_BLOCK_EVENTS);
        for (std::uint32_t i = 0; i < count; ++i) event(b.events[i]);
        if (b.eventsLost != 0) broken("events were lost: the take cannot be vouched for");
    }
    void event(const AsiochanStreamEvent& e) {
        const auto at = static_cast<unsigned long long>(e.position);
        if (e.code & ASIOCHAN_REQUEST_RESET) broken(numbered("the driver asked for a reset at frame ", at, ""));
        if (e.code & ASIOCHAN_REQUEST_SAMPLE_RATE) broken(numbered("the sample rate changed at frame ", at, ""));
        if (e.code & ASIOCHAN_STREAM_EVENT_OVERFLOW)
            broken(numbered("inputs dropped ", e.frames, " frames") + numbered(" at frame ", at, ""));
        // Silence after the timeline's last frame changes nothing measured.
        if ((e.code & ASIOCHAN_STREAM_EVENT_UNDERRUN) && e.position < played_)
            broken(numbered("outputs played ", e.frames, " frames of silence") + numbered(" at frame ", at, ""));
        if (e.code & ASIOCHAN_STREAM_EVENT_END) broken(numbered("the stream ended at frame ", at, ""));
        if (e.code & ASIOCHAN_REQUEST_SKIPPED_PERIODS)
            skipped(numbered("the driver skipped ", e.frames, " frames") + numbered(" at frame ", at, ""));
        if (e.code & ASIOCHAN_REQUEST_RESYNC) skipped(numbered("the driver lost its timing at frame ", at, ""));
    }
    // A block's gap: its `lost`, and for inputs a position past the one expected.
    // Where the driver said it skipped periods the take is already `skipped`;
    // anything else is frames lost.
    void gap(const char* side, std::uint64_t expected, const AsiochanStreamBlock& b, bool positioned) {
        if (b.lost == 0 && (!positioned || b.position == expected)) return;
        const unsigned long long lost = b.lost != 0 ? b.lost : b.position - expected;
        broken(std::string(side) + numbered(" lost ", lost, " frames") +
               numbered(" before frame ", static_cast<unsigned long long>(b.position), ""));
    }
    void broken(const std::string& why) { note(TakeOutcome::Kind::broken, why); }
    void failed(const std::string& why) { note(TakeOutcome::Kind::failed, why); }
    void interrupted() { note(TakeOutcome::Kind::interrupted, "stopped"); }
    void skipped(const std::string& why) { note(TakeOutcome::Kind::skipped, why); }
    bool fine() const { return outcome_.kind == TakeOutcome::Kind::whole; }
    const TakeOutcome& outcome() const { return outcome_; }

private:
    void note(TakeOutcome::Kind kind, const std::string& why) {
        if (fine()) outcome_ = {kind, why};
    }
    std::uint64_t played_;
    TakeOutcome outcome_;
};

// The timeline's frames as the stream takes them, a chunk at a time.
class Renderer {
public:
    Renderer(const Timeline& t, std::size_t chunk) : t_(t), values_(chunk * t.pairs), samples_(chunk * t.pairs) {}
    // The frames from `position` on (silence past the timeline's end).
    const std::int32_t* at(std::uint64_t position) {
        if (position != first_) {
            first_ = position;
            t_.render(position, values_.size() / t_.pairs, values_.data());
            std::transform(values_.begin(), values_.end(), samples_.begin(), toTakeSample);
        }
        return samples_.data();
    }

private:
    const Timeline& t_;
    std::vector<double> values_;
    std::vector<std::int32_t> samples_;
    std::uint64_t first_ = UINT64_MAX;
};

// What a stalled take tells: whether the device's position still moved (the
// frames did not reach the ring) or stood still (the driver stopped calling).
std::string stallMessage(StreamCalls& stream, std::chrono::milliseconds after) {
    AsiochanStreamState state{};
    state.size = sizeof state;
    std::string text = "no audio came for " + std::to_string(after.count()) + " ms: the driver stalled";
    if (stream.state(&state) == ASIOCHAN_OK)
        text += " (the stream at frame " + std::to_string(state.position) + ", " + std::to_string(state.recorded) +
                " recorded, " + std::to_string(state.dropped) + " dropped, " + std::to_string(state.played) +
                " played)";
    return text;
}

std::string refused(const char* call, std::int32_t code) {
    return std::string("the library refused ") + call + ": " + AsiochanErrorText(code) + " (code " + std::to_string(code) +
           ")";
}

AsiochanStreamConfig takeConfig(const std::vector<ChannelPair>& pairs) {
    AsiochanStreamConfig config{};
    config.size = sizeof config;
    config.format = ASIOCHAN_STREAM_INT32;
    config.inputCount = config.outputCount = static_cast<std::int32_t>(std::min<std::size_t>(pairs.size(), 64));
    for (std::size_t p = 0; p < pairs.size() && p < 64; ++p) {
        config.outputs[p] = static_cast<std::uint8_t>(pairs[p].output);
        config.inputs[p] = static_cast<std::uint8_t>(pairs[p].input);
    }
    return config;
}

// The frames of one take moved between the timeline, the open stream and the
// sink; every fault goes to the watch, which then stops the take.
class TakeLoop {
public:
    TakeLoop(StreamCalls& stream, const Timeline& timeline, const StreamTakeOptions& options, TakeWatch& watch)
        : stream_(stream),
          options_(options),
          watch_(watch),
          chunk_(static_cast<std::size_t>(std::max<std::int32_t>(options.chunkFrames, 1))),
          renderer_(timeline, chunk_),
          recorded_(chunk_ * timeline.pairs),
          wanted_(timeline.recordedFrames()) {}

    // Writes what the output ring takes now, without waiting: the timeline, then
    // silence while the recording goes on. Stops at the first fault it sees.
    void feed() {
        for (;;) {
            AsiochanStreamBlock block = emptyBlock();
            const auto count = static_cast<std::int32_t>(chunk_);
            const std::int32_t moved = stream_.write(renderer_.at(written_), count, 0, &block);
            if (moved < 0) {
                if (moved == ASIOCHAN_STREAM_ENDED)
                    watch_.broken("the stream ended while playing");
                else
                    watch_.failed(refused("a write", moved));
                return;
            }
            watch_.events(block);
            if (moved > 0) watch_.gap("outputs", written_, block, false);
            written_ += static_cast<std::uint64_t>(moved);
            if (moved < count || !watch_.fine()) return;
        }
    }

    // From the start on: no frame for stallAfter is a stall.
    void started() { lastFrame_ = Clock::now(); }
    bool done() const { return read_ >= wanted_; }

    // Reads what has come (waiting a little) and hands it to the sink; false when
    // the take stops here (a fault, or the sink has what it needs).
    bool read(TakeSink& sink) {
        AsiochanStreamBlock block = emptyBlock();
        const auto want = static_cast<std::int32_t>(std::min<std::uint64_t>(chunk_, wanted_ - read_));
        const std::int32_t got = stream_.read(recorded_.data(), want, options_.readWaitMs, &block);
        if (got < 0) {
            if (got == ASIOCHAN_STREAM_ENDED)
                watch_.broken("the stream ended before the take did");
            else
                watch_.failed(refused("a read", got));
            return false;
        }
        watch_.events(block);
        if (got == 0) {
            if (Clock::now() - lastFrame_ > options_.stallAfter) watch_.broken(stallMessage(stream_, options_.stallAfter));
            return watch_.fine();
        }
        watch_.gap("inputs", read_, block, true);
        if (!watch_.fine()) return false;
        lastFrame_ = Clock::now();
        const bool more = sink.frames(read_, recorded_.data(), static_cast<std::size_t>(got));
        read_ += static_cast<std::uint64_t>(got);
        return more;
    }

private:
    static AsiochanStreamBlock emptyBlock() {
        AsiochanStreamBlock block{};
        block.size = sizeof block;
        return block;
    }

    StreamCalls& stream_;
    const StreamTakeOptions& options_;
    TakeWatch& watch_;
    std::size_t chunk_;
    Renderer renderer_;
    std::vector<std::int32_t> recorded_;
    std::uint64_t wanted_;
    std::uint64_t written_ = 0, read_ = 0;
    Clock::time_point lastFrame_ = Clock::now();
};
}  // namespace

StreamTake::StreamTake(StreamCalls& stream, std::vector<ChannelPair> pairs, StreamTakeOptions options)
    : stream_(stream), pairs_(std::move(pairs)), options_(std::move(options)) {}

TakeOutcome StreamTake::run(const Timeline& timeline, TakeSink& sink) {
    TakeWatch watch(timeline.playedFrames());
    if (runs_++ > 0 && !options_.beforeRetake()) {
        watch.failed("the run could not be started again for the retake");
        return watch.outcome();
    }
    if (const std::int32_t code = stream_.open(takeConfig(pairs_)); code != ASIOCHAN_OK) {
        watch.failed(refused("the stream on these channels", code));
        return watch.outcome();
    }
    TakeLoop loop(stream_, timeline, options_, watch);
    loop.feed();  // the prefill: the first frames played
    if (watch.fine()) {
        if (const std::int32_t code = stream_.start(); code != ASIOCHAN_OK) watch.failed(refused("the start", code));
    }
    loop.started();
    while (watch.fine() && !loop.done()) {
        if (options_.interrupted()) {
            watch.interrupted();
            break;
        }
        loop.feed();
        if (!watch.fine() || !loop.read(sink)) break;
    }
    stream_.stop();
    stream_.close();
    return watch.outcome();
}

}  // namespace cli
