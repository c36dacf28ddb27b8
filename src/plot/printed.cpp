// The result as the report and the post-processing file print it, and a stored post-processing
// file compared with it.
#include "plot/plot.hpp"

namespace kelmarino {

Result printed_result(const Result& result) {
  Result printed = result;
  for (float& v : printed.cap) v = as_printed(v);
  for (PileResult& pile : printed.piles) {
    for (float& v : pile.DU) v = as_printed(v);
    for (float& v : pile.FT) v = as_printed(v);
  }
  for (StationRow& row : printed.stations) {
    for (float& v : row) v = as_printed(v);
  }
  for (StationResultant& r : printed.resultants) {
    r.V = as_printed(r.V);
    r.M = as_printed(r.M);
  }
  return printed;
}

std::optional<std::string> pos_difference(const PosFile& pos, const Group& group,
                                          const Result& result) {
  const PileData& piles = group.model->piles;
  const auto PNUM = static_cast<int32_t>(result.piles.size());
  if (pos.PNUM != PNUM) {
    return "it holds " + std::to_string(pos.PNUM) + " piles, the analysis " + std::to_string(PNUM);
  }
  // Compared as printed: both sides are the single-precision values of four printed digits, in
  // the units of the file (t and m) whatever the units of the pages.
  std::optional<std::string> difference;
  auto differs = [&difference](float held, float by_analysis, std::string_view unit,
                               const auto& what) {
    if (difference || printed(held) == printed(by_analysis)) return;
    std::string in(1, ' ');
    in.append(unit);
    difference = what() + " is " + printed(held) + in + " in it, " + printed(by_analysis) + in +
                 " by the analysis";
  };
  const char* const AXES[2] = {"x", "y"};
  for (int32_t p = 1; p <= PNUM; ++p) {
    for (int32_t i = 0; i < 2; ++i) {
      differs(pos.PXY[static_cast<size_t>(2 * (p - 1) + i)], as_printed(piles.PXY(p, i + 1)), "m",
              [&] {
                return std::string(AXES[i]) + " of the top of pile " + std::to_string(p) +
                       " in its header";
              });
    }
  }
  for (int32_t p = 1; p <= PNUM && !difference; ++p) {
    const PosPile& held = pos.piles[static_cast<size_t>(p - 1)];
    const std::span<const StationRow> stations =
        result.stations_of(result.piles[static_cast<size_t>(p - 1)]);
    const std::string of_pile = " of pile " + std::to_string(p);
    if (held.NSTA != static_cast<int32_t>(stations.size())) {
      return "pile " + std::to_string(p) + " has " + std::to_string(held.NSTA) +
             " stations in it, " + std::to_string(stations.size()) + " by the analysis";
    }
    differs(held.x, as_printed(piles.PXY(p, 1)), "m", [&] { return "x of the top" + of_pile; });
    differs(held.y, as_printed(piles.PXY(p, 2)), "m", [&] { return "y of the top" + of_pile; });
    for (size_t k = 0; k < stations.size(); ++k) {
      const std::string at = " of station " + std::to_string(k + 1) + of_pile;
      differs(held.ZH[k], stations[k][Z_COLUMN], "m", [&] { return "the depth Z" + at; });
      for (int32_t q = 0; q < QUANTITIES; ++q) {
        const auto quantity = static_cast<StationQuantity>(q);
        differs(held.of(quantity)[k], value_of(stations[k], quantity), QUANTITY_WORDS[q].unit,
                [&] { return QUANTITY_WORDS[q].name + at; });
      }
    }
  }
  return difference;
}

}  // namespace kelmarino
