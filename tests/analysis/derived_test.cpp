// The inputs behind the calculation widths, as a checker recomputes them: the row that sets the
// interaction coefficient k, the shape factor kf and the bending stiffness EI of each segment.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>

#include "analysis/analysis.hpp"
#include "support/test_support.hpp"

namespace kelmarino {
namespace {

// The pier: rows of 4 piles of d = 1.5 m, 28 m in the soil, 3 m apart (L1 = 3 - 1.5, held as 1 m),
// h1 = min(3.(1.5 + 1), 28) = 7.5 m, b = 0.45. The rock: rows of 4 in x and of 3 in y, L1 = 2 m,
// h1 = 3.(1.6 + 1) = 7.8 m. The worked group with square piles: kf = 0.9, I = d^4/12.
TEST(DerivedValues, RowBehindKAndTheWidthInputsAreTheHandValues) {
  std::string square = testing::read_file(testing::example_path("worked.dat"));
  square.at(square.find("0 1 0.0 0.0 1.0")) = '1';
  const struct {
    std::string name, text;
    RowSpacing x, y;
    float kf, d, EI;  // of pile 1's first segment below the ground line, PEH.I by hand
  } rows[] = {
      {"pier",
       testing::read_file(testing::example_path("pier.dat")),
       {4, 0.45f, 1, 7.5f},
       {4, 0.45f, 1, 7.5f},
       1.0f,
       1.5f,
       2.8e6f * 3.142f * 1.5f * 1.5f * 1.5f * 1.5f / 64.0f},
      {"rock",
       testing::read_file(testing::example_path("rock.dat")),
       {4, 0.45f, 2, 7.8f},
       {3, 0.5f, 2, 7.8f},
       1.0f,
       1.6f,
       2.8e6f * 3.142f * 1.6f * 1.6f * 1.6f * 1.6f / 64.0f},
      {"square",
       square,
       {2, 0.6f, 1, 6.6f},
       {2, 0.6f, 1, 6.6f},
       0.9f,
       1.2f,
       2.6e6f * 1.2f * 1.2f * 1.2f * 1.2f / 12.0f},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const GroupRead group = parse_group(row.text, row.name + ".dat");
    ASSERT_TRUE(group.has_value());
    const Analysed result = analyse(*group);
    ASSERT_TRUE(result.has_value());
    const DerivedValues& derived = result->derived;
    EXPECT_FALSE(derived.by_positions);
    for (const auto& [got, want, k] : {std::tuple{derived.row_x, row.x, derived.kx},
                                       std::tuple{derived.row_y, row.y, derived.ky}}) {
      EXPECT_EQ(got.n, want.n);
      EXPECT_EQ(got.b, want.b);
      EXPECT_EQ(got.L1, want.L1);
      EXPECT_FLOAT_EQ(got.h1, want.h1);
      const double b = want.b, h1 = want.h1;
      const double hand = b + (1.0 - b) * want.L1 / (0.6 * h1);
      EXPECT_NEAR(k, hand, 1e-6);
    }
    const PileFactors& pile = derived.piles.at(0);
    EXPECT_EQ(pile.kf, row.kf);
    const double EI = row.EI, d = row.d, kx = derived.kx, kf = row.kf;
    EXPECT_NEAR(pile.below.at(0).EI, EI, 1e-6 * EI);
    EXPECT_NEAR(pile.below.at(0).BX, (d + 1.0) * kx * kf, 1e-6);
  }
}

}  // namespace
}  // namespace kelmarino
