// The station march of a pile for LANES combinations at once. The matrices of the march are
// formed once per pile, exactly as compute_stations forms them; each lane then performs the
// operations of top_displacements and compute_stations for its combination, in the same order
// and in single precision, so every lane's numbers are those of a run of kelmarino. The loops
// over the lanes are plain loops over independent floats, which the compiler turns into vector
// instructions without changing any lane's operations.
//
// Signs as passed to the transfer matrices: above ground the x-z plane passes (UX, SY, NX, MY)
// and the y-z plane (UY, -SX, NY, -MX); below ground x-z passes (UX, SY, NX, -MY) and y-z
// (UY, -SX, NY, MX). Results are brought back the same way. A passed sign is kept in the matrix
// instead: T(i,k).(-x) and (-T(i,k)).x are the same float, zeros and their signs included, since
// rounding does not depend on the sign. The sign of a result is changed after its sum, as
// compute_stations does: the sum of negated terms can differ from the negated sum in a zero's sign.
#include <bit>
#include <cmath>
#include <limits>

#include "cases/cases.hpp"
#include "foundation/foundation.hpp"
#include "input/input.hpp"

namespace kelmarino::cases {
namespace {

constexpr float EQUAL_PLANES = 0.001f;  // factors closer than this share one transfer matrix

// C = A.B lane by lane, A an n x n column-major matrix: C(i) = 0, then C(i) = C(i) + A(i,k).B(k)
// for k = 1..n, rounded to single precision after every operation: MATMUL's order.
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

void copy(const float* from, float* to) {
  for (int32_t j = 0; j < LANES; ++j) to[j] = from[j];
}

// A bending plane: the quantities of its state (u, theta, Q, M), and whether theta and M are
// passed to the transfer matrix negated.
struct Plane {
  int32_t rows[4];
  bool negated[4];
};
const Plane X_ABOVE = {{UX, SY, NX, MY}, {false, false, false, false}};
const Plane Y_ABOVE = {{UY, SX, NY, MX}, {false, true, false, true}};
const Plane X_BELOW = {{UX, SY, NX, MY}, {false, false, false, true}};
const Plane Y_BELOW = {{UY, SX, NY, MX}, {false, true, false, false}};

// The state of one plane carried from `from` to `to` by T, whose columns carry the passed signs:
// MATMUL's order of operations, then the result's signs undone.
void plane_step(const float* T, const Plane& plane, const StationLanes& from, StationLanes& to) {
  for (int32_t i = 0; i < 4; ++i) {
    float sum[LANES];
    for (int32_t j = 0; j < LANES; ++j) sum[j] = 0.0f;
    for (int32_t k = 0; k < 4; ++k) {
      const float a = T[k * 4 + i];
      const float* x = from.q[plane.rows[k]];
      for (int32_t j = 0; j < LANES; ++j) sum[j] = sum[j] + a * x[j];
    }
    float* y = to.q[plane.rows[i]];
    if (plane.negated[i]) {
      for (int32_t j = 0; j < LANES; ++j) y[j] = -sum[j];
    } else {
      for (int32_t j = 0; j < LANES; ++j) y[j] = sum[j];
    }
  }
}

// Station 1, the pile top: the pile-top displacement in cap axes, then in pile axes (TOPD), then
// the forces FT = B.DU, and the quantities of the station.
void march_top(const PileMarch& march, const float (&U)[6][LANES], LaneTops& tops,
               StationLanes& s) {
  float v[6][LANES];
  lane_matmul<6>(march.D, U, v);
  lane_matmul<6>(march.Tt, v, tops.DU);
  lane_matmul<6>(march.B, tops.DU, tops.FT);
  copy(tops.DU[0], s.q[UX]);
  copy(tops.DU[1], s.q[UY]);
  copy(tops.DU[3], s.q[SX]);
  copy(tops.DU[4], s.q[SY]);
  copy(tops.FT[0], s.q[NX]);
  copy(tops.FT[1], s.q[NY]);
  copy(tops.FT[2], s.q[NZ]);  // constant down to the ground line
  copy(tops.FT[3], s.q[MX]);
  copy(tops.FT[4], s.q[MY]);
  for (int32_t j = 0; j < LANES; ++j) {
    s.q[PSX][j] = 0.0f;  // no soil stress above and at the ground line
    s.q[PSY][j] = 0.0f;
  }
}

// From station k in `from` to station k + 1 in `to`. The axial force at the ground line is the
// pile-top one, FT(3).
void march_step(const PileMarch& march, int32_t k, const LaneTops& tops, const StationLanes& from,
                StationLanes& to) {
  const MarchStep& step = march.steps[static_cast<size_t>(k - 1)];
  if (!step.below) {
    plane_step(step.Tx, X_ABOVE, from, to);
    plane_step(step.Ty, Y_ABOVE, from, to);
    copy(from.q[NZ], to.q[NZ]);
    copy(from.q[PSX], to.q[PSX]);
    copy(from.q[PSY], to.q[PSY]);
    return;
  }
  plane_step(step.Tx, X_BELOW, from, to);
  plane_step(step.Ty, Y_BELOW, from, to);
  // PMT . u . z2, multiplied in this order.
  for (int32_t j = 0; j < LANES; ++j) {
    to.q[PSX][j] = step.PMT * to.q[UX][j] * step.z2;
    to.q[PSY][j] = step.PMT * to.q[UY][j] * step.z2;
  }
  if (march.parabola) {
    for (int32_t j = 0; j < LANES; ++j) to.q[NZ][j] = tops.FT[2][j] * step.parabola;
  } else {
    copy(from.q[NZ], to.q[NZ]);
  }
}

// The choice of a or b by a mask of all ones or all zeros, in integer operations: the loop of
// take_extremes then has no branch and is vectorised.
int32_t pick(int32_t mask, int32_t a, int32_t b) { return (a & mask) | (b & ~mask); }
float pick(int32_t mask, float a, float b) {
  return std::bit_cast<float>(pick(mask, std::bit_cast<int32_t>(a), std::bit_cast<int32_t>(b)));
}

// A station's quantities into the lanes' extremes: a value replaces the kept one only when it is
// strictly beyond it.
[[gnu::always_inline]] inline void take_extremes(const StationLanes& s,
                                                 const int32_t (&combination)[LANES],
                                                 LaneExtremes& e) {
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
}

// take_extremes compiled for the processor's baseline and for processors with wider vectors and a
// one-instruction choice, chosen once when the run starts. The function only compares and moves
// bits, so both give the same extremes; every arithmetic operation of the march stays in the one
// baseline version.
using TakeExtremes = void (*)(const StationLanes&, const int32_t (&)[LANES], LaneExtremes&);
void take_extremes_baseline(const StationLanes& s, const int32_t (&combination)[LANES],
                            LaneExtremes& e) {
  take_extremes(s, combination, e);
}
[[gnu::target("avx2")]] void take_extremes_avx2(const StationLanes& s,
                                                const int32_t (&combination)[LANES],
                                                LaneExtremes& e) {
  take_extremes(s, combination, e);
}
TakeExtremes chosen_take_extremes() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") ? take_extremes_avx2 : take_extremes_baseline;
}

void copy_matrix(const float* from, int32_t n, float* to) {
  for (int32_t i = 0; i < n * n; ++i) to[i] = from[i];
}

// T with the signs of the passed state in its columns.
void signed_matrix(const Matrix4& T, const Plane& plane, float* to) {
  for (int32_t k = 0; k < 4; ++k) {
    for (int32_t i = 0; i < 4; ++i) {
      const float t = T.data()[k * 4 + i];
      to[k * 4 + i] = plane.negated[k] ? -t : t;
    }
  }
}

}  // namespace

const char* quantity_name(int32_t q) {
  static const char* const NAMES[QUANTITIES] = {"UX", "UY", "SX", "SY",  "NX", "NY",
                                                "NZ", "MX", "MY", "PSX", "PSY"};
  return NAMES[q];
}

const char* quantity_unit(int32_t q) {
  static const char* const UNITS[QUANTITIES] = {"m", "m",   "rad", "rad",  "t",   "t",
                                                "t", "t*m", "t*m", "t/m2", "t/m2"};
  return UNITS[q];
}

void prepare_march(const Model& model, int32_t g, BelowGroundCache& cache, PileMarch& march) {
  const PileData& piles = model.piles;
  const RunValues& run = model.run;
  march = PileMarch{};
  march.g = g;
  Matrix6 M, T;
  OFFSET_MATRIX(piles.PXY(g, 1), piles.PXY(g, 2), M);
  copy_matrix(M.data(), 6, march.D);
  AXIS_ROTATION(piles.AGL(g, 1), piles.AGL(g, 2), piles.AGL(g, 3), T);
  TRANSPOSE(6, 6, T.data(), march.Tt);
  stiffness_block(piles, g, M);
  copy_matrix(M.data(), 6, march.B);
  march.parabola = piles.KSU(g) < 3;

  march.ZH.push_back(0.0f);
  Matrix4 F;
  for (int32_t s = 1; s <= piles.NFR(g); ++s) {
    const float h = piles.HFR(g, s) / static_cast<float>(piles.NSF(g, s));
    FRSEG(bending_stiffness(piles, g, piles.DOF(g, s)), h, F);
    MarchStep step;
    signed_matrix(F, X_ABOVE, step.Tx);
    signed_matrix(F, Y_ABOVE, step.Ty);
    for (int32_t n = 1; n <= piles.NSF(g, s); ++n) {
      march.steps.push_back(step);
      march.ZH.push_back(march.ZH.back() + h);
    }
  }
  march.KG = march.NSTA();
  const float ZG = march.ZH.back();
  for (int32_t s = 1; s <= piles.NBL(g); ++s) {
    const float h = piles.HBL(g, s) / static_cast<float>(piles.NSG(g, s));
    const float EI = bending_stiffness(piles, g, piles.DOB(g, s));
    const float ax = run.BTX(g, s);
    const float ay = run.BTY(g, s);
    for (int32_t n = 1; n <= piles.NSG(g, s); ++n) {
      MarchStep step;
      step.below = true;
      const float z1 = march.ZH.back() - ZG;
      const float z2 = z1 + h;
      cache.matrix(ax, EI, z1, z2, F);
      signed_matrix(F, X_BELOW, step.Tx);
      if (std::fabs(ax - ay) > EQUAL_PLANES) cache.matrix(ay, EI, z1, z2, F);
      signed_matrix(F, Y_BELOW, step.Ty);
      step.PMT = piles.PMT(g, s);
      step.z2 = z2;
      // The same operations as the axial force's factor at this station in compute_stations.
      if (march.parabola) step.parabola = 1.0f - z2 * z2 / (run.ZBL(g) * run.ZBL(g));
      march.steps.push_back(step);
      march.ZH.push_back(march.ZH.back() + h);
    }
  }
}

void march_lanes(const PileMarch& march, const float (&U)[6][LANES], LaneTops& tops,
                 StationLanes* stations) {
  march_top(march, U, tops, stations[0]);
  for (int32_t k = 1; k < march.NSTA(); ++k)
    march_step(march, k, tops, stations[k - 1], stations[k]);
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
  }
}

void march_extremes(const PileMarch& march, const LaneBatch* batches, int32_t count, LaneTops* tops,
                    StationLanes* states, LaneExtremes* extremes) {
  static const TakeExtremes take_extremes = chosen_take_extremes();
  StationLanes* now = states;
  StationLanes* next = states + count;
  for (int32_t b = 0; b < count; ++b) {
    march_top(march, batches[b].U, tops[b], now[b]);
    take_extremes(now[b], batches[b].combination, extremes[0]);
  }
  for (int32_t k = 1; k < march.NSTA(); ++k) {
    for (int32_t b = 0; b < count; ++b) {
      march_step(march, k, tops[b], now[b], next[b]);
      take_extremes(next[b], batches[b].combination, extremes[k]);
    }
    std::swap(now, next);
  }
}

}  // namespace kelmarino::cases
