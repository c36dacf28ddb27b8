// The foundation analysis stage: stiffness prints of the shortened runs, or the cap displacements
// and the pile-top displacements of a full run.
#include "foundation/foundation.hpp"
#include "results/results.hpp"

namespace kelmarino {

void CAP_ANALYSIS(OutChannel& report, int32_t JCTR, int32_t INO, int32_t PNUM, int32_t SNUM,
                  Vec<float, 6>& FORCE, Table<float, MAX_PILES, 6>& TOPD, Table<float, 6, 6>& KCAP,
                  const PileData& piles) {
  if (JCTR == 3) {
    write_pile_stiffness(report, INO, piles);
    throw RunStop{0};
  }
  assemble_kcap(PNUM, SNUM, piles, KCAP);
  if (JCTR == 2) {
    write_foundation_stiffness(report, KCAP);
    throw RunStop{0};
  }
  solve_cap_displacements(KCAP, FORCE);
  write_cap_displacements(report, FORCE);
  top_displacements(PNUM, piles, FORCE, TOPD);
}

}  // namespace kelmarino
