#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "link_fixtures.h"
#include "links/mailslot.h"
#include "links/runtime_folder.h"
#include "links/serial_port.h"
#include "links/serial_shot_output.h"
#include "support/recording_prompts.h"

namespace kyvern::links {
namespace {

using testing::PeerSocket;
using testing::PseudoTerminal;
using testing::RecordingPrompts;
using testing::ScopedEnv;
using testing::TempDir;
using testing::TempHome;

TEST(RuntimeFolder, ChosenByEnvironmentAndPrivate) {
    TempDir dir;
    {
        ScopedEnv own("KYVERN_RUNTIME_DIR", dir.File("own"));
        EXPECT_EQ(RuntimeFolder(), dir.File("own"));
        EXPECT_EQ(SlotPath("ms3"), dir.File("own") + "/ms3");
        ASSERT_TRUE(EnsureRuntimeFolder());
        struct stat info {};
        ASSERT_EQ(::stat(dir.File("own").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        // Open to others: not trusted.
        ::chmod(dir.File("own").c_str(), 0755);
        EXPECT_FALSE(EnsureRuntimeFolder());
    }
    {
        ScopedEnv own("KYVERN_RUNTIME_DIR", "");
        ScopedEnv xdg("XDG_RUNTIME_DIR", dir.Path());
        EXPECT_EQ(RuntimeFolder(), dir.File("kyvern"));
    }
    {
        ScopedEnv own("KYVERN_RUNTIME_DIR", "");
        ScopedEnv xdg("XDG_RUNTIME_DIR", "");
        ScopedEnv tmp("TMPDIR", dir.Path());
        EXPECT_EQ(RuntimeFolder(), dir.File("kyvern-" + std::to_string(::getuid())));
    }
}

TEST(Mailslot, OwnerReadsWhatAPeerWrites) {
    TempHome env;
    Mailslot slot;
    ASSERT_TRUE(slot.Create("ms3"));
    std::size_t size = 0;
    ASSERT_TRUE(slot.NextMessageSize(size));
    EXPECT_EQ(size, Mailslot::kNoMessage);
    char buffer[200];
    EXPECT_EQ(slot.Read(buffer, sizeof buffer, 0), -1);

    std::string first(136, 'a');
    ASSERT_TRUE(PeerSocket::SendTo("ms3", first.data(), first.size()));
    ASSERT_TRUE(PeerSocket::SendTo("ms3", "xyz", 3));
    ASSERT_TRUE(slot.NextMessageSize(size));
    EXPECT_EQ(size, 136u);
    EXPECT_EQ(slot.Read(buffer, sizeof buffer, 500), 136);
    EXPECT_EQ(std::string(buffer, 136), first);
    ASSERT_TRUE(slot.NextMessageSize(size));
    EXPECT_EQ(size, 3u);
    // A message longer than the buffer is cut.
    EXPECT_EQ(slot.Read(buffer, 2, 500), 2);
    EXPECT_EQ(std::string(buffer, 2), "xy");

    // Our writer reaches the owner too.
    MailslotWriter writer;
    ASSERT_TRUE(writer.Open("ms3"));
    ASSERT_TRUE(writer.Write("hello", 5));
    EXPECT_EQ(slot.Read(buffer, sizeof buffer, 500), 5);
    slot.Close();
    EXPECT_FALSE(std::filesystem::exists(SlotPath("ms3")));
}

TEST(Mailslot, OneOwnerPerNameAndStaleSocketsReplaced) {
    TempHome env;
    Mailslot first;
    ASSERT_TRUE(first.Create("Kyvern"));
    Mailslot second;
    EXPECT_FALSE(second.Create("Kyvern"));
    // Another process is refused as well.
    pid_t child = ::fork();
    if (child == 0) {
        Mailslot other;
        ::_exit(other.Create("Kyvern") ? 1 : 0);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(second.Create("bad/name"));
    first.Close();
    EXPECT_TRUE(second.Create("Kyvern"));
    second.Close();

    // A crashed owner leaves its socket file; the next owner takes the name over.
    {
        PeerSocket crashed("msROUTER");
        ASSERT_TRUE(crashed.Bound());
        crashed.Abandon();
    }
    ASSERT_TRUE(std::filesystem::exists(SlotPath("msROUTER")));
    Mailslot router;
    ASSERT_TRUE(router.Create("msROUTER"));
    ASSERT_TRUE(PeerSocket::SendTo("msROUTER", "x", 1));
    char byte = 0;
    EXPECT_EQ(router.Read(&byte, 1, 500), 1);
    EXPECT_EQ(byte, 'x');
}

TEST(Mailslot, BroadcastWithoutListenerIsLostQuietly) {
    TempHome env;
    MailslotWriter writer;
    EXPECT_FALSE(writer.Write("x", 1));  // not open
    ASSERT_TRUE(writer.Open("Kyvern"));
    EXPECT_TRUE(writer.Write("lost", 4));  // nobody listens
    {
        PeerSocket gone("Kyvern");
        gone.Abandon();  // a socket file without an owner
    }
    EXPECT_TRUE(writer.Write("lost", 4));
    EXPECT_FALSE(writer.Open("a/b"));
}

TEST(SerialPort, PortNamesAndDevicePaths) {
    TempHome env;
    // Name, lower case allowed, port number.
    const std::tuple<const char*, bool, int> names[] = {
        {"COM1", false, 1}, {"COM8", false, 8}, {"COM9", false, 0}, {"COM0", false, 0},
        {"com3", false, 0}, {"com3", true, 3},  {"None", true, 0},  {"", true, 0}};
    for (const auto& [name, lower, number] : names)
        EXPECT_EQ(PortNumberOf(name, lower), number) << name << lower;
    EXPECT_EQ(SerialDevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(SerialDevicePath(8), "/dev/ttyS7");
    env.Set("Ports", "COM2", "/dev/ttyUSB0");
    EXPECT_EQ(SerialDevicePath(2), "/dev/ttyUSB0");
}

TEST(SerialPort, SetsUpAPseudoTerminalAndCarriesBytes) {
    TempHome env;
    PseudoTerminal device;
    ASSERT_FALSE(device.DevicePath().empty());
    env.Set("Ports", "COM4", device.DevicePath());
    RecordingPrompts prompts;
    SerialPort port;
    ASSERT_TRUE(port.Open(4, 19200, prompts));
    EXPECT_TRUE(prompts.messages.empty());

    termios settings{};
    ASSERT_EQ(::tcgetattr(device.Slave(), &settings), 0);
    EXPECT_EQ(::cfgetispeed(&settings), speed_t(B19200));
    EXPECT_EQ(::cfgetospeed(&settings), speed_t(B19200));
    EXPECT_EQ(settings.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(settings.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(settings.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP), 0u);
    EXPECT_EQ(settings.c_cc[VMIN], 0);
    EXPECT_EQ(settings.c_cc[VTIME], 0);

    char buffer[16];
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0u);  // nothing yet, and no wait
    ASSERT_TRUE(device.Play(std::string("a\rb\n\x17\0z", 7)));
    std::size_t got = 0;
    for (int tries = 0; tries < 1000 && got < 7; ++tries) {
        got += port.Read(buffer + got, sizeof buffer - got);
    }
    ASSERT_EQ(got, 7u);
    EXPECT_EQ(std::string(buffer, 7), std::string("a\rb\n\x17\0z", 7));
    ASSERT_TRUE(port.Write("R\r", 2));
    EXPECT_EQ(device.Heard(), "R\r");
    // Not shared: a second opener is refused while the port is held.
    SerialPort second;
    EXPECT_FALSE(second.Open(4, 19200, prompts));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].rfind("Couldn't open COM4", 0), 0u);
    port.Close();
    EXPECT_FALSE(port.Write("R", 1));
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0u);
}

TEST(SerialPort, SetUpFailuresShowTheirMessage) {
    TempHome env;
    RecordingPrompts prompts;
    PseudoTerminal device;
    testing::WriteFileText(env.Path() + "/plain", "x");
    // A missing device; a file that is not a terminal; a rate the line cannot take.
    const struct {
        int port;
        std::string path;
        int rate;
        const char* message;
        const char* reason;  // the system's, after the device path
    } cases[] = {{3, env.Path() + "/missing", 9600, "Couldn't open COM3",
                  "No such file or directory"},
                 {5, env.Path() + "/plain", 9600, "GetCommState failed",
                  "Inappropriate ioctl for device"},
                 {6, device.DevicePath(), 12345, "SetCommState failed", "Invalid argument"}};
    for (const auto& c : cases) {
        env.Set("Ports", ("COM" + std::to_string(c.port)).c_str(), c.path);
        prompts.messages.clear();
        SerialPort port;
        EXPECT_FALSE(port.Open(c.port, c.rate, prompts));
        EXPECT_FALSE(port.IsOpen());
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0].rfind(c.message, 0), 0u) << prompts.messages[0];
        const std::string tail = " (" + c.path + ": " + c.reason + ")";
        EXPECT_TRUE(prompts.messages[0].ends_with(tail)) << prompts.messages[0];
    }
}

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
