#include "engine/callbacks.h"

#include <atomic>
#include <cstring>

#include "engine/engine.h"

namespace asiochan {

namespace {
std::atomic<Engine*> routedEngine{nullptr};
}  // namespace

void routeCallbacksTo(Engine* engine) { routedEngine.store(engine, std::memory_order_seq_cst); }

void unrouteCallbacks(Engine* engine) {
    Engine* expected = engine;
    routedEngine.compare_exchange_strong(expected, nullptr, std::memory_order_seq_cst);
}

ASIOCallbacks engineCallbacks() {
    ASIOCallbacks table{};
    table.bufferSwitch = &bufferSwitch;
    table.sampleRateDidChange = &sampleRateDidChange;
    table.asioMessage = &asioMessage;
    table.bufferSwitchTimeInfo = &bufferSwitchTimeInfo;
    return table;
}

ASIOTime* ASIOCHAN_CDECL bufferSwitchTimeInfo(ASIOTime* timeInfo, AsioLong doubleBufferIndex,
                                              ASIOBool /*directProcess*/) {
    if (Engine* engine = routedEngine.load(std::memory_order_acquire))
        engine->runPeriod(doubleBufferIndex, samplePositionOf(timeInfo));
    return nullptr;
}

void ASIOCHAN_CDECL bufferSwitch(AsioLong doubleBufferIndex, ASIOBool directProcess) {
    Engine* engine = routedEngine.load(std::memory_order_acquire);
    if (engine == nullptr) return;
    ASIOTime time;
    std::memset(&time, 0, sizeof time);
    if (engine->samplePosition(&time.timeInfo.samplePosition, &time.timeInfo.systemTime) == ASE_OK)
        time.timeInfo.flags = kSystemTimeValid | kSamplePositionValid;
    bufferSwitchTimeInfo(&time, doubleBufferIndex, directProcess);
}

namespace {
// The driver's notices are kept for the application (see DriverRequests); the
// answers below do not depend on them.
void note(std::uint32_t request) {
    if (Engine* engine = routedEngine.load(std::memory_order_acquire)) engine->state().requests.note(request);
}
}  // namespace

AsioLong ASIOCHAN_CDECL asioMessage(AsioLong selector, AsioLong value, void* /*message*/, double* /*opt*/) {
    switch (selector) {
        case kAsioSelectorSupported:
            switch (value) {
                case kAsioEngineVersion:
                case kAsioResetRequest:
                case kAsioResyncRequest:
                case kAsioLatenciesChanged:
                case kAsioSupportsTimeInfo:
                case kAsioSupportsTimeCode:
                case kAsioSupportsInputMonitor:
                    return 1;
                default:
                    return 0;
            }
        case kAsioEngineVersion:
            return 2;
        case kAsioResetRequest:
            note(kRequestReset);
            return 1;
        case kAsioResyncRequest:
            note(kRequestResync);
            return 1;
        case kAsioLatenciesChanged:
            note(kRequestLatencies);
            return 1;
        case kAsioSupportsTimeInfo:
            return 1;
        default:
            // kAsioBufferSizeChange, kAsioSupportsTimeCode, kAsioMMCCommand,
            // kAsioSupportsInputMonitor and every unknown selector.
            return 0;
    }
}

// The engine keeps the rate it last read; a change announced by the driver is
// noted for the application, which decides what to do about it.
void ASIOCHAN_CDECL sampleRateDidChange(ASIOSampleRate rate) {
    if (Engine* engine = routedEngine.load(std::memory_order_acquire)) engine->state().requests.noteSampleRate(rate);
}

}  // namespace asiochan
