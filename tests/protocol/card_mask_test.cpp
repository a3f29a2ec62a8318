#include "core/protocol/card_mask.h"

#include <gtest/gtest.h>

namespace tkr::protocol {
namespace {

TEST(CardMask, AccountNumberKeepsFirstSixAndLastFourOnTracks1And2) {
  struct Row {
    const char* name;
    int track;
    Bytes data;
    Bytes masked;
  };
  const Row rows[] = {
      {"track 1 with sentinel", 1, "%B4111111111111111^DOE/JOHN^2512101?", "%B411111******1111^DOE/JOHN^2512101?"},
      {"track 1 without sentinel", 1, "B5500000000000004^SMITH/ANN^2706101", "B550000******0004^SMITH/ANN^2706101"},
      {"track 2 with sentinel", 2, ";4111111111111111=2512101?", ";411111******1111=2512101?"},
      {"11 digits: one masked", 2, "12345678901=2512", "123456*8901=2512"},
      {"10 digits would show whole: all masked", 2, "1234567890=2512", "**********=2512"},
      {"short number all masked", 1, "B12345^A/B^2512101", "B*****^A/B^2512101"},
      {"track 1 without format code stays", 1, "A4111111111111111^X^2512", "A4111111111111111^X^2512"},
      {"track 2 without separator stays", 2, "4111111111111111", "4111111111111111"},
      {"track 3 stays", 3, "0112345678901234=7247", "0112345678901234=7247"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(MaskTrack(row.track, row.data), row.masked);
  }
}

TEST(CardMask, FinancialFieldsOfTrack1) {
  const auto f = ParseFinancialTrack(1, "%B4111111111111111^DOE/JOHN^2512101000?");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->pan, "4111111111111111");
  EXPECT_EQ(f->name, "DOE/JOHN");
  EXPECT_EQ(f->expiry, "2512");
  EXPECT_EQ(f->serviceCode, "101");
  EXPECT_FALSE(ParseFinancialTrack(1, "%B4111^DOE/JOHN^25"));
}

}  // namespace
}  // namespace tkr::protocol
