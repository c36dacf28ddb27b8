// The station march of a pile for LANES combinations at once. The matrices of the march are
// formed once per pile, exactly as compute_stations forms them; each lane then performs the
// operations of top_displacements and compute_stations for its combination, in the same order
// and in single precision, so every lane's numbers are those of a run of kelmarino. The loops
// over the lanes are plain loops over independent floats, which the compiler turns into vector
// instructions without changing any lane's operations.
//
// Signs as passed to the transfer matrices: above ground the x-z plane passes (UX, SY, NX, MY)
// and the y-z plane (UY, -SX, NY, -MX); below ground x-z passes (UX, SY, NX, -MY) and y-z
// (UY, -SX, NY, MX). Results are brought back the same way.
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

void negated(const float* from, float* to) {
  for (int32_t j = 0; j < LANES; ++j) to[j] = -from[j];
}

// One step above the ground line, from the quantities of station k in `s` to those of k + 1.
void above_ground_step(const MarchStep& step, StationLanes& s) {
  float X[4][LANES], Y[4][LANES], Xn[4][LANES], Yn[4][LANES];
  copy(s.q[UX], X[0]);
  copy(s.q[SY], X[1]);
  copy(s.q[NX], X[2]);
  copy(s.q[MY], X[3]);
  copy(s.q[UY], Y[0]);
  negated(s.q[SX], Y[1]);
  copy(s.q[NY], Y[2]);
  negated(s.q[MX], Y[3]);
  lane_matmul<4>(step.Tx, X, Xn);
  lane_matmul<4>(step.Tx, Y, Yn);
  copy(Xn[0], s.q[UX]);
  copy(Xn[1], s.q[SY]);
  copy(Xn[2], s.q[NX]);
  copy(Xn[3], s.q[MY]);
  copy(Yn[0], s.q[UY]);
  negated(Yn[1], s.q[SX]);
  copy(Yn[2], s.q[NY]);
  negated(Yn[3], s.q[MX]);
}

// One step below the ground line; FNZ_KG is the axial force at the ground line.
void below_ground_step(const MarchStep& step, bool parabola, const float* FNZ_KG, StationLanes& s) {
  float X[4][LANES], Y[4][LANES], Xn[4][LANES], Yn[4][LANES];
  copy(s.q[UX], X[0]);
  copy(s.q[SY], X[1]);
  copy(s.q[NX], X[2]);
  negated(s.q[MY], X[3]);
  copy(s.q[UY], Y[0]);
  negated(s.q[SX], Y[1]);
  copy(s.q[NY], Y[2]);
  copy(s.q[MX], Y[3]);
  lane_matmul<4>(step.Tx, X, Xn);
  lane_matmul<4>(step.Ty, Y, Yn);
  copy(Xn[0], s.q[UX]);
  copy(Xn[1], s.q[SY]);
  copy(Xn[2], s.q[NX]);
  negated(Xn[3], s.q[MY]);
  copy(Yn[0], s.q[UY]);
  negated(Yn[1], s.q[SX]);
  copy(Yn[2], s.q[NY]);
  copy(Yn[3], s.q[MX]);
  // PMT . u . z2, multiplied in this order.
  for (int32_t j = 0; j < LANES; ++j) {
    s.q[PSX][j] = step.PMT * s.q[UX][j] * step.z2;
    s.q[PSY][j] = step.PMT * s.q[UY][j] * step.z2;
  }
  if (parabola) {
    for (int32_t j = 0; j < LANES; ++j) s.q[NZ][j] = FNZ_KG[j] * step.parabola;
  }
}

// The march of a pile, handing the quantities of every station k to take(k, quantities).
template <typename Take>
void march_stations(const PileMarch& march, const float (&U)[6][LANES], LaneTops& tops, Take take) {
  // The pile-top displacement in cap axes, then in pile axes (TOPD), then the forces FT = B.DU.
  float v[6][LANES];
  lane_matmul<6>(march.D, U, v);
  lane_matmul<6>(march.Tt, v, tops.DU);
  lane_matmul<6>(march.B, tops.DU, tops.FT);

  StationLanes s;
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
  take(1, s);
  const MarchStep* const steps = march.steps.data();
  for (int32_t k = 2; k <= march.NSTA(); ++k) {
    const MarchStep& step = steps[k - 2];
    if (step.below) {
      below_ground_step(step, march.parabola, tops.FT[2], s);
    } else {
      above_ground_step(step, s);
    }
    take(k, s);
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
}

void copy_matrix(const float* from, int32_t n, float* to) {
  for (int32_t i = 0; i < n * n; ++i) to[i] = from[i];
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
    copy_matrix(F.data(), 4, step.Tx);
    copy_matrix(F.data(), 4, step.Ty);
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
      copy_matrix(F.data(), 4, step.Tx);
      if (std::fabs(ax - ay) > EQUAL_PLANES) cache.matrix(ay, EI, z1, z2, F);
      copy_matrix(F.data(), 4, step.Ty);
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
  march_stations(march, U, tops, [&](int32_t k, const StationLanes& s) { stations[k - 1] = s; });
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

void march_extremes(const PileMarch& march, const float (&U)[6][LANES],
                    const int32_t (&combination)[LANES], LaneTops& tops, LaneExtremes* extremes) {
  march_stations(march, U, tops, [&](int32_t k, const StationLanes& s) {
    take_extremes(s, combination, extremes[k - 1]);
  });
}

}  // namespace kelmarino::cases
