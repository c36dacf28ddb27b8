#pragma once
// Single-pile analysis: deformation factors in the soil, bottom area and axial stiffness,
// the solution of each bending plane as a beam on its soil springs (the m method), the 6x6 head
// stiffness of every pile and the values at its stations.
//
// Bending state of one plane: (u, theta, Q, M). Planes: x-z carries (UX, SY, NX, MY), y-z
// carries (UY, -SX, NY, -MX).
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "model/model.hpp"
#include "numeric/numeric.hpp"

namespace kelmarino {

// Capacity of the work lists of the interaction procedures: the full pile count.
inline constexpr int32_t MAX_LIST = MAX_PILES;

// ---- Deformation factors ----

// What the interaction coefficient k = b + (1 - b).L1/(0.6.h1) of a row is made of (k = 1 unless
// n > 1 and L1 < 0.6.h1): its pile count n, its base coefficient b, its smallest clear spacing L1
// (whole metres; 100 without a pair) and the larger h1 = min(3.(d + 1), h) of that pair (m).
struct RowSpacing {
  int32_t n = 1;
  float b = 1.0f;
  int32_t L1 = 100;
  float h1 = 0.0f;
};

// The calculation widths of deformation_factors for a checker: the group's interaction coefficients
// kx, ky with the row that sets each (the distinct positions of the group when `by_positions`, some
// pair being closer than 1 m, else the row of the smallest k), the shape factor kf of every pile
// and, for every below-ground segment, the width b in x and y (m) and the bending stiffness EI.
struct CalculationWidths {
  float kx = 1.0f;
  float ky = 1.0f;
  bool by_positions = false;
  RowSpacing row_x, row_y;
  PileReals kf;
  SegmentReals BX;
  SegmentReals BY;
  SegmentReals EI;
};

// deformation_factors: deformation factors BTX, BTY of every below-ground segment, (m.b/EI)^0.2,
// with the calculation width b = (d + 1.0).k.kf and the interaction coefficients k of the group;
// the widths and coefficients also into `widths` when given.
void deformation_factors(int32_t PNUM, const PileReals& ZFR, const PileReals& ZBL,
                         SegmentReals& BTX, SegmentReals& BTY, const PileData& piles,
                         CalculationWidths* widths = nullptr);

// The ground-line points of the piles: column 1 gx, column 2 gy.
using GroundPoints = Table<float, MAX_PILES, 2>;

// group_interaction: interaction coefficient in direction dir (1 = x, 2 = y) from the distinct
// positions of the group along that direction.
void group_interaction(int32_t dir, int32_t PNUM, const float* d, const float* h,
                       const GroundPoints& G, float& k, RowSpacing* used = nullptr);

// smallest_row_interaction: the smallest interaction coefficient of the rows parallel to direction
// dir; `used` takes the first row that gives it.
void smallest_row_interaction(int32_t dir, int32_t PNUM, const float* d, const float* h,
                              const GroundPoints& G, float& k, RowSpacing* used = nullptr);

// row_interaction: interaction coefficient of one row of n piles at positions c, diameters d and
// below-ground lengths h (arrays of n entries), and what it is made of into `used` when given.
void row_interaction(int32_t n, const float* c, const float* d, const float* h, float& k,
                     RowSpacing* used = nullptr);

// row_base_coefficient: base coefficient of a row of n piles.
void row_base_coefficient(int32_t n, float& b);

// ---- Axial stiffness ----

// bottom_areas: bearing area at the bottom of every pile, spread through the soil for KSU <= 2,
// limited by the distance to the nearest other bottom.
void bottom_areas(int32_t PNUM, const PileReals& ZFR, const PileReals& ZBL, PileReals& ABOT,
                  const PileData& piles);

// axial_stiffness: axial stiffness of every pile; a pile of an earlier pile's type and bottom area
// takes that pile's stiffness.
void axial_stiffness(int32_t PNUM, const PileReals& ZBL, const PileReals& ABOT, PileReals& AXK,
                     const PileData& piles);

// pile_axial_stiffness: axial stiffness K of pile p, from its below-ground length h and bottom area
// A0.
void pile_axial_stiffness(int32_t p, float h, float A0, float& K, const PileData& piles);

// ---- Unit responses and head stiffness ----
//
// Each bending plane of a pile is solved as a beam on its soil springs, k = m.b1.z in every
// layer with z below the ground line, from the head down to the real tip with the tip condition
// there: the responses to a unit head displacement and to a unit head rotation, in double
// precision. Their head forces are the plane's head stiffness; the values of any load at a
// station are u0 times the first response plus theta0 times the second.
//
// The state of a plane is (u, theta, Q, M) with the moment of the above-ground sign at every
// depth: theta = u', M = -EI.u'' and Q = EI.u''', z along the pile axis from the head.

using Matrix4d = Table<double, 4, 4>;

// free_length_transfer: transfer matrix of a free length h of pile of bending stiffness EI.
void free_length_transfer(double EI, double h, Matrix4d& T);

// soil_transfer: transfer matrix of a length h of pile in soil of deformation factor alpha whose
// top lies at depth d below the ground line (EI.u'''' = -alpha^5.EI.(d + t).u), its power series
// summed to the last digit. Meant for lengths with alpha.h.(alpha.(d + h))^0.25 up to about 1.
void soil_transfer(double alpha, double EI, double d, double h, Matrix4d& T);

// A length of a plane between two points of its solution, short enough for its series: where it
// lies, what it is made of, and the states at its top for a unit head u and a unit head theta.
struct PlanePiece {
  double Z = 0.0;      // distance of its top from the head (m)
  double h = 0.0;      // length (m)
  double EI = 0.0;     // bending stiffness (t*m2)
  double alpha = 0.0;  // deformation factor (1/m); 0 above the ground line
  double depth = 0.0;  // depth of its top below the ground line (m)
  int32_t step = 0;    // the step it lies in, from 0: step s ends at station s + 2
  std::array<double, 8> top = {};
  double alpha5 = 0.0;  // alpha^5
};

// The responses of one plane: R maps the head (u, theta) to the head (Q, M); at[k - 1] holds the
// state at station k for a unit head u (entries 0..3) and for a unit head theta (entries 4..7);
// pieces are the lengths between, from the head down.
struct PlaneResponse {
  double R[2][2] = {};
  std::vector<std::array<double, 8>> at;
  std::vector<PlanePiece> pieces;
};

// The responses already solved in a run, owned by the run. Piles whose planes have bit-identical
// values (piles of one type) share one solution.
class ResponseCache {
 public:
  ResponseCache();
  ~ResponseCache();
  ResponseCache(const ResponseCache&) = delete;
  ResponseCache& operator=(const ResponseCache&) = delete;
  // The response of the plane of pile p whose deformation factors are `factors` (BTX: the x-z
  // plane, BTY: the y-z plane), solved when first asked for; the caller may keep it beyond the
  // life of the cache. Step counts below 1 (a run that stops at a stiffness print) count as one
  // step. A pile held at its tip that has no length is a run-time error.
  std::shared_ptr<const PlaneResponse> plane(const PileData& piles, const SegmentReals& factors,
                                             int32_t p);

 private:
  struct Store;
  std::unique_ptr<Store> store_;
};

// lateral_stiffness: the 6x6 head stiffness of every pile, in its own axes, into its six rows of
// ESP.
void lateral_stiffness(int32_t PNUM, const PileReals& AXK, const SegmentReals& BTX,
                       const SegmentReals& BTY, PileData& piles, ResponseCache& cache);

// The y-z plane has a solution of its own only where some factor differs from the x-z one by
// more than 1e-10; otherwise it takes the x-z plane's.
const SegmentReals& y_factors(const SegmentReals& BTX, const SegmentReals& BTY,
                              const PileData& piles, int32_t p);

// pile_stiffness: the single-pile stages of a model as the reader leaves it: deformation_factors
// (its widths into `widths` when given), bottom_areas, axial_stiffness and lateral_stiffness, each
// named as the stage of a fault. The three stages (deformation factors, axial and lateral
// stiffness) are told to `starting`, when given, by their number 0, 1, 2 as each starts.
void pile_stiffness(Model& model, ResponseCache& cache, CalculationWidths* widths = nullptr,
                    const std::function<void(int32_t stage)>& starting = nullptr);

// pile_head_stiffness: the 6x6 head stiffness from the head stiffness Rx, Ry of both planes and the
// axial stiffness; the torsional stiffness is a tenth of the two rotational ones.
void pile_head_stiffness(const Matrix2& Rx, const Matrix2& Ry, float axial, Matrix6& K);

// Bending stiffness PEH.I of a segment of diameter d of pile p.
float bending_stiffness(const PileData& piles, int32_t p, float d);

// ---- Stations ----

// The station quantities, in the order of the post-processing file's columns.
enum StationQuantity : int32_t { UX, UY, SX, SY, NX, NY, NZ, MX, MY, PSX, PSY };
inline constexpr int32_t QUANTITIES = 11;

// What the values of a station take besides the load.
struct Station {
  float ZH = 0.0f;        // distance from the pile top (m)
  bool below = false;     // below the ground line
  float PMT = 0.0f;       // soil coefficient of its segment (t/m4)
  float z2 = 0.0f;        // depth below the ground line (m)
  bool parabola = false;  // KSU < 3: the axial force falls below the ground line
  float fraction = 1.0f;  // then 1 - z2^2/ZBL^2, its share of the pile-top axial force
  bool operator==(const Station&) const = default;
};

// The stations of a pile: station 1 the pile top, KG the ground line, NSTA the tip.
struct StationList {
  int32_t KG = 1;
  int32_t NSTA = 1;
  Station at[MAX_STATIONS];
  const Station& operator()(int32_t k) const { return at[k - 1]; }
};

// station_list: the stations of pile g, the step lengths and distances accumulated station by
// station in single precision.
void station_list(const PileData& piles, const PileReals& ZBL, int32_t g, StationList& list);

// Rows of lanes rounded once to single precision, given a sign (+-1) and put in their rows of
// `out`. The range is checked once for all of them, so that the conversions run side by side; a
// value beyond it overflows as rounded() makes it.
template <int32_t ROWS, int32_t LANES>
void rounded_rows(const double (&value)[ROWS][LANES], const float (&sign)[ROWS],
                  const int32_t (&row)[ROWS], float (&out)[QUANTITIES][LANES]) {
  if constexpr (LANES == 1) {  // one lane: nothing to run side by side
    for (int32_t i = 0; i < ROWS; ++i) out[row[i]][0] = rounded(value[i][0]) * sign[i];
    return;
  }
  constexpr double LARGEST = 3.4028234663852886e38;  // the largest single-precision real
  int32_t outside[LANES] = {};
  for (int32_t i = 0; i < ROWS; ++i) {
#pragma GCC unroll 1
    for (int32_t j = 0; j < LANES; ++j) outside[j] |= !(std::fabs(value[i][j]) <= LARGEST);
  }
  int32_t any = 0;
  for (int32_t j = 0; j < LANES; ++j) any |= outside[j];
  for (int32_t i = 0; i < ROWS; ++i) {
    if (any != 0) {
      for (int32_t j = 0; j < LANES; ++j) out[row[i]][j] = rounded(value[i][j]) * sign[i];
      continue;
    }
#pragma GCC unroll 1
    for (int32_t j = 0; j < LANES; ++j) out[row[i]][j] = static_cast<float>(value[i][j]) * sign[i];
  }
}

// squared_sum: a^2 + b^2 of two single-precision components in double precision: exact squares,
// never beyond the range, ordered as the resultants are; what the largest resultant is chosen by.
inline double squared_sum(float a, float b) {
  const double x = static_cast<double>(a);
  const double y = static_cast<double>(b);
  return x * x + y * y;
}

// resultant: the resultant sqrt(a^2 + b^2) of two components at right angles (NX and NY, MX and
// MY), in double precision from the single-precision components, rounded once.
inline float resultant(float a, float b) {
  return static_cast<float>(std::sqrt(squared_sum(a, b)));
}

// station_values: the quantities of station k for LANES loads at once, from the pile-top
// displacements DU and forces FT in pile axes (DU[i][lane]) and the responses x, y of the two
// planes. Station 1 takes DU and FT themselves; below it every displacement, rotation, shear and
// moment is u0.(response to u) + theta0.(response to theta) in double precision, rounded once;
// the soil stress is PMT.u.z2 and the axial force FT(3) times the station's fraction, in single
// precision. Every program takes its station values from here, and a lane's numbers do not
// depend on the lane count.
template <int32_t LANES>
void station_values(const PlaneResponse& x, const PlaneResponse& y, int32_t k, const Station& s,
                    const float (&DU)[6][LANES], const float (&FT)[6][LANES],
                    float (&q)[QUANTITIES][LANES]) {
  if (k == 1) {
    const int32_t from[9][2] = {{UX, 0}, {UY, 1}, {SX, 3}, {SY, 4}, {NX, 0},
                                {NY, 1}, {NZ, 2}, {MX, 3}, {MY, 4}};
    for (int32_t i = 0; i < 4; ++i) {
      for (int32_t j = 0; j < LANES; ++j) q[from[i][0]][j] = DU[from[i][1]][j];
    }
    for (int32_t i = 4; i < 9; ++i) {
      for (int32_t j = 0; j < LANES; ++j) q[from[i][0]][j] = FT[from[i][1]][j];
    }
    for (int32_t j = 0; j < LANES; ++j) q[PSX][j] = q[PSY][j] = 0.0f;
    return;
  }
  // The x-z plane passes (UX, SY) and gives (UX, SY, NX, MY); the y-z plane passes (UY, -SX) and
  // gives (UY, -SX, NY, -MX). A sign is applied by a product with +-1, which is exact.
  const int32_t rows[8] = {UX, SY, NX, MY, UY, SX, NY, MX};
  const float signs[8] = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f, -1.0f, 1.0f, -1.0f};
  const PlaneResponse* planes[2] = {&x, &y};
  double values[8][LANES];
  for (int32_t plane = 0; plane < 2; ++plane) {
    const std::array<double, 8>& r = planes[plane]->at[static_cast<size_t>(k - 1)];
    double u[LANES], theta[LANES];
#pragma GCC unroll 1
    for (int32_t j = 0; j < LANES; ++j) {
      u[j] = static_cast<double>(DU[plane == 0 ? 0 : 1][j]);
      theta[j] = plane == 0 ? static_cast<double>(DU[4][j]) : static_cast<double>(-DU[3][j]);
    }
    for (size_t i = 0; i < 4; ++i) {
      double* value = values[4 * plane + static_cast<int32_t>(i)];
#pragma GCC unroll 1
      for (int32_t j = 0; j < LANES; ++j) value[j] = u[j] * r[i] + theta[j] * r[4 + i];
    }
  }
  rounded_rows(values, signs, rows, q);
  for (int32_t j = 0; j < LANES; ++j) {
    // PMT . u . z2, multiplied in this order; no soil stress above and at the ground line.
    q[PSX][j] = s.below ? s.PMT * q[UX][j] * s.z2 : 0.0f;
    q[PSY][j] = s.below ? s.PMT * q[UY][j] * s.z2 : 0.0f;
    q[NZ][j] = s.parabola ? FT[2][j] * s.fraction : FT[2][j];
  }
}

// ---- True peaks ----

// A true peak of one quantity along a pile: its signed value, its distance Z from the pile top
// (m) and the step it lies in (from 0, over the pile's steps from the top).
struct Peak {
  float value = 0.0f;
  float Z = 0.0f;
  int32_t step = 0;
};

// The true peaks of a pile: for UX, UY, NX, NY, MX, MY, PSX and PSY the largest absolute value of
// the exact solution at and between the stations (the entries of SX, SY and NZ stay 0), the soil
// stress on both sides of every layer boundary (a station there takes the upper layer's m; just
// below it the soil stress takes the lower layer's), and never below a station's value.
struct PilePeaks {
  Peak of[QUANTITIES];
};

// The quantities that have true peaks; and those of the x-z and the y-z plane: displacement,
// shear, moment and soil stress.
inline constexpr StationQuantity PEAK_QUANTITIES[8] = {UX, UY, NX, NY, MX, MY, PSX, PSY};
inline constexpr StationQuantity PLANE_PEAKS[2][4] = {{UX, NX, MY, PSX}, {UY, NY, MX, PSY}};

// pile_peaks: the true peaks of a pile from the responses x, y of its planes, its stations
// (station k at k - 1) and its pile-top displacements DU and forces FT in pile axes. Between two
// points of the solution a peak lies where the derivative changes sign (u' = theta, M' = -Q,
// Q' = -k.u, (m.u.z)' = m.(u + z.theta)); it is found by regula falsi on the derivative, the
// state at each point summed from the series of its piece, in double precision. A station's value
// (station_values) beyond the peak found, by the rounding of its single-precision products at the
// head or in the soil stress, is the peak: no peak is below a value the report prints.
PilePeaks pile_peaks(const PlaneResponse& x, const PlaneResponse& y, const Station* stations,
                     const float (&DU)[6], const float (&FT)[6]);

// plane_true_peaks: the true peaks of one plane alone (0: the x-z plane, response x; 1: the y-z
// plane, response y) into the entries of its quantities in `pile`, as pile_peaks takes them.
void plane_true_peaks(const PlaneResponse& r, int32_t plane, const Station* stations,
                      const float (&DU)[6], const float (&FT)[6], PilePeaks& pile);

}  // namespace kelmarino
