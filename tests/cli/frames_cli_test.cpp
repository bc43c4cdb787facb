#include <gtest/gtest.h>

#include "cli_runner.h"

using kyvern::testing::RunCli;
using kyvern::testing::TempDir;

TEST(FramesCli, MissingFileFailsWithTheSystemMessage) {
    TempDir home;
    auto r = RunCli({"frames", home.File("none.bmp")}, home.Path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Couldn't open image file"), std::string::npos);
}
