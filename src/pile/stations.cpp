// The stations of a pile: the pile top, the end of every step of every segment, the ground line
// among them, with what their values take besides the load.
#include "pile/pile.hpp"

namespace kelmarino {

void station_list(const PileData& piles, const PileReals& ZBL, int32_t g, StationList& list) {
  int32_t k = 1;
  list.at[0] = Station{};
  for (int32_t s = 1; s <= piles.NFR(g); ++s) {
    const float h = piles.HFR(g, s) / static_cast<float>(piles.NSF(g, s));
    for (int32_t step = 1; step <= piles.NSF(g, s); ++step) {
      ++k;
      list.at[k - 1] = Station{};
      list.at[k - 1].ZH = list(k - 1).ZH + h;
    }
  }
  list.KG = k;
  const float ZG = list(k).ZH;
  const bool parabola = piles.KSU(g) < 3;
  for (int32_t s = 1; s <= piles.NBL(g); ++s) {
    const float h = piles.HBL(g, s) / static_cast<float>(piles.NSG(g, s));
    for (int32_t step = 1; step <= piles.NSG(g, s); ++step) {
      const float z1 = list(k).ZH - ZG;
      const float z2 = z1 + h;
      ++k;
      Station& station = list.at[k - 1];
      station = Station{};
      station.ZH = list(k - 1).ZH + h;
      station.below = true;
      station.PMT = piles.PMT(g, s);
      station.z2 = z2;
      station.parabola = parabola;
      if (parabola) station.fraction = 1.0f - z2 * z2 / (ZBL(g) * ZBL(g));
    }
  }
  list.NSTA = k;
}

}  // namespace kelmarino
