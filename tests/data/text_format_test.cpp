#include "data/text_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

using kyvern::data::Fixed;

// The cells a session shows and saves must not change by a byte with the faster conversion:
// halfway cases, signs of zero, the values no number has, and values too long for a small buffer.
TEST(TextFormat, FixedWritesWhatPrintfWrites) {
    std::vector<double> values = {0.0,
                                  -0.0,
                                  0.05,
                                  0.15,
                                  0.25,
                                  -0.05,
                                  2.5,
                                  3.5,
                                  0.125,
                                  1e-9,
                                  -1e-9,
                                  123.45,
                                  9.95,
                                  99.95,
                                  1e21,
                                  -1e21,
                                  1e300,
                                  5e-324,
                                  std::numeric_limits<double>::max(),
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::nan(""),
                                  -std::nan("")};
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> spread(-12000.0, 12000.0);
    for (int i = 0; i < 20000; ++i) {
        const double v = spread(random);
        values.push_back(v);
        values.push_back(std::round(v * 20.0) / 20.0);  // near a halfway of "%.1f"
        values.push_back(std::round(v) + 0.5);          // a halfway of "%.0f"
    }
    std::vector<char> expected(400);
    for (double v : values) {
        for (int decimals : {0, 1, 2}) {
            std::snprintf(expected.data(), expected.size(), "%.*f", decimals, v);
            ASSERT_EQ(Fixed(v, decimals), expected.data()) << v << " with " << decimals;
        }
    }
}

// Reading back must give strtod's double, bit for bit, for whatever a file or a cell holds.
TEST(TextFormat, ReadDoubleReadsWhatStrtodReads) {
    std::vector<std::string> texts = {"",
                                      " ",
                                      "abc",
                                      "12.5",
                                      " \t-12.5",
                                      "+3",
                                      "-",
                                      ".",
                                      "-.5",
                                      ".5e1",
                                      "1e",
                                      "1e+",
                                      "0x1p3",
                                      "-0X10",
                                      "0",
                                      "-0",
                                      "1e400",
                                      "-1e400",
                                      "1e-400",
                                      "nan",
                                      "-inf",
                                      "12.5?",
                                      "2830?, 28",
                                      "1,5",
                                      "00012",
                                      "9007199254740993",
                                      "2.4703282292062328e-324"};
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> spread(-1e5, 1e5);
    std::vector<char> text(64);
    for (int i = 0; i < 20000; ++i) {
        std::snprintf(text.data(), text.size(), i % 2 ? "%.1f" : "%.17g", spread(random));
        texts.emplace_back(text.data());
    }
    for (const std::string& t : texts) {
        const double expected = std::strtod(t.c_str(), nullptr);
        const double read = kyvern::data::ReadDouble(t);
        if (std::isnan(expected)) {
            EXPECT_TRUE(std::isnan(read)) << t;
        } else {
            EXPECT_EQ(std::memcmp(&read, &expected, sizeof read), 0) << '"' << t << '"';
        }
    }
}
