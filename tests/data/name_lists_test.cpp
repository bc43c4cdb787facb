#include "data/name_lists.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sample_shots.h"

using kyvern::data::NameLists;
using Strings = std::vector<std::string>;

TEST(NameLists, LoadKeepsOrderSkipsGapsAndCutsLongNames) {
    kyvern::testing::TempHome home;
    for (const auto& [key, value] : {std::pair{"User0", "Ann"},
                                     {"User2", "Cid"},
                                     {"User9", "Zoe"},
                                     {"Session0", "Morning"},
                                     {"Item1", "Wedge"}})
        home.Set("MRU", key, value);
    home.Set("MRU", "Item0", std::string(100, 'x'));
    NameLists lists{kyvern::base::Settings()};
    lists.LoadNameLists();
    lists.LoadNameLists();  // again: from empty lists
    EXPECT_EQ(lists.Players(), (Strings{"Ann", "Cid", "Zoe"}));
    EXPECT_EQ(lists.Sessions(), (Strings{"Morning"}));
    EXPECT_EQ(lists.Items(), (Strings{std::string(79, 'x'), "Wedge"}));
}

TEST(NameLists, UpdateTrimsComparesWithoutCaseKeepsTenAndSaves) {
    kyvern::testing::TempHome home;
    NameLists lists{kyvern::base::Settings()};
    lists.LoadNameLists();
    lists.UpdateNameLists("  Ann ", "", "Driver");
    lists.UpdateNameLists("ann", "   ", "7 Iron");
    lists.UpdateNameLists("Bob", "Morning", "DRIVER");
    lists.UpdateNameLists("Ann", "", "");  // already there: stays where it is
    EXPECT_EQ(lists.Players(), (Strings{"Bob", "Ann"}));
    EXPECT_EQ(lists.Sessions(), (Strings{"Morning"}));
    EXPECT_EQ(lists.Items(), (Strings{"7 Iron", "Driver"}));
    // The eleventh and twelfth distinct names push the oldest out.
    for (int i = 3; i <= 12; ++i)
        lists.UpdateNameLists("Player " + std::to_string(i), "", "");
    ASSERT_EQ(lists.Players().size(), 10u);
    EXPECT_EQ(lists.Players().front() + "," + lists.Players().back(), "Player 12,Player 3");

    lists.SaveNameLists();
    EXPECT_EQ(home.Get("MRU", "User9") + "," + home.Get("MRU", "Session1") + "," +
                  home.Get("MRU", "Item1") + "," + home.Get("MRU", "Item9"),
              "Player 3,,Driver,");
    NameLists again(home.Settings());
    again.LoadNameLists();
    EXPECT_EQ(again.Players(), lists.Players());
    EXPECT_EQ(again.Items(), lists.Items());
}
