#include "engine/request_queries.h"

#include "engine/engine_state.h"

using namespace asiochan;

extern "C" std::uint32_t ASIOCHAN_CDECL GetDriverRequests() { return engine.requests.take(); }

extern "C" std::uint32_t ASIOCHAN_CDECL GetPeriodCount() {
    return engine.runPrepared.load(std::memory_order_acquire) != 0 ? engine.requests.periods() : 0;
}
