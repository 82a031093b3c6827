#include "streaming/route_check.h"

#include "asiochan.h"

namespace cli {

bool checkOutputs(const std::vector<Route>& routes) {
    return checkRouteOutputs(routes, GetOutputChannelCount(), [](unsigned output) {
        AsiochanChannelInfo info{};
        info.channel = static_cast<std::int32_t>(output);
        info.isInput = 0;
        return ASIOGetChannelInfo(&info) == ASIOCHAN_OK ? info.type : std::int32_t{-1};
    });
}

}  // namespace cli
