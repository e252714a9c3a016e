// What the controller-against-file comparison counts as differing, and how a
// value outside the catalog's limits reads in either language.
#include <gtest/gtest.h>

#include "params/Comparison.h"

using namespace qx25::params;

namespace {

class Comparison : public ::testing::Test {
 protected:
  void SetUp() override {
    Catalog.Fill();
    SetNumberFormat({".", ","});
  }
  // Catalog index of a bulk-range code.
  int Index(int Code) const {
    for (int i = kBulkFirst; i < Catalog.Count(); ++i)
      if (Catalog.Items(i).Code == Code) return i;
    return -1;
  }
  TValues Values(std::initializer_list<std::pair<int, int64_t>> Given) const {
    TValues v(static_cast<size_t>(Catalog.Count()));
    for (const auto& [code, value] : Given) v[static_cast<size_t>(Index(code))] = value;
    return v;
  }
  CTRKParameters Catalog;
};

TEST_F(Comparison, AValueOnOneSideOnlyDiffersUnlessTheControllerDidNotGiveIt) {
  const TValues file = Values({{3, 1}, {16, 80000}});
  const TValues controller = Values({{16, 80000}, {18, 5}});
  // Two files: a code in one of them only differs both ways; absent in both does not.
  const TComparison files = CompareValues(Catalog, controller, file, false, false);
  ASSERT_EQ(files.Differ.size(), 2u);
  EXPECT_EQ(files.Differ[0].Index, Index(3));
  EXPECT_FALSE(files.Differ[0].First);
  EXPECT_EQ(files.Differ[1].Index, Index(18));
  EXPECT_FALSE(files.Differ[1].Second);
  // A controller that did not give code 3: not compared, not a difference.
  const TComparison read = CompareValues(Catalog, controller, file, false, true);
  EXPECT_EQ(read.Compared, 2);
  ASSERT_EQ(read.Differ.size(), 1u);
  EXPECT_EQ(read.Differ[0].Index, Index(18));
  // Code 18 is a counter: settings only leave it out.
  EXPECT_TRUE(CompareValues(Catalog, controller, file, true, true).Differ.empty());
  // A short vector (a caller's mistake) reads as values not given, never past its end.
  EXPECT_EQ(CompareValues(Catalog, TValues(3), file, false, false).Differ.size(), 2u);
}

TEST_F(Comparison, AValueOutsideTheLimitsIsShownAsItIsWithTheLimit) {
  const CParameter& density = Catalog.Items(Index(16));
  EXPECT_EQ(ValueText(&density, 80000), "800.00");
  EXPECT_EQ(ValueText(&density, 750000),
            "750000 (raw, above the upper limit 1,200.00 кг/м3 (raw 120000))");
  EXPECT_EQ(ValueText(&density, 0, kRussianValueWords),
            "0 (без масштаба, ниже нижнего предела 600.00 кг/м3 (без масштаба 60000))");
  EXPECT_EQ(ValueText(&Catalog.Items(Index(36)), 250), "-50");
  EXPECT_EQ(ValueText(nullptr, 7), "7");
}

TEST_F(Comparison, AListValueKeepsToTheLimitsWhenItNamesAnItem) {
  // Code 30's raw limits end at 1, its items at 3.
  const CParameter& source = Catalog.Items(Index(30));
  EXPECT_EQ(LimitBroken(source, 3), "");
  EXPECT_EQ(ValueText(&source, 4), "4 (raw, not an item of the list)");
  EXPECT_EQ(LimitBroken(source, -1, kRussianValueWords), "нет в списке");
}

}  // namespace
