#include <gtest/gtest.h>
#include "core/transactions.h"
TEST(Smoke, Builds) { EXPECT_EQ(tarvex::kResultNoPort, -3); }
