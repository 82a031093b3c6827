// The in-process server's entry points: the class factory for the simulated
// driver classes and the unload test.
#include <objbase.h>
#include <unknwn.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <new>

#include "simdriver/com/sim_server_state.h"

namespace asiochan::sim::com {

ServerState& server() {
    static ServerState state;
    return state;
}

ComSimDriver::ComSimDriver(const SimClassInfo& cls, SimConfig config)
    : SimDriver(std::move(config)), kind_(cls.kind), id_(cls.id) {
    clock().options() = clockFor(kind_);
    if (kind_ == SimClass::Resets || kind_ == SimClass::Skips || kind_ == SimClass::RateChange) {
        periodsUntilScript_ = kind_ != SimClass::Skips ? kScriptPeriods : 0;  // Skips: set at every start
        clock().options().periodObserver = &ComSimDriver::afterPeriod;
        clock().options().observerContext = this;
    }
    // Set before any start, so that even a clock running as fast as it can stops here.
    if (kind_ == SimClass::Stalls) clock().options().stallAfter = kScriptPeriods;
    ++server().liveObjects;
    ++server().created;
    server().newest.store(this);
}

ComSimDriver::~ComSimDriver() {
    ComSimDriver* self = this;
    server().newest.compare_exchange_strong(self, nullptr);
    --server().liveObjects;
}

std::int32_t ASIOCHAN_COMCALL ComSimDriver::QueryInterface(const platform::ClassId& iid, void** object) {
    if (object == nullptr) return E_POINTER;
    CLSID asked;
    std::memcpy(&asked, &iid, sizeof asked);
    if (IsEqualIID(asked, IID_IUnknown) || IsEqualIID(asked, id_)) {
        AddRef();
        *object = static_cast<IASIO*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ASIOError ComSimDriver::start() {
    if (realTimePacing && bufferFrames_ > 0 && currentRate_ > 0.0) {
        const double pace = paceFor(kind_);
        clock().options().periodMicros =
            pace > 0.0 ? static_cast<std::uint32_t>(std::llround(bufferFrames_ * 1e6 / currentRate_ / pace)) : 0;
    }
    // The clock thread is not running yet: the count is its own from here on.
    if (kind_ == SimClass::Skips && !started()) periodsUntilScript_.store(kScriptPeriods, std::memory_order_relaxed);
    return SimDriver::start();
}

void ComSimDriver::afterPeriod(void* self, const ClockBuffer* /*buffers*/, std::size_t /*count*/, int /*half*/) {
    auto* driver = static_cast<ComSimDriver*>(self);
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

void ComSimDriver::rateScript(std::uint32_t left) {
    if (left == kScriptPeriods / 2) clock().sendNotices(kNoticeResync);
    if (left == kScriptPeriods / 4) clock().sendNotices(kNoticeLatencies);
    if (left != 0) return;
    changedRate_.store(std::bit_cast<std::uint64_t>(kChangedRate), std::memory_order_release);
    clock().sendNotices(kNoticeSampleRate, kChangedRate);
}

ASIOError ComSimDriver::getSampleRate(ASIOSampleRate* sampleRate) {
    const double changed = std::bit_cast<double>(changedRate_.load(std::memory_order_acquire));
    if (changed > 0.0) currentRate_ = changed;
    return SimDriver::getSampleRate(sampleRate);
}

namespace {

class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(const SimClassInfo& cls) : class_(cls) { ++server().locks; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            AddRef();
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const long left = --refs_;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // The driver is handed out as the object itself: its class id doubles as the
    // interface id, and plain IUnknown is accepted too.
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        if (class_.kind == SimClass::Refused) return E_FAIL;
        if (!IsEqualIID(riid, class_.id) && !IsEqualIID(riid, IID_IUnknown)) return E_NOINTERFACE;
        auto* driver = new (std::nothrow) ComSimDriver(class_, configFor(class_.kind));
        if (driver == nullptr) return E_OUTOFMEMORY;
        *object = static_cast<IASIO*>(driver);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            ++server().locks;
        else
            --server().locks;
        return S_OK;
    }

private:
    ~ClassFactory() { --server().locks; }

    const SimClassInfo& class_;
    std::atomic<long> refs_{1};
};

}  // namespace
}  // namespace asiochan::sim::com

using namespace asiochan::sim::com;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        server().module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    const SimClassInfo* cls = findSimClass(clsid);
    if (cls == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) ClassFactory(*cls);
    if (factory == nullptr) return E_OUTOFMEMORY;
    const HRESULT r = factory->QueryInterface(riid, object);
    factory->Release();
    return r;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return server().liveObjects.load() == 0 && server().locks.load() == 0 ? S_OK : S_FALSE;
}
