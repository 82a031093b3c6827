// The output-to-input pairs `asiochan analyze` measures.
#pragma once

#include <string>
#include <vector>

namespace cli {

struct ChannelPair {
    unsigned output = 0, input = 0;
};

// "O:I,O:I,...": false with a reason for anything else, a channel above 63, or an
// output or input named twice (each output carries its own tone).
bool parsePairs(const std::string& text, std::vector<ChannelPair>* pairs, std::string* error);

// Output i to input i for every channel both sides have (at most 64).
std::vector<ChannelPair> defaultPairs(int outputs, int inputs);

}  // namespace cli
