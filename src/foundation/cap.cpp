// The foundation stiffness at the cap centre, its solution and the pile-top displacements.
#include "foundation/foundation.hpp"

namespace kelmarino {

void stiffness_block(const PileData& piles, int32_t g, Matrix6& B) {
  for (int32_t i = 1; i <= 6; ++i) {
    for (int32_t j = 1; j <= 6; ++j) B(i, j) = piles.ESP(6 * (g - 1) + i, j);
  }
}

void assemble_kcap(int32_t PNUM, int32_t SNUM, const PileData& piles, Table<float, 6, 6>& KCAP) {
  KCAP = Table<float, 6, 6>{};
  Matrix6 B, C, T, Tt, D, Dt;
  for (int32_t g = 1; g <= PNUM + SNUM; ++g) {
    at_pile(g <= PNUM ? g : 0);
    stiffness_block(piles, g, B);
    float x = 0.0f;
    float y = 0.0f;
    if (g <= PNUM) {
      axis_rotation(piles.AGL(g, 1), piles.AGL(g, 2), piles.AGL(g, 3), T);
      transpose(6, 6, T.data(), Tt.data());
      matrix_product(6, 6, 6, T.data(), B.data(), C.data());
      matrix_product(6, 6, 6, C.data(), Tt.data(), B.data());
      x = piles.PXY(g, 1);
      y = piles.PXY(g, 2);
    } else {
      x = piles.SXY(g - PNUM, 1);
      y = piles.SXY(g - PNUM, 2);
    }
    offset_matrix(x, y, D);
    transpose(6, 6, D.data(), Dt.data());
    matrix_product(6, 6, 6, B.data(), D.data(), C.data());
    matrix_product(6, 6, 6, Dt.data(), C.data(), B.data());
    for (int32_t i = 1; i <= 6; ++i) {
      for (int32_t j = 1; j <= 6; ++j) KCAP(i, j) = KCAP(i, j) + B(i, j);
    }
  }
  at_pile(0);
}

void solve_cap_displacements(Table<float, 6, 6>& KCAP, Vec<float, 6>& FORCE) {
  // A zero pivot here means the piles leave a cap displacement unrestrained.
  at_stage("solution of the cap displacements");
  fault_context().pivot_cause = "are all six restrained?";
  gauss_solve(6, KCAP.data(), FORCE.data());
  at_stage("foundation analysis");
}

void gauss_solve(int32_t n, float* A, float* b) {
  auto a = [&](int32_t i, int32_t j) -> float& { return A[(j - 1) * n + (i - 1)]; };
  for (int32_t c = 1; c <= n; ++c) {
    const float p = a(c, c);
    // A zero pivot divided by itself is an invalid operation, found before the divisions of the
    // rest of its row by it.
    a(c, c) = a(c, c) / p;
    check_faults();
    for (int32_t j = c + 1; j <= n; ++j) a(c, j) = a(c, j) / p;
    b[c - 1] = b[c - 1] / p;
    for (int32_t i = c + 1; i <= n; ++i) {
      const float f = a(i, c);
      for (int32_t j = c + 1; j <= n; ++j) a(i, j) = a(i, j) - a(c, j) * f;
      b[i - 1] = b[i - 1] - b[c - 1] * f;
    }
  }
  for (int32_t i = n - 1; i >= 1; --i) {
    float s = 0.0f;
    for (int32_t j = i + 1; j <= n; ++j) s = s + a(i, j) * b[j - 1];
    b[i - 1] = b[i - 1] - s;
  }
}

void support_reaction(int32_t PNUM, const PileData& piles, int32_t j, const Vec<float, 6>& U,
                      float (&R)[6]) {
  Matrix6 D, B;
  float v[6];
  offset_matrix(piles.SXY(j, 1), piles.SXY(j, 2), D);
  matrix_product(6, 6, 1, D.data(), U.data(), v);
  stiffness_block(piles, PNUM + j, B);
  matrix_product(6, 6, 1, B.data(), v, R);
}

void top_displacements(int32_t PNUM, const PileData& piles, const Vec<float, 6>& U,
                       Table<float, MAX_PILES, 6>& TOPD) {
  Matrix6 D, T, Tt;
  float v[6];
  float w[6];
  for (int32_t g = 1; g <= PNUM; ++g) {
    at_pile(g);
    offset_matrix(piles.PXY(g, 1), piles.PXY(g, 2), D);
    matrix_product(6, 6, 1, D.data(), U.data(), v);
    axis_rotation(piles.AGL(g, 1), piles.AGL(g, 2), piles.AGL(g, 3), T);
    transpose(6, 6, T.data(), Tt.data());
    matrix_product(6, 6, 1, Tt.data(), v, w);
    for (int32_t k = 1; k <= 6; ++k) TOPD(g, k) = w[k - 1];
  }
  at_pile(0);
}

}  // namespace kelmarino
