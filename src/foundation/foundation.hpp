#pragma once
// Foundation analysis: the cap and pile frames, the assembly of the foundation stiffness at the
// cap centre, the solve for the cap displacements and the pile-top displacements.
//
// Frames: cap axes X, Y, Z with the origin at the cap centre, Z down a vertical pile; pile axes
// with local z along the pile from head to tip. Six-vectors are (UX, UY, UZ, SX, SY, SZ) and
// (NX, NY, NZ, MX, MY, MZ).
#include <cstdint>
#include <span>
#include <vector>

#include "model/model.hpp"
#include "numeric/numeric.hpp"

namespace kelmarino {

// axis_rotation: T turns pile axes into cap axes for a pile of direction (a, b, c); its 3x3
// block, repeated for the rotations, has the local x, y, z axes as columns.
void axis_rotation(float a, float b, float c, Matrix6& T);

// offset_matrix: D maps the cap-centre displacements to those of the cap point (x, y, 0);
// its transpose moves a force at that point to the cap centre.
void offset_matrix(float x, float y, Matrix6& D);

// The stiffness block of pile (or simulated pile) g: rows 6(g-1)+1..6g of ESP.
void stiffness_block(const PileData& piles, int32_t g, Matrix6& B);

// assemble_kcap: KCAP = sum over piles of D'.(T.B.T').D and over simulated piles of D'.B.D.
void assemble_kcap(int32_t PNUM, int32_t SNUM, const PileData& piles, Table<float, 6, 6>& KCAP);

// gauss_solve: solves A.x = b in place (b becomes x, A is destroyed), without row exchanges.
void gauss_solve(int32_t n, float* A, float* b);

// solve_cap_displacements: the cap displacements U of KCAP.U = FORCE, into FORCE (KCAP is
// destroyed); a zero pivot is a fault of the stage "solution of the cap displacements".
void solve_cap_displacements(Table<float, 6, 6>& KCAP, Vec<float, 6>& FORCE);

// top_displacements: TOPD(g) = T'.D.U for every pile, with U the cap displacements.
void top_displacements(int32_t PNUM, const PileData& piles, const Vec<float, 6>& U,
                       Table<float, MAX_PILES, 6>& TOPD);

// support_reaction: the force on simulated pile j under the cap displacements U, in cap axes at
// its position: R = B.(D.U), as the force FT = K.DU on a pile head is the force on the pile.
void support_reaction(int32_t PNUM, const PileData& piles, int32_t j, const Vec<float, 6>& U,
                      float (&R)[6]);

// Where a pile head or a support stands on the cap, and the rotation of its axes into cap axes
// (the 3x3 block of axis_rotation for a pile, the unit matrix for a support).
struct CapPoint {
  float x = 0.0f, y = 0.0f;
  float R[3][3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
};

// cap_points: the PNUM pile heads, then the SNUM supports.
std::vector<CapPoint> cap_points(int32_t PNUM, int32_t SNUM, const PileData& piles);

// The equilibrium of the cap at its centre, in cap axes: the applied resultant FORCE, the sum of
// the forces on the pile heads and the supports moved there, and the residual: the largest
// difference of a component over the largest applied component (the difference itself when no
// load is applied).
struct Equilibrium {
  float applied[6] = {};
  float resisted[6] = {};
  float residual = 0.0f;
};

// A residual above it is worth a warning.
inline constexpr float EQUILIBRIUM_TOLERANCE = 1e-4f;

// cap_equilibrium: the equilibrium of the forces on the points (forces[i], six values in the axes
// of points[i]) against `applied`; the sums in double precision, rounded once.
Equilibrium cap_equilibrium(std::span<const CapPoint> points, std::span<const float* const> forces,
                            const float (&applied)[6]);

}  // namespace kelmarino
