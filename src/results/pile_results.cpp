// The pile results: pile-top forces, and at every station down every pile the values of the
// solution of its two bending planes under its pile-top displacement.
#include "foundation/foundation.hpp"
#include "pile/pile.hpp"
#include "results/results.hpp"

namespace kelmarino {

void pile_top(int32_t g, const Table<float, MAX_PILES, 6>& TOPD, const PileData& piles,
              StationTables& st) {
  Matrix6 B;
  for (int32_t i = 1; i <= 6; ++i) st.DU[i - 1] = TOPD(g, i);
  stiffness_block(piles, g, B);
  matrix_product(6, 6, 1, B.data(), st.DU, st.FT);
}

void compute_stations(int32_t g, const SegmentReals& BTX, const SegmentReals& BTY,
                      const PileReals& ZBL, const Table<float, MAX_PILES, 6>& TOPD,
                      const PileData& piles, ResponseCache& cache, StationTables& st) {
  pile_top(g, TOPD, piles, st);
  const PlaneResponse& x = cache.plane(piles, BTX, g);
  const PlaneResponse& y = cache.plane(piles, y_factors(BTX, BTY, piles, g), g);
  station_list(piles, ZBL, g, st.stations);
  st.KG = st.stations.KG;
  st.NSTA = st.stations.NSTA;
  float DU[6][1], FT[6][1], q[QUANTITIES][1];
  for (int32_t i = 0; i < 6; ++i) {
    DU[i][0] = st.DU[i];
    FT[i][0] = st.FT[i];
  }
  for (int32_t k = 1; k <= st.NSTA; ++k) {
    station_values(x, y, k, st.stations(k), DU, FT, q);
    st.ZH(k) = st.stations(k).ZH;
    const int32_t xs[4] = {UX, SY, NX, MY};
    const int32_t ys[4] = {UY, SX, NY, MX};
    for (int32_t i = 1; i <= 4; ++i) {
      st.STX(k, i) = q[xs[i - 1]][0];
      st.STY(k, i) = q[ys[i - 1]][0];
    }
    st.FNZ(k) = q[NZ][0];
    st.PSX(k) = q[PSX][0];
    st.PSY(k) = q[PSY][0];
  }
}

}  // namespace kelmarino
