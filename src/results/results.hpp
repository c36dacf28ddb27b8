#pragma once
// The pile results and their writers: the station tables down every pile, the report banner, the
// report lines of the foundation analysis and of every pile, and the post-processing file.
#include <cstdint>

#include "layout/layout.hpp"
#include "model/model.hpp"
#include "pile/pile.hpp"

namespace kelmarino {

// The station tables of one pile: station 1 is the pile top, KG the ground line, NSTA the tip.
struct StationTables {
  float DU[6];                        // pile-top displacements (UX, UY, UZ, SX, SY, SZ)
  float FT[6];                        // pile-top forces (NX, NY, NZ, MX, MY, MZ)
  Vec<float, MAX_STATIONS> ZH;        // distance of the station from the pile top (m)
  Table<float, MAX_STATIONS, 4> STX;  // UX, SY, NX, MY
  Table<float, MAX_STATIONS, 4> STY;  // UY, SX, NY, MX
  Vec<float, MAX_STATIONS> FNZ;       // axial force NZ
  Vec<float, MAX_STATIONS> PSX;       // soil compression stress, x direction (t/m2)
  Vec<float, MAX_STATIONS> PSY;       // the same, y direction
  int32_t KG = 0;                     // station at the ground line
  int32_t NSTA = 0;                   // number of stations
  StationList stations;               // what the station values take besides the load
};

// pile_top: the pile-top displacement DU of pile g and its forces FT from its head stiffness.
void pile_top(int32_t g, const Table<float, MAX_PILES, 6>& TOPD, const PileData& piles,
              StationTables& st);

// The station tables of pile g: pile-top forces from its head stiffness, then the values of the
// solution of both bending planes at every station.
void compute_stations(int32_t g, const SegmentReals& BTX, const SegmentReals& BTY,
                      const PileReals& ZBL, const Table<float, MAX_PILES, 6>& TOPD,
                      const PileData& piles, ResponseCache& cache, StationTables& st);

// write_banner: the banner at the head of the report.
void write_banner(OutChannel& report);

// Report lines of the foundation analysis.
void write_pile_stiffness(OutChannel& report, int32_t INO, const PileData& piles);
void write_foundation_stiffness(OutChannel& report, const Table<float, 6, 6>& KCAP);
void write_cap_displacements(OutChannel& report, const Vec<float, 6>& U);

// The report section and the post-processing records of pile g.
void write_pile_section(OutChannel& report, int32_t g, const PileData& piles,
                        const StationTables& st);
void write_pos_header(OutChannel& pos, int32_t PNUM, const PileData& piles);
void write_pos_records(OutChannel& pos, int32_t g, const PileData& piles, const StationTables& st);

}  // namespace kelmarino
