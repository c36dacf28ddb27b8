// Bottom bearing area and axial stiffness of the piles.
#include <algorithm>
#include <cmath>

#include "pile/pile.hpp"

namespace kelmarino {
namespace {

constexpr float NO_NEIGHBOUR = 100.0f;  // m, starting distance to the nearest other bottom

// Bottom diameter of pile p before the limit by the neighbours: spread through the soil at a
// quarter of each layer's friction angle for KSU <= 2, the pile's own last section otherwise.
float bottom_diameter(const PileData& piles, int32_t p) {
  if (piles.KSU(p) <= 2) {
    const float c = piles.AGL(p, 3);
    // An axis may be up to 0.001 longer than 1: a z above 1 stands for a vertical pile.
    const float theta = std::atan(std::sqrt(std::max(0.0f, 1.0f - c * c)) / c);
    float spread = 0.0f;
    for (int32_t s = 1; s <= piles.NBL(p); ++s) {
      const float quarter_angle = piles.PFI(p, s) * 3.142f / 720.0f;
      spread = spread + piles.HBL(p, s) * (std::sin(theta) - c * std::tan(theta - quarter_angle));
    }
    return piles.DOB(p, 1) + 2.0f * spread;
  }
  if (piles.NBL(p) != 0) return piles.DOB(p, piles.NBL(p));
  // A pile with no segment at all has no section to bear with: its bottom area is zero.
  if (piles.NFR(p) == 0) return 0.0f;
  return piles.DOF(p, piles.NFR(p));
}

}  // namespace

void bottom_areas(int32_t PNUM, const PileReals& ZFR, const PileReals& ZBL, PileReals& ABOT,
                  const PileData& piles) {
  float bx[MAX_PILES];
  float by[MAX_PILES];
  float d0[MAX_PILES];
  float smin[MAX_PILES];
  for (int32_t p = 1; p <= PNUM; ++p) {
    at_pile(p);
    bx[p - 1] = (ZBL(p) + ZFR(p)) * piles.AGL(p, 1) + piles.PXY(p, 1);
    by[p - 1] = (ZBL(p) + ZFR(p)) * piles.AGL(p, 2) + piles.PXY(p, 2);
    d0[p - 1] = bottom_diameter(piles, p);
    smin[p - 1] = NO_NEIGHBOUR;
  }
  at_pile(0);
  for (int32_t p = 0; p < PNUM; ++p) {
    for (int32_t q = p + 1; q < PNUM; ++q) {
      const float dx = bx[p] - bx[q];
      const float dy = by[p] - by[q];
      const float dist = std::sqrt(dx * dx + dy * dy);
      if (dist < smin[p]) smin[p] = dist;
      if (dist < smin[q]) smin[q] = dist;
    }
  }
  for (int32_t p = 1; p <= PNUM; ++p) {
    at_pile(p);
    float& d = d0[p - 1];
    if (smin[p - 1] < d) d = smin[p - 1];
    if (piles.KSH(p) == 0) {
      ABOT(p) = 3.142f * (d * d) / 4.0f;
    } else if (piles.KSH(p) == 1) {
      ABOT(p) = d * d;
    }
  }
  at_pile(0);
}

void pile_axial_stiffness(int32_t p, float h, float A0, float& K, const PileData& piles) {
  const int32_t KSU = piles.KSU(p);
  const float xi = KSU == 1 ? 0.5f : KSU == 2 ? 0.667f : 1.0f;
  float delta = 0.0f;
  float A = 0.0f;
  float I = 0.0f;
  for (int32_t s = 1; s <= piles.NFR(p); ++s) {
    section_properties(piles.KSH(p), piles.PKE(p), piles.DOF(p, s), A, I);
    delta = delta + piles.HFR(p, s) / (piles.PEH(p) * A);
  }
  for (int32_t s = 1; s <= piles.NBL(p); ++s) {
    section_properties(piles.KSH(p), piles.PKE(p), piles.DOB(p, s), A, I);
    delta = delta + xi * piles.HBL(p, s) / (piles.PEH(p) * A);
  }
  if (KSU <= 2) {
    delta = delta + 1.0f / (piles.PMB(p) * A0 * h);
  } else {
    delta = delta + 1.0f / (piles.PMB(p) * A0);
  }
  K = 1.0f / delta;
}

void axial_stiffness(int32_t PNUM, const PileReals& ZBL, const PileReals& ABOT, PileReals& AXK,
                     const PileData& piles) {
  for (int32_t p = 1; p <= PNUM; ++p) {
    at_pile(p);
    int32_t q = 1;
    while (q < p && !(piles.PTYPE(q) == piles.PTYPE(p) && ABOT(q) == ABOT(p))) ++q;
    if (q < p) {
      AXK(p) = AXK(q);
    } else {
      pile_axial_stiffness(p, ZBL(p), ABOT(p), AXK(p), piles);
    }
  }
  at_pile(0);
}

}  // namespace kelmarino
