#include "capture/image_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "base/config_store.h"
#include "support/bitmap_bytes.h"
#include "support/recording_prompts.h"
#include "support/temp_dir.h"

using kyvern::base::ConfigStore;
using kyvern::capture::ImageFile;
using kyvern::frame::CapturedImage;
using namespace kyvern::testing;
using kyvern::testing::U32;

namespace {

void FillFrame(CapturedImage& frame, int width, int height, int seed) {
    frame.Reset();
    frame.width = width, frame.height = height, frame.bytesPerPixel = 1, frame.valid = true;
    for (int r = 0; r < height; ++r) {
        for (int c = 0; c < width; ++c)
            frame.At(r, c) = std::uint8_t((r * 7 + c * 3 + seed) & 0xff);
    }
}

class ImageFileTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string ini = dir.File("Kyvern.ini");
    RecordingPrompts prompts;
    ImageFile file{ini};

    // The file's own load and save, their failures shown as the program shows them.
    bool Load(const std::string& path) { return kyvern::base::Show(file.Load(path), prompts); }
    bool Save(const std::string& path) { return kyvern::base::Show(file.Save(path), prompts); }
    bool LoadBytes(const Bytes& bytes) {
        WriteBytes(dir.File("in.bmp"), bytes);
        prompts.messages.clear();
        return Load(dir.File("in.bmp"));
    }
    int ValidSlots() const {
        int n = 0;
        for (int s = 0; s < 4; ++s)
            n += file.Slot(s).valid ? 1 : 0;
        return n;
    }
};

}  // namespace

TEST_F(ImageFileTest, FourFramesSaveAndLoadBackWithTheirOwnCaptureFacts) {
    ASSERT_TRUE(ConfigStore::WriteSetting(ini, "Setup", "ClubMass", "205.5"));
    ASSERT_TRUE(ConfigStore::WriteSetting(ini, "Setup", "ClubLoft", "9.5"));
    auto frame = std::make_unique<CapturedImage>();
    for (int s = 0; s < 4; ++s) {
        FillFrame(*frame, 640, 480, s);
        frame->serialNumber = 5000 + s;
        frame->cameraPosition.Set(1.5 * s, -2.25, 30.125);
        frame->cameraRotation.Set(s * 0.1, -0.05, 0.0);
        frame->t1 = 0.001 * (s + 1), frame->t2 = frame->t1 + 0.0008;
        file.SetImage(s, *frame);
    }
    std::string path = dir.File("four.bmp");
    ASSERT_TRUE(Save(path));
    EXPECT_TRUE(prompts.messages.empty());

    // A plain 8-bit bitmap any viewer opens: the frames stacked, a gray colour table.
    Bytes bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 1078u + 4u * 640u * 480u);
    EXPECT_EQ(
        std::vector<std::uint32_t>({U32(bytes, 2), U32(bytes, 10), U32(bytes, 18), U32(bytes, 22),
                                    bytes[28], U32(bytes, 54 + 4 * 255)}),
        std::vector<std::uint32_t>({std::uint32_t(bytes.size()), 1078, 640, 1920, 8, 0xFFFFFF}));

    RecordingPrompts loadPrompts;
    ImageFile loaded(ini);
    ASSERT_TRUE(loaded.Load(path));
    EXPECT_TRUE(loadPrompts.messages.empty());
    for (int s = 0; s < 4; ++s) {
        const CapturedImage& got = loaded.Slot(s);
        ASSERT_TRUE(got.valid && got.height == 480 && got.serialNumber == 5000 + s);
        EXPECT_NEAR(got.cameraPosition.Minus({1.5 * s, -2.25, 30.125}).Length(), 0.0, 1e-12);
        EXPECT_NEAR(got.cameraRotation.Minus({s * 0.1, -0.05, 0.0}).Length(), 0.0, 1e-7);
        EXPECT_DOUBLE_EQ(got.t1, 0.001 * (s + 1));
        EXPECT_NEAR(got.t2, 0.001 * (s + 1) + 0.0008, 1e-12);
        // Only the header, at the start of the bottom row, differs from what was saved.
        FillFrame(*frame, 640, 480, s);
        const char* header =
            reinterpret_cast<const char*>(bytes.data() + 1078 + std::size_t(s) * 640 * 480);
        const std::size_t bottom = 640 * 479, end = std::strlen(header) + 5;
        ASSERT_GT(end, 100u);
        EXPECT_EQ(std::memcmp(got.Pixels(), frame->Pixels(), bottom), 0);
        EXPECT_EQ(
            std::memcmp(got.Pixels() + bottom + end, frame->Pixels() + bottom + end, 640 - end), 0);
        EXPECT_STREQ(reinterpret_cast<const char*>(got.Pixels() + bottom), header);
    }
    EXPECT_DOUBLE_EQ(loaded.ClubMass(), 205.5);
    EXPECT_DOUBLE_EQ(loaded.ClubLoft(), 9.5);
}

TEST_F(ImageFileTest, AHeaderThatCannotFitItsBufferIsRefused) {
    auto frame = std::make_unique<CapturedImage>();
    frame->cameraPosition.Set(1e300, 1e300, 1e300);
    char text[1000];
    EXPECT_FALSE(ImageFile::FormatHeader(*frame, "", 200.0, 10.0, text));
}

TEST_F(ImageFileTest, FrameHeightRuleSplitsStackedFrames) {
    struct Case {
        int totalHeight, frames, frameHeight;
    } cases[] = {{1536, 2, 768}, {600, 1, 600}, {1920, 4, 480}};
    for (const Case& c : cases) {
        Bytes bytes = MakeBitmap(640, c.totalHeight, 8, 1078, std::size_t(640) * c.totalHeight);
        ASSERT_TRUE(LoadBytes(bytes)) << c.totalHeight;
        EXPECT_EQ(ValidSlots(), c.frames) << c.totalHeight;
        EXPECT_EQ(file.Slot(0).height, c.frameHeight) << c.totalHeight;
    }
}

TEST_F(ImageFileTest, HeaderFieldsOfOtherWriters) {
    Bytes bytes = MakeBitmap(640, 480, 8, 1078, 640 * 480);
    const struct {
        const char* header;
        double t1, t2;
        int serial;
        const char* date;
    } cases[] = {
        // Keys are found whatever their case; T2 is T1 plus the strobe.
        {"Date: x   STROBE: 0.000800   SERIALNUMBER: 31 ", 0.001, 0.0018, 31,
         "x   strobe: 0.00080"},
        {"nothing here", 0.001, -0.999, 0, ""},
        // A value that runs to the end of the text is read to the end.
        {"serialnumber: 77   strobe: 0.0005", 0.001, 0.0015, 77, ""},
        // The date is the 19 characters after "date: ", trimmed, lower case like the text.
        {"Date: Sun Dec  6 20:14:29 2026\n   SerialNumber: 1 ", 0.001, -0.999, 1,
         "sun dec  6 20:14:29"},
        {"Date: Sun", 0.001, -0.999, 0, "sun"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.header);
        WriteHeaderInBlock(bytes, 1078, c.header);
        ASSERT_TRUE(LoadBytes(bytes));
        EXPECT_DOUBLE_EQ(file.Slot(0).t1, c.t1);
        EXPECT_DOUBLE_EQ(file.Slot(0).t2, c.t2);
        EXPECT_EQ(file.Slot(0).serialNumber, c.serial);
        EXPECT_EQ(file.DateText(), c.date);
    }
    EXPECT_EQ(file.ClubMass(), -1.0);  // none in the last header

    // Both club bounds are exclusive: these leave the settings alone.
    TempDir other;
    const std::string untouched = other.File("Kyvern.ini");
    ImageFile second(untouched);
    WriteHeaderInBlock(bytes, 1078, "CamRotation: 90,0,0   ClubMass: 100.0   ClubLoft: 2.0 ");
    WriteBytes(dir.File("in.bmp"), bytes);
    ASSERT_TRUE(second.Load(dir.File("in.bmp")));
    EXPECT_EQ(second.ClubMass(), 100.0);
    EXPECT_FALSE(std::filesystem::exists(untouched));

    // A header with no zero byte in its first 500 bytes is taken to 500 characters.
    std::memset(bytes.data() + 1078, 'a', 640 * 480);
    ASSERT_TRUE(LoadBytes(bytes));
    EXPECT_EQ(file.HeaderText(), std::string(500, 'a'));
}

TEST_F(ImageFileTest, RefusesBadFilesWithTheSystemMessages) {
    const std::string loadFailed = "Image load failed";
    // Nothing but a regular file of at most the largest valid size is opened: a FIFO would
    // hang the program.
    ASSERT_EQ(::mkfifo(dir.File("fifo.bmp").c_str(), 0600), 0);
    for (const std::string& bad : {dir.File("missing.bmp"), dir.File("fifo.bmp")})
        ASSERT_FALSE(Load(bad));
    EXPECT_EQ(prompts.messages,
              (std::vector<std::string>{
                  "Couldn't open image file (" + dir.File("missing.bmp") + ": no such file)",
                  "Couldn't open image file (" + dir.File("fifo.bmp") + ": not a regular file)"}));
    std::filesystem::remove(dir.File("fifo.bmp"));

    struct Case {
        const char* what;
        Bytes bytes;
        std::string message;
    };
    const std::string tooBig = "The resolution of the image is too big (1024x768 max)";
    auto cut = [](std::size_t size) {
        Bytes b = MakeBitmap(640, 480, 8);
        b.resize(size);
        return b;
    };
    Bytes garbage(5000);
    for (std::size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = std::uint8_t(i * 131 + 17);
    const Case cases[] = {
        {"24-bit", MakeBitmap(640, 480, 24, 1078, 640 * 480 * 3), "Image must be 8-bit color"},
        {"too wide", MakeBitmap(1280, 480, 8, 1078, 1280 * 480), tooBig},
        {"empty", {}, loadFailed},
        {"short info header", cut(30), loadFailed},
        {"short colour table", cut(600), loadFailed},
        {"short first frame", MakeBitmap(640, 480, 8, 1078, 640 * 479), loadFailed},
        {"table beyond 1024 bytes", MakeBitmap(640, 480, 8, 2000, 640 * 480), loadFailed},
        {"pixels inside the headers", MakeBitmap(640, 480, 8, 20, 640 * 480), loadFailed},
        {"negative width", MakeBitmap(-640, 480, 8, 1078, 640 * 480), loadFailed},
        {"zero width", MakeBitmap(0, 480, 8, 1078, 640 * 480), loadFailed},
        {"top-down rows", MakeBitmap(640, -480, 8, 1078, 640 * 480), loadFailed},
        {"a frame over 768 rows", MakeBitmap(640, 0x7fffffff, 8, 1078, 640 * 480), tooBig},
        {"garbage, not starting BM", garbage, loadFailed},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(LoadBytes(c.bytes)) << c.what;
        EXPECT_EQ(prompts.messages, std::vector<std::string>{c.message}) << c.what;
        EXPECT_EQ(ValidSlots(), 0) << c.what;
    }
}

TEST_F(ImageFileTest, TruncatedAfterWholeFramesKeepsTheWholeOnes) {
    auto frame = std::make_unique<CapturedImage>();
    for (int s = 0; s < 3; ++s) {
        FillFrame(*frame, 640, 480, s);
        frame->serialNumber = 10 + s;
        file.SetImage(s, *frame);
    }
    ASSERT_TRUE(Save(dir.File("three.bmp")));
    Bytes bytes = ReadBytes(dir.File("three.bmp"));
    // The file says three frames; the third is cut short.
    bytes.resize(1078 + 2 * 640 * 480 + 1000);
    ASSERT_TRUE(LoadBytes(bytes));
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(ValidSlots(), 2);
    EXPECT_EQ(file.Slot(1).serialNumber, 11);
}

TEST_F(ImageFileTest, SaveRefusalsAndOddSizes) {
    // Nothing to save: false, no file, no message.
    EXPECT_FALSE(Save(dir.File("none.bmp")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("none.bmp")));
    EXPECT_TRUE(prompts.messages.empty());

    // A width that is not a multiple of 4 is stored with padded rows, as a bitmap must be.
    auto frame = std::make_unique<CapturedImage>();
    FillFrame(*frame, 642, 480, 9);
    file.SetImage(1, *frame);
    ASSERT_TRUE(Save(dir.File("odd.bmp")));
    EXPECT_EQ(ReadBytes(dir.File("odd.bmp")).size(), 1078u + 644u * 480u);
    ImageFile back(ini);
    ASSERT_TRUE(back.Load(dir.File("odd.bmp")));
    EXPECT_EQ(back.Slot(0).width, 642);
    EXPECT_EQ(back.Slot(0).At(200, 641), frame->At(200, 641));

    // Frames of different sizes cannot share one file; a missing folder cannot take one.
    FillFrame(*frame, 640, 480, 1);
    file.SetImage(2, *frame);
    EXPECT_FALSE(Save(dir.File("mixed.bmp")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("mixed.bmp")));
    file.Clear();
    file.SetImage(0, *frame);
    EXPECT_FALSE(Save(dir.File("no/such/folder.bmp")));
    EXPECT_EQ(prompts.messages.size(), 2u);
}
