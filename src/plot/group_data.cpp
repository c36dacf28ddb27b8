// The check that the post-processing file belongs to the pile group of the data file.
#include "input/input.hpp"
#include "pile/pile.hpp"
#include "plot/plot.hpp"

namespace kelmarino {

void check_pos_belongs(const GroupData& group, const PosFile& pos, const std::string& data_name,
                       const std::string& pos_name) {
  const std::string refusal = pos_name + " does not belong to " + data_name + ": ";
  const int32_t PNUM = group.model.run.PNUM;
  const PileData& piles = group.model.piles;
  if (pos.PNUM != PNUM) {
    throw PlotError(refusal + "it holds " + std::to_string(pos.PNUM) + " piles, the data file " +
                    std::to_string(PNUM));
  }
  // The values the post-processing file repeats of the data file, compared as it prints them.
  auto differs = [&](float held, float by_data, const std::string& what) {
    if (printed(held) == printed(by_data)) return;
    throw PlotError(refusal + what + " is " + printed(held) + " in it, " + printed(by_data) +
                    " by the data file");
  };
  const char* const AXES[2] = {"x", "y"};
  for (int32_t p = 1; p <= PNUM; ++p) {
    for (int32_t i = 0; i < 2; ++i) {
      differs(pos.PXY[static_cast<size_t>(2 * (p - 1) + i)], piles.PXY(p, i + 1),
              std::string(AXES[i]) + " of the top of pile " + std::to_string(p) + " in its header");
    }
  }
  const auto stations = std::make_unique<StationList>();
  for (int32_t p = 1; p <= PNUM; ++p) {
    const PosPile& held = pos.piles[static_cast<size_t>(p - 1)];
    const int64_t NSTA = pile_stations(piles, p).NSTA;
    if (held.NSTA != NSTA) {
      throw PlotError(refusal + "pile " + std::to_string(p) + " has " + std::to_string(held.NSTA) +
                      " stations in it, " + std::to_string(NSTA) +
                      " by the segments and steps of the data file");
    }
    const std::string of_pile = " of pile " + std::to_string(p);
    differs(held.x, piles.PXY(p, 1), "x of the top" + of_pile);
    differs(held.y, piles.PXY(p, 2), "y of the top" + of_pile);
    station_list(piles, group.model.run.ZBL, p, *stations);
    for (int32_t k = 1; k <= held.NSTA; ++k) {
      differs(held.ZH[static_cast<size_t>(k - 1)], (*stations)(k).ZH,
              "the depth Z of station " + std::to_string(k) + of_pile);
    }
  }
}

}  // namespace kelmarino
