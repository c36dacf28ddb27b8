#pragma once
// The pile-group data model: all storage of one run, with fixed capacities.
// Arrays are indexed from 1 and stored column by column, so that a (6,6) table such as KCAP is
// at the same time a column-major matrix for the matrix kernels.
#include <cstdint>

#include "model/run_error.hpp"

namespace kelmarino {

inline constexpr int32_t MAX_PILES = 200;       // PNUM
inline constexpr int32_t MAX_SIMULATED = 20;    // SNUM
inline constexpr int32_t MAX_BLOCKS = 200;      // PNUM + SNUM: the six-row blocks of ESP
inline constexpr int32_t MAX_SEGMENTS = 15;     // NFR, NBL
inline constexpr int32_t MAX_LOAD_POINTS = 10;  // NACT
inline constexpr int32_t MAX_KEY_LINES = 100;   // NKEY
inline constexpr int32_t MAX_STATIONS = 200;    // NSTA

// A one-index array of fixed capacity N, indexed 1..N.
template <typename T, int32_t N>
struct Vec {
  T v[N]{};
  T& operator()(int32_t i) {
    check_index(i, N);
    return v[i - 1];
  }
  const T& operator()(int32_t i) const {
    check_index(i, N);
    return v[i - 1];
  }
  T* data() { return v; }
  const T* data() const { return v; }
};

// A two-index array of fixed capacity (R, C), indexed (1..R, 1..C), stored column by column.
template <typename T, int32_t R, int32_t C>
struct Table {
  T v[R * C]{};
  T& operator()(int32_t i, int32_t j) {
    check_index(i, R);
    check_index(j, C);
    return v[(j - 1) * R + (i - 1)];
  }
  const T& operator()(int32_t i, int32_t j) const {
    check_index(i, R);
    check_index(j, C);
    return v[(j - 1) * R + (i - 1)];
  }
  T* data() { return v; }
  const T* data() const { return v; }
};

using PileReals = Vec<float, MAX_PILES>;
using PileInts = Vec<int32_t, MAX_PILES>;
using SegmentReals = Table<float, MAX_PILES, MAX_SEGMENTS>;
using SegmentInts = Table<int32_t, MAX_PILES, MAX_SEGMENTS>;

// Run values, owned by the run driver and handed to the stages.
struct RunValues {
  int32_t JCTR = 0;     // run control: 1 loads and full run, 2 foundation stiffness, 3 one pile
  int32_t INO = 0;      // pile whose stiffness is printed when JCTR = 3
  int32_t PNUM = 0;     // number of piles
  int32_t SNUM = 0;     // number of simulated piles
  Vec<float, 6> FORCE;  // load at the cap centre, later the cap displacements
  PileReals ZFR;        // above-ground length of each pile (m)
  PileReals ZBL;        // below-ground length of each pile (m)
  SegmentReals BTX;     // deformation factor per below-ground segment, x direction (1/m)
  SegmentReals BTY;     // the same, y direction
  PileReals ABOT;       // bearing area at the pile bottom (m2)
  PileReals AXK;        // axial stiffness (t/m)
  Table<float, MAX_PILES, 6> TOPD;  // pile-top displacements in pile axes
  Table<float, 6, 6> KCAP;          // stiffness of the whole foundation at the cap centre
};

// Shared pile data: the arrangement, the properties of every pile segment by segment, and the
// pile stiffness table.
struct PileData {
  Table<float, MAX_PILES, 2> PXY;       // x, y of each pile top (m)
  PileInts PTYPE;                       // type number of each pile
  Table<float, MAX_SIMULATED, 2> SXY;   // x, y of each simulated pile (m)
  Vec<int32_t, MAX_SIMULATED> STYPE;    // type number of each simulated pile
  PileInts KSH;                         // section shape: 0 circular, other square
  PileInts KSU;                         // bottom support code
  Table<float, MAX_PILES, 3> AGL;       // direction of the pile axis (x, y, z components)
  PileInts NFR;                         // number of above-ground segments
  SegmentReals HFR;                     // above-ground segment lengths (m)
  SegmentReals DOF;                     // above-ground segment diameters (m)
  SegmentInts NSF;                      // above-ground steps per segment for the results
  PileInts NBL;                         // number of below-ground segments
  SegmentReals HBL;                     // below-ground segment lengths (m)
  SegmentReals DOB;                     // below-ground segment diameters (m)
  SegmentReals PMT;                     // horizontal soil coefficient (t/m4)
  SegmentReals PFI;                     // soil friction angle (degrees)
  SegmentInts NSG;                      // below-ground steps per segment for the results
  PileReals PMB;                        // soil coefficient at the pile bottom
  PileReals PEH;                        // elastic modulus of the pile (t/m2)
  PileReals PKE;                        // reduction factor of the second moment of area
  Table<float, 6 * MAX_BLOCKS, 6> ESP;  // six stiffness rows per pile, then per simulated pile
};

// The one instance of a run, zero-filled when it is created.
struct Model {
  RunValues run;
  PileData piles;
};

}  // namespace kelmarino
