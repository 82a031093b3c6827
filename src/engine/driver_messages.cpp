#include "engine/driver_messages.h"

#include "engine/engine_state.h"

namespace asiochan {

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
            engine.requests.note(kRequestReset);
            return 1;
        case kAsioResyncRequest:
            engine.requests.note(kRequestResync);
            return 1;
        case kAsioLatenciesChanged:
            engine.requests.note(kRequestLatencies);
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
void ASIOCHAN_CDECL sampleRateDidChange(ASIOSampleRate rate) { engine.requests.noteSampleRate(rate); }

}  // namespace asiochan
