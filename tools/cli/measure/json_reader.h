// A small JSON reader for limits files: every value remembers the line it began
// on, so that a file's problems are reported by line.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace cli {

struct JsonValue {
    enum class Type { null, boolean, number, string, array, object };
    Type type = Type::null;
    int line = 1;
    bool boolean = false;
    double number = 0.0;
    std::string text;
    std::vector<JsonValue> items;                            // an array's
    std::vector<std::pair<std::string, JsonValue>> members;  // an object's, in file order

    const JsonValue* member(const std::string& key) const;
};

struct JsonError {
    int line = 0;  // 0: none
    std::string message;
};

// Parses a whole document (one value, then only white space). Nesting deeper
// than 64 levels, duplicate keys and numbers beyond a double are errors.
bool parseJson(const std::string& text, JsonValue* value, JsonError* error);

}  // namespace cli
