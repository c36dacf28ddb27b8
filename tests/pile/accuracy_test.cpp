// Values along a pile against an independent fine-mesh finite-element solution of the model the
// manual states (an elastic beam on springs k = m.b1.z in every layer, the tip condition at the
// real tip): the head stiffness, every station's displacements, rotations, shears and moments,
// and the largest soil stress with its station, over a family of single piles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "pile/pile.hpp"
#include "pile/reference_pile.hpp"
#include "results/results.hpp"

namespace kelmarino {
namespace {

struct Layer {
  float h;         // length (m)
  float m;         // soil coefficient PMT (t/m4)
  int32_t NSG;     // steps
  float d = 0.0f;  // its diameter or side (m), where it differs from the pile's
};

struct Case {
  const char* name;
  int32_t KSH, KSU;
  bool raked;
  float d;            // diameter or side (m)
  float free_length;  // above ground (m), in NSF steps
  int32_t NSF;
  std::vector<Layer> layers;
  float E = 2.8e6f;  // modulus (t/m2)
};

// PKE = 0.8 throughout.
constexpr float REDUCTION = 0.8f;

const Case CASES[] = {
    {"one layer, alpha.L about 1", 0, 2, false, 1.2f, 0.0f, 0, {{2.6f, 5000.0f, 10}}},
    {"one layer, alpha.L about 2.6", 0, 1, false, 1.2f, 2.0f, 4, {{6.5f, 5000.0f, 13}}},
    {"one layer, alpha.L about 5", 1, 3, false, 1.0f, 0.0f, 0, {{11.0f, 8000.0f, 22}}},
    {"one layer, alpha.L about 9, one step per segment",
     0,
     2,
     true,
     1.0f,
     3.0f,
     1,
     {{20.0f, 10000.0f, 1}}},
    {"one layer, alpha.L about 20", 0, 2, false, 1.0f, 0.0f, 0, {{45.0f, 10000.0f, 90}}},
    {"soft over stiff, ratio 20, free tip",
     0,
     2,
     false,
     1.5f,
     4.0f,
     8,
     {{8.0f, 1000.0f, 16}, {14.0f, 20000.0f, 28}}},
    {"soft over stiff, ratio 20, held tip",
     0,
     4,
     true,
     1.5f,
     10.0f,
     5,
     {{8.0f, 1000.0f, 8}, {6.0f, 20000.0f, 60}}},
    {"stiff over soft, ratio 20",
     1,
     1,
     false,
     1.0f,
     1.5f,
     3,
     {{5.0f, 20000.0f, 50}, {15.0f, 1000.0f, 15}}},
    {"three layers, held tip, square",
     1,
     4,
     true,
     1.2f,
     0.0f,
     0,
     {{4.0f, 3000.0f, 8}, {10.0f, 8100.0f, 10}, {12.0f, 20000.0f, 12}}},
    {"three layers, stiff in the middle",
     0,
     3,
     false,
     1.5f,
     6.0f,
     2,
     {{6.9f, 3000.0f, 23}, {5.0f, 40000.0f, 5}, {16.0f, 2000.0f, 16}}},
    {"short held pile, one step per segment", 0, 4, false, 1.0f, 2.0f, 1, {{3.0f, 5000.0f, 1}}},
    {"short pile in one step, free tip", 0, 1, false, 1.7f, 0.0f, 0, {{1.6f, 3100.0f, 1}}},
    {"short pile in one step, held tip", 0, 4, false, 1.2f, 0.0f, 0, {{3.0f, 290.0f, 1}}},
    {"stiff thin layer over soft, held tip, square",
     1,
     4,
     false,
     0.66f,
     0.0f,
     0,
     {{0.5f, 440000.0f, 1}, {11.0f, 270000.0f, 2, 1.15f}},
     2.0e6f},
    {"soft layers in long steps, of two diameters",
     0,
     1,
     false,
     0.58f,
     0.0f,
     0,
     {{4.9f, 40.0f, 1}, {11.0f, 14.0f, 1, 1.9f}},
     1.0725e7f},
    {"soft soil in steps of 2 m, the shear turning in the first",
     0,
     1,
     false,
     1.0f,
     4.0f,
     4,
     {{20.0f, 1500.0f, 10}}},
};

std::unique_ptr<Model> single_pile(const Case& c) {
  auto model = std::make_unique<Model>();
  PileData& p = model->piles;
  model->run.PNUM = 1;
  p.PTYPE(1) = 0;
  p.KSH(1) = c.KSH;
  p.KSU(1) = c.KSU;
  p.AGL(1, 1) = c.raked ? 0.1644f : 0.0f;
  p.AGL(1, 3) = c.raked ? 0.9864f : 1.0f;
  p.PEH(1) = c.E;
  p.PKE(1) = REDUCTION;
  p.PMB(1) = 50000.0f;
  if (c.free_length > 0.0f) {
    p.NFR(1) = 1;
    p.HFR(1, 1) = c.free_length;
    p.DOF(1, 1) = c.d;
    p.NSF(1, 1) = c.NSF;
    model->run.ZFR(1) = c.free_length;
  }
  p.NBL(1) = static_cast<int32_t>(c.layers.size());
  for (int32_t s = 1; s <= p.NBL(1); ++s) {
    const Layer& layer = c.layers[static_cast<size_t>(s - 1)];
    p.HBL(1, s) = layer.h;
    p.DOB(1, s) = layer.d > 0.0f ? layer.d : c.d;
    p.PMT(1, s) = layer.m;
    p.PFI(1, s) = 30.0f;
    p.NSG(1, s) = layer.NSG;
    model->run.ZBL(1) += layer.h;
  }
  return model;
}

// The reference plane: EI = E.PKE.I with I = 3.142.d^4/64 (circular) or d^4/12 (square), springs
// m.b1.z with the calculation width b1 = (d + 1).kf of a single pile.
reference::PilePlane reference_plane(const Case& c) {
  const auto EI = [&](double d) {
    const double I = c.KSH == 0 ? 3.142 * std::pow(d, 4) / 64.0 : std::pow(d, 4) / 12.0;
    return static_cast<double>(c.E) * static_cast<double>(REDUCTION) * I;
  };
  reference::PilePlane plane;
  if (c.free_length > 0.0f) plane.above.push_back({c.free_length, EI(c.d), 0.0});
  for (const Layer& layer : c.layers) {
    const double d = layer.d > 0.0f ? layer.d : c.d;
    const double b1 = (d + 1.0) * (c.KSH == 0 ? 1.0 : 0.9);
    plane.below.push_back({layer.h, EI(d), static_cast<double>(layer.m) * b1});
  }
  plane.fixed_tip = c.KSU == 4;
  return plane;
}

std::vector<double> station_distances(const Case& c) {
  std::vector<double> z = {0.0};
  auto steps = [&z](double length, int32_t n) {
    const double start = z.back();
    for (int32_t i = 1; i <= n; ++i) z.push_back(start + length * i / n);
  };
  if (c.free_length > 0.0f) steps(c.free_length, c.NSF);
  for (const Layer& layer : c.layers) steps(layer.h, layer.NSG);
  return z;
}

// The soil coefficient of the layer that holds the station at `depth` below the ground line (a
// station at a layer boundary ends the step of the layer above it).
double soil_coefficient(const Case& c, double depth) {
  double bottom = 0.0;
  for (const Layer& layer : c.layers) {
    bottom += static_cast<double>(layer.h);
    if (depth <= bottom + 1e-6) return static_cast<double>(layer.m);
  }
  return static_cast<double>(c.layers.back().m);
}

// A pile of a case with its stiffness formed, and its top under a head displacement.
struct LoadedPile {
  std::unique_ptr<Model> model;
  ResponseCache cache;
  float DU[6] = {}, FT[6] = {};
};

std::unique_ptr<LoadedPile> stiff_pile(const Case& c) {
  auto pile = std::make_unique<LoadedPile>();
  pile->model = single_pile(c);
  RunValues& run = pile->model->run;
  deformation_factors(run.PNUM, run.ZFR, run.ZBL, run.BTX, run.BTY, pile->model->piles);
  lateral_stiffness(run.PNUM, run.AXK, run.BTX, run.BTY, pile->model->piles, pile->cache);
  return pile;
}

void load_top(LoadedPile& pile, const float (&head)[6]) {
  for (int32_t i = 1; i <= 6; ++i) pile.model->run.TOPD(1, i) = head[i - 1];
  pile_top(*pile.model, 1, pile.DU, pile.FT);
}

// The largest magnitude of a column.
double largest(const std::vector<double>& column) {
  double m = 0.0;
  for (const double v : column) m = std::max(m, std::fabs(v));
  return m;
}

TEST(PileAccuracy, HeadStiffnessAndStationsAgreeWithAFineMeshSolution) {
  // Two head displacements: a plane's (u, theta) and then only a rotation. Both planes are loaded
  // at once, the y-z plane with its own signs (theta = -SX, M = -MX).
  const float heads[2][6] = {{2e-3f, -1e-3f, 0.0f, 4e-4f, -5e-4f, 0.0f},
                             {0.0f, 0.0f, 0.0f, -3e-4f, 6e-4f, 0.0f}};
  for (const Case& c : CASES) {
    SCOPED_TRACE(c.name);
    const auto pile = stiff_pile(c);
    const Model& model = *pile->model;
    const std::vector<double> z = station_distances(c);
    const reference::Response ref = reference::solve(reference_plane(c), z);

    // The bending block of each plane: x-z (K11, K15, K51, K55), y-z (K22, -K24, -K42, K44).
    const double block_largest =
        std::max({std::fabs(ref.K[0][0]), std::fabs(ref.K[0][1]), std::fabs(ref.K[1][1])});
    const int32_t x_entries[2][2][2] = {{{1, 1}, {1, 5}}, {{5, 1}, {5, 5}}};
    const int32_t y_entries[2][2][2] = {{{2, 2}, {2, 4}}, {{4, 2}, {4, 4}}};
    for (int32_t i = 0; i < 2; ++i) {
      for (int32_t j = 0; j < 2; ++j) {
        const double sign = i == j ? 1.0 : -1.0;
        const double kx = model.piles.ESP(x_entries[i][j][0], x_entries[i][j][1]);
        const double ky = model.piles.ESP(y_entries[i][j][0], y_entries[i][j][1]);
        EXPECT_NEAR(kx, ref.K[i][j], 1e-6 * block_largest) << "x-z entry " << i << j;
        EXPECT_NEAR(sign * ky, ref.K[i][j], 1e-6 * block_largest) << "y-z entry " << i << j;
      }
    }

    for (const auto& head : heads) {
      load_top(*pile, head);
      const auto list = std::make_unique<StationList>();
      std::vector<StationRow> rows;
      const RunValues& run = model.run;
      compute_stations(
          model, 1, *pile->cache.plane(model.piles, run.BTX, 1),
          *pile->cache.plane(model.piles, y_factors(run.BTX, run.BTY, model.piles, 1), 1), pile->DU,
          pile->FT, *list, rows);
      ASSERT_EQ(rows.size(), z.size());
      // Columns UX, SY, NX, MY from the x-z plane; UY, SX, NY, MX from the y-z plane.
      const double u[2] = {head[0], head[1]};
      const double theta[2] = {head[4], -head[3]};
      const double back[2][4] = {{1, 1, 1, 1}, {1, -1, 1, -1}};
      const StationQuantity columns[2][4] = {{UX, SY, NX, MY}, {UY, SX, NY, MX}};
      const char* const names[2][4] = {{"UX", "SY", "NX", "MY"}, {"UY", "SX", "NY", "MX"}};
      for (int32_t plane = 0; plane < 2; ++plane) {
        for (int32_t q = 0; q < 4; ++q) {
          std::vector<double> want, got;
          for (size_t k = 0; k < z.size(); ++k) {
            const reference::State& a = ref.unit_u[k];
            const reference::State& b = ref.unit_theta[k];
            const double ra[4] = {a.u, a.theta, a.Q, a.M}, rb[4] = {b.u, b.theta, b.Q, b.M};
            want.push_back(back[plane][q] * (u[plane] * ra[q] + theta[plane] * rb[q]));
            got.push_back(rows[k][column_of(columns[plane][q])]);
          }
          const double scale = largest(want);
          if (scale == 0.0) continue;
          for (size_t k = 0; k < z.size(); ++k) {
            EXPECT_NEAR(got[k], want[k], 1e-5 * scale)
                << names[plane][q] << " at station " << k + 1 << ", z = " << z[k];
          }
        }
      }
      // The largest soil stress of the x direction and its station: PMT.u.z below the ground.
      size_t at = 0, got_at = 0;
      double peak = 0.0, got_peak = 0.0;
      for (size_t k = static_cast<size_t>(list->KG); k < z.size(); ++k) {
        const double depth = z[k] - static_cast<double>(c.free_length);
        const reference::State& a = ref.unit_u[k];
        const reference::State& b = ref.unit_theta[k];
        const double stress = soil_coefficient(c, depth) * (u[0] * a.u + theta[0] * b.u) * depth;
        if (std::fabs(stress) > std::fabs(peak)) peak = stress, at = k;
        const double printed = rows[k][column_of(PSX)];
        if (std::fabs(printed) > std::fabs(got_peak)) got_peak = printed, got_at = k;
      }
      EXPECT_EQ(got_at, at) << "station of the largest soil stress";
      EXPECT_NEAR(got_peak, peak, 1e-4 * std::fabs(peak)) << "largest soil stress";
    }
  }
}

// Points every 5 cm or less along the pile, the joints among them.
std::vector<double> fine_points(const Case& c) {
  std::vector<double> z = {0.0};
  auto fill = [&z](double length) {
    const double start = z.back();
    const auto n = static_cast<int32_t>(std::ceil(length / 0.05));
    for (int32_t i = 1; i <= n; ++i) z.push_back(start + length * i / n);
  };
  if (c.free_length > 0.0f) fill(c.free_length);
  for (const Layer& layer : c.layers) fill(layer.h);
  return z;
}

// The signed value of the largest magnitude.
void take_largest(double v, double& largest) {
  if (std::fabs(v) > std::fabs(largest)) largest = v;
}

TEST(PileAccuracy, TruePeaksAgreeWithAFineMeshSolution) {
  for (const Case& c : CASES) {
    SCOPED_TRACE(c.name);
    const auto pile = stiff_pile(c);
    const Model& model = *pile->model;
    // The second head turns the displacement's sign near the ground line; the third is pinned,
    // its rotations leaving no moment at the head, and the fourth carries a moment alone.
    const auto K = [&](int32_t i, int32_t j) { return model.piles.ESP(i, j); };
    const float heads[4][6] = {
        {2e-3f, -1e-3f, 0.0f, 4e-4f, -5e-4f, 0.0f},
        {-2.8e-3f, 1.5e-3f, 0.0f, -6e-4f, 1.2e-3f, 0.0f},
        {1e-3f, 1e-3f, 0.0f, -K(4, 2) / K(4, 4) * 1e-3f, -K(5, 1) / K(5, 5) * 1e-3f, 0.0f},
        {-K(1, 5) / K(1, 1) * 1e-3f, -K(2, 4) / K(2, 2) * 1e-3f, 0.0f, 1e-3f, 1e-3f, 0.0f}};
    for (const auto& head : heads) {
      load_top(*pile, head);
      const RunValues& run = model.run;
      const auto& DU = pile->DU;
      const auto list = std::make_unique<StationList>();
      station_list(model.piles, run.ZBL, 1, *list);
      const PilePeaks peaks = pile_peaks(
          *pile->cache.plane(model.piles, run.BTX, 1),
          *pile->cache.plane(model.piles, y_factors(run.BTX, run.BTY, model.piles, 1), 1), list->at,
          DU, pile->FT);

      const std::vector<double> z = fine_points(c);
      const reference::Response ref = reference::solve(reference_plane(c), z);
      const double u[2] = {DU[0], DU[1]};
      const double theta[2] = {DU[4], -DU[3]};
      const StationQuantity columns[2][4] = {{UX, NX, MY, PSX}, {UY, NY, MX, PSY}};
      const double signs[2][4] = {{1, 1, 1, 1}, {1, 1, -1, 1}};
      const char* const names[2][4] = {{"UX", "NX", "MY", "PSX"}, {"UY", "NY", "MX", "PSY"}};
      for (int32_t plane = 0; plane < 2; ++plane) {
        // The largest of u, Q, M and of the soil stress with the m of either side of a boundary.
        double want[4] = {};
        for (size_t k = 0; k < z.size(); ++k) {
          const reference::State& a = ref.unit_u[k];
          const reference::State& b = ref.unit_theta[k];
          const double s[3] = {u[plane] * a.u + theta[plane] * b.u,
                               u[plane] * a.Q + theta[plane] * b.Q,
                               u[plane] * a.M + theta[plane] * b.M};
          for (int32_t q = 0; q < 3; ++q) take_largest(s[q], want[q]);
          const double depth = z[k] - static_cast<double>(c.free_length);
          if (depth <= 0.0) continue;
          take_largest(soil_coefficient(c, depth) * s[0] * depth, want[3]);
          take_largest(soil_coefficient(c, depth + 1e-5) * s[0] * depth, want[3]);
        }
        // A shear the head reaches (constant along a free length) peaks at the head.
        const reference::State& a = ref.unit_u[0];
        const reference::State& b = ref.unit_theta[0];
        if (std::fabs(u[plane] * a.Q + theta[plane] * b.Q) >= std::fabs(want[1]) * (1.0 - 1e-9)) {
          EXPECT_EQ(peaks.of[columns[plane][1]].Z, 0.0f) << names[plane][1];
        }
        for (int32_t q = 0; q < 4; ++q) {
          const double got = signs[plane][q] * double{peaks.of[columns[plane][q]].value};
          EXPECT_NEAR(got, want[q], 1e-3 * std::fabs(want[q])) << names[plane][q];
        }
      }
    }
  }
}

}  // namespace
}  // namespace kelmarino
