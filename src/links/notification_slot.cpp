#include "links/notification_slot.h"

#include <cstdint>

namespace kyvern::links {

namespace {

void Put(std::string& out, std::uint32_t unit) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>((unit >> 8) & 0xFF);
}

}  // namespace

std::string Utf16LittleEndian(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    std::size_t i = 0;
    while (i < text.size()) {
        auto lead = static_cast<unsigned char>(text[i]);
        int extra = -1;
        std::uint32_t code = 0;
        if (lead < 0x80) {
            extra = 0;
            code = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            code = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            code = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            code = lead & 0x07;
        }
        bool good = extra >= 0 && i + static_cast<std::size_t>(extra) < text.size();
        for (int k = 1; good && k <= extra; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) good = false;
            code = (code << 6) | (next & 0x3F);
        }
        static constexpr std::uint32_t kLeast[4] = {0, 0x80, 0x800, 0x10000};
        // Overlong forms, surrogates and values beyond the last plane are malformed.
        if (good && (code < kLeast[extra] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)))
            good = false;
        if (!good) {
            Put(out, 0xFFFD);
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            Put(out, 0xD800 + (code >> 10));
            Put(out, 0xDC00 + (code & 0x3FF));
        } else {
            Put(out, code);
        }
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

bool NotificationSlot::Open() { return writer_.Open(kNotificationSlotName); }

void NotificationSlot::Close() { writer_.Close(); }

bool NotificationSlot::Send(std::string_view text) {
    std::string bytes = Utf16LittleEndian(text);
    return writer_.Write(bytes.data(), bytes.size());
}

bool NotificationSlot::SendConnected(bool connected) {
    return Send(connected ? "Kyvern: Connected" : "Kyvern: Not Connected");
}

bool NotificationSlot::SendNewImage() { return Send("Kyvern: New Image"); }

bool NotificationSlot::SendAnalysisDone() { return Send("Kyvern: Analysis Done"); }

bool NotificationSlot::SendAnalysisTerminated() { return Send("Kyvern: Analysis Terminated"); }

}  // namespace kyvern::links
