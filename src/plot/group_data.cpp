// The check that the post-processing file belongs to the pile group of the data file.
#include "input/input.hpp"
#include "plot/plot.hpp"

namespace kelmarino {

void check_pos_belongs(const GroupData& group, const PosFile& pos, const std::string& data_name,
                       const std::string& pos_name) {
  const std::string refusal = pos_name + " does not belong to " + data_name + ": ";
  const int32_t PNUM = group.model.run.PNUM;
  if (pos.PNUM != PNUM) {
    throw PlotError(refusal + "it holds " + std::to_string(pos.PNUM) + " piles, the data file " +
                    std::to_string(PNUM));
  }
  for (int32_t p = 1; p <= PNUM; ++p) {
    const int64_t NSTA = pile_stations(group.model.piles, p).NSTA;
    const int32_t held = pos.piles[static_cast<size_t>(p - 1)].NSTA;
    if (held != NSTA) {
      throw PlotError(refusal + "pile " + std::to_string(p) + " has " + std::to_string(held) +
                      " stations in it, " + std::to_string(NSTA) +
                      " by the segments and steps of the data file");
    }
  }
}

}  // namespace kelmarino
