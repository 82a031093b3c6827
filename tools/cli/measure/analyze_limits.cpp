#include "measure/analyze_limits.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "measure/json_reader.h"

namespace cli {

std::vector<NamedFigure> namedFigures(const PairFigures& p) {
    const auto plain = [](double v) {
        Figure f;
        f.value = v;
        return f;
    };
    const bool s = p.signal;
    const Figure none;
    return {
        {"gain_db", "", s ? plain(p.gainDb) : none, false},
        {"polarity", "", s ? plain(p.polarity) : none, false},
        {"latency_frames", "", s ? plain(static_cast<double>(p.latencyFrames)) : none, false},
        {"response_deviation_db", "", s ? plain(p.responseDeviationDb) : none, false},
        {"thdn_percent", "thdn_floor_percent", p.thdnPercent, false},
        {"thdn_db", "thdn_floor_db", p.thdnDb, false},
        {"noise_dbfs", "noise_floor_dbfs", p.noiseDbfs, false},
        {"noise_a_dbfs", "noise_a_floor_dbfs", p.noiseADbfs, false},
        {"dynamic_range_db", "dynamic_range_floor_db", p.dynamicRangeDb, true},
    };
}

namespace {
std::string lineError(int line, const std::string& reason) { return "line " + std::to_string(line) + ": " + reason; }

bool knownFigure(const std::string& name) {
    for (const NamedFigure& f : namedFigures(PairFigures{}))
        if (name == f.name) return true;
    return false;
}

bool parseBound(const JsonValue& v, const std::string& name, Bound* bound, std::string* error) {
    if (v.type != JsonValue::Type::object) return *error = lineError(v.line, name + " must be an object with min and/or max"), false;
    for (const auto& [key, value] : v.members) {
        if (key != "min" && key != "max")
            return *error = lineError(value.line, name + " takes only min and max, not \"" + key + "\""), false;
        if (value.type != JsonValue::Type::number)
            return *error = lineError(value.line, name + "'s " + key + " must be a number"), false;
        (key == "min" ? bound->min : bound->max) = value.number;
    }
    if (!bound->min && !bound->max) return *error = lineError(v.line, name + " needs min or max"), false;
    if (bound->min && bound->max && *bound->min > *bound->max)
        return *error = lineError(v.line, name + "'s min is above its max"), false;
    return true;
}

bool parseFigures(const JsonValue& v, std::map<std::string, Bound>* out, std::string* error) {
    for (const auto& [key, value] : v.members) {
        if (!knownFigure(key)) return *error = lineError(value.line, "unknown figure \"" + key + "\""), false;
        if (!parseBound(value, key, &(*out)[key], error)) return false;
    }
    return true;
}

// "O:I" written as the results name the pair ("05:5" is "5:5"); empty for anything else.
std::string pairKey(const std::string& key) {
    unsigned o = 0, i = 0;
    char rest = 0;
    if (key.find_first_of("+- ") != std::string::npos) return "";
    if (std::sscanf(key.c_str(), "%u:%u%c", &o, &i, &rest) != 2 || o >= 64 || i >= 64) return "";
    return std::to_string(o) + ":" + std::to_string(i);
}

bool parseMask(const JsonValue& v, std::vector<MaskBand>* mask, std::string* error) {
    if (v.type != JsonValue::Type::array) return *error = lineError(v.line, "response_mask must be an array of bands"), false;
    for (const JsonValue& band : v.items) {
        bool ok = band.type == JsonValue::Type::array && band.items.size() == 4;
        for (std::size_t i = 0; ok && i < 4; ++i) ok = band.items[i].type == JsonValue::Type::number;
        if (!ok) return *error = lineError(band.line, "a response_mask band is [from_hz, to_hz, min_db, max_db]"), false;
        const MaskBand m{band.items[0].number, band.items[1].number, band.items[2].number, band.items[3].number};
        if (!(m.fromHz > 0.0 && m.fromHz < m.toHz) || m.minDb > m.maxDb)
            return *error = lineError(band.line, "a response_mask band needs 0 < from_hz < to_hz and min_db <= max_db"), false;
        mask->push_back(m);
    }
    return true;
}
}  // namespace

bool parseLimits(const std::string& text, Limits* limits, std::string* error) {
    *limits = Limits{};
    limits->given = true;
    JsonValue root;
    JsonError jsonError;
    if (!parseJson(text, &root, &jsonError)) return *error = lineError(jsonError.line, jsonError.message), false;
    if (root.type != JsonValue::Type::object) return *error = lineError(root.line, "the limits must be a JSON object"), false;
    for (const auto& [key, value] : root.members) {
        if (key == "pairs") {
            if (value.type != JsonValue::Type::object) return *error = lineError(value.line, "pairs must be an object"), false;
            for (const auto& [written, figures] : value.members) {
                const std::string pair = pairKey(written);
                if (pair.empty())
                    return *error = lineError(figures.line, "a pair is \"OUTPUT:INPUT\", not \"" + written + "\""), false;
                if (limits->pairLines.count(pair))
                    return *error = lineError(figures.line, "pair " + pair + " appears twice"), false;
                if (figures.type != JsonValue::Type::object)
                    return *error = lineError(figures.line, "pair " + pair + " must be an object of figures"), false;
                if (!parseFigures(figures, &limits->pairs[pair], error)) return false;
                limits->pairLines[pair] = figures.line;
            }
        } else if (key == "crosstalk_db") {
            Bound b;
            if (!parseBound(value, key, &b, error)) return false;
            if (b.min || !b.max) return *error = lineError(value.line, "crosstalk_db takes a max only"), false;
            limits->crosstalkMax = b.max;
        } else if (key == "response_mask") {
            if (!parseMask(value, &limits->responseMask, error)) return false;
        } else {
            if (!knownFigure(key)) return *error = lineError(value.line, "unknown figure \"" + key + "\""), false;
            if (!parseBound(value, key, &limits->all[key], error)) return false;
        }
    }
    return true;
}

std::string unmeasuredLimitPair(const Limits& limits, const std::vector<std::string>& measured) {
    for (const auto& [pair, line] : limits.pairLines)
        if (std::find(measured.begin(), measured.end(), pair) == measured.end())
            return lineError(line, "pair " + pair + " is not measured in this run");
    return "";
}

namespace {
std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", v == 0.0 ? 0.0 : v);  // no "-0"
    return text;
}

// A figure's value in words, unjudged.
Verdict unjudged(const NamedFigure& f) {
    Verdict v;
    v.figure = f.name;
    v.value = f.figure.value;
    if (f.figure.value)
        v.detail = f.name + std::string(" ") + number(*f.figure.value);
    else if (f.figure.floor)
        v.detail = f.name + std::string(f.higherIsBetter ? " above " : " below ") + "the take's floor of " +
                   number(*f.figure.floor);
    else
        v.detail = f.name + std::string(" not measured");
    return v;
}

// A figure against its bound. A figure beyond its floor passes a limit only when
// the floor itself does.
Verdict check(const NamedFigure& f, const Bound& b) {
    Verdict v;
    v.figure = f.name;
    v.min = b.min;
    v.max = b.max;
    std::string limits = b.min && b.max ? number(*b.min) + " to " + number(*b.max)
                         : b.min        ? "at least " + number(*b.min)
                                        : "at most " + number(*b.max);
    if (f.figure.value) {
        const double x = *f.figure.value;
        v.value = x;
        v.passed = (!b.min || x >= *b.min) && (!b.max || x <= *b.max);
        v.detail = f.name + std::string(" ") + number(x) + (v.passed ? " within " : " outside ") + limits;
    } else if (f.figure.floor) {
        const double floor = *f.figure.floor;
        v.passed = f.higherIsBetter ? (!b.max && (!b.min || floor >= *b.min)) : (!b.min && (!b.max || floor <= *b.max));
        v.detail = f.name + std::string(f.higherIsBetter ? " above " : " below ") + "the take's floor of " +
                   number(floor) + (v.passed ? ", within " : ", not shown within ") + limits;
    } else {
        v.passed = false;
        v.detail = f.name + std::string(" not measured; limits ") + limits;
    }
    return v;
}
}  // namespace

Judgement judge(const AnalysisResults& r, const Limits& limits) {
    Judgement j;
    j.judged = limits.given;
    for (std::size_t p = 0; p < r.pairs.size() && !j.judged; ++p) {
        std::vector<Verdict> verdicts;
        for (const NamedFigure& f : namedFigures(r.pairs[p])) verdicts.push_back(unjudged(f));
        j.pairs.push_back(std::move(verdicts));
    }
    for (std::size_t p = 0; p < r.pairs.size() && j.judged; ++p) {
        const PairFigures& pair = r.pairs[p];
        std::vector<Verdict> verdicts;
        if (!pair.signal) verdicts.push_back({"signal", false, "nothing came back on the input", {}, {}, {}});
        const std::string key = std::to_string(pair.output) + ":" + std::to_string(pair.input);
        const auto own = limits.pairs.find(key);
        for (const NamedFigure& f : namedFigures(pair)) {
            const Bound* bound = nullptr;
            if (own != limits.pairs.end() && own->second.count(f.name)) bound = &own->second.at(f.name);
            else if (limits.all.count(f.name)) bound = &limits.all.at(f.name);
            if (bound) verdicts.push_back(check(f, *bound));
        }
        if (!limits.responseMask.empty()) {
            Verdict v{"response_mask", pair.signal, pair.signal ? "the response lies within the mask" : "not measured",
                      {}, {}, {}};
            for (const MaskBand& m : limits.responseMask)
                for (const auto& [hz, db] : pair.response)
                    if (hz >= m.fromHz && hz <= m.toHz && (db < m.minDb || db > m.maxDb) && v.passed) {
                        v.passed = false;
                        v.value = db;
                        v.min = m.minDb;
                        v.max = m.maxDb;
                        v.detail = "response " + number(db) + " dB at " + number(hz) + " Hz outside " +
                                   number(m.minDb) + " to " + number(m.maxDb) + " dB";
                    }
            verdicts.push_back(v);
        }
        if (limits.crosstalkMax && p < r.crosstalkDb.size()) {
            NamedFigure worst{"crosstalk_db", "crosstalk_floor_db", {}, false};
            for (std::size_t k = 0; k < r.crosstalkDb[p].size(); ++k) {
                if (k == p) continue;
                const Figure& cell = r.crosstalkDb[p][k];
                const double at = cell.value ? *cell.value : cell.floor ? *cell.floor : INFINITY;
                const double before = worst.figure.value ? *worst.figure.value : worst.figure.floor ? *worst.figure.floor : -INFINITY;
                if (!cell.measured() ? true : at > before) worst.figure = cell;
                if (!cell.measured()) break;
            }
            if (r.crosstalkDb[p].size() > 1) verdicts.push_back(check(worst, Bound{{}, limits.crosstalkMax}));
        }
        for (const Verdict& v : verdicts) j.passed = j.passed && v.passed;
        j.pairs.push_back(std::move(verdicts));
    }
    return j;
}

}  // namespace cli
