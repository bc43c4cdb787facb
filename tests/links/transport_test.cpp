#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

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
using testing::TempHome;
namespace fs = std::filesystem;

TEST(RuntimeFolder, ChosenByEnvironmentAndPrivate) {
    testing::TempDir dir;
    {
        ScopedEnv own("KYVERN_RUNTIME_DIR", dir.File("own"));
        EXPECT_EQ(SlotPath("ms3"), dir.File("own") + "/ms3");
        ASSERT_TRUE(EnsureRuntimeFolder());
        EXPECT_EQ(fs::status(dir.File("own")).permissions(), fs::perms::owner_all);
        fs::permissions(dir.File("own"), fs::perms(0755));  // open to others: not trusted
        EXPECT_FALSE(EnsureRuntimeFolder());
        EXPECT_NE(RuntimeFolderRefusal().find("open to other users"), std::string::npos);
        MailslotWriter notices;  // nothing is sent into it either
        EXPECT_FALSE(notices.Open("Kyvern"));
    }
    ScopedEnv own("KYVERN_RUNTIME_DIR", "");
    {
        ScopedEnv xdg("XDG_RUNTIME_DIR", dir.Path());
        EXPECT_EQ(RuntimeFolder(), dir.File("kyvern"));
    }
    ScopedEnv xdg("XDG_RUNTIME_DIR", "");
    ScopedEnv tmp("TMPDIR", dir.Path());
    EXPECT_EQ(RuntimeFolder(), dir.File("kyvern-" + std::to_string(::getuid())));
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

    const std::string first(136, 'a');
    ASSERT_TRUE(PeerSocket::SendTo("ms3", first.data(), first.size()));
    ASSERT_TRUE(PeerSocket::SendTo("ms3", "xyz", 3));
    ASSERT_TRUE(slot.NextMessageSize(size));
    EXPECT_EQ(size, 136u);
    EXPECT_EQ(slot.Read(buffer, sizeof buffer, 500), 136);
    EXPECT_EQ(std::string(buffer, 136), first);
    ASSERT_TRUE(slot.NextMessageSize(size));
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(slot.Read(buffer, 2, 500), 2);  // a message longer than the buffer is cut
    EXPECT_EQ(std::string(buffer, 2), "xy");

    slot.Close();
    EXPECT_FALSE(fs::exists(SlotPath("ms3")));
    EXPECT_FALSE(MailslotWriter().Open("a/b"));  // a slot name is no path
}

TEST(Mailslot, OneOwnerPerNameAndStaleSocketsReplaced) {
    TempHome env;
    Mailslot first, second;
    ASSERT_TRUE(first.Create("Kyvern"));
    EXPECT_FALSE(second.Create("Kyvern"));
    // Another process is refused as well.
    const pid_t child = ::fork();
    if (child == 0) ::_exit(Mailslot().Create("Kyvern") ? 1 : 0);
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(second.Create("bad/name"));
    first.Close();
    EXPECT_TRUE(second.Create("Kyvern"));

    // A crashed owner leaves its socket file; a writer loses its message quietly and the next
    // owner takes the name over.
    PeerSocket("msROUTER").Abandon();
    ASSERT_TRUE(fs::exists(SlotPath("msROUTER")));
    MailslotWriter writer;
    ASSERT_TRUE(writer.Open("msROUTER"));
    EXPECT_TRUE(writer.Write("lost", 4));
    Mailslot router;
    ASSERT_TRUE(router.Create("msROUTER"));
    ASSERT_TRUE(PeerSocket::SendTo("msROUTER", "x", 1));
    char byte = 0;
    EXPECT_EQ(router.Read(&byte, 1, 500), 1);
    EXPECT_EQ(byte, 'x');
}

TEST(SerialPort, PortNamesAndDevicePaths) {
    TempHome env;
    // Name, lower case allowed, port number.
    const std::tuple<const char*, bool, int> names[] = {{"COM8", false, 8}, {"COM9", false, 0},
                                                        {"COM0", false, 0}, {"com3", false, 0},
                                                        {"com3", true, 3},  {"None", true, 0}};
    for (const auto& [name, lower, number] : names)
        EXPECT_EQ(PortNumberOf(name, lower), number) << name << lower;
    EXPECT_EQ(SerialDevicePath(1) + SerialDevicePath(8), "/dev/ttyS0/dev/ttyS7");
    env.Set("Ports", "COM2", "/dev/ttyUSB0");
    EXPECT_EQ(SerialDevicePath(2), "/dev/ttyUSB0");
}

TEST(SerialPort, SetsUpAPseudoTerminalAndCarriesBytes) {
    TempHome env;
    PseudoTerminal device;
    env.Set("Ports", "COM4", device.DevicePath());
    RecordingPrompts prompts;
    SerialPort port;
    ASSERT_TRUE(port.Open(4, 19200, prompts));
    EXPECT_TRUE(prompts.messages.empty());

    // 19200 baud both ways, 8N1, raw, reads that never wait.
    termios t{};
    ASSERT_EQ(::tcgetattr(device.Slave(), &t), 0);
    EXPECT_EQ(std::tuple(::cfgetispeed(&t), ::cfgetospeed(&t),
                         t.c_cflag & (CSIZE | PARENB | CSTOPB), t.c_lflag & (ICANON | ECHO | ISIG),
                         t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP), t.c_cc[VMIN], t.c_cc[VTIME]),
              std::tuple(speed_t(B19200), speed_t(B19200), tcflag_t(CS8), tcflag_t(0), tcflag_t(0),
                         cc_t(0), cc_t(0)));

    char buffer[16];
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0u);  // nothing yet, and no wait
    // Not shared: a second opener is refused while the port is held.
    EXPECT_FALSE(SerialPort().Open(4, 19200, prompts));
    EXPECT_EQ(prompts.messages.size(), 1u);
    port.Close();
    EXPECT_FALSE(port.Write("R", 1));
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0u);
}

TEST(SerialPort, SetUpFailuresShowTheirMessageDeviceAndReason) {
    TempHome env;
    RecordingPrompts prompts;
    PseudoTerminal device;
    testing::WriteFileText(env.Path() + "/plain", "x");
    // A missing device; a file that is not a terminal; a rate the line cannot take.
    const std::tuple<int, std::string, int, std::string> cases[] = {
        {3, env.Path() + "/missing", 9600, "Couldn't open COM3%No such file or directory"},
        {5, env.Path() + "/plain", 9600, "GetCommState failed%Inappropriate ioctl for device"},
        {6, device.DevicePath(), 12345, "SetCommState failed%Invalid argument"}};
    for (const auto& [number, path, rate, texts] : cases) {
        env.Set("Ports", ("COM" + std::to_string(number)).c_str(), path);
        prompts.messages.clear();
        SerialPort port;
        EXPECT_FALSE(port.Open(number, rate, prompts) || port.IsOpen());
        ASSERT_EQ(prompts.messages.size(), 1u);
        const std::string& message = prompts.messages[0];
        const std::size_t cut = texts.find('%');
        EXPECT_TRUE(message.starts_with(texts.substr(0, cut)) &&
                    message.ends_with(" (" + path + ": " + texts.substr(cut + 1) + ")"))
            << message;
    }
}

TEST(SerialShotOutput, FieldsSignsAndWideValues) {
    // Speed, launch, back spin, side spin, side angle; the 28 field characters. A negative
    // zero prints no sign; the unsigned fields drop theirs; positive side values take the
    // six-character form.
    const std::tuple<double, double, double, double, double, const char*> lines[] = {
        {-150.1, -10, -3000, -0.0, -0.0, "150.110.00000.000050.00000.0"},
        {150.1, 10, 3000, 600, 1.5, "150.110.00001.500050.00010.0"},
        {220.06, 12.345, 3000, -600, -1.5, "220.112.35-01.500050.0-010.0"}};
    for (const auto& [v, l, b, p, s, fields] : lines) {
        const std::string line = SerialShotOutput::ShotLine(v, l, b, p, s);
        EXPECT_EQ(line.substr(0, 29) + line.substr(31), std::string("\x02") + fields + "\r");
    }
    // 1000 ft/s is one character wider: everything after it moves right and the carriage
    // return overwrites the last check character.
    const std::string wide = "\0021000.010.00000.000050.00000.0";
    int sum = 0;
    for (char c : wide)
        sum += c;
    EXPECT_EQ(SerialShotOutput::ShotLine(1000, 10, 3000, 0, 0),
              wide + "0123456789ABCDEF"[sum % 256 & 0x0F] + '\r');
    const std::string wider = SerialShotOutput::ShotLine(100000, 100000, 3000, 0, 0);
    EXPECT_EQ(wider.substr(0, 12) + std::to_string(wider.size()), "\002100000.010032");
}

TEST(SerialShotOutput, DeviceOnAPseudoTerminalHearsTheLine) {
    TempHome env;
    RecordingPrompts prompts;
    PseudoTerminal device;
    env.Set("Ports", "COM2", device.DevicePath());
    SerialShotOutput output(prompts);
    // The setting's words, the port and device path, the port in use; the line the device
    // hears (empty: none) and the messages shown so far. Disabled by default; "No" leaves an
    // open port as it was; any other word re-applies the port; a port that is not there
    // shows the open failure; "None" is no port.
    const struct {
        const char *enabled, *port, *path;
        int number;
        const char* heard;
        std::size_t messages;
    } steps[] = {{nullptr, nullptr, nullptr, 0, "", 0},
                 {"Yes", "com2", nullptr, 2, "\002150.110.00000.000050.00000.055\r", 0},
                 {"No", nullptr, nullptr, 2, "\002150.110.00000.000050.00000.055\r", 0},
                 {"no", "COM7", "/none", 0, "", 1},
                 {"no", "None", nullptr, 0, "", 1}};
    for (const auto& s : steps) {
        if (s.enabled) env.Set("SerialOutput", "Enabled", s.enabled);
        if (s.port) env.Set("SerialOutput", "CommPort", s.port);
        if (s.path) env.Set("Ports", s.port, env.Path() + s.path);
        output.Configure();
        EXPECT_EQ(output.PortNumber(), s.number) << s.enabled;
        output.SendShot(150.1, 100, 10, 3000, 0, 0);
        EXPECT_EQ(device.Heard(*s.heard ? 1000 : 50), s.heard) << s.enabled;
        EXPECT_EQ(prompts.messages.size(), s.messages) << s.enabled;
    }
    EXPECT_TRUE(prompts.messages[0].starts_with("Couldn't open COM7"));
}

}  // namespace
}  // namespace kyvern::links
