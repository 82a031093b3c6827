// The sweep's options as the command line reads them: through the command's own
// help (the table's row), so that an option dropped from the table is refused here.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "commands/sweep_options.h"

namespace {

struct Parsed {
    bool ok = false;
    std::string unknown;
    cli::SweepRequest request;
    cli::SweepPlan plan;
};

Parsed parse(std::vector<const char*> words) {
    words.insert(words.begin(), {"asiochan", "sweep"});
    std::string error;
    const cli::Arguments args = cli::parseArguments(static_cast<int>(words.size()), const_cast<char**>(words.data()),
                                                    cli::valueOptions({&cli::sweepHelp()}), &error);
    Parsed p;
    p.unknown = error.empty() ? cli::unknownOption(args, cli::sweepHelp()) : error;
    p.ok = p.unknown.empty() && cli::parseSweep(args, &p.request);
    p.plan = cli::sweepPlanFor(p.request, 48000);
    return p;
}

std::string text(double v) {
    char out[32];
    std::snprintf(out, sizeof out, "%.6g", v);
    return out;
}

// Each option set away from its default reaches what the sweep measures with (the
// channels, the plan played and analysed, the files written), and every option the
// help lists has its row.
TEST(SweepOptions, EveryOptionChangesWhatIsMeasured) {
    using Field = std::function<std::string(const Parsed&)>;
    const struct {
        const char* option;
        const char* value;
        Field field;
        const char* expected;
    } rows[] = {
        {"--driver", "asiochan sim (dut)", [](const Parsed& p) { return p.request.driver; }, "asiochan sim (dut)"},
        {"--out", "3", [](const Parsed& p) { return std::to_string(p.request.out); }, "3"},
        {"--in", "5", [](const Parsed& p) { return std::to_string(p.request.in); }, "5"},
        {"--from", "40", [](const Parsed& p) { return text(p.plan.from); }, "40"},
        {"--to", "12000", [](const Parsed& p) { return text(p.plan.to); }, "12000"},
        {"--seconds", "2.5", [](const Parsed& p) { return text(p.plan.seconds); }, "2.5"},
        {"--level", "-20", [](const Parsed& p) { return text(20 * std::log10(p.plan.level)); }, "-20"},
        {"--csv", "fr.csv", [](const Parsed& p) { return p.request.csv; }, "fr.csv"},
        {"--plot", "fr.svg", [](const Parsed& p) { return p.request.plot; }, "fr.svg"},
    };
    const Parsed defaults = parse({});
    ASSERT_TRUE(defaults.ok);
    EXPECT_EQ(cli::checkSweepPlan(defaults.plan), nullptr);
    std::set<std::string> listed, tested;
    for (const auto& option : cli::sweepHelp().options) listed.insert(option.name);
    for (const auto& r : rows) {
        tested.insert(r.option);
        const Parsed p = parse({r.option, r.value});
        ASSERT_TRUE(p.ok) << r.option << " refused: " << p.unknown;
        EXPECT_EQ(r.field(p), r.expected) << r.option;
        EXPECT_NE(r.field(defaults), r.expected) << r.option << "'s row does not move it from its default";
    }
    EXPECT_EQ(listed, tested);
}

}  // namespace
