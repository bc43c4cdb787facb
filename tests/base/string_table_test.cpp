#include "base/string_table.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

using namespace kyvern::base;

// A translation must take the same printf arguments, in the same order.
TEST(StringTable, EveryMessageInBothLanguagesWithTheSameArguments) {
    auto conversions = [](const std::string& s) {
        static const std::regex conversion("%[-+ #0-9.l]*[^-+ #0-9.l]");
        std::string out;
        for (std::sregex_iterator it(s.begin(), s.end(), conversion), end; it != end; ++it)
            out += it->str();
        return out;
    };
    for (int i = 0; i < static_cast<int>(MessageId::kCount); ++i) {
        const auto id = static_cast<MessageId>(i);
        const std::string english(Text(id, Language::kEnglish));
        const std::string japanese(Text(id, Language::kJapanese));
        EXPECT_FALSE(english.empty() || japanese.empty()) << i;
        EXPECT_EQ(conversions(english), conversions(japanese)) << english;
    }
    EXPECT_EQ(Text(MessageId::kCount), "");
}
