// Capture queues (streaming capture): per input, a ring of the application's
// buffers that the periods fill frame for frame, one after the other, for as
// long as the application keeps queueing; and the periods' step that fills them.
#include <algorithm>
#include <bit>
#include <cstring>

#include "engine/channel_reset.h"
#include "engine/period.h"

namespace asiochan {

namespace {

static_assert(sizeof(AsiochanCaptureQueueState) == 32, "the same 32 bytes in 32-bit and 64-bit code");
constexpr std::uint32_t kStateBytes = 32;
// A reader retries while a period changes the counts; a period changes them for
// a few stores, so a retry rarely comes twice. The tries are bounded all the same.
constexpr int kStateReadTries = 1000;

// Whether a buffer of `publication` is visible to a period that read `seen`.
bool visibleTo(std::uint32_t publication, std::uint32_t seen) {
    return static_cast<std::int32_t>(seen - publication) >= 0;
}

// The checks that need no claim, on a copy of each entry (the array is the
// application's, and a copy cannot change between check and use). More than 64
// entries always name an input twice or one above 63.
std::int32_t copyRequests(const CaptureRequest* requests, std::int32_t count, CaptureRequest (&copy)[kMaxChannels],
                          ChannelMask& channels) {
    if (requests == nullptr || count < 1 || count > kMaxChannels) return ASE_InvalidParameter;
    channels = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        const CaptureRequest r = requests[i];
        if (r.channel >= kMaxChannels || hasChannel(channels, r.channel) || r.buffer == nullptr || r.byteLength < 1)
            return ASE_InvalidParameter;
        channels |= ChannelMask{1} << r.channel;
        copy[i] = r;
    }
    return ASE_OK;
}

std::uint32_t waitingOrFilling(const CaptureStream& s) {
    return s.queued.load(std::memory_order_relaxed) - s.filled.load(std::memory_order_acquire);
}

}  // namespace

std::int32_t Engine::queueCaptureBuffers(const CaptureRequest* requests, std::int32_t count) {
    CaptureRequest entries[kMaxChannels];
    ChannelMask channels = 0;
    if (const std::int32_t bad = copyRequests(requests, count, entries, channels); bad != ASE_OK) return bad;
    const ChannelClaim claim(captureClaims_, channels);
    // Read once under the claim: the buffers take whole samples of this width.
    const std::int32_t width = state_.sampleSize[0].load(std::memory_order_relaxed);
    if (width <= 0) return ASE_InvalidMode;
    for (std::int32_t i = 0; i < count; ++i)
        if (entries[i].byteLength < width) return ASE_InvalidParameter;
    // A capture that completed and waits for its dump is as good as done: its
    // files are written now.
    ChannelMask dumping = 0;
    for (std::int32_t i = 0; i < count; ++i)
        if (dumps_.pending(entries[i].channel)) dumping |= ChannelMask{1} << entries[i].channel;
    if (dumping != 0) dumps_.settle(dumping);
    if ((channels & state_.streamInputs.load(std::memory_order_acquire)) != 0) return ASE_NotPresent;
    const ChannelMask streams = state_.streamingInputs.load(std::memory_order_acquire);
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint32_t ch = entries[i].channel;
        if (state_.captureChannels[ch].done.load(std::memory_order_acquire) == 0) return ASE_NotPresent;
        if (hasChannel(streams, ch) && waitingOrFilling(state_.captureStreams[ch]) >= 2) return ASE_InvalidMode;
    }

    // Every entry is good: each buffer goes into its ring, marked with the
    // publication of this call, which no period has read yet.
    const std::uint32_t publication = state_.queuePublications.load(std::memory_order_relaxed) + 1;
    ChannelMask fresh = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        const CaptureRequest& r = entries[i];
        CaptureStream& s = state_.captureStreams[r.channel];
        if (!hasChannel(streams, r.channel)) {
            // Not a stream: no period looks at the record, which starts afresh.
            s.queued.store(0, std::memory_order_relaxed);
            s.filled.store(0, std::memory_order_relaxed);
            s.started.store(0, std::memory_order_relaxed);
            s.filledFrames.store(0, std::memory_order_relaxed);
            s.filledBytes.store(0, std::memory_order_relaxed);
            fresh |= ChannelMask{1} << r.channel;
        }
        const std::uint32_t n = s.queued.load(std::memory_order_relaxed);
        QueuedBuffer& b = s.slots[n & 1];
        b.start.store(static_cast<std::uint8_t*>(r.buffer), std::memory_order_relaxed);
        b.frames.store(r.byteLength / width, std::memory_order_relaxed);
        b.publication.store(publication, std::memory_order_relaxed);
        s.queued.store(n + 1, std::memory_order_release);
    }
    // The new streams first, then the publication: a period that sees this call's
    // buffers sees the new streams too, and sees all of the buffers or none.
    if (fresh != 0) state_.streamingInputs.fetch_or(fresh, std::memory_order_seq_cst);
    state_.queuePublications.fetch_add(1, std::memory_order_seq_cst);
    return ASE_OK;
}

std::uint8_t Engine::canQueueCaptureBuffer(std::uint32_t channel) {
    if (channel >= kMaxChannels || state_.sampleSize[0].load(std::memory_order_relaxed) <= 0) return 0;
    if (hasChannel(state_.streamingInputs.load(std::memory_order_acquire), channel))
        return waitingOrFilling(state_.captureStreams[channel]) < 2 ? 1 : 0;
    return state_.captureChannels[channel].done.load(std::memory_order_acquire) != 0 || dumps_.pending(channel) ? 1
                                                                                                              : 0;
}

std::int32_t Engine::captureQueueState(std::uint32_t channel, AsiochanCaptureQueueState* state) const {
    if (state == nullptr || channel >= kMaxChannels) return ASE_InvalidParameter;
    if (state->size < kStateBytes) return ASE_InvalidParameter;
    const CaptureStream& s = state_.captureStreams[channel];
    AsiochanCaptureQueueState read{};
    for (int tries = 0; tries < kStateReadTries; ++tries) {
        const std::uint32_t before = s.version.load(std::memory_order_acquire);
        // Each value is stored with release after the odd version: one that is new
        // brings the odd version with it, and the second look sees a change.
        read.filledBuffers = s.filledBuffers.load(std::memory_order_acquire);
        read.filledBytes = s.filledBytes.load(std::memory_order_acquire);
        read.framesRecorded = s.framesRecorded.load(std::memory_order_acquire);
        read.framesDropped = s.framesDropped.load(std::memory_order_acquire);
        if (before % 2 == 0 && s.version.load(std::memory_order_relaxed) == before) break;
        if (tries % 16 == 15) platform::yieldThread();
    }
    read.size = kStateBytes;
    std::memcpy(state, &read, kStateBytes);
    return ASE_OK;
}

void Engine::endStreams(ChannelMask channels) {
    channels &= state_.streamingInputs.load(std::memory_order_acquire);
    if (channels == 0) return;
    // Nothing to release: the buffers are the application's. Once no period
    // works on the inputs they are no longer streams.
    withdrawChannels(state_.captureWithdrawn, channels);
    state_.streamingInputs.fetch_and(~channels, std::memory_order_seq_cst);
    returnChannels(state_.captureWithdrawn, channels);
}

void Engine::clearStreamCounts() {
    for (CaptureStream& s : state_.captureStreams) {
        s.filledFrames.store(0, std::memory_order_relaxed);
        s.filledBytes.store(0, std::memory_order_relaxed);
        s.filledBuffers.store(0, std::memory_order_relaxed);
        s.framesRecorded.store(0, std::memory_order_relaxed);
        s.framesDropped.store(0, std::memory_order_relaxed);
    }
}

// ---- The driver's thread ------------------------------------------------------------

void Engine::recordStreams(const Period& period) {
    for (ChannelMask left = period.streams; left != 0; left &= left - 1)
        recordStream(period, static_cast<std::uint32_t>(std::countr_zero(left)));
}

// One period of one stream: whole samples into the filling buffer; when it is
// full, the rest of the period into the next visible one; with none, the rest of
// the period is dropped, and recording goes on with the first frame of a period
// that sees a buffer. An input without a driver buffer records silence.
void Engine::recordStream(const Period& period, std::uint32_t channel) {
    CaptureStream& s = state_.captureStreams[channel];
    std::uint8_t* half = period.inHalf[channel];
    const std::int64_t width = period.inputSampleSize;
    const std::uint32_t queued = s.queued.load(std::memory_order_acquire);
    std::uint32_t filled = s.filled.load(std::memory_order_relaxed);
    std::int64_t at = s.filledFrames.load(std::memory_order_relaxed);
    const bool wasStarted = s.started.load(std::memory_order_relaxed) != 0;
    bool started = wasStarted;
    std::uint32_t completed = 0;
    std::int64_t frame = 0;
    while (frame < period.frames && filled != queued) {
        const QueuedBuffer& b = s.slots[filled & 1];
        if (!visibleTo(b.publication.load(std::memory_order_relaxed), period.publication)) break;
        std::uint8_t* start = b.start.load(std::memory_order_relaxed) + at * width;
        const std::int64_t length = b.frames.load(std::memory_order_relaxed);
        const std::int64_t frames = std::clamp<std::int64_t>(length - at, 0, period.frames - frame);
        const auto bytes = static_cast<std::size_t>(frames * width);
        if (half != nullptr) {
            std::memcpy(start, half + frame * width, bytes);
        } else {
            std::memset(start, 0, bytes);
        }
        at += frames;
        frame += frames;
        started = true;
        if (at < length) break;  // the period ends inside this buffer
        at = 0;
        ++filled;
        ++completed;
    }
    const std::int64_t dropped = started ? period.frames - frame : 0;

    // The slots of the buffers filled are the application's again, before the
    // counts say so: an application that sees a buffer counted as filled finds
    // its slot free and may queue the next one at once.
    if (completed != 0) s.filled.store(filled, std::memory_order_release);

    // Only what changed is stored: in a steady period, the position and one count.
    const std::uint32_t version = s.version.load(std::memory_order_relaxed);
    s.version.store(version + 1, std::memory_order_relaxed);
    s.filledBytes.store(static_cast<std::uint32_t>(at * width), std::memory_order_release);
    if (frame != 0)
        s.framesRecorded.store(s.framesRecorded.load(std::memory_order_relaxed) + static_cast<std::uint64_t>(frame),
                               std::memory_order_release);
    if (dropped != 0)
        s.framesDropped.store(s.framesDropped.load(std::memory_order_relaxed) + static_cast<std::uint64_t>(dropped),
                              std::memory_order_release);
    if (completed != 0)
        s.filledBuffers.store(s.filledBuffers.load(std::memory_order_relaxed) + completed, std::memory_order_release);
    s.version.store(version + 2, std::memory_order_release);
    s.filledFrames.store(static_cast<std::int32_t>(at), std::memory_order_relaxed);
    if (started != wasStarted) s.started.store(1, std::memory_order_relaxed);
    if (half != nullptr) std::memset(half, 0, static_cast<std::size_t>(period.captureBytes));
}

}  // namespace asiochan
