// The station values of a pile for LANES combinations at once. The responses of the pile are
// solved once; each lane then performs the operations of top_displacements and compute_stations
// for its combination, in the same order, so every lane's numbers are those of a run of
// kelmarino. The loops over the lanes are plain loops over independent values, which the
// compiler turns into vector instructions without changing any lane's operations.
#include <bit>
#include <cmath>
#include <limits>

#include "cases/cases.hpp"
#include "foundation/foundation.hpp"
#include "input/input.hpp"

namespace kelmarino::cases {
namespace {

// C = A.B lane by lane, A an n x n column-major matrix: C(i) = 0, then C(i) = C(i) + A(i,k).B(k)
// for k = 1..n, rounded to single precision after every operation: matrix_product's order.
template <int32_t N>
void lane_matmul(const float* A, const float (&B)[N][LANES], float (&C)[N][LANES]) {
  for (int32_t i = 0; i < N; ++i) {
    float sum[LANES];
    for (int32_t j = 0; j < LANES; ++j) sum[j] = 0.0f;
    for (int32_t k = 0; k < N; ++k) {
      const float a = A[k * N + i];
      for (int32_t j = 0; j < LANES; ++j) sum[j] = sum[j] + a * B[k][j];
    }
    for (int32_t j = 0; j < LANES; ++j) C[i][j] = sum[j];
  }
}

// The quantities of station k.
void march_station(const PileMarch& march, int32_t k, const LaneTops& tops, StationLanes& s) {
  station_values(*march.x, *march.y, k, march.stations[static_cast<size_t>(k - 1)], tops.DU,
                 tops.FT, s.q);
}

// The choice of a or b by a mask of all ones or all zeros, in integer operations: the loop of
// take_extremes then has no branch and is vectorised.
int32_t pick(int32_t mask, int32_t a, int32_t b) { return (a & mask) | (b & ~mask); }
float pick(int32_t mask, float a, float b) {
  return std::bit_cast<float>(pick(mask, std::bit_cast<int32_t>(a), std::bit_cast<int32_t>(b)));
}
double pick(int64_t mask, double a, double b) {
  const auto bits = [](double d) { return std::bit_cast<int64_t>(d); };
  return std::bit_cast<double>((bits(a) & mask) | (bits(b) & ~mask));
}

// A station's quantities and the squares of its resultants into the lanes' extremes: a value
// replaces the kept one only when it is strictly beyond it.
void take_extremes(const StationLanes& s, const int32_t (&combination)[LANES], LaneExtremes& e) {
  for (int32_t q = 0; q < QUANTITIES; ++q) {
    for (int32_t j = 0; j < LANES; ++j) {
      const float value = s.q[q][j];
      const int32_t larger = -static_cast<int32_t>(value > e.max[q][j]);
      const int32_t smaller = -static_cast<int32_t>(value < e.min[q][j]);
      e.max[q][j] = pick(larger, value, e.max[q][j]);
      e.cmax[q][j] = pick(larger, combination[j], e.cmax[q][j]);
      e.min[q][j] = pick(smaller, value, e.min[q][j]);
      e.cmin[q][j] = pick(smaller, combination[j], e.cmin[q][j]);
    }
  }
  const int32_t parts[RESULTANTS][2] = {{NX, NY}, {MX, MY}};
  for (int32_t r = 0; r < RESULTANTS; ++r) {
    double squared[LANES];
    for (int32_t j = 0; j < LANES; ++j)
      squared[j] = squared_sum(s.q[parts[r][0]][j], s.q[parts[r][1]][j]);
    for (int32_t j = 0; j < LANES; ++j) {
      const bool larger = squared[j] > e.squared[r][j];
      e.squared[r][j] = pick(-static_cast<int64_t>(larger), squared[j], e.squared[r][j]);
      e.csquared[r][j] = pick(-static_cast<int32_t>(larger), combination[j], e.csquared[r][j]);
    }
  }
}

void copy_matrix(const float* from, int32_t n, float* to) {
  for (int32_t i = 0; i < n * n; ++i) to[i] = from[i];
}

// The march of pile g: the frames of its top and axis from the group's values, the rest from its
// results.
PileMarch pile_march(const Model& model, const PileResult& pile, int32_t g) {
  const PileData& piles = model.piles;
  PileMarch march;
  march.g = g;
  march.top_x = piles.PXY(g, 1);
  march.top_y = piles.PXY(g, 2);
  Matrix6 M, T;
  offset_matrix(piles.PXY(g, 1), piles.PXY(g, 2), M);
  copy_matrix(M.data(), 6, march.D);
  axis_rotation(piles.AGL(g, 1), piles.AGL(g, 2), piles.AGL(g, 3), T);
  transpose(6, 6, T.data(), march.Tt);
  for (int32_t i = 0; i < 6; ++i) {
    for (int32_t j = 0; j < 6; ++j) march.B[6 * j + i] = pile.K[i][j];
  }
  march.x = pile.units.x;
  march.y = pile.units.y;
  march.stations = *pile.units.stations;
  march.KG = pile.KG;
  march.joints = segment_joints(piles, g);
  for (const Station& station : march.stations) march.ZH.push_back(station.ZH);
  return march;
}

// The refusal of a group with a step count below 1, which leaves its piles without stations: its
// first such segment.
RunError without_stations(const Group& group) {
  const PileData& piles = group.model->piles;
  auto refusal = [&](int32_t g, const char* key, int32_t n, const char* where, int32_t s) {
    return RunError("run-time error in " + group.name + ": pile " + std::to_string(g) + " has " +
                    key + " = " + std::to_string(n) + " in " + where + " segment " +
                    std::to_string(s) +
                    "; a step count must be 1 or more for the pile results of the combinations");
  };
  for (int32_t g = 1; g <= group.model->run.PNUM; ++g) {
    for (int32_t s = 1; s <= piles.NFR(g); ++s) {
      if (piles.NSF(g, s) < 1) return refusal(g, "NSF", piles.NSF(g, s), "above-ground", s);
    }
    for (int32_t s = 1; s <= piles.NBL(g); ++s) {
      if (piles.NSG(g, s) < 1) return refusal(g, "NSG", piles.NSG(g, s), "below-ground", s);
    }
  }
  return RunError("run-time error in " + group.name + ": a pile without stations");
}

}  // namespace

static_assert(QUANTITIES == QUANTITY_COUNT, "one vocabulary of the station quantities");

std::vector<PileMarch> pile_marches(const Group& group, const Result& result) {
  for (const PileResult& pile : result.piles) {
    if (!pile.units.stations) throw without_stations(group);
  }
  std::vector<PileMarch> marches;
  at_stage("pile results");
  for (size_t p = 0; p < result.piles.size(); ++p) {
    const int32_t g = static_cast<int32_t>(p + 1);
    at_pile(g);
    marches.push_back(pile_march(*group.model, result.piles[p], g));
  }
  at_stage(nullptr);
  return marches;
}

// The pile-top displacement in cap axes, then in pile axes (TOPD), then the forces FT = B.DU.
void march_top(const PileMarch& march, const float (&U)[6][LANES], LaneTops& tops) {
  float v[6][LANES];
  lane_matmul<6>(march.D, U, v);
  lane_matmul<6>(march.Tt, v, tops.DU);
  lane_matmul<6>(march.B, tops.DU, tops.FT);
}

void march_lanes(const PileMarch& march, const float (&U)[6][LANES], LaneTops& tops,
                 StationLanes* stations) {
  march_top(march, U, tops);
  for (int32_t k = 1; k <= march.station_count(); ++k)
    march_station(march, k, tops, stations[k - 1]);
}

void start_extremes(int32_t NSTA, LaneExtremes* extremes) {
  constexpr float INF = std::numeric_limits<float>::infinity();
  for (int32_t k = 0; k < NSTA; ++k) {
    for (int32_t q = 0; q < QUANTITIES; ++q) {
      for (int32_t j = 0; j < LANES; ++j) {
        extremes[k].max[q][j] = -INF;
        extremes[k].min[q][j] = INF;
        extremes[k].cmax[q][j] = -1;
        extremes[k].cmin[q][j] = -1;
      }
    }
    for (int32_t r = 0; r < RESULTANTS; ++r) {
      for (int32_t j = 0; j < LANES; ++j) {
        extremes[k].squared[r][j] = -1.0;
        extremes[k].csquared[r][j] = -1;
      }
    }
  }
}

namespace {

// march_extremes's loops, compiled once per vector path below. Every operation is an IEEE single
// or double operation on one lane, with no contraction, so each path gives the same bits.
[[gnu::always_inline]] inline void march_extremes_body(const PileMarch& march,
                                                       const LaneBatch* batches, int32_t count,
                                                       LaneTops* tops, StationLanes* states,
                                                       LaneExtremes* extremes) {
  for (int32_t b = 0; b < count; ++b) march_top(march, batches[b].U, tops[b]);
  for (int32_t k = 1; k <= march.station_count(); ++k) {
    for (int32_t b = 0; b < count; ++b) {
      march_station(march, k, tops[b], states[b]);
      take_extremes(states[b], batches[b].combination, extremes[k - 1]);
    }
  }
}

[[gnu::flatten]] void march_extremes_baseline(const PileMarch& march, const LaneBatch* batches,
                                              int32_t count, LaneTops* tops, StationLanes* states,
                                              LaneExtremes* extremes) {
  march_extremes_body(march, batches, count, tops, states, extremes);
}

[[gnu::flatten, gnu::target("avx2")]] void march_extremes_avx2(const PileMarch& march,
                                                               const LaneBatch* batches,
                                                               int32_t count, LaneTops* tops,
                                                               StationLanes* states,
                                                               LaneExtremes* extremes) {
  march_extremes_body(march, batches, count, tops, states, extremes);
}

[[gnu::flatten, gnu::target("avx512f")]] void march_extremes_avx512(const PileMarch& march,
                                                                    const LaneBatch* batches,
                                                                    int32_t count, LaneTops* tops,
                                                                    StationLanes* states,
                                                                    LaneExtremes* extremes) {
  march_extremes_body(march, batches, count, tops, states, extremes);
}

using MarchExtremes = void (*)(const PileMarch&, const LaneBatch*, int32_t, LaneTops*,
                               StationLanes*, LaneExtremes*);

MarchExtremes march_extremes_of(VectorPath path) {
  switch (path) {
    case VectorPath::avx512:
      return march_extremes_avx512;
    case VectorPath::avx2:
      return march_extremes_avx2;
    case VectorPath::baseline:
      break;
  }
  return march_extremes_baseline;
}

}  // namespace

std::vector<VectorPath> vector_paths() {
  __builtin_cpu_init();
  std::vector<VectorPath> paths = {VectorPath::baseline};
  if (__builtin_cpu_supports("avx2")) paths.push_back(VectorPath::avx2);
  if (__builtin_cpu_supports("avx512f")) paths.push_back(VectorPath::avx512);
  return paths;
}

void march_extremes_on(VectorPath path, const PileMarch& march, const LaneBatch* batches,
                       int32_t count, LaneTops* tops, StationLanes* states,
                       LaneExtremes* extremes) {
  march_extremes_of(path)(march, batches, count, tops, states, extremes);
}

void march_extremes(const PileMarch& march, const LaneBatch* batches, int32_t count, LaneTops* tops,
                    StationLanes* states, LaneExtremes* extremes) {
  static const MarchExtremes widest = march_extremes_of(vector_paths().back());
  widest(march, batches, count, tops, states, extremes);
}

}  // namespace kelmarino::cases
