// Limits files and the results `asiochan analyze` writes: good and bad files with
// the line of each problem, verdicts at the edges and at floors, and the JSON
// read back with the same reader.
#include <gtest/gtest.h>

#include <string>

#include "measure/analyze_limits.h"
#include "measure/analyze_outputs.h"
#include "measure/analyze_pairs.h"
#include "measure/json_reader.h"

namespace {

TEST(AnalyzeLimits, FilesGoodAndBad) {
    const struct {
        const char* text;
        const char* error;  // null: the file is good
    } rows[] = {
        {"{\"gain_db\": {\"min\": -0.5, \"max\": 0.5},\n \"pairs\": {\"5:5\": {\"polarity\": {\"max\": -1}}},\n"
         " \"crosstalk_db\": {\"max\": -80}, \"response_mask\": [[20, 20000, -0.5, 0.5]]}",
         nullptr},
        {"{}", nullptr},
        {"{\n  \"gain_db\": {\"min\": -1},\n  \"gian_db\": {\"max\": 1}\n}", "line 3: unknown figure \"gian_db\""},
        {"{\n  \"gain_db\": {\"min\": 1, \"max\": -1}\n}", "line 2: gain_db's min is above its max"},
        {"{\n  \"noise_dbfs\": {\"max\": \"-90\"}\n}", "line 2: noise_dbfs's max must be a number"},
        {"{\n  \"noise_dbfs\": {}\n}", "line 2: noise_dbfs needs min or max"},
        {"{\n  \"pairs\": {\n    \"5\": {}\n  }\n}", "line 3: a pair is \"OUTPUT:INPUT\", not \"5\""},
        {"{\n  \"response_mask\": [\n    [20, 10, 0, 1]\n  ]\n}", "line 3: a response_mask band needs 0 < from_hz < to_hz and min_db <= max_db"},
        {"{\n  \"crosstalk_db\": {\"min\": -200, \"max\": -80}\n}", "line 2: crosstalk_db takes a max only"},
        {"{\n  \"gain_db\": {\"min\": -1,}\n}", "line 2: expected a key in quotes"},
        {"{\n  \"gain_db\": {\"min\": -1}\n", "line 3: expected ',' or '}' in an object"},
        {"{\"a\": 1, \"a\": 2}", "line 1: the key \"a\" appears twice"},
        {"[1, 2]", "line 1: the limits must be a JSON object"},
        {"{\"gain_db\": {\"min\": 1e999}}", "line 1: the number 1e999 is out of range"},
        {"", "line 1: the document ends where a value was expected"},
        {"{\r\n  \"gain_db\": {\"min\": -1},\r\n  \"pairs\": {\"05:5\": {\"polarity\": {\"max\": -1}}}\r\n}\r\n", nullptr},
        {"{\r\n  \"gain_db\": {\"min\": 1, \"max\": -1}\r\n}", "line 2: gain_db's min is above its max"},
        {"{\"pairs\": {\"5:5\": {},\n \"05:5\": {}}}", "line 2: pair 5:5 appears twice"},
        {"{\"pairs\": {\"+5:5\": {}}}", "line 1: a pair is \"OUTPUT:INPUT\", not \"+5:5\""},
    };
    for (const auto& r : rows) {
        cli::Limits limits;
        std::string error;
        const bool ok = cli::parseLimits(r.text, &limits, &error);
        EXPECT_EQ(ok, r.error == nullptr) << r.text;
        EXPECT_EQ(error, r.error ? r.error : "") << r.text;
    }
    std::string deep(100, '['), error;
    cli::Limits limits;
    EXPECT_FALSE(cli::parseLimits(deep + std::string(100, ']'), &limits, &error));
}

TEST(AnalyzePairs, ListsGoodAndBad) {
    const struct {
        const char* text;
        std::size_t count;  // 0: refused
    } rows[] = {{"0:0", 1}, {"0:1,1:0,63:63", 3}, {"", 0}, {"0:0,", 0}, {"0-1", 0},
                {"64:0", 0}, {"0:0,0:1", 0}, {"1:0,0:0", 0}, {"a:1", 0}};
    for (const auto& r : rows) {
        std::vector<cli::ChannelPair> pairs;
        std::string error;
        EXPECT_EQ(cli::parsePairs(r.text, &pairs, &error), r.count != 0) << r.text;
        EXPECT_EQ(r.count == 0 ? 0 : pairs.size(), r.count) << r.text;
        EXPECT_EQ(error.empty(), r.count != 0) << r.text;
    }
    EXPECT_EQ(cli::defaultPairs(8, 6).size(), 6u);
}

cli::AnalysisResults twoPairs() {
    cli::AnalysisResults r;
    r.rate = 48000;
    for (int k = 0; k < 2; ++k) {
        cli::PairFigures p;
        p.output = p.input = k;
        p.signal = true;
        p.gainDb = -0.1 * k;
        p.polarity = k == 1 ? -1 : 1;
        p.latencyFrames = 256;
        p.response = {{20.0, 0.01}, {1000.0, 0.0}, {20000.0, -0.3}};
        p.thdnPercent.value = 0.197;
        p.thdnDb.value = -54.1;
        p.noiseDbfs.value = -97.8;
        p.noiseADbfs.floor = -190.0;
        p.dynamicRangeDb.floor = 150.0;
        r.pairs.push_back(p);
    }
    r.crosstalkHz = {101, 2003};
    r.crosstalkDb = {{cli::Figure{}, cli::Figure{-90.0, {}}}, {cli::Figure{{}, -130.0}, cli::Figure{}}};
    return r;
}

// Each limit at its edge, beyond it, and a figure below its floor against limits
// the floor does or does not prove.
TEST(AnalyzeLimits, Verdicts) {
    const struct {
        const char* limits;
        bool passed;
        const char* failing;  // the first failing figure of pair 1, or of pair 0 if none
    } rows[] = {
        {"{\"gain_db\": {\"min\": -0.1, \"max\": 0}}", true, ""},
        {"{\"gain_db\": {\"min\": -0.05}}", false, "gain_db"},
        {"{\"polarity\": {\"min\": 1}, \"pairs\": {\"1:1\": {\"polarity\": {\"max\": -1}}}}", true, ""},
        {"{\"polarity\": {\"min\": 1}}", false, "polarity"},
        {"{\"noise_a_dbfs\": {\"max\": -120}, \"dynamic_range_db\": {\"min\": 100}}", true, ""},
        {"{\"noise_a_dbfs\": {\"min\": -200}}", false, "noise_a_dbfs"},
        {"{\"crosstalk_db\": {\"max\": -100}}", false, "crosstalk_db"},
        {"{\"crosstalk_db\": {\"max\": -80}}", true, ""},
        {"{\"response_mask\": [[20, 20000, -0.5, 0.5]]}", true, ""},
        {"{\"response_mask\": [[10000, 20000, -0.2, 0.5]]}", false, "response_mask"},
    };
    for (const auto& row : rows) {
        cli::Limits limits;
        std::string error;
        ASSERT_TRUE(cli::parseLimits(row.limits, &limits, &error)) << error;
        const cli::Judgement j = cli::judge(twoPairs(), limits);
        EXPECT_EQ(j.passed, row.passed) << row.limits;
        std::string failing;
        for (const auto& verdicts : j.pairs)
            for (const auto& v : verdicts)
                if (!v.passed && failing.empty()) failing = v.figure;
        EXPECT_EQ(failing, row.failing) << row.limits;
    }
}

// The member `key` of `v`; a failure and an object standing for it when missing.
const cli::JsonValue& at(const cli::JsonValue& v, const char* key) {
    static const cli::JsonValue missing = [] {
        cli::JsonValue object;
        object.type = cli::JsonValue::Type::object;
        return object;
    }();
    const cli::JsonValue* found = v.member(key);
    if (found == nullptr) ADD_FAILURE() << "no \"" << key << "\"";
    return found != nullptr ? *found : missing;
}

// Every key the README names, for a pair with every figure and for one whose
// sweep never came back (null, not missing); without limits nothing is judged:
// "passed" null, a JUnit testcase per pair and figure with its value and no failure.
TEST(AnalyzeOutputs, EveryKeyForEveryPairJudgedOrNot) {
    cli::AnalysisResults r = twoPairs();
    r.pairs[1] = cli::PairFigures{};
    r.pairs[1].output = r.pairs[1].input = 1;
    const cli::TakeFacts facts{"sim", 48000, 256, "2024-01-01T00:00:00Z", 8.7, "", "", {}, ""};
    const char* top[] = {"driver", "rate", "period", "date", "take_seconds", "passed", "judged", "pairs",
                         "crosstalk_db", "crosstalk_floor_db", "crosstalk_hz"};
    const char* perPair[] = {"output", "input", "signal", "gain_db", "polarity", "latency_frames", "latency_ms",
                             "response_deviation_db", "thdn_percent", "thdn_floor_percent", "thdn_db",
                             "noise_dbfs", "noise_floor_dbfs", "noise_a_dbfs", "dynamic_range_db",
                             "dynamic_range_floor_db", "response", "verdicts"};
    for (const bool judged : {true, false}) {
        cli::Limits limits;
        std::string error;
        if (judged) {
            ASSERT_TRUE(cli::parseLimits("{\"gain_db\": {\"min\": -1}}", &limits, &error));
        }
        const cli::Judgement j = cli::judge(r, limits);
        EXPECT_EQ(j.judged, judged);
        cli::JsonValue doc;
        cli::JsonError jsonError;
        ASSERT_TRUE(cli::parseJson(cli::analysisJson(facts, r, j), &doc, &jsonError)) << jsonError.message;
        for (const char* key : top) at(doc, key);
        ASSERT_EQ(at(doc, "pairs").items.size(), 2u);
        for (const cli::JsonValue& pair : at(doc, "pairs").items)
            for (const char* key : perPair) at(pair, key);
        const cli::JsonValue& first = at(doc, "pairs").items[0];
        EXPECT_NEAR(at(first, "latency_ms").number, 256.0 / 48.0, 1e-4);
        EXPECT_EQ(at(at(doc, "pairs").items[1], "latency_ms").type, cli::JsonValue::Type::null);
        EXPECT_EQ(at(doc, "passed").type, judged ? cli::JsonValue::Type::boolean : cli::JsonValue::Type::null);
        const std::string junit = cli::analysisJUnit(facts, r, j);
        if (judged) continue;
        EXPECT_NE(junit.find("tests=\"18\" failures=\"0\""), std::string::npos) << junit;
        EXPECT_NE(junit.find("<system-out>gain_db 0</system-out>"), std::string::npos) << junit;
        EXPECT_NE(junit.find("<system-out>gain_db not measured</system-out>"), std::string::npos) << junit;
        EXPECT_EQ(at(at(at(first, "verdicts"), "gain_db"), "passed").type, cli::JsonValue::Type::null);
    }
}

// The JSON written reads back with every figure, floor, verdict and the matrix;
// the JUnit and HTML carry the failure and escape what they quote.
TEST(AnalyzeOutputs, WrittenResultsReadBack) {
    cli::Limits limits;
    std::string error;
    ASSERT_TRUE(cli::parseLimits("{\"gain_db\": {\"min\": -0.05}, \"polarity\": {\"min\": 1}}", &limits, &error));
    const cli::AnalysisResults r = twoPairs();
    const cli::Judgement j = cli::judge(r, limits);
    const cli::TakeFacts facts{"sim <\"bench\"> & co", 48000, 256, "2024-01-01T00:00:00Z", 8.7, "", "", {}, ""};
    cli::JsonValue doc;
    cli::JsonError jsonError;
    ASSERT_TRUE(cli::parseJson(cli::analysisJson(facts, r, j), &doc, &jsonError)) << jsonError.message;
    EXPECT_EQ(doc.member("driver")->text, facts.driver);
    EXPECT_FALSE(doc.member("passed")->boolean);
    const cli::JsonValue& pair1 = doc.member("pairs")->items.at(1);
    EXPECT_EQ(pair1.member("polarity")->number, -1);
    EXPECT_EQ(pair1.member("noise_a_dbfs")->type, cli::JsonValue::Type::null);
    EXPECT_EQ(pair1.member("noise_a_floor_dbfs")->number, -190);
    EXPECT_EQ(pair1.member("dynamic_range_floor_db")->number, 150);
    EXPECT_FALSE(pair1.member("verdicts")->member("gain_db")->member("passed")->boolean);
    const cli::JsonValue& matrix = *doc.member("crosstalk_db");
    EXPECT_EQ(matrix.items.at(0).items.at(1).number, -90);
    EXPECT_EQ(matrix.items.at(1).items.at(0).type, cli::JsonValue::Type::null);
    EXPECT_EQ(doc.member("crosstalk_floor_db")->items.at(1).items.at(0).number, -130);

    const std::string junit = cli::analysisJUnit(facts, r, j);
    // Two failing testcases of one pair are two failures.
    EXPECT_NE(junit.find("tests=\"4\" failures=\"2\""), std::string::npos) << junit;
    EXPECT_NE(junit.find("sim &lt;&quot;bench&quot;&gt; &amp; co"), std::string::npos);
    const std::string html = cli::analysisHtml(facts, r, j);
    EXPECT_EQ(html.find("<\"bench\">"), std::string::npos);
    EXPECT_NE(html.find("class=\"fail\""), std::string::npos);
}

}  // namespace
