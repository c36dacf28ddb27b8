#pragma once
// The pile results and their writers: the station values down every pile, the report banner, the
// report lines of the foundation analysis and of every pile, and the post-processing file.
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "layout/layout.hpp"
#include "model/model.hpp"
#include "pile/pile.hpp"

namespace kelmarino {

// A station row: Z, the distance of the station from the pile top (m), then the quantities in
// StationQuantity order.
using StationRow = std::array<float, 1 + QUANTITIES>;

// The columns of a station row.
inline constexpr size_t Z_COLUMN = 0;
constexpr size_t column_of(StationQuantity q) { return 1 + static_cast<size_t>(q); }

// pile_top: the pile-top displacements DU of pile g and its forces FT from its head stiffness.
void pile_top(const Model& model, int32_t g, float (&DU)[6], float (&FT)[6]);

// compute_stations: the stations of pile g into `list`, and the rows of their values under the
// pile-top displacements DU and forces FT appended to `rows`, station 1 the pile top, from the
// responses x and y of its planes.
void compute_stations(const Model& model, int32_t g, const PlaneResponse& x, const PlaneResponse& y,
                      const float (&DU)[6], const float (&FT)[6], StationList& list,
                      std::vector<StationRow>& rows);

// write_banner: the banner at the head of the report.
void write_banner(OutChannel& report);

// Report lines of the foundation analysis.
void write_pile_stiffness(OutChannel& report, int32_t INO, const PileData& piles);
void write_foundation_stiffness(OutChannel& report, const Table<float, 6, 6>& KCAP);
void write_cap_displacements(OutChannel& report, const Vec<float, 6>& U);

// The report section of pile g from its top (DU, FT), its ground-line station KG and its station
// rows; the post-processing file's header, and its records of pile g.
void write_pile_section(OutChannel& report, int32_t g, const PileData& piles, const float (&DU)[6],
                        const float (&FT)[6], int32_t KG, std::span<const StationRow> rows);
void write_pos_header(OutChannel& pos, int32_t PNUM, const PileData& piles);
void write_pos_records(OutChannel& pos, int32_t g, const PileData& piles,
                       std::span<const StationRow> rows);

}  // namespace kelmarino
