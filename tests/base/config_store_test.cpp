#include "base/config_store.h"

#include <gtest/gtest.h>

TEST(Placeholder, Builds) { EXPECT_TRUE(kyvern::base::EqualsNoCase("A", "a")); }
