#pragma once
// Single-pile analysis: deformation factors in the soil, bottom area and axial stiffness,
// transfer matrices of pile segments (the m method), and the 6x6 head stiffness of every pile.
//
// Bending state of one plane: (u, theta, Q, M). Planes: x-z carries (UX, SY, NX, MY), y-z
// carries (UY, -SX, NY, -MX). The below-ground matrices take M with the opposite sign.
#include <cstdint>
#include <memory>

#include "model/model.hpp"
#include "numeric/numeric.hpp"

namespace kelmarino {

// Capacity of the work lists of the interaction procedures: the full pile count.
inline constexpr int32_t MAX_LIST = MAX_PILES;

// ---- Deformation factors ----

// BTXY: deformation factors BTX, BTY of every below-ground segment, (m.b/EI)^0.2, with the
// calculation width b = (d + 1.0).k.kf and the interaction coefficients k of the group.
void BTXY(int32_t PNUM, const PileReals& ZFR, const PileReals& ZBL, SegmentReals& BTX,
          SegmentReals& BTY, const PileData& piles);

// The ground-line points of the piles: column 1 gx, column 2 gy.
using GroundPoints = Table<float, MAX_PILES, 2>;

// KINF1: interaction coefficient in direction dir (1 = x, 2 = y) from the distinct positions of
// the group along that direction.
void KINF1(int32_t dir, int32_t PNUM, const float* d, const float* h, const GroundPoints& G,
           float& k);

// KINF2: the smallest interaction coefficient of the rows parallel to direction dir.
void KINF2(int32_t dir, int32_t PNUM, const float* d, const float* h, const GroundPoints& G,
           float& k);

// KINF3: interaction coefficient of one row of n piles at positions c, diameters d and
// below-ground lengths h (arrays of n entries).
void KINF3(int32_t n, const float* c, const float* d, const float* h, float& k);

// KBASE: base coefficient of a row of n piles.
void KBASE(int32_t n, float& b);

// ---- Axial stiffness ----

// BOTAREA: bearing area at the bottom of every pile, spread through the soil for KSU <= 2,
// limited by the distance to the nearest other bottom.
void BOTAREA(int32_t PNUM, const PileReals& ZFR, const PileReals& ZBL, PileReals& ABOT,
             const PileData& piles);

// AXIAL: axial stiffness of every pile; a pile of an earlier pile's type and bottom area takes
// that pile's stiffness.
void AXIAL(int32_t PNUM, const PileReals& ZFR, const PileReals& ZBL, const PileReals& ABOT,
           PileReals& AXK, const PileData& piles);

// AXK1: axial stiffness K of pile p, from its below-ground length h and bottom area A0.
void AXK1(int32_t p, float h, float A0, float& K, const PileData& piles);

// ---- Segment transfer relations ----

// FRSEG: transfer matrix of a free length h of pile of bending stiffness EI.
void FRSEG(float EI, float h, Matrix4& T);

// BLSEG: transfer matrix of a length of pile in m-method soil of deformation factor alpha, from
// depth z1 to depth z2 below the ground line; M with the below-ground sign. Formed in double
// precision and rounded to single precision once, entry by entry.
void BLSEG(float alpha, float EI, float z1, float z2, Matrix4& T);

// MCOEF: the matrix of the coefficient functions at depth z, reduced depth capped at 6.
void MCOEF(float alpha, float z, Matrix4& T);

// MSER12, MSER34: the sixteen coefficient functions of the reduced depth zb as truncated series.
void MSER12(float zb, float& A1, float& B1, float& C1, float& D1, float& A2, float& B2, float& C2,
            float& D2);
void MSER34(float zb, float& A3, float& B3, float& C3, float& D3, float& A4, float& B4, float& C4,
            float& D4);

// The below-ground matrices already formed in a run, owned by the run. A matrix depends on its
// four arguments alone, so piles of one type, whose steps have bit-identical arguments, share
// their matrices; the arguments are compared bit for bit, so a kept matrix is exactly the one
// BLSEG would form.
class BelowGroundCache {
 public:
  BelowGroundCache();
  // T = BLSEG(alpha, EI, z1, z2): the kept matrix, or a new one, formed and kept.
  void matrix(float alpha, float EI, float z1, float z2, Matrix4& T);

 private:
  static constexpr uint32_t SIZE = 8192;
  struct Entry {
    bool used = false;
    uint32_t key[4] = {};
    Matrix4 T;
  };
  std::unique_ptr<Entry[]> entries_;
};

// ---- Lateral stiffness ----

// LATERAL: the 6x6 head stiffness of every pile, in its own axes, into its six rows of ESP.
void LATERAL(int32_t PNUM, const PileReals& AXK, const SegmentReals& BTX, const SegmentReals& BTY,
             PileData& piles, BelowGroundCache& cache);

// BLCHAIN: below-ground transfer matrices of both planes, ground line to bottom, over n segments
// with factors ax, ay, stiffnesses EI and segment-top depths Z (n+1 entries, Z[0] = 0).
void BLCHAIN(int32_t n, const float* ax, const float* ay, const float* EI, const float* Z,
             Matrix4& Tx, Matrix4& Ty, BelowGroundCache& cache);

// FRCHAIN: above-ground transfer matrix, head to ground line, over n segments.
void FRCHAIN(int32_t n, const float* EI, const float* L, Matrix4& F);

// JOINREL: negates column 4 of T (the moment changes sign at the ground line), then C = T.F.
void JOINREL(Matrix4& T, const Matrix4& F, Matrix4& C);

// TIPCOND: 2x2 head stiffness R from the head-to-bottom matrix C: a bottom held against
// displacement and rotation for KSU = 4, a free bottom (no shear, no moment) otherwise.
void TIPCOND(int32_t KSU, const Matrix4& C, Matrix2& R);

// PILEK: the 6x6 head stiffness from the matrices of both planes and the axial stiffness; the
// torsional stiffness is a tenth of the two rotational ones.
void PILEK(int32_t KSU, const Matrix4& Cx, const Matrix4& Cy, float axial, Matrix6& K);

// Bending stiffness PEH.I of a segment of diameter d of pile p.
float bending_stiffness(const PileData& piles, int32_t p, float d);

}  // namespace kelmarino
