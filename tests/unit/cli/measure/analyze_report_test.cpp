// The HTML report a lab engineer signs: limits beside figures and how far a failed
// one is out, floors as numbers, the response plot's axes, legend and mask, the
// crosstalk matrix red only where over its limit, the header naming what was
// measured against what; and the limits file's hash.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

#include "measure/analyze_limits.h"
#include "measure/analyze_outputs.h"
#include "measure/sha256.h"

namespace {

// `pairs` pairs; pair k's gain -0.1 k dB, its THD+N below a floor of 6e-8 % on odd
// pairs, output 0 into input 1 at -90 dB and the rest below -130 dB.
cli::AnalysisResults pairsOf(int pairs) {
    cli::AnalysisResults r;
    r.rate = 48000;
    for (int k = 0; k < pairs; ++k) {
        cli::PairFigures p;
        p.output = p.input = k;
        p.signal = true;
        p.gainDb = -0.1 * k;
        p.latencyFrames = 480;
        p.responseDeviationDb = 0.01 * k;
        p.response = {{20.0, -0.01 * k}, {997.0, 0.0}, {20000.0, -0.02 * k}};
        if (k % 2 == 1) {
            p.thdnPercent.floor = 6e-8;
            p.thdnDb.floor = -184.4;
        } else {
            p.thdnPercent.value = 0.197;
            p.thdnDb.value = -54.1;
        }
        p.noiseADbfs.value = -99.8;
        r.pairs.push_back(p);
    }
    r.crosstalkDb.assign(pairs, std::vector<cli::Figure>(pairs, cli::Figure{{}, -130.0}));
    for (int k = 0; k < pairs; ++k) r.crosstalkDb[k][k] = {};
    r.crosstalkDb[0][1] = {-90.0, {}};
    return r;
}

std::string report(int pairs, const char* limitsText, const std::string& file) {
    cli::Limits limits;
    std::string error;
    EXPECT_TRUE(cli::parseLimits(limitsText, &limits, &error)) << error;
    cli::TakeFacts facts{"sim (bench)", 48000, 256, "2026-01-02T03:04:05Z", 9.2, file, "", limits.responseMask, "1.0.0"};
    if (!file.empty()) facts.limitsSha256 = cli::sha256Hex(limitsText);
    const cli::AnalysisResults r = pairsOf(pairs);
    return cli::analysisHtml(facts, r, cli::judge(r, limits));
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// What keeps an SVG from being XML: the first tag that names an attribute twice
// (a browser keeps one, an XML reader refuses it) or an entity XML does not know; or "".
std::string notXml(const std::string& html) {
    const std::regex entity("&([a-z]+);");
    for (auto e = std::sregex_iterator(html.begin(), html.end(), entity); e != std::sregex_iterator(); ++e) {
        const std::string name = (*e)[1].str();
        const std::size_t svg = html.rfind("<svg", static_cast<std::size_t>(e->position()));
        const bool inSvg = svg != std::string::npos && html.find("</svg>", svg) > static_cast<std::size_t>(e->position());
        if (inSvg && name != "lt" && name != "gt" && name != "amp" && name != "quot" && name != "apos") return e->str();
    }
    const std::regex tag("<[^>]+>"), attribute("\\s([a-zA-Z:-]+)=\"");
    for (auto t = std::sregex_iterator(html.begin(), html.end(), tag); t != std::sregex_iterator(); ++t) {
        const std::string body = t->str();
        std::set<std::string> names;
        for (auto a = std::sregex_iterator(body.begin(), body.end(), attribute); a != std::sregex_iterator(); ++a)
            if (!names.insert((*a)[1].str()).second) return body;
    }
    return "";
}

TEST(AnalyzeReport, WhatALabSigns) {
    const char* limits =
        "{\"gain_db\": {\"min\": -0.15, \"max\": 0.05}, \"crosstalk_db\": {\"max\": -100},"
        " \"response_mask\": [[20, 20000, -0.05, 0.05]]}";
    const std::string html = report(3, limits, "line/limits.json");
    const std::string digest = cli::sha256Hex(limits);
    const struct {
        const char* part;
        bool present;
    } rows[] = {
        // The header: driver, rate, period, date, the limits file and its hash, the version.
        {"FAILED", true},
        {"sim (bench)", true},
        {"48000 Hz", true},
        {"256 frames (5.33 ms)", true},
        {"2026-01-02T03:04:05Z", true},
        {"line/limits.json", true},
        {digest.c_str(), true},
        {"<th>asiochan version</th><td>1.0.0</td>", true},
        // Every limit beside its figure; the failed one with how far it is out.
        {"-0.15 to 0.05</span>", true},
        {"limit -0.15 to 0.05</span><span class=\"lim\">under by 0.05</span>", true},
        {"<b>2:2 gain_db</b>: -0.2, limit -0.15 to 0.05, under by 0.05", true},
        // Floors as numbers: no "< 0.0000".
        {"&lt; 6e-08", true},
        {"&lt; -184.4 dB", true},
        {"&lt; 0.0000", false},
        // The plot: Hz on its axis, a legend with every pair, the mask, nothing written in it.
        {"frequency, Hz", true},
        {"pair 2:2, 0.020 dB", true},
        {"limits (mask)", true},
        {"level, dB re 997 Hz</text>", true},
        {"rotate(-90 16 ", true},
        // The matrix: numbered, red where over its limit only, and the value on hover.
        {"output 0 into input 1: -90.0 dB, over the limit of -100 dB</title>", true},
        {"<td class=\"fail\">-90.0</td>", true},
        {"<td>&lt;-130</td>", true},
    };
    for (const auto& row : rows) EXPECT_EQ(has(html, row.part), row.present) << row.part;
    EXPECT_EQ(notXml(html), "");

    // No limits: not judged, and no red anywhere in the matrix.
    const std::string plain = report(3, "{}", "");
    EXPECT_TRUE(has(plain, "NOT JUDGED") && !has(plain, "PASSED")) << plain.substr(0, 800);
    EXPECT_TRUE(has(plain, "none: the figures are not judged"));
    const std::string matrix = plain.substr(plain.find("<h2>Crosstalk"));
    EXPECT_FALSE(has(matrix, "#d62728") || has(matrix, "class=\"fail\""));

    // Beyond 16 pairs the legend names the worst 8 and lumps the rest.
    const std::string many = report(20, "{}", "");
    EXPECT_TRUE(has(many, "the 8 of 20 pairs</text>"));
    EXPECT_TRUE(has(many, "pair 19:19, 0.190 dB") && has(many, "pair 12:12, 0.120 dB"));
    EXPECT_FALSE(has(many, "pair 11:11, "));
    EXPECT_TRUE(has(many, "the other 12"));
    EXPECT_EQ(notXml(many), "");
}

TEST(AnalyzeReport, Sha256KnownDigests) {
    EXPECT_EQ(cli::sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(cli::sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(cli::sha256Hex(std::string(1000, 'a')), "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3");
    // 56 bytes: the length no longer fits the first block.
    EXPECT_EQ(cli::sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

}  // namespace
