#include "simdriver/core/sim_driver.h"

#include <algorithm>
#include <cstring>

#include "driver/sample_types.h"

namespace asiochan::sim {

namespace {
constexpr std::int32_t kNoInterface = static_cast<std::int32_t>(0x80004002u);

std::uintptr_t word(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }
std::uintptr_t word(AsioLong v) { return static_cast<std::uintptr_t>(static_cast<std::uint32_t>(v)); }

void copyText(char* to, const std::string& text, std::size_t capacity) {
    const std::size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(to, text.data(), n);
    to[n] = '\0';
}
}  // namespace

SimDriver::SimDriver(SimConfig config) : config_(std::move(config)), currentRate_(config_.sampleRate) {}

SimDriver::~SimDriver() { clock_.stop(); }

bool SimDriver::failing(Slot slot, ASIOError* result) const {
    for (const auto& f : config_.failures) {
        if (f.slot == slot) {
            *result = f.result;
            return true;
        }
    }
    return false;
}

void SimDriver::record(Slot slot, std::uintptr_t a0, std::uintptr_t a1, std::uintptr_t a2, std::uintptr_t a3,
                       double rate) {
    counts_[static_cast<std::size_t>(slot)].fetch_add(1, std::memory_order_relaxed);
    if (!config_.keepCallLog) return;
    logLock_.lock();
    if (log_.size() < kCallLogLimit) log_.push_back(CallRecord{slot, {a0, a1, a2, a3}, rate});
    logLock_.unlock();
}

std::vector<CallRecord> SimDriver::calls() const {
    logLock_.lock();
    std::vector<CallRecord> copy = log_;
    logLock_.unlock();
    return copy;
}

std::uint64_t SimDriver::callCount(Slot slot) const { return counts_[static_cast<std::size_t>(slot)].load(); }

void SimDriver::clearCalls() {
    logLock_.lock();
    log_.clear();
    logLock_.unlock();
    for (auto& c : counts_) c = 0;
}

std::int32_t ASIOCHAN_COMCALL SimDriver::QueryInterface(const platform::ClassId& /*iid*/, void** object) {
    if (object) *object = nullptr;
    return kNoInterface;
}

std::uint32_t ASIOCHAN_COMCALL SimDriver::AddRef() { return refs_.fetch_add(1) + 1; }

std::uint32_t ASIOCHAN_COMCALL SimDriver::Release() {
    const std::uint32_t left = refs_.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return left;
}

ASIOBool SimDriver::init(void* sysHandle) {
    record(Slot::init, word(sysHandle));
    return config_.refuseInit ? ASIOFalse : ASIOTrue;
}

void SimDriver::getDriverName(char* name) {
    record(Slot::getDriverName, word(name));
    copyText(name, config_.name, 32);
}

AsioLong SimDriver::getDriverVersion() {
    record(Slot::getDriverVersion);
    return config_.version;
}

void SimDriver::getErrorMessage(char* string) {
    record(Slot::getErrorMessage, word(string));
    copyText(string, config_.initErrorMessage, 124);
}

ASIOError SimDriver::start() {
    record(Slot::start);
    ASIOError r;
    if (failing(Slot::start, &r)) return r;
    if (callbacks_ != nullptr && !started_) {
        std::vector<ClockBuffer> halves;
        halves.reserve(buffers_.size());
        for (auto& b : buffers_)
            halves.push_back(ClockBuffer{b.isInput,
                                         b.channel,
                                         static_cast<std::size_t>(b.bytesPerHalf),
                                         {b.halves[0].data(), b.halves[1].data()},
                                         config_.typeOf(b.isInput, b.channel)});
        clock_.options().deviceRate = currentRate_;
        if (!clock_.start(std::move(halves), callbacks_, bufferFrames_, &samplePosition_)) return ASE_HWMalfunction;
    }
    started_ = true;
    return ASE_OK;
}

ASIOError SimDriver::stop() {
    record(Slot::stop);
    ASIOError r;
    if (failing(Slot::stop, &r)) return r;  // a driver that fails to stop keeps running
    if (config_.keepRunningAfterStop) return ASE_OK;
    clock_.stop();
    started_ = false;
    return ASE_OK;
}

ASIOError SimDriver::getChannels(AsioLong* numInputChannels, AsioLong* numOutputChannels) {
    record(Slot::getChannels, word(numInputChannels), word(numOutputChannels));
    ASIOError r;
    if (failing(Slot::getChannels, &r)) return r;
    *numInputChannels = config_.inputs;
    *numOutputChannels = config_.outputs;
    return ASE_OK;
}

ASIOError SimDriver::getLatencies(AsioLong* inputLatency, AsioLong* outputLatency) {
    record(Slot::getLatencies, word(inputLatency), word(outputLatency));
    ASIOError r;
    if (failing(Slot::getLatencies, &r)) return r;
    *inputLatency = config_.inputLatency;
    *outputLatency = config_.outputLatency;
    return ASE_OK;
}

ASIOError SimDriver::getBufferSize(AsioLong* minSize, AsioLong* maxSize, AsioLong* preferredSize,
                                   AsioLong* granularity) {
    record(Slot::getBufferSize, word(minSize), word(maxSize), word(preferredSize), word(granularity));
    ASIOError r;
    if (failing(Slot::getBufferSize, &r)) return r;
    const AsioLong changed = changedPreferred_.load(std::memory_order_acquire);
    *minSize = changed > 0 ? std::min(config_.bufferMin, changed) : config_.bufferMin;
    *maxSize = changed > 0 ? std::max(config_.bufferMax, changed) : config_.bufferMax;
    *preferredSize = changed > 0 ? changed : config_.bufferPreferred;
    *granularity = config_.bufferGranularity;
    return ASE_OK;
}

ASIOError SimDriver::canSampleRate(ASIOSampleRate sampleRate) {
    record(Slot::canSampleRate, 0, 0, 0, 0, sampleRate);
    ASIOError r;
    if (failing(Slot::canSampleRate, &r)) return r;
    return sampleRate > 0.0 ? ASE_OK : ASE_NoClock;
}

ASIOError SimDriver::getSampleRate(ASIOSampleRate* sampleRate) {
    record(Slot::getSampleRate, word(sampleRate));
    ASIOError r;
    if (failing(Slot::getSampleRate, &r)) return r;
    *sampleRate = currentRate_;
    return ASE_OK;
}

ASIOError SimDriver::setSampleRate(ASIOSampleRate sampleRate) {
    record(Slot::setSampleRate, 0, 0, 0, 0, sampleRate);
    ASIOError r;
    if (failing(Slot::setSampleRate, &r)) return r;
    currentRate_ = config_.rateReadsBackDifferently ? config_.rateReadBack : sampleRate;
    return ASE_OK;
}

ASIOError SimDriver::getClockSources(ASIOClockSource* clocks, AsioLong* numSources) {
    record(Slot::getClockSources, word(clocks), word(numSources));
    ASIOError r;
    if (failing(Slot::getClockSources, &r)) return r;
    if (clocks && numSources && *numSources >= 1) {
        std::memset(clocks, 0, sizeof *clocks);
        clocks->associatedChannel = -1;
        clocks->associatedGroup = -1;
        clocks->isCurrentSource = ASIOTrue;
        copyText(clocks->name, "Internal", sizeof clocks->name);
        *numSources = 1;
    }
    return ASE_OK;
}

ASIOError SimDriver::setClockSource(AsioLong reference) {
    record(Slot::setClockSource, word(reference));
    ASIOError r;
    if (failing(Slot::setClockSource, &r)) return r;
    return reference == 0 ? ASE_OK : ASE_InvalidParameter;
}

ASIOError SimDriver::getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) {
    record(Slot::getSamplePosition, word(sPos), word(tStamp));
    ASIOError r;
    if (failing(Slot::getSamplePosition, &r)) return r;
    if (!clock_.samplePositionValid()) return ASE_SPNotAdvancing;
    const std::uint64_t pos = samplePosition_.load(std::memory_order_relaxed);
    sPos->hi = static_cast<std::uint32_t>(pos >> 32);
    sPos->lo = static_cast<std::uint32_t>(pos);
    const std::uint64_t nanos = platform::monotonicMicros() * 1000u;
    tStamp->hi = static_cast<std::uint32_t>(nanos >> 32);
    tStamp->lo = static_cast<std::uint32_t>(nanos);
    return ASE_OK;
}

ASIOError SimDriver::getChannelInfo(ASIOChannelInfo* info) {
    record(Slot::getChannelInfo, word(info));
    ASIOError r;
    if (failing(Slot::getChannelInfo, &r)) return r;
    const bool isInput = info->isInput != ASIOFalse;
    const AsioLong count = isInput ? config_.inputs : config_.outputs;
    if (info->channel < 0 || info->channel >= count) return ASE_InvalidParameter;
    for (const auto& refused : config_.channelInfoRefused)
        if (refused.isInput == isInput && refused.channel == info->channel) return ASE_NotPresent;
    info->isActive = ASIOFalse;
    for (const auto& b : buffers_)
        if (b.isInput == isInput && b.channel == info->channel) info->isActive = ASIOTrue;
    info->channelGroup = 0;
    info->type = config_.typeOf(isInput, info->channel);
    copyText(info->name, std::string(isInput ? "In " : "Out ") + std::to_string(info->channel + 1), 32);
    return ASE_OK;
}

ASIOError SimDriver::createBuffers(ASIOBufferInfo* bufferInfos, AsioLong numChannels, AsioLong bufferSize,
                                   ASIOCallbacks* callbacks) {
    record(Slot::createBuffers, word(bufferInfos), word(numChannels), word(bufferSize), word(callbacks));
    ASIOError r;
    if (failing(Slot::createBuffers, &r)) return r;
    if (bufferInfos == nullptr || callbacks == nullptr || numChannels < 0) return ASE_InvalidParameter;
    const AsioLong changed = changedPreferred_.load(std::memory_order_acquire);
    if (!config_.acceptAnyBufferSize && (changed <= 0 || bufferSize != changed) &&
        (bufferSize < config_.bufferMin || bufferSize > config_.bufferMax))
        return ASE_InvalidMode;
    clock_.stop();  // the old buffers go
    started_ = false;
    if (config_.callbackInsideCreateBuffers) {
        // A driver that starts calling the host before it has handed the buffers over.
        for (AsioLong index : {0, 1}) {
            if (callbacks->bufferSwitch) callbacks->bufferSwitch(index, ASIOTrue);
            ASIOTime time;
            std::memset(&time, 0, sizeof time);
            if (callbacks->bufferSwitchTimeInfo) callbacks->bufferSwitchTimeInfo(&time, index, ASIOTrue);
        }
    }
    std::vector<Buffer> made;
    made.reserve(static_cast<std::size_t>(numChannels));
    for (AsioLong i = 0; i < numChannels; ++i) {
        const ASIOBufferInfo& info = bufferInfos[i];
        const bool isInput = info.isInput != ASIOFalse;
        const AsioLong count = isInput ? config_.inputs : config_.outputs;
        if (info.channelNum < 0 || info.channelNum >= count) return ASE_InvalidParameter;
        const AsioLong width = std::max<AsioLong>(sampleWidthOf(config_.typeOf(isInput, info.channelNum)), 1);
        const std::int64_t wanted = std::int64_t{width} * bufferSize;
        const AsioLong halfBytes =
            config_.acceptAnyBufferSize
                ? static_cast<AsioLong>(std::clamp<std::int64_t>(wanted, 1, config_.uncheckedHalfBytes))
                : static_cast<AsioLong>(wanted);
        Buffer b{isInput, info.channelNum, halfBytes, {}};
        b.halves[0].assign(static_cast<std::size_t>(b.bytesPerHalf), 0);
        b.halves[1].assign(static_cast<std::size_t>(b.bytesPerHalf), 0);
        made.push_back(std::move(b));
    }
    buffers_ = std::move(made);
    for (AsioLong i = 0; i < numChannels; ++i) {
        bufferInfos[i].buffers[0] = buffers_[static_cast<std::size_t>(i)].halves[0].data();
        bufferInfos[i].buffers[1] = buffers_[static_cast<std::size_t>(i)].halves[1].data();
        for (const auto& missing : config_.nullHalves)
            if (missing.isInput == (bufferInfos[i].isInput != ASIOFalse) &&
                missing.channel == bufferInfos[i].channelNum && (missing.half == 0 || missing.half == 1))
                bufferInfos[i].buffers[missing.half] = nullptr;
    }
    callbacks_ = callbacks;
    bufferFrames_ = bufferSize;
    return ASE_OK;
}

void SimDriver::requestReset(AsioLong newPreferredFrames) {
    if (newPreferredFrames > 0) changedPreferred_.store(newPreferredFrames, std::memory_order_release);
    clock_.sendNotices(kNoticeReset);
}

ASIOError SimDriver::disposeBuffers() {
    record(Slot::disposeBuffers);
    ASIOError r;
    if (failing(Slot::disposeBuffers, &r)) return r;
    clock_.stop();
    started_ = false;
    buffers_.clear();
    callbacks_ = nullptr;
    bufferFrames_ = 0;
    return ASE_OK;
}

ASIOError SimDriver::controlPanel() {
    record(Slot::controlPanel);
    ASIOError r;
    if (failing(Slot::controlPanel, &r)) return r;
    return ASE_OK;
}

ASIOError SimDriver::future(AsioLong selector, void* opt) {
    record(Slot::future, word(selector), word(opt));
    ASIOError r;
    if (failing(Slot::future, &r)) return r;
    return ASE_InvalidParameter;
}

ASIOError SimDriver::outputReady() {
    record(Slot::outputReady);
    if (const std::atomic<bool>* gate = config_.outputReadyGate)
        for (int ms = 0; ms < 10000 && !gate->load(std::memory_order_acquire); ++ms) platform::sleepMs(1);
    ASIOError r;
    if (failing(Slot::outputReady, &r)) return r;
    return config_.outputReadySupported ? ASE_OK : ASE_NotPresent;
}

}  // namespace asiochan::sim
