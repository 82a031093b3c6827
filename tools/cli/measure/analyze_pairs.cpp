#include "measure/analyze_pairs.h"

#include <algorithm>
#include <sstream>

#include "console/arguments.h"

namespace cli {

bool parsePairs(const std::string& text, std::vector<ChannelPair>* pairs, std::string* error) {
    pairs->clear();
    std::stringstream list(text);
    std::string item;
    while (std::getline(list, item, ',')) {
        const std::size_t colon = item.find(':');
        ChannelPair p;
        if (colon == std::string::npos || !parseUnsigned(item.substr(0, colon), &p.output) ||
            !parseUnsigned(item.substr(colon + 1), &p.input) || p.output > 63 || p.input > 63)
            return *error = "\"" + item + "\" is not OUTPUT:INPUT with channels 0..63", false;
        for (const ChannelPair& q : *pairs)
            if (q.output == p.output || q.input == p.input)
                return *error = "\"" + item + "\" names an output or an input a second time", false;
        pairs->push_back(p);
    }
    if (pairs->empty() || text.empty() || text.back() == ',') return *error = "no pairs in \"" + text + "\"", false;
    return true;
}

std::vector<ChannelPair> defaultPairs(int outputs, int inputs) {
    std::vector<ChannelPair> pairs;
    for (int k = 0; k < std::min({outputs, inputs, 64}); ++k)
        pairs.push_back({static_cast<unsigned>(k), static_cast<unsigned>(k)});
    return pairs;
}

}  // namespace cli
