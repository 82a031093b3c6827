// Which file channel plays on which output: from an output list (--channels,
// --play-channels) or a map (--map, --play-map), checked against the file and the
// driver. Every refusal prints its reason; the commands exit with 2.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "wav/wav_file.h"

namespace cli {

struct Route {
    unsigned fileChannel;
    unsigned output;
};

// A file with as many channels as `outputs` plays one-to-one, file channel i on
// the i-th output listed; a mono file plays on every output. Any other combination
// is refused, naming `option`, what the file has and `mapOption` for other layouts.
bool routesFromList(const std::vector<unsigned>& outputs, const WavInfo& wav, const std::string& file,
                    const char* option, const char* mapOption, std::vector<Route>* routes);
// "0:4,1:5": file channel 0 on output 4, file channel 1 on output 5, in that order.
bool routesFromMap(const std::string& text, const WavInfo& wav, const std::string& file, const char* option,
                   std::vector<Route>* routes);
// Every output is one of the driver's `outputs`, is named once, and has a sample
// type the players can write (`typeOf` answers an output's type, or -1 when the
// driver does not say).
bool checkRouteOutputs(const std::vector<Route>& routes, std::int32_t outputs,
                       const std::function<std::int32_t(unsigned)>& typeOf);

}  // namespace cli
