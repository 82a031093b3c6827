#include "simdriver/core/sim_clock.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>

namespace asiochan::sim {

namespace {
const std::vector<std::uint8_t> kNothing;

// The longest single wait on an event: two waiters may reset each other's
// wake-up, and the slice bounds what that costs.
constexpr std::uint32_t kWaitSliceMs = 10;

// Waits on `event` until `done`; false at the deadline.
template <typename Done>
bool waitUntil(Done done, platform::Event& event, std::uint32_t timeoutMs) {
    const std::uint64_t deadline = platform::monotonicMicros() + std::uint64_t{timeoutMs} * 1000u;
    for (;;) {
        if (done()) return true;
        event.reset();
        if (done()) return true;
        const std::uint64_t now = platform::monotonicMicros();
        if (now >= deadline) return false;
        event.wait(std::min<std::uint32_t>(static_cast<std::uint32_t>((deadline - now + 999) / 1000), kWaitSliceMs));
    }
}
}  // namespace

SimClock::~SimClock() { stop(); }

bool SimClock::start(std::vector<ClockBuffer> buffers, ASIOCallbacks* callbacks, AsioLong frames,
                     std::atomic<std::uint64_t>* samplePosition) {
    stop();
    active_ = options_;
    buffers_ = std::move(buffers);
    callbacks_ = callbacks;
    frames_ = frames;
    samplePosition_ = samplePosition;
    recordings_.assign(buffers_.size(), {});
    inputOffsets_.assign(buffers_.size(), 0);
    devices_.assign(buffers_.size(), DutModel(active_.deviceRate));
    coupled_.clear();
    for (std::size_t b = 0; b < buffers_.size(); ++b) coupled_.emplace_back(active_.deviceRate, b + 1);
    stopRequested_.store(false);
    requested_.store(0);
    completed_.store(0);
    stallAt_.store(active_.stallAfter);
    thread_ = platform::startThread(&SimClock::threadMain, this, nullptr);
    return thread_ != nullptr;
}

void SimClock::stop() {
    if (thread_ == nullptr) return;
    stopRequested_.store(true, std::memory_order_release);
    work_.set();
    // A period under way is finished first; the host must not be left inside one.
    while (!platform::waitThread(thread_, 1000)) {
    }
    platform::closeThread(thread_);
    thread_ = nullptr;
}

bool SimClock::step(std::uint64_t count, std::uint32_t timeoutMs) {
    if (thread_ == nullptr) return false;
    const std::uint64_t target = requested_.fetch_add(count, std::memory_order_acq_rel) + count;
    work_.set();
    return waitForPeriods(target, timeoutMs);
}

bool SimClock::waitForPeriods(std::uint64_t total, std::uint32_t timeoutMs) const {
    return waitUntil([&] { return completed_.load(std::memory_order_acquire) >= total; }, periodDone_, timeoutMs);
}

const std::vector<std::uint8_t>& SimClock::recorded(std::size_t index) const {
    return index < recordings_.size() ? recordings_[index] : kNothing;
}

void SimClock::clearRecordings() {
    for (auto& r : recordings_) r.clear();
}

void SimClock::sendNotices(std::uint32_t notices, double rate) {
    if (notices & kNoticeSampleRate) noticeRate_.store(std::bit_cast<std::uint64_t>(rate), std::memory_order_release);
    notices_.fetch_or(notices, std::memory_order_acq_rel);
}

void SimClock::deliverNotices() {
    const std::uint32_t notices = notices_.exchange(0, std::memory_order_acq_rel);
    if (notices == 0 || callbacks_ == nullptr) return;
    if ((notices & kNoticeSampleRate) && callbacks_->sampleRateDidChange)
        callbacks_->sampleRateDidChange(std::bit_cast<double>(noticeRate_.load(std::memory_order_acquire)));
    if (callbacks_->asioMessage == nullptr) return;
    const std::pair<std::uint32_t, AsioLong> messages[] = {{kNoticeResync, kAsioResyncRequest},
                                                           {kNoticeLatencies, kAsioLatenciesChanged},
                                                           {kNoticeReset, kAsioResetRequest}};
    for (const auto& [bit, selector] : messages)
        if ((notices & bit) && callbacks_->asioMessage(kAsioSelectorSupported, selector, nullptr, nullptr) == 1)
            callbacks_->asioMessage(selector, 0, nullptr, nullptr);
}

void SimClock::applySkips() {
    if (skips_.load(std::memory_order_relaxed) == 0) return;
    const std::int64_t periods = skips_.exchange(0, std::memory_order_acq_rel);
    if (samplePosition_)
        samplePosition_->fetch_add(static_cast<std::uint64_t>(periods * frames_), std::memory_order_relaxed);
    if (periods <= 0) return;
    for (std::size_t b = 0; b < buffers_.size(); ++b)
        if (buffers_[b].isInput) inputOffsets_[b] += static_cast<std::uint64_t>(periods) * buffers_[b].bytesPerHalf;
}

void SimClock::threadMain(void* self) {
    auto& clock = *static_cast<SimClock*>(self);
    std::uint64_t due = platform::monotonicMicros();
    while (!clock.stopRequested_.load(std::memory_order_acquire)) {
        if (clock.stalled()) {
            platform::sleepMs(1);
        } else if (clock.active_.freeRunning) {
            if (clock.active_.periodMicros != 0) {
                const std::uint64_t now = platform::monotonicMicros();
                if (now < due) {
                    // Whole milliseconds are slept (a sleep may end a little late: the next
                    // period comes as much sooner), only the last fraction is spun.
                    const std::uint64_t wait = due - now;
                    if (wait >= 1000)
                        platform::sleepMs(static_cast<std::uint32_t>(wait / 1000));
                    else
                        platform::yieldThread();
                    continue;
                }
                due += clock.active_.periodMicros;
                if (now > due + 100u * clock.active_.periodMicros) due = now;  // fell far behind: no burst
            }
            clock.runPeriod();
        } else if (clock.completed_.load(std::memory_order_relaxed) <
                   clock.requested_.load(std::memory_order_acquire)) {
            clock.runPeriod();
        } else {
            // Stepped and idle: sleep until a step or a stop.
            clock.work_.reset();
            if (clock.completed_.load(std::memory_order_relaxed) < clock.requested_.load(std::memory_order_acquire) ||
                clock.stopRequested_.load(std::memory_order_acquire))
                continue;
            clock.work_.wait(kWaitSliceMs);
        }
    }
}

namespace {
// 32-bit integer samples through a model of the device, clipped at full scale.
template <typename Model>
void passThroughDevice(Model& device, const std::uint8_t* from, std::uint8_t* to, std::size_t bytes) {
    constexpr double kFullScale = 2147483648.0;
    for (std::size_t i = 0; i + 4 <= bytes; i += 4) {
        std::int32_t in;
        std::memcpy(&in, from + i, 4);
        const double y = std::clamp(device.process(in / kFullScale) * kFullScale, -kFullScale, kFullScale - 1.0);
        const auto out = static_cast<std::int32_t>(std::lround(y));
        std::memcpy(to + i, &out, 4);
    }
}
}  // namespace

// Every input from the outputs of the same numbers and the ones below, the period before.
void SimClock::fillBench(int index) {
    constexpr double kFullScale = 2147483648.0;
    const int previous = index ^ 1;
    const std::uint8_t* outputs[65] = {};  // by channel + 1; [0] stands for "none below 0"
    std::size_t outputBytes[65] = {};
    for (const ClockBuffer& out : buffers_) {
        if (out.isInput || out.channel < 0 || out.channel >= 64) continue;
        outputs[out.channel + 1] = out.halves[previous];
        outputBytes[out.channel + 1] = out.bytesPerHalf;
    }
    const bool first = completed_.load(std::memory_order_relaxed) == 0;
    for (ClockBuffer& in : buffers_) {
        if (!in.isInput || in.channel < 0 || in.channel >= 64) continue;
        const auto k = static_cast<std::size_t>(in.channel);
        std::uint8_t* half = in.halves[index];
        for (std::size_t i = 0; i + 4 <= in.bytesPerHalf; i += 4) {
            const auto sample = [&](std::size_t slot) {
                std::int32_t v = 0;
                if (!first && outputs[slot] != nullptr && i + 4 <= outputBytes[slot]) std::memcpy(&v, outputs[slot] + i, 4);
                return v / kFullScale;
            };
            const double y = bench_.input(k, sample(k + 1), sample(k)) * kFullScale;
            const auto out = static_cast<std::int32_t>(std::lround(std::clamp(y, -kFullScale, kFullScale - 1.0)));
            std::memcpy(half + i, &out, 4);
        }
    }
}

void SimClock::fillInputs(int index) {
    if (active_.inputFill == InputFill::bench) {
        fillBench(index);
        return;
    }
    const int previous = index ^ 1;
    for (std::size_t b = 0; b < buffers_.size(); ++b) {
        ClockBuffer& buffer = buffers_[b];
        if (!buffer.isInput) continue;
        std::uint8_t* half = buffer.halves[index];
        if (active_.inputFill == InputFill::pattern) {
            const std::uint64_t at = inputOffsets_[b];
            fillInputPattern(buffer.channel, at, half, buffer.bytesPerHalf);
            inputOffsets_[b] = at + buffer.bytesPerHalf;
        } else if (active_.inputFill == InputFill::sine) {
            const auto width = static_cast<std::size_t>(std::max<std::int32_t>(sampleWidthOf(buffer.type), 1));
            fillTypedSine(buffer.type, inputOffsets_[b] / width, buffer.bytesPerHalf / width, active_.deviceRate, half);
            inputOffsets_[b] += buffer.bytesPerHalf;
        } else if (active_.inputFill == InputFill::loopback || active_.inputFill == InputFill::device ||
                   active_.inputFill == InputFill::acCoupled) {
            std::memset(half, 0, buffer.bytesPerHalf);
            if (completed_.load(std::memory_order_relaxed) == 0) continue;
            for (const ClockBuffer& out : buffers_) {
                if (out.isInput || out.channel != buffer.channel) continue;
                const std::size_t bytes = std::min(out.bytesPerHalf, buffer.bytesPerHalf);
                if (active_.inputFill == InputFill::loopback)
                    std::memcpy(half, out.halves[previous], bytes);
                else if (active_.inputFill == InputFill::device)
                    passThroughDevice(devices_[b], out.halves[previous], half, bytes);
                else
                    passThroughDevice(coupled_[b], out.halves[previous], half, bytes);
                break;
            }
        }
    }
}

void SimClock::runPeriod() {
    const std::uint64_t n = completed_.load(std::memory_order_relaxed);
    const int index = static_cast<int>(n & 1);
    const AsioLong passed = active_.overrideIndex ? active_.indexOverride : index;
    deliverNotices();
    applySkips();
    fillInputs(index);
    if (active_.useTimeInfo) {
        ASIOTime time;
        std::memset(&time, 0, sizeof time);
        const std::uint64_t position = samplePosition_ ? samplePosition_->load(std::memory_order_relaxed) : 0;
        time.timeInfo.samplePosition.hi = static_cast<std::uint32_t>(position >> 32);
        time.timeInfo.samplePosition.lo = static_cast<std::uint32_t>(position);
        time.timeInfo.flags = active_.samplePositionValid ? kSamplePositionValid : 0;
        if (callbacks_ && callbacks_->bufferSwitchTimeInfo) callbacks_->bufferSwitchTimeInfo(&time, passed, ASIOTrue);
    } else if (callbacks_ && callbacks_->bufferSwitch) {
        callbacks_->bufferSwitch(passed, ASIOTrue);
    }
    if (active_.recordOutputs) {
        for (std::size_t b = 0; b < buffers_.size(); ++b) {
            const ClockBuffer& buffer = buffers_[b];
            if (buffer.isInput) continue;
            auto& record = recordings_[b];
            if (record.size() + buffer.bytesPerHalf > active_.recordLimitBytes) continue;
            record.insert(record.end(), buffer.halves[index], buffer.halves[index] + buffer.bytesPerHalf);
        }
    }
    if (active_.periodObserver)
        active_.periodObserver(active_.observerContext, buffers_.data(), buffers_.size(), index);
    if (samplePosition_) samplePosition_->fetch_add(static_cast<std::uint64_t>(frames_), std::memory_order_relaxed);
    completed_.store(n + 1, std::memory_order_release);
    periodDone_.set();
}

}  // namespace asiochan::sim
