#include <string>

#include <gtest/gtest.h>

#include "link_fixtures.h"
#include "links/serial_shot_output.h"
#include "support/recording_prompts.h"

namespace kyvern::links {
namespace {

using testing::PseudoTerminal;
using testing::RecordingPrompts;
using testing::TempHome;

TEST(SerialShotOutput, FieldsSignsAndWideValues) {
    // Speed, launch, back spin, side spin, side angle; the 28 field characters. A negative
    // zero prints no sign; the unsigned fields drop theirs; positive side values take the
    // six-character form.
    const struct {
        double v, l, b, p, s;
        const char* fields;
    } lines[] = {{-150.1, -10, -3000, -0.0, -0.0, "150.110.00000.000050.00000.0"},
                 {150.1, 10, 3000, 600, 1.5, "150.110.00001.500050.00010.0"}};
    for (const auto& c : lines) {
        const std::string line = SerialShotOutput::ShotLine(c.v, c.l, c.b, c.p, c.s);
        ASSERT_EQ(line.size(), 32u);
        EXPECT_EQ(line.front(), '\x02');
        EXPECT_EQ(line.substr(1, 28), c.fields);
        EXPECT_EQ(line.back(), '\r');
    }
    // 1000 ft/s is one character wider: everything after it moves right and the carriage
    // return overwrites the last check character.
    std::string wide = std::string("\x02") + "1000.0" + "10.00" + "000.00" + "0050.0" + "0000.0";
    int sum = 0;
    for (char c : wide)
        sum += c;
    EXPECT_EQ(SerialShotOutput::ShotLine(1000, 10, 3000, 0, 0),
              wide + "0123456789ABCDEF"[sum % 256 & 0x0F] + '\r');
    std::string wider = SerialShotOutput::ShotLine(100000, 100000, 3000, 0, 0);
    EXPECT_EQ(wider.substr(0, 12),
              "\x02"
              "100000.0100");
    EXPECT_EQ(wider.size(), 32u);
}

TEST(SerialShotOutput, DeviceOnAPseudoTerminalHearsTheLine) {
    TempHome env;
    RecordingPrompts prompts;
    PseudoTerminal device;
    env.Set("Ports", "COM2", device.DevicePath());
    SerialShotOutput output(prompts);

    // Disabled by default: no port, nothing written.
    output.Configure();
    EXPECT_EQ(output.PortNumber(), 0);
    output.SendShot(150.1, 100, 10, 3000, 0, 0);
    EXPECT_EQ(device.Heard(50), "");

    env.Set("SerialOutput", "Enabled", "Yes");
    env.Set("SerialOutput", "CommPort", "com2");
    output.Configure();
    EXPECT_TRUE(prompts.messages.empty());
    ASSERT_EQ(output.PortNumber(), 2);
    output.SendShot(150.1, 100, 10, 3000, 0, 0);
    EXPECT_EQ(device.Heard(), std::string("\x02") + "150.110.00000.000050.00000.055\r");

    // "No" leaves the open port as it was.
    env.Set("SerialOutput", "Enabled", "No");
    output.Configure();
    EXPECT_EQ(output.PortNumber(), 2);
    output.SendShot(220.06, 0, 12.345, 3000, -600, -1.5);
    EXPECT_EQ(device.Heard().substr(1, 28), "220.112.35-01.500050.0-010.0");

    // Any other word re-applies the port; a port that is not there shows the open failure.
    env.Set("SerialOutput", "Enabled", "no");
    env.Set("SerialOutput", "CommPort", "COM7");
    env.Set("Ports", "COM7", env.Path() + "/none");
    output.Configure();
    EXPECT_EQ(output.PortNumber(), 0);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].rfind("Couldn't open COM7", 0), 0u);
    output.SendShot(150.1, 100, 10, 3000, 0, 0);
    EXPECT_EQ(device.Heard(50), "");

    env.Set("SerialOutput", "CommPort", "None");
    output.Configure();
    EXPECT_EQ(output.PortNumber(), 0);
    EXPECT_EQ(prompts.messages.size(), 1u);
}

}  // namespace
}  // namespace kyvern::links
