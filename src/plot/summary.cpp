// The summary of a run and the tables of its CSV files: the cap displacements, the pile tops, the
// largest moment, shear and soil stress of every pile, and every station value.
#include <cmath>

#include "diagram/quantities.hpp"
#include "input/input.hpp"
#include "plot/plot.hpp"

namespace kelmarino {
namespace {

// The pile-top and cap columns of the CSV files, in the program's units, and of the tables for a
// reader, displacements in mm and rotations in mrad.
const Column DISPLACEMENT_COLUMNS[6] = {{"UX", "m"},   {"UY", "m"},   {"UZ", "m"},
                                        {"SX", "rad"}, {"SY", "rad"}, {"SZ", "rad"}};
const Column READABLE_DISPLACEMENT_COLUMNS[6] = {{"UX", "mm"},   {"UY", "mm"},   {"UZ", "mm"},
                                                 {"SX", "mrad"}, {"SY", "mrad"}, {"SZ", "mrad"}};
constexpr double PER_MM = 1000.0;  // mm per m, and mrad per rad
const Column FORCE_COLUMNS[6] = {{"NX", "t"},   {"NY", "t"},   {"NZ", "t"},
                                 {"MX", "t*m"}, {"MY", "t*m"}, {"MZ", "t*m"}};

// The quantities of the stations file in its column order; their units are the vocabulary's.
const Quantity STATION_COLUMNS[] = {Quantity::UX, Quantity::UY,  Quantity::SX, Quantity::SY,
                                    Quantity::NX, Quantity::NY,  Quantity::NZ, Quantity::MX,
                                    Quantity::MY, Quantity::PSX, Quantity::PSY};

// The three kinds of the extremes table: the component of the x-z plane, then of the y-z plane.
const struct {
  const char* name;
  const char* unit;
  Quantity x_plane;
  Quantity y_plane;
} EXTREME_KINDS[3] = {{"moment", "t*m", Quantity::MY, Quantity::MX},
                      {"shear", "t", Quantity::NX, Quantity::NY},
                      {"soil stress", "t/m2", Quantity::PSX, Quantity::PSY}};

// Six cells of a table for a reader: displacements and rotations in mm and mrad.
void add_six(std::vector<Cell>& row, const float (&values)[6], bool displacements) {
  for (const float v : values)
    row.push_back(static_cast<double>(v) * (displacements ? PER_MM : 1.0));
}

// One row per pile: its top displacements DU or its top forces FT.
ResultTable pile_top_table(const ReportResults& report, bool forces) {
  std::vector<Column> columns = {{"pile", ""}};
  if (forces) {
    columns.insert(columns.end(), std::begin(FORCE_COLUMNS), std::end(FORCE_COLUMNS));
  } else {
    columns.insert(columns.end(), std::begin(READABLE_DISPLACEMENT_COLUMNS),
                   std::end(READABLE_DISPLACEMENT_COLUMNS));
  }
  std::vector<std::vector<Cell>> rows;
  for (size_t i = 0; i < report.tops.size(); ++i) {
    rows.push_back({std::to_string(i + 1)});
    add_six(rows.back(), forces ? report.tops[i].FT : report.tops[i].DU, !forces);
  }
  return readable_table(std::move(columns), rows);
}

void add_extreme_columns(std::vector<Column>& columns, const char* name, const char* unit) {
  columns.push_back({name, unit});
  columns.insert(columns.end(), {{"of", ""}, {"Z", "m"}, {"station", ""}});
}

// The value, its component, its Z and its station; "-" for the last three when every value is
// zero.
void add_extreme_cells(std::vector<Cell>& row, const PosPile& pile, const PileExtreme& e) {
  row.push_back(static_cast<double>(e.value));
  if (e.k == 0) {
    row.insert(row.end(), {"-", "-", "-"});
  } else {
    row.insert(row.end(),
               {quantity_name(e.quantity),
                static_cast<double>(pile.ZH[static_cast<size_t>(e.k - 1)]), std::to_string(e.k)});
  }
}

std::string section(const std::string& heading, const std::string& body) {
  std::string text = heading;
  text.append("\n\n").append(body).append("\n");
  return text;
}

}  // namespace

PileExtreme largest_of(const PosPile& pile, Quantity x_plane, Quantity y_plane, int32_t first_k) {
  PileExtreme largest;
  largest.quantity = x_plane;
  for (int32_t k = first_k; k <= pile.NSTA; ++k) {
    for (const Quantity q : {x_plane, y_plane}) {
      const float v = pile.of(q)[static_cast<size_t>(k - 1)];
      if (std::fabs(v) > std::fabs(largest.value)) largest = {v, q, k};
    }
  }
  return largest;
}

ResultTable cap_table(const ReportResults& report) {
  std::vector<std::vector<Cell>> rows(1);
  add_six(rows[0], report.cap, true);
  return readable_table(
      {std::begin(READABLE_DISPLACEMENT_COLUMNS), std::end(READABLE_DISPLACEMENT_COLUMNS)}, rows);
}

ResultTable head_displacement_table(const ReportResults& report) {
  return pile_top_table(report, false);
}

ResultTable head_force_table(const ReportResults& report) { return pile_top_table(report, true); }

std::vector<int32_t> ground_stations(const GroupData& group) {
  std::vector<int32_t> KG;
  for (int32_t p = 1; p <= group.model.run.PNUM; ++p) {
    KG.push_back(static_cast<int32_t>(pile_stations(group.model.piles, p).KG));
  }
  return KG;
}

ResultTable extremes_table(const PosFile& pos) {
  std::vector<Column> columns = {{"pile", ""}, {"NZ top", "t"}};
  for (const auto& kind : EXTREME_KINDS) add_extreme_columns(columns, kind.name, kind.unit);
  std::vector<std::vector<Cell>> rows;
  for (const PosPile& pile : pos.piles) {
    std::vector<Cell> row = {std::to_string(pile.g),
                             static_cast<double>(pile.of(Quantity::NZ).front())};
    for (const auto& kind : EXTREME_KINDS) {
      add_extreme_cells(row, pile, largest_of(pile, kind.x_plane, kind.y_plane));
    }
    rows.push_back(row);
  }
  return readable_table(std::move(columns), rows);
}

ResultTable soil_extremes_table(const PosFile& pos, const std::vector<int32_t>& KG) {
  std::vector<Column> columns = {{"pile", ""}, {"ground Z", "m"}};
  for (const auto& kind : EXTREME_KINDS) {
    if (kind.x_plane != Quantity::PSX) add_extreme_columns(columns, kind.name, kind.unit);
  }
  std::vector<std::vector<Cell>> rows;
  for (const PosPile& pile : pos.piles) {
    const int32_t ground = KG[static_cast<size_t>(pile.g - 1)];
    std::vector<Cell> row = {std::to_string(pile.g),
                             static_cast<double>(pile.ZH[static_cast<size_t>(ground - 1)])};
    for (const auto& kind : EXTREME_KINDS) {
      if (kind.x_plane == Quantity::PSX) continue;  // the soil stresses are all in the soil
      add_extreme_cells(row, pile, largest_of(pile, kind.x_plane, kind.y_plane, ground));
    }
    rows.push_back(row);
  }
  return readable_table(std::move(columns), rows);
}

ResultTable stations_csv_table(const PosFile& pos) {
  ResultTable table;
  table.columns = {{"pile", ""}, {"station", ""}, {"Z", "m"}};
  for (const Quantity q : STATION_COLUMNS) {
    table.columns.push_back({quantity_name(q), quantity_word(quantity_name(q))->unit});
  }
  for (const PosPile& pile : pos.piles) {
    for (int32_t k = 1; k <= pile.NSTA; ++k) {
      const size_t i = static_cast<size_t>(k - 1);
      std::vector<std::string> row = {std::to_string(pile.g), std::to_string(k),
                                      shortest(pile.ZH[i])};
      for (const Quantity q : STATION_COLUMNS) row.push_back(shortest(pile.of(q)[i]));
      table.rows.push_back(row);
    }
  }
  return table;
}

ResultTable heads_csv_table(const ReportResults& report, const PosFile& pos) {
  ResultTable table;
  table.columns = {{"pile", ""}, {"x", "m"}, {"y", "m"}};
  table.columns.insert(table.columns.end(), std::begin(DISPLACEMENT_COLUMNS),
                       std::end(DISPLACEMENT_COLUMNS));
  table.columns.insert(table.columns.end(), std::begin(FORCE_COLUMNS), std::end(FORCE_COLUMNS));
  for (size_t i = 0; i < report.tops.size(); ++i) {
    const PosPile& pile = pos.piles[i];
    std::vector<std::string> row = {std::to_string(pile.g), shortest(pile.x), shortest(pile.y)};
    for (const float v : report.tops[i].DU) row.push_back(shortest(v));
    for (const float v : report.tops[i].FT) row.push_back(shortest(v));
    table.rows.push_back(row);
  }
  return table;
}

std::string summary_text(const std::string& title, const ReportResults& report, const PosFile& pos,
                         const std::vector<int32_t>& KG) {
  std::string text = title;
  text.append(": results of the run, as kelmarino-plot ")
      .append(VERSION)
      .append(" reads them from the report and the post-processing file\n\n");
  text += section("Displacements of the cap centre, in cap axes", aligned_text(cap_table(report)));
  text += section("Displacements at the pile tops, in the axes of each pile",
                  aligned_text(head_displacement_table(report)));
  text += section("Forces at the pile tops, in the axes of each pile",
                  aligned_text(head_force_table(report)));
  text += section(
      "Largest values along each pile: the axial force NZ at the top, and the largest absolute\n"
      "moment, shear and soil stress of either bending plane, signed, with the component it is\n"
      "(of), the distance Z along the pile axis from its top and the station number",
      aligned_text(extremes_table(pos)));
  text += section(
      "Largest values in the soil, from the ground line (at Z = ground Z) down: the largest\n"
      "absolute moment and shear of either bending plane, as above",
      aligned_text(soil_extremes_table(pos, KG)));
  return text;
}

}  // namespace kelmarino
