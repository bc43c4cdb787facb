#include "capture/image_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <string_view>
#include <vector>

#include "base/atomic_file.h"
#include "base/config_store.h"
#include "base/math_constants.h"
#include "base/program_folder.h"
#include "base/regular_file.h"
#include "base/settings_snapshot.h"
#include "base/string_table.h"
#include "frame/camera_model.h"

namespace kyvern::capture {

namespace {

using base::MessageId;
using frame::CapturedImage;

base::Status CouldNotCreate(const std::string& path, const std::string& why) {
    std::string text(base::Text(MessageId::kCouldNotCreateImageFile));
    if (!why.empty()) text += " (" + path + ": " + why + ")";
    return base::Status::Failure(std::move(text));
}

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kHeadersSize = kFileHeaderSize + kInfoHeaderSize;

std::uint32_t U32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}
std::int32_t I32(const std::uint8_t* p) { return static_cast<std::int32_t>(U32(p)); }
std::uint16_t U16(const std::uint8_t* p) { return std::uint16_t(p[0] | p[1] << 8); }

void Put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

// Rows are stored as a standard bitmap stores them: padded to a multiple of 4 bytes. The
// cameras' widths are multiples of 4, where this changes nothing.
std::size_t RowStride(std::int32_t width, std::int32_t bytesPerPixel) {
    return (std::size_t(width) * std::size_t(bytesPerPixel) + 3) & ~std::size_t(3);
}

// Reads up to size bytes; returns how many arrived before the end of the file.
std::size_t ReadFully(int fd, std::uint8_t* buffer, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        ssize_t n = ::read(fd, buffer + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

// The value of key in the lower-case header text: from one character after the colon to
// the next blank, or to the end of the text when no blank follows.
std::optional<std::string> HeaderValue(std::string_view text, std::string_view key) {
    std::size_t at = text.find(key);
    if (at == std::string_view::npos) return std::nullopt;
    std::size_t start = at + key.size() + 1;
    if (start > text.size()) return std::string();
    std::size_t end = text.find(' ', start);
    if (end == std::string_view::npos) end = text.size();
    return std::string(text.substr(start, end - start));
}

void ScanDouble(const std::optional<std::string>& value, double& out) {
    if (value) std::sscanf(value->c_str(), "%lf", &out);
}

// "%lf" of the setting, or of its default when it is no number.
double ReadClubSetting(const base::SettingsSnapshot& settings, base::SettingId id) {
    double value = 0.0;
    if (std::sscanf(settings.Text(id).c_str(), "%lf", &value) != 1) value = base::DefaultNumber(id);
    return value;
}

}  // namespace

ImageFile::ImageFile(base::Settings settings)
    : settings_(std::move(settings)), staging_(new std::uint8_t[frame::kFrameCapacity]) {
    for (auto& slot : slots_)
        slot = std::make_unique<CapturedImage>();
    Clear();
}

void ImageFile::Clear() {
    path_.clear();
    for (auto& slot : slots_)
        slot->valid = false;
}

void ImageFile::SetImage(int slot, const CapturedImage& image) {
    if (slot < 0 || slot >= frame::kCameraSlots) return;
    slots_[slot]->CopyFrom(image);
    slots_[slot]->valid = true;
}

bool ImageFile::GetImage(int slot, CapturedImage& image) const {
    if (slot < 0 || slot >= frame::kCameraSlots || !slots_[slot]->valid) return false;
    image.CopyFrom(*slots_[slot]);
    return true;
}

void ImageFile::ParseHeader(const std::uint8_t* block, std::size_t blockSize, CapturedImage& slot) {
    // The text ends at the first zero byte; a header without one is taken to the scan limit.
    std::size_t limit = std::min(blockSize, kHeaderScanLimit);
    std::size_t length = 0;
    while (length < limit && block[length] != 0)
        ++length;
    headerText_.assign(reinterpret_cast<const char*>(block), length);
    for (char& c : headerText_) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    std::string_view text = headerText_;

    clubLoft_ = -1.0;
    clubMass_ = -1.0;
    double strobe = -1.0;
    ScanDouble(HeaderValue(text, "clubloft:"), clubLoft_);
    ScanDouble(HeaderValue(text, "clubmass:"), clubMass_);
    ScanDouble(HeaderValue(text, "strobe:"), strobe);
    slot.t1 = 0.001;
    slot.t2 = 0.001 + strobe;
    ScanDouble(HeaderValue(text, "t1:"), slot.t1);
    ScanDouble(HeaderValue(text, "t2:"), slot.t2);

    long serial = 0;
    if (auto v = HeaderValue(text, "serialnumber:")) std::sscanf(v->c_str(), "%ld", &serial);
    slot.serialNumber = static_cast<std::int32_t>(serial);

    dateText_.clear();
    if (std::size_t at = text.find("date:"); at != std::string_view::npos) {
        std::size_t start = std::min(at + 6, text.size());
        dateText_ = std::string(base::Trim(text.substr(start, 19)));
    }

    double p[3] = {0, 0, 0};
    if (auto v = HeaderValue(text, "camposition:")) {
        std::sscanf(v->c_str(), "%lf,%lf,%lf", &p[0], &p[1], &p[2]);
    }
    slot.cameraPosition.Set(p[0], p[1], p[2]);
    double r[3] = {0, 0, 0};
    if (auto v = HeaderValue(text, "camrotation:")) {
        std::sscanf(v->c_str(), "%lf,%lf,%lf", &r[0], &r[1], &r[2]);
    }
    slot.cameraRotation.Set(r[0] * base::kDegreesToRadians, r[1] * base::kDegreesToRadians,
                            r[2] * base::kDegreesToRadians);
}

void ImageFile::WriteClubSetting(base::SettingId id, double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", value);
    // Every frame of a file carries the same club: skip the rewrite when nothing changes.
    if (base::SettingsSnapshot::Read(settings_).Stored(id) == text) return;
    settings_.Write(id, text);
}

base::Status ImageFile::Load(const std::string& path) {
    // Frames of an earlier file must not survive into this one.
    for (auto& slot : slots_)
        slot->valid = false;

    // A FIFO or a device named as an image must not hang the program, nor a huge file be read.
    base::ReadRefusal refusal = base::ReadRefusal::kNone;
    int fd = base::OpenRegularFile(path, kMaxImageFileBytes, refusal);
    if (fd < 0) {
        return base::Status::Failure(std::string(base::Text(MessageId::kCouldNotOpenImageFile)) +
                                     " (" + path + ": " +
                                     base::RefusalText(refusal, kMaxImageFileBytes) + ")");
    }
    auto fail = [&](MessageId id) {
        ::close(fd);
        return base::Status::Failure(std::string(base::Text(id)));
    };

    if (ReadFully(fd, fileHeader_.data(), kFileHeaderSize) != kFileHeaderSize ||
        ReadFully(fd, infoHeader_.data(), kInfoHeaderSize) != kInfoHeaderSize) {
        return fail(MessageId::kImageLoadFailed);
    }
    if (U16(fileHeader_.data()) != 0x4D42) return fail(MessageId::kImageLoadFailed);
    const std::int32_t width = I32(infoHeader_.data() + 4);
    const std::int32_t totalHeight = I32(infoHeader_.data() + 8);
    const std::uint16_t bitCount = U16(infoHeader_.data() + 14);
    const std::uint32_t offBits = U32(fileHeader_.data() + 10);

    if (width > frame::kMaxFrameWidth) return fail(MessageId::kImageResolutionTooBig);
    if (bitCount != 8) return fail(MessageId::kImageMustBe8Bit);
    // A bitmap with no pixels, a top-down bitmap, or a colour table that does not fit
    // between the headers and the pixels is not a file this system wrote.
    if (width <= 0 || totalHeight <= 0) return fail(MessageId::kImageLoadFailed);
    if (offBits < kHeadersSize || offBits - kHeadersSize > colourTable_.size()) {
        return fail(MessageId::kImageLoadFailed);
    }
    const std::size_t tableSize = offBits - kHeadersSize;
    if (ReadFully(fd, colourTable_.data(), tableSize) != tableSize) {
        return fail(MessageId::kImageLoadFailed);
    }

    std::int32_t frameHeight = totalHeight;
    if (totalHeight % 480 == 0) frameHeight = 480;
    if (totalHeight % 768 == 0) frameHeight = 768;
    if (frameHeight > frame::kMaxFrameHeight) return fail(MessageId::kImageResolutionTooBig);

    const std::size_t stride = RowStride(width, 1);
    const std::size_t blockSize = stride * std::size_t(frameHeight);
    int framesRead = 0;
    for (int s = 0; s < frame::kCameraSlots; ++s) {
        if (ReadFully(fd, staging_.get(), blockSize) != blockSize) break;
        CapturedImage& slot = *slots_[s];
        slot.Reset();
        slot.width = width;
        slot.height = frameHeight;
        slot.bytesPerPixel = 1;
        ParseHeader(staging_.get(), blockSize, slot);
        for (std::int32_t r = 0; r < frameHeight; ++r) {
            std::memcpy(slot.Pixels() + std::size_t(r) * std::size_t(width),
                        staging_.get() + std::size_t(frameHeight - r - 1) * stride,
                        std::size_t(width));
        }
        slot.valid = true;
        path_ = path;
        ++framesRead;
        // Loading an image makes its club the current club.
        if (clubMass_ > 100.0 && clubMass_ < 500.0) {
            WriteClubSetting(base::setting::kClubMass, clubMass_);
        }
        if (clubLoft_ > 2.0 && clubLoft_ < 100.0) {
            WriteClubSetting(base::setting::kClubLoft, clubLoft_);
        }
    }
    ::close(fd);
    if (framesRead == 0)
        return base::Status::Failure(std::string(base::Text(MessageId::kImageLoadFailed)));
    return {};
}

bool ImageFile::FormatHeader(const CapturedImage& frame, const char* date, double clubMass,
                             double clubLoft, char (&text)[kHeaderTextCapacity]) {
    std::memset(text, 0, sizeof text);
    const frame::Xyz& p = frame.cameraPosition;
    const frame::Xyz& r = frame.cameraRotation;
    int n = std::snprintf(
        text, sizeof text,
        "Date: %s   SerialNumber: %ld   CamPosition: %.6f,%.6f,%6f   CamRotation: "
        "%.6f,%.6f,%6f   ClubMass: %.1f   ClubLoft: %.1f   Strobe: %.6f   T1: %.6f   T2: %.6f   ",
        date, static_cast<long>(frame.serialNumber), p.x, p.y, p.z, r.x * base::kRadiansToDegrees,
        r.y * base::kRadiansToDegrees, r.z * base::kRadiansToDegrees, clubMass, clubLoft,
        frame.t2 - frame.t1, frame.t1, frame.t2);
    // The text, its zero and four more zero bytes must fit the buffer.
    return n >= 0 && std::size_t(n) + 5 <= sizeof text;
}

base::Status ImageFile::Save(const std::string& path) { return Write(path, nullptr); }

base::Status ImageFile::Save(const std::string& path, base::FileCommitter& committer) {
    return Write(path, &committer);
}

base::Status ImageFile::Write(const std::string& path, base::FileCommitter* committer) {
    int first = -1;
    int count = 0;
    for (int s = 0; s < frame::kCameraSlots; ++s) {
        if (!slots_[s]->valid) continue;
        if (first < 0) first = s;
        ++count;
    }
    if (first < 0) return base::Status::Failure({});  // nothing to save: nothing to tell

    const CapturedImage& head = *slots_[first];
    const std::int32_t width = head.width;
    const std::int32_t height = head.height;
    const std::int32_t bpp = head.bytesPerPixel;
    auto refuse = [&](const std::string& why = {}) { return CouldNotCreate(path, why); };
    // Every frame must share the first one's size, and that size must fit the buffers;
    // otherwise the file would not describe its own pixels.
    if (width <= 0 || width > frame::kMaxFrameWidth || height <= 0 ||
        height > frame::kMaxFrameHeight || (bpp != 1 && bpp != 3)) {
        return refuse();
    }
    for (int s = first; s < frame::kCameraSlots; ++s) {
        const CapturedImage& slot = *slots_[s];
        if (slot.valid &&
            (slot.width != width || slot.height != height || slot.bytesPerPixel != bpp)) {
            return refuse();
        }
    }
    const std::size_t stride = RowStride(width, bpp);
    const std::size_t blockSize = stride * std::size_t(height);
    if (blockSize > frame::kFrameCapacity) return refuse();

    fileHeader_.fill(0);
    infoHeader_.fill(0);
    Put16(fileHeader_.data(), 0x4D42);
    Put32(fileHeader_.data() + 2, static_cast<std::uint32_t>(kPixelDataOffset + blockSize * count));
    Put32(fileHeader_.data() + 10, kPixelDataOffset);
    Put32(infoHeader_.data(), 40);
    Put32(infoHeader_.data() + 4, static_cast<std::uint32_t>(width));
    Put32(infoHeader_.data() + 8, static_cast<std::uint32_t>(height * count));
    Put16(infoHeader_.data() + 12, 1);
    Put16(infoHeader_.data() + 14, bpp == 3 ? 24 : 8);
    Put32(infoHeader_.data() + 24, 100);
    Put32(infoHeader_.data() + 28, 100);
    for (int i = 0; i < 256; ++i) {
        if (bpp == 3) {
            std::fill_n(colourTable_.data() + 4 * i, 4, std::uint8_t(204));
        } else {
            std::uint8_t* e = colourTable_.data() + 4 * i;
            e[0] = e[1] = e[2] = static_cast<std::uint8_t>(i);
            e[3] = 0;
        }
    }

    // A reader never sees a half-written picture, and a full disk keeps the old one.
    base::FileReplacement file(path);
    bool ok = file.Write(fileHeader_.data(), fileHeader_.size()) &&
              file.Write(infoHeader_.data(), infoHeader_.size()) &&
              file.Write(colourTable_.data(), colourTable_.size());

    double clubMass = 0.0;
    double clubLoft = 0.0;
    if (savedClub_) {
        std::tie(clubMass, clubLoft) = *savedClub_;
    } else {
        const base::SettingsSnapshot settings = base::SettingsSnapshot::Read(settings_);
        clubMass = ReadClubSetting(settings, base::setting::kClubMass);
        clubLoft = ReadClubSetting(settings, base::setting::kClubLoft);
    }
    for (int s = first; ok && s < frame::kCameraSlots; ++s) {
        const CapturedImage& slot = *slots_[s];
        if (!slot.valid) continue;
        const std::size_t rowBytes = std::size_t(width) * std::size_t(bpp);
        for (std::int32_t r = 0; r < height; ++r) {
            std::uint8_t* row = staging_.get() + std::size_t(height - r - 1) * stride;
            std::memcpy(row, slot.Pixels() + std::size_t(r) * rowBytes, rowBytes);
            std::memset(row + rowBytes, 0, stride - rowBytes);
        }
        std::time_t now = std::time(nullptr);
        std::tm local{};
        char date[32] = "";
        if (!localtime_r(&now, &local) || !asctime_r(&local, date)) date[0] = 0;
        char text[kHeaderTextCapacity];
        ok = FormatHeader(slot, date, clubMass, clubLoft, text);
        if (!ok) break;
        std::size_t headerBytes = std::strlen(text) + 5;
        std::memcpy(staging_.get(), text, std::min(headerBytes, blockSize));
        ok = file.Write(staging_.get(), blockSize);
    }
    if (!ok) return refuse(file.Failure());
    if (committer == nullptr) {
        if (!file.Commit()) return refuse(file.Failure());
    } else {
        committer->Commit(std::move(file),
                          [path](const std::string& why) { return CouldNotCreate(path, why); });
    }
    path_ = path;
    return {};
}

}  // namespace kyvern::capture
