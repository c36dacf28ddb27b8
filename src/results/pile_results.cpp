// The pile results: pile-top forces, and at every station down every pile the values of the
// solution of its two bending planes under its pile-top displacement.
#include "foundation/foundation.hpp"
#include "pile/pile.hpp"
#include "results/results.hpp"

namespace kelmarino {

void pile_top(const Model& model, int32_t g, float (&DU)[6], float (&FT)[6]) {
  Matrix6 B;
  for (int32_t i = 1; i <= 6; ++i) DU[i - 1] = model.run.TOPD(g, i);
  stiffness_block(model.piles, g, B);
  matrix_product(6, 6, 1, B.data(), DU, FT);
}

void compute_stations(const Model& model, int32_t g, const PlaneResponse& x, const PlaneResponse& y,
                      const float (&DU)[6], const float (&FT)[6], StationList& list,
                      std::vector<StationRow>& rows) {
  station_list(model.piles, model.run.ZBL, g, list);
  float top[6][1], forces[6][1], q[QUANTITIES][1];
  for (int32_t i = 0; i < 6; ++i) {
    top[i][0] = DU[i];
    forces[i][0] = FT[i];
  }
  for (int32_t k = 1; k <= list.NSTA; ++k) {
    station_values(x, y, k, list(k), top, forces, q);
    StationRow& row = rows.emplace_back();
    row[Z_COLUMN] = list(k).ZH;
    for (int32_t i = 0; i < QUANTITIES; ++i) row[column_of(StationQuantity(i))] = q[i][0];
  }
}

}  // namespace kelmarino
