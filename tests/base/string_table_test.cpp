#include "base/string_table.h"

#include <gtest/gtest.h>

#include <string>

using kyvern::base::Language;
using kyvern::base::MessageId;
using kyvern::base::Text;

namespace {
// The printf conversions of a text, in order: a translation must take the same arguments.
std::string Conversions(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') continue;
        std::size_t j = i + 1;
        while (j < text.size() &&
               std::string_view("0123456789.-+ #l").find(text[j]) != std::string_view::npos) {
            ++j;
        }
        if (j < text.size()) out += text.substr(i, j - i + 1);
        i = j;
    }
    return out;
}
}  // namespace

TEST(StringTable, EveryMessageInBothLanguagesWithTheSameArguments) {
    for (int i = 0; i < static_cast<int>(MessageId::kCount); ++i) {
        auto id = static_cast<MessageId>(i);
        std::string_view english = Text(id, Language::kEnglish);
        std::string_view japanese = Text(id, Language::kJapanese);
        EXPECT_FALSE(english.empty()) << i;
        EXPECT_FALSE(japanese.empty()) << i;
        EXPECT_EQ(Conversions(english), Conversions(japanese)) << english;
    }
    EXPECT_EQ(Text(MessageId::kCount), "");

    kyvern::base::SetLanguage(Language::kJapanese);
    EXPECT_EQ(Text(MessageId::kImageLoadFailed),
              Text(MessageId::kImageLoadFailed, Language::kJapanese));
    kyvern::base::SetLanguage(Language::kEnglish);
    EXPECT_EQ(Text(MessageId::kImageLoadFailed), "Image load failed");
}
