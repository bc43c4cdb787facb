// Every command refuses what it cannot use with its usage and status 2, before touching a file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli_runner.h"

using namespace kyvern::testing;
using Args = std::vector<std::string>;

TEST(CliArguments, BadArgumentsPrintTheUsageAndExit2) {
    TempHome home;
    const std::string out = home.File("out.bmp");
    const std::string session = home.File("s.txt");
    WriteFileText(session, "kept");
    auto With = [](Args args, const Args& more) {
        args.insert(args.end(), more.begin(), more.end());
        return args;
    };
    const Args unsped = {"flight", "--launch", "12", "--back", "2800"};
    const Args flight = With(unsped, {"--speed", "220"});
    const Args render = Render(out, {});
    // The arguments and what the message names, when known: a command's name stands for its usage.
    const std::pair<Args, const char*> cases[] = {
        {{"no-such-command"}, nullptr},
        {{"run", "--shots"}, nullptr},
        {{"run", "--shots", "x"}, nullptr},
        {{"run", "--fast"}, nullptr},
        {{"regress"}, nullptr},
        {{"cameras", "--driver", "Warp"}, nullptr},
        {{"cameras", "extra"}, nullptr},
        {{"frames"}, "frames"},
        {{"analyze"}, nullptr},
        {{"analyze", "--frobnicate", out}, nullptr},
        {{"flight", "--speed", "220", "--launch", "12"}, "flight"},
        {With(unsped, {"--speed", "fast"}), "flight"},
        {With(unsped, {"--speed", "nan"}), "flight"},
        {{"flight", "--speed", "220", "--launch", "12", "--back"}, "flight"},
        {With(flight, {"--speed", "230"}), "flight"},
        {With(flight, {"--speed-unit", "knots"}), "flight"},
        {With(flight, {"--wind", "3"}), "flight"},
        {With(flight, {"--side-spin", "1e999"}), "flight"},
        {With(unsped, {"--speed", "-1"}), "--speed must be above 0 and at most 500"},
        {With(unsped, {"--speed", "1e308", "--speed-unit", "mps"}),
         "--speed must be above 0 and at most 152.4"},
        {{"flight", "--speed", "220", "--launch", "180", "--back", "2800"},
         "--launch must be at least -90 and at most 90"},
        {With(flight, {"--side-spin", "-25000"}), "--side-spin must be at least -20000"},
        {{"render", "--speed", "150", "--launch", "10", "--side", "0", "--back", "3000",
          "--side-spin", "0"},
         "render"},          // no --out
        {render, "render"},  // no --speed
        {With(render, {"--speed", "0"}), "render"},
        {With(render, {"--speed", "150", "--speed-unit", "knots"}), "render"},
        {With(render, {"--speed", "150", "--width", "800"}), "render"},
        {With(render, {"--speed", "150", "--interval", "0.0701"}), "render"},
        {With(render, {"--speed", "150", "--interval", "0"}), "render"},
        {With(render, {"--speed", "150", "--distance", "2"}), "render"},
        {With(render, {"--speed", "150", "--seed", "1.5"}), "render"},
        {With(render, {"--speed", "150", "--realism", "dimples,"}), "render"},
        {{"accuracy", "--shots", "0"}, "accuracy"},
        {{"accuracy", "--width", "800"}, "accuracy"},
        {{"accuracy", "--seed"}, "accuracy"},
        {{"accuracy", "--verbose"}, "accuracy"},
        {{"accuracy", "--realism", "glare"}, "accuracy"},
        {{"session", "show"}, "session"},
        {{"session", "list", session}, "session"},
        {{"session", "merge", session}, "session"},
        {{"session", "merge", "--out"}, "session"},
        {{"session", "show", "--out", session, session}, "session"},
        {{"session", "show", "--bogus", session}, "session"},
    };
    for (const auto& [args, usage] : cases) {
        std::string line;
        for (const std::string& a : args)
            line += a + " ";
        SCOPED_TRACE(line);
        auto r = RunCli(args, home.Path());
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.out.empty()) << r.out;
        if (usage) {
            const std::string want(usage);
            const bool command = want.find(' ') == std::string::npos;
            EXPECT_TRUE(Contains(r.err, command ? "usage: kyvern-cli " + want : want)) << r.err;
        }
    }
    EXPECT_TRUE(ReadFileText(out).empty());
    EXPECT_EQ(ReadFileText(session), "kept");
}
