// The equilibrium of the cap, summed here from the load points, the pile-head forces turned into
// cap axes by the piles' own directions and the supports' reactions; a support's reaction by
// hand; and the true peaks, which no station's value may exceed.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "analysis/analysis.hpp"
#include "support/test_support.hpp"

namespace kelmarino {
namespace {

using Vector = std::array<double, 3>;

Vector cross(const Vector& a, const Vector& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

Vector unit(const Vector& a) {
  const double n = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
  return {a[0] / n, a[1] / n, a[2] / n};
}

// Adds a force F and moment M at (x, y) on the cap, in cap axes, to the resultant at the centre.
void add_at_centre(double x, double y, const Vector& F, const Vector& M, double (&sum)[6]) {
  const Vector moment = cross({x, y, 0.0}, F);
  for (size_t i = 0; i < 3; ++i) {
    sum[i] += F[i];
    sum[i + 3] += M[i] + moment[i];
  }
}

// Every shipped example and the group at the capacities.
constexpr const char* GROUPS[] = {"worked", "worked-simulated", "pier", "rock", "capacity"};

GroupRead group_of(const std::string& name) {
  const bool example = name != "capacity";
  return read_group(example ? testing::example_path(name + ".dat")
                            : testing::test_data_path(name + ".dat"));
}

// Every group: the load points against the pile heads (local z along the pile axis, local y
// across it and the cap's X, local x completing the triad) and the supports, to 1e-4 of the
// largest applied component.
TEST(Equilibrium, ClosesOnEveryExample) {
  for (const char* name : GROUPS) {
    SCOPED_TRACE(name);
    const GroupRead group = group_of(name);
    ASSERT_TRUE(group.has_value());
    const Analysed result = analyse(*group);
    ASSERT_TRUE(result.has_value()) << result.issue().full;
    const PileData& piles = group->model->piles;
    double applied[6] = {}, resisted[6] = {};
    for (int32_t k = 1; k <= group->loads.NACT; ++k) {
      const auto& A = group->loads.ACT;
      add_at_centre(group->loads.AXY(k, 1), group->loads.AXY(k, 2), {A(k, 1), A(k, 2), A(k, 3)},
                    {A(k, 4), A(k, 5), A(k, 6)}, applied);
    }
    for (int32_t g = 1; g <= group->model->run.PNUM; ++g) {
      const float* f = result->piles[static_cast<size_t>(g - 1)].FT;
      const double FT[6] = {f[0], f[1], f[2], f[3], f[4], f[5]};
      const Vector z = unit({piles.AGL(g, 1), piles.AGL(g, 2), piles.AGL(g, 3)});
      const Vector y = unit(cross(z, {1.0, 0.0, 0.0}));
      const Vector x = cross(y, z);
      Vector F{}, M{};
      for (size_t i = 0; i < 3; ++i) {
        F[i] = x[i] * FT[0] + y[i] * FT[1] + z[i] * FT[2];
        M[i] = x[i] * FT[3] + y[i] * FT[4] + z[i] * FT[5];
      }
      add_at_centre(piles.PXY(g, 1), piles.PXY(g, 2), F, M, resisted);
    }
    for (int32_t j = 1; j <= group->model->run.SNUM; ++j) {
      const float* R = result->supports[static_cast<size_t>(j - 1)].R;
      add_at_centre(piles.SXY(j, 1), piles.SXY(j, 2), {R[0], R[1], R[2]}, {R[3], R[4], R[5]},
                    resisted);
    }
    double largest = 0.0, difference = 0.0;
    for (size_t i = 0; i < 6; ++i) {
      largest = std::max(largest, std::fabs(applied[i]));
      difference = std::max(difference, std::fabs(applied[i] - resisted[i]));
    }
    EXPECT_GT(largest, 0.0);
    EXPECT_LE(difference, 1e-4 * largest);
    EXPECT_LE(result->equilibrium.residual, EQUILIBRIUM_TOLERANCE);
    for (size_t i = 0; i < 6; ++i) {
      EXPECT_NEAR(result->equilibrium.resisted[i], resisted[i], 1e-5 * largest) << i;
    }
  }
}

// A true peak is the largest value at and between the stations: no station's value is beyond it,
// not even by the rounding of the pile top's forces (pier pile 1: MY 40.91085 by the series against
// 40.910854 at station 1).
TEST(TruePeaks, NoStationValueIsBeyondThePeak) {
  for (const char* name : GROUPS) {
    SCOPED_TRACE(name);
    const GroupRead group = group_of(name);
    ASSERT_TRUE(group.has_value());
    const Analysed result = analyse(*group);
    ASSERT_TRUE(result.has_value()) << result.issue().full;
    int32_t compared = 0;
    for (const PileResult& pile : result->piles) {
      for (const StationQuantity q : PEAK_QUANTITIES) {
        const float peak = std::fabs(pile.peaks.of[q].value);
        for (size_t k = pile.first; k < pile.first + pile.count; ++k) {
          EXPECT_LE(std::fabs(result->stations[k][column_of(q)]), peak) << "station row " << k;
          ++compared;
        }
      }
    }
    EXPECT_GT(compared, 0);
  }
}

// The support of worked-simulated at (0, 2.5) has the diagonal stiffness 1e5, 1e5, 5e5 t/m and
// no rotational stiffness: its reaction is k times the cap displacement at its position,
// UX - y.SZ, UY + x.SZ and UZ + y.SX - x.SY.
TEST(Equilibrium, SupportReactionIsItsStiffnessTimesItsDisplacement) {
  const GroupRead group = group_of("worked-simulated");
  ASSERT_TRUE(group.has_value());
  const Analysed result = analyse(*group);
  ASSERT_TRUE(result.has_value());
  ASSERT_EQ(result->supports.size(), 1u);
  const double x = 0.0, y = 2.5;
  const float* u = result->cap;
  const double U[6] = {u[0], u[1], u[2], u[3], u[4], u[5]};
  const double expected[6] = {1e5 * (U[0] - y * U[5]),
                              1e5 * (U[1] + x * U[5]),
                              5e5 * (U[2] + y * U[3] - x * U[4]),
                              0.0,
                              0.0,
                              0.0};
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_NEAR(result->supports[0].R[i], expected[i], 1e-5 * std::fabs(expected[2])) << i;
  }
}

}  // namespace
}  // namespace kelmarino
