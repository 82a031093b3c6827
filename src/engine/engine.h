// The streaming engine: the driver's capabilities, the run start and finish, the
// capture and playback channel services, and the per-period processing the
// driver calls on its own real-time thread.
//
// Threads and shared fields (E = the engine state, see engine_state.h):
//
// | field                                   | written by                            | read by            |
// |-----------------------------------------|---------------------------------------|--------------------|
// | E.runPrepared                           | app (Prepare, Finish)                 | callback, app      |
// | counts, sizes, latencies, entryWidth,   | app (Initialize, Prepare)             | callback, app      |
// |   sampleSize, buffer/channel tables     |                                       |                    |
// | E.running (both run flags, one word)    | app (start, stop); callback (clears   | callback, app      |
// |                                         |   a flag when nothing is left, unless |                    |
// |                                         |   a start was counted meanwhile)      |                    |
// | E.playbackStarts, E.captureStarts       | app (start)                           | callback           |
// | E.playbackWithdrawn, E.captureWithdrawn | app (taking channels back)            | callback           |
// | playback record, key field `readPos`    | app while `idle` is 1; callback once  | both               |
// |                                         |   `readPos` is set                    |                    |
// | playback record `next`, `nextLength`    | app while canSendNext is 1 (queue);   | both               |
// |                                         |   callback (promotion, closing)       |                    |
// | E.canSendNext[ch]                       | app (queue, stop, release);           | app                |
// |                                         |   callback (block taken over)         |                    |
// | capture record, key field `writePos`    | app while `done` is 1; callback once  | both               |
// |                                         |   `writePos` is set                   |                    |
// | E.streamInputs, E.streamOutputs         | app (stream open, close)              | callback, app      |
// | the stream's rings and counts           | see stream_rings.h                    |                    |
// | period counters (PeriodGuard)           | callback                              | app (stop waits)   |
// | E.requests (bits, reset held, periods,  | driver's threads (notices, periods);  | app, callback      |
// |   skipped periods, last position)       |   app (cleared at Prepare, bits read) |                    |
//
// | capture dump slots (CaptureDumps)       | callback (post); library thread or    | app                |
// |                                         |   app (write, then the channel's done)|                    |
// | retired blocks (RetiredBlocks)          | callback (retire); library thread or  |                    |
// |                                         |   app (release)                       |                    |
//
// The real-time rule. The driver's thread (the period processing and the
// driver's notices) makes no call to the operating system in a steady period: no
// heap, lock, wait, sleep, file or event call. What it hands over, a completed
// capture's dump and the blocks it retires, waits for the library's thread, which
// polls for it while a period can hand something over and is never signalled
// from here (housekeeper.h). Its one call to the system is an event set at the
// end of a period while an application thread waits for the periods in flight
// (a stop or another call that takes channels back, Prepare, Finish, a queue
// call that meets a block ending; see period_guard.h). Beyond that it calls only
// the driver (sample position, output ready).
//
// Application threads among themselves: a call on one channel and a call
// covering many must not interleave on a record, so each holds a claim on its
// channels (see channel_reset.h) while it changes the record.
//
// The shape of a run: the channel counts, the period size, the sample widths and
// types, the buffer and channel tables and the driver buffers in them. It changes
// only inside a lifecycle call (Initialize, SetSampleRate, Prepare, Finish, and
// the driver session's load and release) that holds a ShapeChange: every channel
// claim of both directions at once. A channel call (capture, playback, the file
// players' starts and blocks) reads each shape value once, under its own claim,
// so it sees the whole shape of before or after a change, never half of each;
// what it arms or queues is made for the shape it read. The callback takes no
// claim: it reads the shape only while a run is prepared, and a change first
// ends the run and waits for the periods in flight. Claims are taken playback
// before capture, and never again by a thread that holds one.
#pragma once

#include <cstdint>

#include "asiochan.h"
#include "driver/asio_types.h"
#include "driver/call_layer.h"
#include "engine/engine_state.h"
#include "engine/housekeeper.h"
#include "engine/period_guard.h"
#include "engine/playback_port.h"
#include "engine/stream_rings.h"
#include "platform/platform.h"

namespace asiochan {

class Engine final : public PlaybackPort {
public:
    explicit Engine(DriverCalls& calls);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    EngineState& state() { return state_; }
    const EngineState& state() const { return state_; }
    PeriodGuard& periods() { return periods_; }

    // Held by a lifecycle call while it changes the shape of a run: both
    // directions' claims, taken exclusively (playback first). Channel calls of
    // either direction wait until it goes; it goes once they have ended. Its end
    // counts as a new shape (see shape()).
    class ShapeChange {
    public:
        explicit ShapeChange(Engine& engine);
        ~ShapeChange();
        ShapeChange(const ShapeChange&) = delete;
        ShapeChange& operator=(const ShapeChange&) = delete;

    private:
        Engine& engine_;
    };

    // Driver capabilities.
    std::int32_t initialize();
    std::int32_t setSampleRate(double rate);
    std::int32_t bufferSizeMax() const { return state_.bufferSizeMax; }
    std::int32_t bufferSizeMin() const { return state_.bufferSizeMin; }
    std::int32_t bufferSizePreferred() const { return state_.bufferSizePreferred; }
    double currentSampleRate() const { return state_.currentSampleRate.load(); }
    std::int32_t inputChannelCount() const { return state_.inputChannelCount; }
    std::int32_t outputChannelCount() const { return state_.outputChannelCount; }
    std::int32_t inputLatency() const { return state_.inputLatency; }
    std::int32_t outputLatency() const { return state_.outputLatency; }

    // Run start and finish.
    std::int32_t prepare();
    std::int32_t finish();
    // Finish for a lifecycle call that already holds the shape change (the
    // driver session, before it lets a driver go); nothing without a prepared run.
    void finishPreparedRun(const ShapeChange& held);
    // True while a period stayed inside the driver past a Finish's or Prepare's
    // wait (see EngineState::driverStuck); the driver session then leaks the
    // driver object instead of releasing it, and calls driverLetGo.
    bool driverStuck() const { return state_.driverStuck.load(std::memory_order_acquire) != 0; }
    void driverLetGo(const ShapeChange& /*held*/) { state_.driverStuck.store(0, std::memory_order_release); }
    // The prepared run as the players ask about it (see PlaybackPort). A shape
    // change's end counts as a new shape; fedOutputTypes looks under the playback claims.
    bool runPrepared() const { return state_.runPrepared.load(std::memory_order_acquire) != 0; }
    std::uint32_t shape() const override { return shape_.load(std::memory_order_acquire); }
    OutputsFed fedOutputTypes(ChannelMask channels, ASIOSampleType (&types)[kMaxChannels],
                              std::uint32_t& shape) const override;

    // What the driver asked for since the last call (request bits), cleared; the
    // periods processed in the prepared run (0 without one); the periods the
    // driver skipped since the last Prepare (kept after Finish).
    std::uint32_t takeDriverRequests() { return state_.requests.take(); }
    std::uint32_t periodCount() const { return runPrepared() ? state_.requests.periods() : 0; }
    std::uint32_t skippedPeriods() const { return state_.requests.skippedPeriods(); }

    // Capture channels.
    std::int32_t setCaptureBuffer(void* buffer, std::int32_t byteLength, std::uint32_t channel);
    std::int32_t captureBuff(const CaptureRequest* requests, std::int32_t count);
    void startCapture();
    void stopCapture();
    // Both read a completed channel as capturing until its dump files are written.
    std::uint8_t isCaptureRunning();
    std::uint8_t isPortCaptureRunning(std::uint32_t channel);

    // The stream (stream_io.cpp, stream_period.cpp).
    std::int32_t openStream(const AsiochanStreamConfig* config);
    std::int32_t startStream();
    std::int32_t readStream(void* frames, std::int32_t count, std::int32_t timeoutMs, AsiochanStreamBlock* block);
    std::int32_t writeStream(const void* frames, std::int32_t count, std::int32_t timeoutMs,
                             AsiochanStreamBlock* block);
    std::int32_t streamState(AsiochanStreamState* state);
    std::int32_t stopStream();
    std::int32_t closeStream();
    std::int32_t playAndRecord(const AsiochanStreamConfig* config, const void* play, std::int32_t playFrames,
                               void* record, std::int32_t recordFrames, std::int32_t timeoutMs,
                               AsiochanStreamState* state);

    // Playback channels.
    std::int32_t setPlayBuffer(const void* data, std::int32_t byteLength, std::uint32_t channel) override;
    std::int32_t setPlayBufferOfShape(const void* data, std::int32_t byteLength, std::uint32_t channel,
                                      std::uint32_t shape) override;
    void startPlayback() override;
    void stopPlayback();
    // Both directions, in the same period.
    void startCaptureAndPlayback();
    std::uint8_t canSendNext(std::uint32_t channel) override;
    std::uint8_t isPortPlaybackRunning(std::uint32_t channel) const;
    void releasePlaybackChannel(std::uint32_t channel) override;
    bool holdOutputs(ChannelMask channels) override;
    void releaseOutputs(ChannelMask channels) override;

    // The driver's callback thread: one period on half `doubleBufferIndex`, whose
    // sample position the driver gave as `at`; and the sample position asked of
    // the driver for a period that comes without time information.
    void runPeriod(AsioLong doubleBufferIndex, SamplePosition at);
    ASIOError samplePosition(ASIOSamples* position, ASIOTimeStamp* stamp) {
        return calls_.ASIOGetSamplePosition(position, stamp);
    }

private:
    struct Period;
    class ChannelClaim;
    struct ChannelClaims {
        platform::Mutex direction;
        platform::Mutex channel[kMaxChannels];
    };

    // Raise the run flags of `flags` (kPlaybackRunning, kCaptureRunning) in one step.
    void markStarted(std::uint8_t flags);

    // The bodies of the calls above, for a caller that holds the claims they need
    // (all of a direction's channels for the stops, every one for finish).
    std::int32_t finishClaimed();
    void stopPlaybackClaimed();
    void stopCaptureClaimed();
    std::int32_t queuePlayBuffer(const void* data, std::int32_t byteLength, std::uint32_t channel);

    // Taking channels back: marks them withdrawn and waits for the periods in
    // flight; true when none is left, false when the wait gave up (then blocks are
    // dropped unreleased: a leak, never a release of memory a period may use).
    bool withdrawChannels(std::atomic<ChannelMask>& withdrawn, ChannelMask channels);
    void returnChannels(std::atomic<ChannelMask>& withdrawn, ChannelMask channels);
    // Each chosen record ends free with no block (playback: idle, canSendNext 1).
    // The callers hold the channels' claims.
    void resetPlaybackRecords(ChannelMask channels);
    void resetCaptureRecords(ChannelMask channels);
    // Hands back the inputs of `claimed` (whose claims the caller holds) that a
    // stop held, and frees their parked shadow copies, once the periods it gave
    // up on are done with memory (see EngineState::heldInputs); never waits.
    void releaseHeldInputs(ChannelMask claimed);
    // Whether input `channel` is held and its period is done (then it reads free).
    bool heldInputReleasable(std::uint32_t channel) const;
    // Keeps `copy` until every period that entered before now is done with memory.
    void parkCopy(std::uint32_t channel, std::uint8_t* copy);
    void raiseHeldMark();

    bool takeBackForArming(std::uint32_t channel);
    // `width`: the input sample width the caller read under its claim (above 0).
    void arm(std::uint32_t channel, std::uint8_t* buffer, std::int32_t byteLength, std::uint8_t* copy,
             std::int32_t width);
    void startPlaying(PlaybackChannel& p, std::uint8_t* block, std::int32_t byteLength);
    std::int32_t queueBehind(std::uint32_t channel, std::uint8_t* block, std::int32_t byteLength);

    void fillOutput(Period& period, AsioLong channel, std::uint8_t* half);
    void drainInput(Period& period, AsioLong channel, std::uint8_t* half);
    void finishBlock(const Period& period, std::uint32_t channel, PlaybackChannel& p, std::int64_t offset,
                     std::int64_t length);
    void advancePlayback(Period& period);
    void advanceCapture(Period& period);
    void completeCapture(std::uint32_t channel, CaptureChannel& c);
    // The stream's step of a period; `held`: a reset request holds the run;
    // `skipped`: the periods the driver skipped just before this one.
    void streamPeriod(const Period& period, bool held, std::uint32_t skipped);
    // Under every claim: ends the stream (its last period in flight done), or
    // frees it too. Nothing when there is none.
    void stopStreamClaimed();
    void closeStreamClaimed();
    std::int32_t startStreamClaimed(StreamRings& s);
    // The ending without a wait (stream_io.cpp): marks it stopping; ends it once
    // no period can be inside it (true once ended); and, from every caller, ends
    // it on a reset request and raises a stall when no period came for too long.
    void beginEnding(StreamRings& s);
    bool tryEnd(StreamRings& s);
    void watchStream(StreamRings& s);

    // PlayAndRecord: its frames, the stream it opened (`serial`, with the frame
    // sizes) and how far it got.
    struct PlayAndRecordRun {
        const void* playData;
        std::int32_t playFrames;
        void* recordData;
        std::int32_t recordFrames;
        std::uint32_t serial = 0;
        std::uint32_t playBytes = 0;
        std::uint32_t recordBytes = 0;
        std::int32_t written = 0;
        std::int32_t read = 0;  // frames of `record` filled, gaps (silent) included
        bool stalled = false;   // no period came for the stall time: the take ends
        void writeSome(Engine& engine, std::int32_t timeoutMs);
        void play(Engine& engine, StreamRings& s, std::uint64_t deadline);
        void place(std::uint64_t position, std::int32_t frames);
    };
    // `call`: PlayAndRecord's own stream, which answers only the calls that give
    // its serial (`callSerial`; 0 for the application's calls).
    std::int32_t openStreamFor(const AsiochanStreamConfig* config, PlayAndRecordRun* call);
    std::int32_t readFrames(void* frames, std::int32_t count, std::int32_t timeoutMs, AsiochanStreamBlock* block,
                            std::uint32_t callSerial);
    std::int32_t writeFrames(const void* frames, std::int32_t count, std::int32_t timeoutMs,
                             AsiochanStreamBlock* block, std::uint32_t callSerial);
    // Closes the stream of `serial` if it is still the open one.
    void closeStreamOf(std::uint32_t serial);

    // The stream: the one the periods see (`live`), the one the application's
    // calls reach (`app`), the calls inside it (readers, writers, state reads,
    // which a close waits for), the one reader and one writer, and their wake-ups.
    struct StreamSlot {
        std::atomic<StreamRings*> live{nullptr};
        std::atomic<StreamRings*> app{nullptr};
        std::atomic<std::uint32_t> users{0};
        std::atomic<std::uint8_t> readerBusy{0};
        std::atomic<std::uint8_t> writerBusy{0};
        StreamWake wake;
        // Rings a close could not free (a period or a call was still inside), and
        // the entries before which every period must be done with them; freed by
        // a later open or close once it is. Under every claim.
        StreamRings* abandoned = nullptr;
        std::uint32_t abandonedMark = 0;
        std::uint32_t serials = 0;  // the opens so far; under every claim
    };
    void freeAbandonedStream();
    StreamSlot stream_;

    DriverCalls& calls_;
    EngineState state_;
    PeriodGuard periods_;
    // The slow work the periods hand off, and the library's thread that does it.
    RetiredBlocks retired_;
    CaptureDumps dumps_{retired_};
    Housekeeper housekeeper_{dumps_, retired_, {state_.running, periods_}};
    // Mutable: a look at the shape (fedOutputTypes) shares the claims.
    mutable ChannelClaims playbackClaims_;
    mutable ChannelClaims captureClaims_;
    std::atomic<std::uint32_t> shape_{0};
    // The players holding each output (holdOutputs); a stream does not open on one.
    std::atomic<std::uint8_t> playerHolds_[kMaxChannels]{};
};

// Stores the width of `type` for a direction (0 = input, 1 = output); a type
// without a width leaves the entry as it was.
void storeSampleSize(EngineState& state, int direction, ASIOSampleType type);

}  // namespace asiochan
