// The driver objects of the served classes, the library's state and the one
// way to make an object of a class, shared by the COM server (Windows) and the
// Linux library.
#include <bit>
#include <cmath>
#include <new>

#include "simdriver/classes/sim_objects.h"

namespace asiochan::sim::classes {

ServerState& server() {
    static ServerState state;
    return state;
}

ClassDriver::ClassDriver(const SimClassInfo& cls, SimConfig config)
    : SimDriver(std::move(config)), kind_(cls.kind), id_(cls.id) {
    clock().options() = clockFor(kind_);
    if (kind_ == SimClass::Resets || kind_ == SimClass::Skips || kind_ == SimClass::RateChange) {
        periodsUntilScript_ = kind_ != SimClass::Skips ? kScriptPeriods : 0;  // Skips: set at every start
        clock().options().periodObserver = &ClassDriver::afterPeriod;
        clock().options().observerContext = this;
    }
    // Set before any start, so that even a clock running as fast as it can stops here.
    if (kind_ == SimClass::Stalls) clock().options().stallAfter = kScriptPeriods;
    ++server().liveObjects;
    ++server().created;
    server().newest.store(this);
}

ClassDriver::~ClassDriver() {
    ClassDriver* self = this;
    server().newest.compare_exchange_strong(self, nullptr);
    --server().liveObjects;
}

std::int32_t ASIOCHAN_COMCALL ClassDriver::QueryInterface(const platform::ClassId& iid, void** object) {
    if (object == nullptr) return kPointerResult;
    if (iid == kUnknownInterface || iid == id_) {
        AddRef();
        *object = static_cast<IASIO*>(this);
        return kOkResult;
    }
    *object = nullptr;
    return kNoInterfaceResult;
}

ASIOError ClassDriver::start() {
    if (realTimePacing && bufferFrames_ > 0 && currentRate_ > 0.0) {
        const double pace = paceFor(kind_);
        clock().options().periodMicros =
            pace > 0.0 ? static_cast<std::uint32_t>(std::llround(bufferFrames_ * 1e6 / currentRate_ / pace)) : 0;
    }
    // The clock thread is not running yet: the count is its own from here on.
    if (kind_ == SimClass::Skips && !started()) periodsUntilScript_.store(kScriptPeriods, std::memory_order_relaxed);
    return SimDriver::start();
}

void ClassDriver::afterPeriod(void* self, const ClockBuffer* /*buffers*/, std::size_t /*count*/, int /*half*/) {
    auto* driver = static_cast<ClassDriver*>(self);
    std::uint32_t left = driver->periodsUntilScript_.load(std::memory_order_relaxed);
    if (left == 0) return;
    driver->periodsUntilScript_.store(--left, std::memory_order_relaxed);
    if (driver->kind_ == SimClass::RateChange) return driver->rateScript(left);
    if (left != 0) return;
    if (driver->kind_ == SimClass::Resets)
        driver->requestReset(2 * driver->bufferFrames_);
    else
        driver->clock().skipPeriods(kScriptSkips);
}

void ClassDriver::rateScript(std::uint32_t left) {
    if (left == kScriptPeriods / 2) clock().sendNotices(kNoticeResync);
    if (left == kScriptPeriods / 4) clock().sendNotices(kNoticeLatencies);
    if (left != 0) return;
    changedRate_.store(std::bit_cast<std::uint64_t>(kChangedRate), std::memory_order_release);
    clock().sendNotices(kNoticeSampleRate, kChangedRate);
}

ASIOError ClassDriver::getSampleRate(ASIOSampleRate* sampleRate) {
    const double changed = std::bit_cast<double>(changedRate_.load(std::memory_order_acquire));
    if (changed > 0.0) currentRate_ = changed;
    return SimDriver::getSampleRate(sampleRate);
}

std::int32_t createDriver(const SimClassInfo& cls, const platform::ClassId& interfaceId, void** object) {
    if (object == nullptr) return kPointerResult;
    *object = nullptr;
    if (cls.kind == SimClass::Refused) return kFailResult;
    if (!(interfaceId == cls.id) && !(interfaceId == kUnknownInterface)) return kNoInterfaceResult;
    auto* driver = new (std::nothrow) ClassDriver(cls, configFor(cls.kind));
    if (driver == nullptr) return kOutOfMemoryResult;
    *object = static_cast<IASIO*>(driver);
    return kOkResult;
}

}  // namespace asiochan::sim::classes
