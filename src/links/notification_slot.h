#pragma once

#include <string>
#include <string_view>

#include "links/mailslot.h"

namespace kyvern::links {

inline constexpr const char* kNotificationSlotName = "Kyvern";

// Short notices to every program listening on the "Kyvern" slot: one datagram per notice,
// the text in UTF-16 little-endian, without a terminator or a header.
class NotificationSlot {
public:
    bool Open();
    void Close();
    // One write of the text's UTF-16 bytes; true when it went out (or was lost for want of
    // a listener).
    bool Send(std::string_view text);
    bool SendConnected(bool connected);
    bool SendNewImage();
    bool SendAnalysisDone();
    bool SendAnalysisTerminated();

private:
    MailslotWriter writer_;
};

// UTF-8 text as UTF-16 little-endian bytes; a malformed byte becomes U+FFFD.
std::string Utf16LittleEndian(std::string_view text);

}  // namespace kyvern::links
