// Report lines of the foundation analysis, the report section of every pile and the records of
// the post-processing file.
#include <algorithm>
#include <vector>

#include "foundation/foundation.hpp"
#include "results/results.hpp"

namespace kelmarino {
namespace {

// Items of one long write, reserved for their count: no item is made before it is added.
struct ItemList {
  explicit ItemList(size_t count) { items.reserve(count); }
  void add(float value) { items.emplace_back(value); }
  std::span<const Item> span() const { return items; }
  std::vector<Item> items;
};

void write_matrix_rows(OutChannel& report, const Matrix6& M) {
  ItemList list(36);
  for (int32_t i = 1; i <= 6; ++i) {
    for (int32_t j = 1; j <= 6; ++j) list.add(M(i, j));
  }
  write(report, "(6E12.4)", list.span());
}

// Layout strings are kept whole, as they print.
// clang-format off
const char* const ASTERISK_LINE = "(7X,'**************************************************************************************')";
const char* const PERCENT_LINE = "(7X,'%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%')";

// clang-format on

// The values of the columns of every row, row by row.
void add_columns(ItemList& list, std::span<const StationRow> rows,
                 std::initializer_list<size_t> columns) {
  for (const StationRow& row : rows) {
    for (const size_t c : columns) list.add(row[c]);
  }
}

void write_displacement_table(OutChannel& report, int32_t KG, std::span<const StationRow> rows) {
  write(report, "(/,/,15X,'Z',12X,'UX',12X,'UY',12X,'SX',12X,'SY',12X,'PSX',12X,'PSY')");
  write(report, "(14X,'(m)',11X,'(m)',11X,'(m)',10X,'(rad)',9X,'(rad)',9X,'(t/m2)',9X,'(t/m2)',/)");
  const size_t above_count = std::min(static_cast<size_t>(KG - 1), rows.size());
  ItemList above(5 * above_count);
  add_columns(above, rows.first(above_count),
              {Z_COLUMN, column_of(UX), column_of(UY), column_of(SX), column_of(SY)});
  write(report, "(7X,5E14.4)", above.span());
  ItemList below(7 * (rows.size() - above_count));
  add_columns(below, rows.subspan(above_count),
              {Z_COLUMN, column_of(UX), column_of(UY), column_of(SX), column_of(SY), column_of(PSX),
               column_of(PSY)});
  write(report, "(7X,7E14.4)", below.span());
}

void write_force_table(OutChannel& report, std::span<const StationRow> rows) {
  write(report, "(/,/,18X,'Z',14X,'NX',14X,'NY',14X,'NZ',14X,'MX',14X,'MY')");
  write(report, "(17X,'(m)',12X,'(t)',13X,'(t)',13X,'(t)',12X,'(t*m)',11X,'(t*m)',/)");
  ItemList list(6 * rows.size());
  add_columns(
      list, rows,
      {Z_COLUMN, column_of(NX), column_of(NY), column_of(NZ), column_of(MX), column_of(MY)});
  write(report, "(7X,6E16.4)", list.span());
}

// A post-processing group: the values of the columns of every station, station by station.
void write_station_columns(OutChannel& pos, std::span<const StationRow> rows,
                           std::initializer_list<size_t> columns) {
  ItemList list(columns.size() * rows.size());
  add_columns(list, rows, columns);
  write(pos, "(6e14.4)", list.span());
}

}  // namespace

void write_pile_stiffness(OutChannel& report, int32_t INO, const PileData& piles) {
  Matrix6 B;
  stiffness_block(piles, INO, B);
  write(report, "(/,/,7X,'*** Stiffness of the No.',I2,' pile ***',/)", {INO});
  write_matrix_rows(report, B);
}

void write_foundation_stiffness(OutChannel& report, const Table<float, 6, 6>& KCAP) {
  write(report, "(/,/,7X,'*** Stiffness of the entire pile foundation ***',/)");
  write_matrix_rows(report, KCAP);
}

// clang-format off
void write_cap_displacements(OutChannel& report, const Vec<float, 6>& U) {
  write(report, "(7X,'*******************************************************************************')");
  write(report, "(15X,'DISPLACEMENTS AT THE CAP CENTER OF PILE FOUNDATION')");
  write(report, "(7X,'*******************************************************************************')");
  write(report, "(/,16X,'Movement in the direction of X axis : UX=',E12.4,' (m)')", {U(1)});
  write(report, "(16X,'Movement in the direction of Y axis : UY=',E12.4,' (m)')", {U(2)});
  write(report, "(16X,'Movement in the direction of Z axis : UZ=',E12.4,' (m)')", {U(3)});
  write(report, "(16X,'Rotational angle  around X axis :     SX=',E12.4,' (rad)')", {U(4)});
  write(report, "(16X,'Rotational angle around Y axis :      SY=',E12.4,' (rad)')", {U(5)});
  write(report, "(16X,'Rotational angle around Z axis :      SZ=',E12.4,' (rad)',/,/)", {U(6)});
}

// clang-format on

void write_pile_section(OutChannel& report, int32_t g, const PileData& piles, const float (&DU)[6],
                        const float (&FT)[6], int32_t KG, std::span<const StationRow> rows) {
  write(report, ASTERISK_LINE);
  write(report, "(34X,'NO. ',I2,' # PILE')", {g});
  write(report, ASTERISK_LINE);
  write(report, "(/,12X,'Coordinator of the pile: (x,y) = (',E12.4,' ,',E12.4,' )',/)",
        {piles.PXY(g, 1), piles.PXY(g, 2)});
  write(report, "(12X,'Displacements and internal forces at the top of pile :')");
  write(report, "(/15X,3HUX=,E12.4,4H (m),9X,3HNX=,E12.4,4H (t))", {DU[0], FT[0]});
  write(report, "(15X,3HUY=,E12.4,4H (m),9X,3HNY=,E12.4,4H (t))", {DU[1], FT[1]});
  write(report, "(15X,3HUZ=,E12.4,4H (m),9X,3HNZ=,E12.4,4H (t))", {DU[2], FT[2]});
  write(report, "(15X,3HSX=,E12.4,6H (rad),7X,3HMX=,E12.4,6H (t*m))", {DU[3], FT[3]});
  write(report, "(15X,3HSY=,E12.4,6H (rad),7X,3HMY=,E12.4,6H (t*m))", {DU[4], FT[4]});
  write(report, "(15X,3HSZ=,E12.4,6H (rad),7X,3HMZ=,E12.4,6H (t*m)//)", {DU[5], FT[5]});
  write(report, PERCENT_LINE);
  write(report, "(32X,'Displacements of the pile body and')");
  write(report, "(27X,'   Compression stresses of soil (PSX,PSY)')");
  write(report, PERCENT_LINE);
  write_displacement_table(report, KG, rows);
  write(report, "(//)");
  write(report, PERCENT_LINE);
  write(report, "(32X,'Internal forces of the pile body')");
  write(report, PERCENT_LINE);
  write_force_table(report, rows);
}

void write_pos_header(OutChannel& pos, int32_t PNUM, const PileData& piles) {
  write(pos, "(i5)", {PNUM});
  ItemList list(2 * static_cast<size_t>(PNUM));
  for (int32_t p = 1; p <= PNUM; ++p) {
    list.add(piles.PXY(p, 1));
    list.add(piles.PXY(p, 2));
  }
  write(pos, "(6e14.4)", list.span());
}

void write_pos_records(OutChannel& pos, int32_t g, const PileData& piles,
                       std::span<const StationRow> rows) {
  write(pos, "(2i5)", {g, static_cast<int32_t>(rows.size())});
  write(pos, "(2e14.4)", {piles.PXY(g, 1), piles.PXY(g, 2)});
  write_station_columns(pos, rows, {Z_COLUMN});
  write_station_columns(pos, rows, {column_of(UX), column_of(SY), column_of(NX), column_of(MY)});
  write_station_columns(pos, rows, {column_of(UY), column_of(SX), column_of(NY), column_of(MX)});
  write_station_columns(pos, rows, {column_of(NZ)});
  write_station_columns(pos, rows, {column_of(PSX)});
  write_station_columns(pos, rows, {column_of(PSY)});
}

}  // namespace kelmarino
