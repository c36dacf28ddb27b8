// Deformation factors of the piles in the soil, with the interaction coefficients of the group.
#include <cmath>

#include "pile/pile.hpp"

namespace kelmarino {
namespace {

constexpr float CLEAR_SPACING_FOR_POSITIONS = 1.0f;  // m; below it the group goes by positions

// The clear spacing of piles p and q at the ground line.
float ground_clear_spacing(const GroundPoints& G, const PileData& piles, int32_t p, int32_t q) {
  const float dy = G(p, 2) - G(q, 2);
  const float dx = G(p, 1) - G(q, 1);
  const float centres = std::sqrt(dy * dy + dx * dx);
  return centres - (piles.DOB(p, 1) + piles.DOB(q, 1)) / 2.0f;
}

bool any_pair_closer_than(const GroundPoints& G, const PileData& piles, int32_t PNUM, float limit) {
  for (int32_t p = 1; p <= PNUM; ++p) {
    for (int32_t q = p + 1; q <= PNUM; ++q) {
      if (ground_clear_spacing(G, piles, p, q) < limit) return true;
    }
  }
  return false;
}

// The factors of one pile, computed segment by segment.
void pile_factors(const PileData& piles, int32_t p, float kx, float ky, SegmentReals& BTX,
                  SegmentReals& BTY, CalculationWidths* widths) {
  const float kf = piles.KSH(p) == 1 ? 0.9f : 1.0f;
  for (int32_t s = 1; s <= piles.NBL(p); ++s) {
    const float bx = (piles.DOB(p, s) + 1.0f) * kx * kf;
    const float by = (piles.DOB(p, s) + 1.0f) * ky * kf;
    float A = 0.0f;
    float I = 0.0f;
    section_properties(piles.KSH(p), piles.PKE(p), piles.DOB(p, s), A, I);
    BTX(p, s) = real_power(piles.PMT(p, s) * bx / (piles.PEH(p) * I), 0.2f);
    BTY(p, s) = real_power(piles.PMT(p, s) * by / (piles.PEH(p) * I), 0.2f);
    if (widths != nullptr) {
      widths->BX(p, s) = bx;
      widths->BY(p, s) = by;
      widths->EI(p, s) = piles.PEH(p) * I;
    }
  }
  if (widths != nullptr) widths->kf(p) = kf;
}

}  // namespace

void deformation_factors(int32_t PNUM, const PileReals& ZFR, const PileReals& ZBL,
                         SegmentReals& BTX, SegmentReals& BTY, const PileData& piles,
                         CalculationWidths* widths) {
  GroundPoints G;
  float d[MAX_PILES];
  for (int32_t p = 1; p <= PNUM; ++p) {
    at_pile(p);
    G(p, 1) = piles.AGL(p, 1) * ZFR(p) + piles.PXY(p, 1);
    G(p, 2) = piles.AGL(p, 2) * ZFR(p) + piles.PXY(p, 2);
    d[p - 1] = piles.DOB(p, 1);
  }
  at_pile(0);
  float kx = 1.0f;
  float ky = 1.0f;
  RowSpacing row_x, row_y;
  const bool by_positions = any_pair_closer_than(G, piles, PNUM, CLEAR_SPACING_FOR_POSITIONS);
  if (by_positions) {
    group_interaction(1, PNUM, d, ZBL.data(), G, kx, &row_x);
    group_interaction(2, PNUM, d, ZBL.data(), G, ky, &row_y);
  } else {
    smallest_row_interaction(1, PNUM, d, ZBL.data(), G, kx, &row_x);
    smallest_row_interaction(2, PNUM, d, ZBL.data(), G, ky, &row_y);
  }
  if (widths != nullptr) {
    widths->kx = kx;
    widths->ky = ky;
    widths->by_positions = by_positions;
    widths->row_x = row_x;
    widths->row_y = row_y;
  }
  for (int32_t p = 1; p <= PNUM; ++p) {
    at_pile(p);
    int32_t q = 1;
    while (q < p && piles.PTYPE(q) != piles.PTYPE(p)) ++q;
    if (q < p) {
      for (int32_t s = 1; s <= piles.NBL(q); ++s) {
        BTX(p, s) = BTX(q, s);
        BTY(p, s) = BTY(q, s);
        if (widths != nullptr) {
          widths->BX(p, s) = widths->BX(q, s);
          widths->BY(p, s) = widths->BY(q, s);
          widths->EI(p, s) = widths->EI(q, s);
        }
      }
      if (widths != nullptr) widths->kf(p) = widths->kf(q);
    } else {
      pile_factors(piles, p, kx, ky, BTX, BTY, widths);
    }
  }
  at_pile(0);
}

void group_interaction(int32_t dir, int32_t PNUM, const float* d, const float* h,
                       const GroundPoints& G, float& k, RowSpacing* used) {
  float c[MAX_LIST];
  float dl[MAX_LIST];
  float hl[MAX_LIST];
  int32_t n = 0;
  for (int32_t q = 1; q <= PNUM; ++q) {
    bool seen = false;
    for (int32_t e = 1; e < q && !seen; ++e) seen = G(e, dir) == G(q, dir);
    if (seen) continue;
    c[n] = G(q, dir);
    dl[n] = d[q - 1];
    hl[n] = h[q - 1];
    ++n;
  }
  row_interaction(n, c, dl, hl, k, used);
}

void smallest_row_interaction(int32_t dir, int32_t PNUM, const float* d, const float* h,
                              const GroundPoints& G, float& k, RowSpacing* used) {
  const int32_t o = dir == 1 ? 2 : 1;
  int32_t row_of[MAX_LIST];
  int32_t size[MAX_LIST] = {};
  int32_t members[MAX_LIST][MAX_LIST];
  int32_t rows = 0;
  for (int32_t q = 1; q <= PNUM; ++q) {
    int32_t e = 1;
    while (e < q && G(e, o) != G(q, o)) ++e;
    const int32_t row = e < q ? row_of[e - 1] : rows++;
    row_of[q - 1] = row;
    members[row][size[row]++] = q;
  }
  k = 1.0f;
  float c[MAX_LIST];
  float dl[MAX_LIST];
  float hl[MAX_LIST];
  for (int32_t r = 0; r < rows; ++r) {
    for (int32_t m = 0; m < size[r]; ++m) {
      const int32_t p = members[r][m];
      c[m] = G(p, dir);
      dl[m] = d[p - 1];
      hl[m] = h[p - 1];
    }
    float k_row = 1.0f;
    RowSpacing row;
    row_interaction(size[r], c, dl, hl, k_row, &row);
    if (used != nullptr && (r == 0 || k_row < k)) *used = row;
    if (k_row < k) k = k_row;
  }
}

void row_interaction(int32_t n, const float* c, const float* d, const float* h, float& k,
                     RowSpacing* used) {
  if (n == 1) {
    k = 1.0f;
    if (used != nullptr) *used = RowSpacing{};
    return;
  }
  float h1[MAX_LIST];
  for (int32_t m = 0; m < n; ++m) {
    h1[m] = 3.0f * (d[m] + 1.0f);
    if (h[m] < h1[m]) h1[m] = h[m];
  }
  // The smallest clear spacing is held in whole metres: later pairs compare with the truncated
  // value, so 1.2 m does not replace 1.
  int32_t L1 = 100;
  float hh = 0.0f;
  bool found = false;
  for (int32_t m = 0; m < n - 1; ++m) {
    for (int32_t m2 = m + 1; m2 < n; ++m2) {
      const float L = std::fabs(c[m] - c[m2]) - (d[m] + d[m2]) / 2.0f;
      if (L < static_cast<float>(L1)) {
        L1 = truncate_to_integer(L);
        hh = h1[m2] > h1[m] ? h1[m2] : h1[m];
        found = true;
      }
    }
  }
  // Piles whose positions along the direction are closer than their diameters have a clear
  // spacing below zero, which counts as zero: they can stand no closer than touching, and the
  // coefficient goes no lower than b'.
  if (L1 < 0) L1 = 0;
  k = 1.0f;
  float b = 0.0f;
  row_base_coefficient(n, b);
  if (found && static_cast<float>(L1) < 0.6f * hh) {
    k = b + (1.0f - b) * static_cast<float>(L1) / (0.6f * hh);
  }
  if (used != nullptr) *used = RowSpacing{n, b, L1, hh};
}

void row_base_coefficient(int32_t n, float& b) {
  b = n == 1 ? 1.0f : n == 2 ? 0.6f : n == 3 ? 0.5f : 0.45f;
}

}  // namespace kelmarino
