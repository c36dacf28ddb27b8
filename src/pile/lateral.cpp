// Head stiffness of every pile: the head forces of the responses of its two bending planes to a
// unit head displacement and a unit head rotation, with its axial stiffness; and pile_stiffness,
// which runs every stage of a single pile.
#include <cmath>

#include "pile/pile.hpp"

namespace kelmarino {
namespace {

constexpr float EQUAL_PLANES = 1e-10f;  // factors closer than this give both planes one solution

// The head stiffness of a plane, rounded once to single precision.
void head_stiffness(const PlaneResponse& response, Matrix2& R) {
  for (int32_t i = 1; i <= 2; ++i) {
    for (int32_t j = 1; j <= 2; ++j) R(i, j) = rounded(response.R[i - 1][j - 1]);
  }
}

}  // namespace

float bending_stiffness(const PileData& piles, int32_t p, float d) {
  float A = 0.0f;
  float I = 0.0f;
  section_properties(piles.KSH(p), piles.PKE(p), d, A, I);
  return piles.PEH(p) * I;
}

const SegmentReals& y_factors(const SegmentReals& BTX, const SegmentReals& BTY,
                              const PileData& piles, int32_t p) {
  for (int32_t s = 1; s <= piles.NBL(p); ++s) {
    if (std::fabs(BTY(p, s) - BTX(p, s)) > EQUAL_PLANES) return BTY;
  }
  return BTX;
}

void pile_head_stiffness(const Matrix2& Rx, const Matrix2& Ry, float axial, Matrix6& K) {
  K = Matrix6{};
  K(1, 1) = Rx(1, 1);
  K(1, 5) = Rx(1, 2);
  K(5, 1) = Rx(2, 1);
  K(5, 5) = Rx(2, 2);
  K(2, 2) = Ry(1, 1);
  K(2, 4) = -Ry(1, 2);
  K(4, 2) = -Ry(2, 1);
  K(4, 4) = Ry(2, 2);
  K(3, 3) = axial;
  K(6, 6) = 0.1f * (K(5, 5) + K(4, 4));
}

void lateral_stiffness(int32_t PNUM, const PileReals& AXK, const SegmentReals& BTX,
                       const SegmentReals& BTY, PileData& piles, ResponseCache& cache) {
  Matrix2 Rx, Ry;
  Matrix6 K;
  for (int32_t p = 1; p <= PNUM; ++p) {
    at_pile(p);
    head_stiffness(*cache.plane(piles, BTX, p), Rx);
    head_stiffness(*cache.plane(piles, y_factors(BTX, BTY, piles, p), p), Ry);
    pile_head_stiffness(Rx, Ry, AXK(p), K);
    for (int32_t i = 1; i <= 6; ++i) {
      for (int32_t j = 1; j <= 6; ++j) piles.ESP(6 * (p - 1) + i, j) = K(i, j);
    }
  }
  at_pile(0);
}

void pile_stiffness(Model& model, ResponseCache& cache, CalculationWidths* widths,
                    const std::function<void(int32_t stage)>& starting) {
  RunValues& run = model.run;
  PileData& piles = model.piles;
  const auto start = [&starting](int32_t stage, const char* name) {
    if (starting) starting(stage);
    at_stage(name);
  };
  start(0, "deformation factors");
  deformation_factors(run.PNUM, run.ZFR, run.ZBL, run.BTX, run.BTY, piles, widths);
  start(1, "axial stiffness");
  bottom_areas(run.PNUM, run.ZFR, run.ZBL, run.ABOT, piles);
  axial_stiffness(run.PNUM, run.ZBL, run.ABOT, run.AXK, piles);
  start(2, "lateral stiffness");
  lateral_stiffness(run.PNUM, run.AXK, run.BTX, run.BTY, piles, cache);
}

}  // namespace kelmarino
