#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "base/file_committer.h"
#include "base/settings_schema.h"
#include "base/status.h"
#include "frame/captured_image.h"

namespace kyvern::capture {

inline constexpr std::size_t kHeaderTextCapacity = 1000;
inline constexpr std::size_t kHeaderScanLimit = 500;
inline constexpr std::uint32_t kPixelDataOffset = 1078;
// The largest file Load reads: the headers, the largest colour table it accepts and four
// frames of the largest size at three bytes a pixel.
inline constexpr std::uint64_t kMaxImageFileBytes =
    14 + 40 + 1024 + std::uint64_t{frame::kCameraSlots} * frame::kFrameCapacity;

// The saved-image format: a bitmap of one to four stacked 8-bit gray frames, each with its
// capture header written as ASCII text over the first bytes of its own pixel block.
class ImageFile {
public:
    // settings hold the club the file records and updates. Load and Save return their
    // failures with the user's text of the reason; the caller shows them.
    explicit ImageFile(base::Settings settings);
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    void Clear();
    void SetImage(int slot, const frame::CapturedImage& image);
    bool GetImage(int slot, frame::CapturedImage& image) const;
    const frame::CapturedImage& Slot(int slot) const { return *slots_[slot]; }
    const std::string& GetPath() const { return path_; }
    [[nodiscard]] base::Status Load(const std::string& path);
    [[nodiscard]] base::Status Save(const std::string& path);
    // Writes the file and hands it to committer to put in place: the failures of the commit
    // come from committer's Wait, in the same words.
    [[nodiscard]] base::Status Save(const std::string& path, base::FileCommitter& committer);
    // The club the next saves record (grams, degrees), as the pass read it; until it is given,
    // each save reads it from the settings.
    void SetClubValues(double clubMass, double clubLoft) { savedClub_ = {clubMass, clubLoft}; }

    // Working state of the last header read.
    const std::string& HeaderText() const { return headerText_; }
    const std::string& DateText() const { return dateText_; }
    double ClubLoft() const { return clubLoft_; }
    double ClubMass() const { return clubMass_; }

    static constexpr const char* kFilter = "image files (*.bmp)|*.bmp|All Files (*.*)|*.*||";

    // The capture header text of a frame, as Save writes it; false when it does not fit.
    static bool FormatHeader(const frame::CapturedImage& frame, const char* date, double clubMass,
                             double clubLoft, char (&text)[kHeaderTextCapacity]);

private:
    base::Status Write(const std::string& path, base::FileCommitter* committer);
    void ParseHeader(const std::uint8_t* block, std::size_t blockSize, frame::CapturedImage& slot);
    void WriteClubSetting(base::SettingId id, double value);

    base::Settings settings_;
    std::string headerText_;
    std::string path_;
    std::string dateText_;
    double clubLoft_ = -1.0;
    double clubMass_ = -1.0;
    std::optional<std::pair<double, double>> savedClub_;  // mass, loft
    std::unique_ptr<std::uint8_t[]> staging_;
    std::array<std::unique_ptr<frame::CapturedImage>, frame::kCameraSlots> slots_;
    std::array<std::uint8_t, 1024> colourTable_{};
    std::array<std::uint8_t, 14> fileHeader_{};
    std::array<std::uint8_t, 40> infoHeader_{};
};

}  // namespace kyvern::capture
