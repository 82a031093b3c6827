#include "streaming/routing.h"

#include <cstdio>

#include "console/arguments.h"
#include "wav/sample_codec.h"

namespace cli {

bool routesFromList(const std::vector<unsigned>& outputs, const WavInfo& wav, const std::string& file,
                    const char* option, const char* mapOption, std::vector<Route>* routes) {
    routes->clear();
    if (wav.channels > 1 && wav.channels != outputs.size()) {
        std::fprintf(stderr,
                     "error: %s has %u channels but %s lists %u output%s: list one output per file channel "
                     "(any number for a mono file), or give %s FILE-CHANNEL:OUTPUT,...\n",
                     file.c_str(), unsigned(wav.channels), option, unsigned(outputs.size()),
                     outputs.size() == 1 ? "" : "s", mapOption);
        return false;
    }
    for (std::size_t i = 0; i < outputs.size(); ++i)
        routes->push_back({wav.channels > 1 ? static_cast<unsigned>(i) : 0u, outputs[i]});
    return true;
}

bool routesFromMap(const std::string& text, const WavInfo& wav, const std::string& file, const char* option,
                   std::vector<Route>* routes) {
    routes->clear();
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const std::size_t colon = item.find(':');
        Route route{};
        if (colon == std::string::npos || !parseUnsigned(item.substr(0, colon), &route.fileChannel) ||
            !parseUnsigned(item.substr(colon + 1), &route.output)) {
            std::fprintf(stderr, "error: bad %s \"%s\" (expected FILE-CHANNEL:OUTPUT pairs, e.g. 0:4,1:5)\n", option,
                         text.c_str());
            return false;
        }
        const unsigned channels = wav.channels ? wav.channels : 1u;
        if (route.fileChannel >= channels) {
            std::fprintf(stderr, "error: %s maps file channel %u, but %s has %u channel%s (0..%u)\n", option,
                         route.fileChannel, file.c_str(), channels, channels == 1 ? "" : "s", channels - 1);
            return false;
        }
        routes->push_back(route);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return true;
}

bool checkRouteOutputs(const std::vector<Route>& routes, std::int32_t outputs,
                       const std::function<std::int32_t(unsigned)>& typeOf) {
    for (std::size_t i = 0; i < routes.size(); ++i) {
        const unsigned c = routes[i].output;
        if (static_cast<std::int64_t>(c) >= outputs) {
            std::fprintf(stderr, "error: output channel %u does not exist (the driver has %d outputs)\n", c,
                         int(outputs));
            return false;
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (routes[j].output == c) {
                std::fprintf(stderr, "error: output channel %u is named twice\n", c);
                return false;
            }
        }
        // The players write every output type with a width; say which channel cannot play.
        const std::int32_t type = typeOf(c);
        if (type >= 0 && describeSampleType(type).wavTag == 0) {
            std::fprintf(stderr, "error: output channel %u has sample type %s, which the players cannot write\n", c,
                         describeSampleType(type).name);
            return false;
        }
    }
    return true;
}

}  // namespace cli
