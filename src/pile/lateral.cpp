// Head stiffness of every pile: transfer matrices chained from the head through the free length
// and the embedded length to the bottom, reduced by the support condition at the bottom.
#include <cmath>

#include "pile/pile.hpp"

namespace kelmarino {
namespace {

constexpr float EQUAL_PLANES = 1e-10f;  // factors closer than this give both planes one matrix

void identity(Matrix4& T) {
  T = Matrix4{};
  for (int32_t i = 1; i <= 4; ++i) T(i, i) = 1.0f;
}

void negate_column_4(Matrix4& T) {
  for (int32_t i = 1; i <= 4; ++i) T(i, 4) = -T(i, 4);
}

// The chain of below-ground matrices of one plane: each new segment's matrix on the left.
void chain_below(int32_t n, const float* alpha, const float* EI, const float* Z, Matrix4& T,
                 BelowGroundCache& cache) {
  Matrix4 S, product;
  cache.matrix(alpha[0], EI[0], Z[0], Z[1], T);
  for (int32_t s = 2; s <= n; ++s) {
    cache.matrix(alpha[s - 1], EI[s - 1], Z[s - 1], Z[s], S);
    MATMUL(4, 4, 4, S.data(), T.data(), product.data());
    T = product;
  }
}

// The 2x2 block of C at rows r..r+1 and columns c..c+1.
void block(const Matrix4& C, int32_t r, int32_t c, Matrix2& P) {
  for (int32_t i = 1; i <= 2; ++i) {
    for (int32_t j = 1; j <= 2; ++j) P(i, j) = C(r + i - 1, c + j - 1);
  }
}

}  // namespace

float bending_stiffness(const PileData& piles, int32_t p, float d) {
  float A = 0.0f;
  float I = 0.0f;
  SECPROP(piles.KSH(p), piles.PKE(p), d, A, I);
  return piles.PEH(p) * I;
}

void BLCHAIN(int32_t n, const float* ax, const float* ay, const float* EI, const float* Z,
             Matrix4& Tx, Matrix4& Ty, BelowGroundCache& cache) {
  chain_below(n, ax, EI, Z, Tx, cache);
  bool planes_differ = false;
  for (int32_t s = 0; s < n && !planes_differ; ++s) {
    planes_differ = std::fabs(ay[s] - ax[s]) > EQUAL_PLANES;
  }
  if (planes_differ) {
    chain_below(n, ay, EI, Z, Ty, cache);
  } else {
    Ty = Tx;
  }
}

void FRCHAIN(int32_t n, const float* EI, const float* L, Matrix4& F) {
  Matrix4 S, product;
  FRSEG(EI[0], L[0], F);
  for (int32_t s = 2; s <= n; ++s) {
    FRSEG(EI[s - 1], L[s - 1], S);
    MATMUL(4, 4, 4, S.data(), F.data(), product.data());
    F = product;
  }
}

void JOINREL(Matrix4& T, const Matrix4& F, Matrix4& C) {
  negate_column_4(T);
  MATMUL(4, 4, 4, T.data(), F.data(), C.data());
}

void TIPCOND(int32_t KSU, const Matrix4& C, Matrix2& R) {
  Matrix2 P, Q, inverse;
  if (KSU == 4) {  // bottom held: u = theta = 0 there
    block(C, 1, 3, P);
    block(C, 1, 1, Q);
  } else {  // bottom free: Q = M = 0 there
    block(C, 3, 3, P);
    block(C, 3, 1, Q);
  }
  invert_block(P.data(), 2, inverse.data(),
               "singular head-to-bottom relation (a pile without length held at its bottom)");
  MATMUL(2, 2, 2, inverse.data(), Q.data(), R.data());
  for (int32_t e = 0; e < 4; ++e) R.data()[e] = -R.data()[e];
}

void PILEK(int32_t KSU, const Matrix4& Cx, const Matrix4& Cy, float axial, Matrix6& K) {
  Matrix2 Rx, Ry;
  K = Matrix6{};
  TIPCOND(KSU, Cx, Rx);
  TIPCOND(KSU, Cy, Ry);
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

void LATERAL(int32_t PNUM, const PileReals& AXK, const SegmentReals& BTX, const SegmentReals& BTY,
             PileData& piles, BelowGroundCache& cache) {
  float ax[MAX_SEGMENTS], ay[MAX_SEGMENTS], EI[MAX_SEGMENTS], L[MAX_SEGMENTS];
  float Z[MAX_SEGMENTS + 1];
  Matrix4 Tx, Ty, F, Cx, Cy;
  Matrix6 K;
  for (int32_t p = 1; p <= PNUM; ++p) {
    fault_context().pile = p;
    const int32_t nbl = piles.NBL(p);
    if (nbl == 0) {
      identity(Tx);
      identity(Ty);
    } else {
      Z[0] = 0.0f;
      for (int32_t s = 1; s <= nbl; ++s) {
        ax[s - 1] = BTX(p, s);
        ay[s - 1] = BTY(p, s);
        EI[s - 1] = bending_stiffness(piles, p, piles.DOB(p, s));
        Z[s] = piles.HBL(p, s) + Z[s - 1];
      }
      BLCHAIN(nbl, ax, ay, EI, Z, Tx, Ty, cache);
    }
    const int32_t nfr = piles.NFR(p);
    if (nfr == 0) {
      Cx = Tx;
      Cy = Ty;
      negate_column_4(Cx);
      negate_column_4(Cy);
    } else {
      for (int32_t s = 1; s <= nfr; ++s) {
        EI[s - 1] = bending_stiffness(piles, p, piles.DOF(p, s));
        L[s - 1] = piles.HFR(p, s);
      }
      FRCHAIN(nfr, EI, L, F);
      JOINREL(Tx, F, Cx);
      JOINREL(Ty, F, Cy);
    }
    PILEK(piles.KSU(p), Cx, Cy, AXK(p), K);
    for (int32_t i = 1; i <= 6; ++i) {
      for (int32_t j = 1; j <= 6; ++j) piles.ESP(6 * (p - 1) + i, j) = K(i, j);
    }
  }
  fault_context().pile = 0;
}

}  // namespace kelmarino
