#include "console/arguments.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace cli {

std::optional<std::string> Arguments::value(const std::string& name) const {
    asked.insert(name);
    auto it = options.find(name);
    if (it == options.end()) return std::nullopt;
    return it->second;
}

Arguments parseArguments(int argc, char** argv, const std::vector<std::string>& valueOptions, std::string* error) {
    Arguments args;
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        if (word.rfind("--", 0) == 0) {
            bool takesValue = false;
            for (const auto& v : valueOptions) takesValue = takesValue || v == word;
            if (!takesValue) {
                args.options[word] = "";
            } else if (i + 1 < argc) {
                args.options[word] = argv[++i];
            } else {
                *error = "option " + word + " needs a value";
            }
        } else if (word == "-h") {
            args.options["--help"] = "";
        } else if (args.command.empty()) {
            args.command = word;
        } else {
            args.positional.push_back(word);
        }
    }
    return args;
}

bool parseUnsigned(const std::string& text, unsigned* value) {
    if (text.empty() || text.size() > 9) return false;
    unsigned v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    *value = v;
    return true;
}

bool parseChannelList(const std::string& text, std::vector<unsigned>* channels) {
    channels->clear();
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        unsigned channel = 0;
        if (!parseUnsigned(item, &channel)) return false;
        channels->push_back(channel);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return !channels->empty();
}

bool parseDouble(const std::string& text, double* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || end == nullptr || *end != '\0' || !std::isfinite(v)) return false;
    *value = v;
    return true;
}

}  // namespace cli
