#include "data/name_lists.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sample_shots.h"

using kyvern::data::NameLists;
using kyvern::testing::TempHome;
using Strings = std::vector<std::string>;

TEST(NameLists, LoadKeepsOrderAndSkipsGaps) {
    TempHome home;
    home.Set("MRU", "User0", "Ann");
    home.Set("MRU", "User2", "Cid");  // User1 missing: Cid closes the gap
    home.Set("MRU", "User9", "Zoe");
    home.Set("MRU", "Session0", "Morning");
    home.Set("MRU", "Item1", "Wedge");
    home.Set("MRU", "Item0", std::string(100, 'x'));  // cut to 79 characters
    NameLists lists;
    lists.LoadNameLists();
    EXPECT_EQ(lists.Players(), (Strings{"Ann", "Cid", "Zoe"}));
    EXPECT_EQ(lists.Sessions(), (Strings{"Morning"}));
    EXPECT_EQ(lists.Items(), (Strings{std::string(79, 'x'), "Wedge"}));
    // Loading again starts from empty lists.
    lists.LoadNameLists();
    EXPECT_EQ(lists.Players().size(), 3u);
}

TEST(NameLists, UpdateTrimsComparesWithoutCaseAndKeepsTen) {
    TempHome home;
    NameLists lists;
    lists.LoadNameLists();
    lists.UpdateNameLists("  Ann ", "", "Driver");
    lists.UpdateNameLists("ann", "   ", "7 Iron");
    lists.UpdateNameLists("Bob", "Morning", "DRIVER");
    EXPECT_EQ(lists.Players(), (Strings{"Bob", "Ann"}));
    EXPECT_EQ(lists.Sessions(), (Strings{"Morning"}));
    EXPECT_EQ(lists.Items(), (Strings{"7 Iron", "Driver"}));

    // A name already in the list stays where it is.
    lists.UpdateNameLists("Ann", "", "");
    EXPECT_EQ(lists.Players(), (Strings{"Bob", "Ann"}));

    // The eleventh and twelfth distinct names push the oldest out.
    for (int i = 3; i <= 12; ++i)
        lists.UpdateNameLists("Player " + std::to_string(i), "", "");
    ASSERT_EQ(lists.Players().size(), 10u);
    EXPECT_EQ(lists.Players().front(), "Player 12");
    EXPECT_EQ(lists.Players().back(), "Player 3");

    lists.SaveNameLists();
    for (int n = 0; n < 10; ++n) {
        const std::string user = "User" + std::to_string(n);
        EXPECT_EQ(home.Get("MRU", user.c_str()), lists.Players()[static_cast<std::size_t>(n)]);
    }
    EXPECT_EQ(home.Get("MRU", "Session0"), "Morning");
    EXPECT_EQ(home.Get("MRU", "Session1"), "");
    EXPECT_EQ(home.Get("MRU", "Item1"), "Driver");
    EXPECT_EQ(home.Get("MRU", "Item9"), "");

    NameLists again(home.Settings());
    again.LoadNameLists();
    EXPECT_EQ(again.Players(), lists.Players());
    EXPECT_EQ(again.Items(), lists.Items());
}
