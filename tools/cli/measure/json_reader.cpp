#include "measure/json_reader.h"

#include <cmath>
#include <cstdlib>

namespace cli {

const JsonValue* JsonValue::member(const std::string& key) const {
    for (const auto& [name, value] : members)
        if (name == key) return &value;
    return nullptr;
}

namespace {
constexpr int kMaxDepth = 64;

class Parser {
public:
    Parser(const std::string& text, JsonError* error) : s_(text), error_(error) {}

    bool document(JsonValue* v) {
        if (!value(v, 0)) return false;
        skipSpace();
        if (at_ != s_.size()) return fail("unexpected text after the end of the document");
        return true;
    }

private:
    bool fail(const std::string& message) {
        error_->line = line_;
        error_->message = message;
        return false;
    }

    void skipSpace() {
        while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\n' || s_[at_] == '\r')) {
            if (s_[at_] == '\n') ++line_;
            ++at_;
        }
    }

    bool literal(const char* word) {
        std::size_t n = 0;
        while (word[n] != '\0') ++n;
        if (s_.compare(at_, n, word) != 0) return false;
        at_ += n;
        return true;
    }

    bool value(JsonValue* v, int depth) {
        if (depth > kMaxDepth) return fail("nested more than 64 levels deep");
        skipSpace();
        v->line = line_;
        if (at_ >= s_.size()) return fail("the document ends where a value was expected");
        const char c = s_[at_];
        if (c == '{') return object(v, depth);
        if (c == '[') return array(v, depth);
        if (c == '"') {
            v->type = JsonValue::Type::string;
            return string(&v->text);
        }
        if (literal("true") || literal("false")) {
            v->type = JsonValue::Type::boolean;
            v->boolean = c == 't';
            return true;
        }
        if (literal("null")) return true;
        if (c == '-' || (c >= '0' && c <= '9')) return number(v);
        return fail(std::string("unexpected character '") + c + "'");
    }

    bool number(JsonValue* v) {
        const std::size_t start = at_;
        if (s_[at_] == '-') ++at_;
        const auto digits = [&] {
            const std::size_t from = at_;
            while (at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9') ++at_;
            return at_ > from;
        };
        if (!digits()) return fail("a number needs digits");
        if (at_ < s_.size() && s_[at_] == '.' && (++at_, !digits())) return fail("a number needs digits after its point");
        if (at_ < s_.size() && (s_[at_] == 'e' || s_[at_] == 'E')) {
            ++at_;
            if (at_ < s_.size() && (s_[at_] == '+' || s_[at_] == '-')) ++at_;
            if (!digits()) return fail("a number needs digits in its exponent");
        }
        const std::string text = s_.substr(start, at_ - start);
        v->type = JsonValue::Type::number;
        v->number = std::strtod(text.c_str(), nullptr);
        if (!std::isfinite(v->number)) return fail("the number " + text + " is out of range");
        return true;
    }

    bool string(std::string* out) {
        ++at_;  // the quote
        for (;;) {
            if (at_ >= s_.size()) return fail("a string is not closed");
            const char c = s_[at_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return fail("a string holds a control character (a line break?)");
            if (c != '\\') {
                out->push_back(c);
                continue;
            }
            if (at_ >= s_.size()) return fail("a string is not closed");
            const char e = s_[at_++];
            switch (e) {
                case '"': case '\\': case '/': out->push_back(e); break;
                case 'b': out->push_back('\b'); break;
                case 'f': out->push_back('\f'); break;
                case 'n': out->push_back('\n'); break;
                case 'r': out->push_back('\r'); break;
                case 't': out->push_back('\t'); break;
                case 'u': {
                    if (at_ + 4 > s_.size()) return fail("a \\u escape needs four hex digits");
                    unsigned code = 0;
                    for (int i = 0; i < 4; ++i) {
                        const char h = s_[at_++];
                        const int d = h >= '0' && h <= '9' ? h - '0' : h >= 'a' && h <= 'f' ? h - 'a' + 10
                                      : h >= 'A' && h <= 'F' ? h - 'A' + 10 : -1;
                        if (d < 0) return fail("a \\u escape needs four hex digits");
                        code = code * 16 + static_cast<unsigned>(d);
                    }
                    // Keys and names here are ASCII; anything else is kept as UTF-8 of the code unit.
                    if (code < 0x80) {
                        out->push_back(static_cast<char>(code));
                    } else if (code < 0x800) {
                        out->push_back(static_cast<char>(0xC0 | (code >> 6)));
                        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
                    } else {
                        out->push_back(static_cast<char>(0xE0 | (code >> 12)));
                        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
                        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
                    }
                    break;
                }
                default: return fail(std::string("unknown escape \\") + e);
            }
        }
    }

    bool array(JsonValue* v, int depth) {
        v->type = JsonValue::Type::array;
        ++at_;
        skipSpace();
        if (at_ < s_.size() && s_[at_] == ']') return ++at_, true;
        for (;;) {
            v->items.emplace_back();
            if (!value(&v->items.back(), depth + 1)) return false;
            skipSpace();
            if (at_ < s_.size() && s_[at_] == ',') { ++at_; continue; }
            if (at_ < s_.size() && s_[at_] == ']') return ++at_, true;
            return fail("expected ',' or ']' in an array");
        }
    }

    bool object(JsonValue* v, int depth) {
        v->type = JsonValue::Type::object;
        ++at_;
        skipSpace();
        if (at_ < s_.size() && s_[at_] == '}') return ++at_, true;
        for (;;) {
            skipSpace();
            if (at_ >= s_.size() || s_[at_] != '"') return fail("expected a key in quotes");
            std::string key;
            const int keyLine = line_;
            if (!string(&key)) return false;
            if (v->member(key)) {
                line_ = keyLine;
                return fail("the key \"" + key + "\" appears twice");
            }
            skipSpace();
            if (at_ >= s_.size() || s_[at_] != ':') return fail("expected ':' after \"" + key + "\"");
            ++at_;
            v->members.emplace_back(key, JsonValue{});
            if (!value(&v->members.back().second, depth + 1)) return false;
            skipSpace();
            if (at_ < s_.size() && s_[at_] == ',') { ++at_; continue; }
            if (at_ < s_.size() && s_[at_] == '}') return ++at_, true;
            return fail("expected ',' or '}' in an object");
        }
    }

    const std::string& s_;
    JsonError* error_;
    std::size_t at_ = 0;
    int line_ = 1;
};
}  // namespace

bool parseJson(const std::string& text, JsonValue* value, JsonError* error) {
    *value = JsonValue{};
    *error = JsonError{};
    return Parser(text, error).document(value);
}

}  // namespace cli
