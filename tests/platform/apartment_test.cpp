#include "platform/apartment.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(Apartment, GuardBalancesOnEveryPath) {
  EXPECT_EQ(platform::apartment_depth(), 0);
  {
    platform::ComApartment outer;
    EXPECT_EQ(platform::apartment_depth(), 1);
    {
      platform::ComApartment inner;
      EXPECT_EQ(platform::apartment_depth(), 2);
    }
    EXPECT_EQ(platform::apartment_depth(), 1);
  }
  EXPECT_EQ(platform::apartment_depth(), 0);
  EXPECT_EQ(platform::apartment_peak_depth(), 2);
}

TEST(Apartment, UnbalancedEndStaysAtZero) {
  platform::co_uninitialize();
  EXPECT_EQ(platform::apartment_depth(), 0);
}

TEST(Apartment, CountIsPerThread) {
  platform::ComApartment here;
  int other = -1;
  std::thread([&other] { other = platform::apartment_depth(); }).join();
  EXPECT_EQ(other, 0);
  EXPECT_EQ(platform::apartment_depth(), 1);
}

}  // namespace
