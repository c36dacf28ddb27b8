// The summary of a run and the tables of its CSV files: the cap displacements, the pile tops, the
// largest moment, shear and soil stress of every pile, its true peaks, and every station value.
#include <algorithm>
#include <cmath>

#include "diagram/quantities.hpp"
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

// The three kinds of the extremes table: the component of the x-z plane, then of the y-z plane.
const struct {
  const char* name;
  const char* unit;
  StationQuantity x_plane;
  StationQuantity y_plane;
} EXTREME_KINDS[3] = {
    {"moment", "t*m", MY, MX}, {"shear", "t", NX, NY}, {"soil stress", "t/m2", PSX, PSY}};

// Six cells of a table for a reader: displacements and rotations in mm and mrad.
void add_six(std::vector<Cell>& row, const float (&values)[6], bool displacements) {
  for (const float v : values)
    row.push_back(static_cast<double>(v) * (displacements ? PER_MM : 1.0));
}

// One row per pile: its top displacements DU or its top forces FT.
ResultTable pile_top_table(const Result& result, bool forces) {
  std::vector<Column> columns = {{"pile", ""}};
  if (forces) {
    columns.insert(columns.end(), std::begin(FORCE_COLUMNS), std::end(FORCE_COLUMNS));
  } else {
    columns.insert(columns.end(), std::begin(READABLE_DISPLACEMENT_COLUMNS),
                   std::end(READABLE_DISPLACEMENT_COLUMNS));
  }
  std::vector<std::vector<Cell>> rows;
  for (size_t i = 0; i < result.piles.size(); ++i) {
    rows.push_back({std::to_string(i + 1)});
    add_six(rows.back(), forces ? result.piles[i].FT : result.piles[i].DU, !forces);
  }
  return readable_table(std::move(columns), rows);
}

void add_extreme_columns(std::vector<Column>& columns, const char* name, const char* unit) {
  columns.push_back({name, unit});
  columns.insert(columns.end(), {{"of", ""}, {"Z", "m"}, {"station", ""}});
}

// The value, its component, its Z and its station; "-" for the last three when every value is
// zero.
void add_extreme_cells(std::vector<Cell>& row, std::span<const StationRow> stations,
                       const PileExtreme& e) {
  row.push_back(static_cast<double>(e.value));
  if (e.k == 0) {
    row.insert(row.end(), {"-", "-", "-"});
  } else {
    row.insert(row.end(), {QUANTITY_WORDS[e.quantity].name,
                           static_cast<double>(stations[static_cast<size_t>(e.k - 1)][Z_COLUMN]),
                           std::to_string(e.k)});
  }
}

// The quantities of the true peaks of the x-z and the y-z plane: displacement, shear, moment and
// soil stress.
const StationQuantity PEAK_QUANTITIES[2][4] = {{UX, NX, MY, PSX}, {UY, NY, MX, PSY}};

// The segment that holds step `step` (from 0) of pile g, as a message names it.
std::string segment_of_step(const PileData& piles, int32_t g, int32_t step) {
  for (int32_t s = 1; s <= piles.NFR(g); ++s) {
    step -= piles.NSF(g, s);
    if (step < 0) return "the step count NSF of above-ground segment " + std::to_string(s);
  }
  for (int32_t s = 1; s <= piles.NBL(g); ++s) {
    step -= piles.NSG(g, s);
    if (step < 0) return "the step count NSG of below-ground segment " + std::to_string(s);
  }
  return "its step counts";
}

std::string section(const std::string& heading, const std::string& body) {
  std::string text = heading;
  text.append("\n\n").append(body).append("\n");
  return text;
}

}  // namespace

PileExtreme largest_of(std::span<const StationRow> stations, StationQuantity x_plane,
                       StationQuantity y_plane, int32_t first_k) {
  PileExtreme largest;
  largest.quantity = x_plane;
  const auto NSTA = static_cast<int32_t>(stations.size());
  for (int32_t k = first_k; k <= NSTA; ++k) {
    for (const StationQuantity q : {x_plane, y_plane}) {
      const float v = value_of(stations[static_cast<size_t>(k - 1)], q);
      if (std::fabs(v) > std::fabs(largest.value)) largest = {v, q, k};
    }
  }
  return largest;
}

ResultTable cap_table(const Result& result) {
  std::vector<std::vector<Cell>> rows(1);
  add_six(rows[0], result.cap, true);
  return readable_table(
      {std::begin(READABLE_DISPLACEMENT_COLUMNS), std::end(READABLE_DISPLACEMENT_COLUMNS)}, rows);
}

ResultTable head_displacement_table(const Result& result) { return pile_top_table(result, false); }

ResultTable head_force_table(const Result& result) { return pile_top_table(result, true); }

ResultTable extremes_table(const Result& result) {
  std::vector<Column> columns = {{"pile", ""}, {"NZ top", "t"}};
  for (const auto& kind : EXTREME_KINDS) add_extreme_columns(columns, kind.name, kind.unit);
  std::vector<std::vector<Cell>> rows;
  for (size_t i = 0; i < result.piles.size(); ++i) {
    const std::span<const StationRow> stations = result.stations_of(result.piles[i]);
    std::vector<Cell> row = {std::to_string(i + 1), static_cast<double>(value_of(stations[0], NZ))};
    for (const auto& kind : EXTREME_KINDS) {
      add_extreme_cells(row, stations, largest_of(stations, kind.x_plane, kind.y_plane));
    }
    rows.push_back(row);
  }
  return readable_table(std::move(columns), rows);
}

ResultTable soil_extremes_table(const Result& result) {
  std::vector<Column> columns = {{"pile", ""}, {"ground Z", "m"}};
  for (const auto& kind : EXTREME_KINDS) {
    if (kind.x_plane != PSX) add_extreme_columns(columns, kind.name, kind.unit);
  }
  std::vector<std::vector<Cell>> rows;
  for (size_t i = 0; i < result.piles.size(); ++i) {
    const PileResult& pile = result.piles[i];
    const std::span<const StationRow> stations = result.stations_of(pile);
    std::vector<Cell> row = {
        std::to_string(i + 1),
        static_cast<double>(stations[static_cast<size_t>(pile.KG - 1)][Z_COLUMN])};
    for (const auto& kind : EXTREME_KINDS) {
      if (kind.x_plane == PSX) continue;  // the soil stresses are all in the soil
      add_extreme_cells(row, stations, largest_of(stations, kind.x_plane, kind.y_plane, pile.KG));
    }
    rows.push_back(row);
  }
  return readable_table(std::move(columns), rows);
}

ResultTable peaks_table(const Result& result) {
  const std::vector<Column> columns = {{"pile", ""},      {"plane", ""},  {"displacement", "mm"},
                                       {"Z", "m"},        {"shear", "t"}, {"Z", "m"},
                                       {"moment", "t*m"}, {"Z", "m"},     {"soil stress", "t/m2"},
                                       {"Z", "m"}};
  std::vector<std::vector<Cell>> rows;
  for (size_t i = 0; i < result.piles.size(); ++i) {
    const PileResult& pile = result.piles[i];
    if (pile.count == 0) continue;
    for (int32_t plane = 0; plane < 2; ++plane) {
      std::vector<Cell> row = {std::to_string(i + 1), plane == 0 ? "x-z" : "y-z"};
      for (const StationQuantity q : PEAK_QUANTITIES[plane]) {
        const Peak& peak = pile.peaks.of[q];
        row.push_back(static_cast<double>(peak.value) * (q == UX || q == UY ? PER_MM : 1.0));
        row.push_back(static_cast<double>(peak.Z));
      }
      rows.push_back(std::move(row));
    }
  }
  return readable_table(columns, rows);
}

ResultTable peaks_csv_table(const Result& result) {
  ResultTable table;
  table.columns = {{"pile", ""}, {"quantity", ""}, {"unit", ""},
                   {"peak", ""}, {"Z", "m"},       {"largest_at_stations", ""}};
  for (size_t i = 0; i < result.piles.size(); ++i) {
    const PileResult& pile = result.piles[i];
    if (pile.count == 0) continue;
    const std::span<const StationRow> stations = result.stations_of(pile);
    for (const auto& plane : PEAK_QUANTITIES) {
      for (const StationQuantity q : plane) {
        const Peak& peak = pile.peaks.of[q];
        table.rows.push_back({std::to_string(i + 1), QUANTITY_WORDS[q].name, QUANTITY_WORDS[q].unit,
                              shortest(peak.value), shortest(peak.Z),
                              shortest(largest_of(stations, q, q).value)});
      }
    }
  }
  return table;
}

std::vector<std::string> peak_warnings(const Group& group, const Result& result) {
  // The largest true peak of each kind over the group: a peak below a thousandth of it is not
  // looked at.
  double largest[4] = {};
  for (const PileResult& pile : result.piles) {
    for (const auto& plane : PEAK_QUANTITIES) {
      for (int32_t kind = 0; kind < 4; ++kind) {
        largest[kind] =
            std::max(largest[kind], std::fabs(double{pile.peaks.of[plane[kind]].value}));
      }
    }
  }
  std::vector<std::string> warnings;
  for (size_t i = 0; i < result.piles.size(); ++i) {
    const PileResult& pile = result.piles[i];
    if (pile.count == 0) continue;
    const std::span<const StationRow> stations = result.stations_of(pile);
    const auto g = static_cast<int32_t>(i + 1);
    for (int32_t plane = 0; plane < 2; ++plane) {
      for (int32_t kind = 0; kind < 3; ++kind) {
        const StationQuantity q = PEAK_QUANTITIES[plane][kind];
        const Peak& peak = pile.peaks.of[q];
        const double true_peak = std::fabs(double{peak.value});
        const double at_stations = std::fabs(double{largest_of(stations, q, q).value});
        if (true_peak < 1e-3 * largest[kind] || true_peak - at_stations <= 0.01 * true_peak) {
          continue;
        }
        const char* unit = QUANTITY_WORDS[q].unit;
        warnings.push_back("pile " + std::to_string(g) + ": the largest " + QUANTITY_WORDS[q].name +
                           " at the stations, " + readable(at_stations) + " " + unit + ", is " +
                           readable(100.0 * (true_peak - at_stations) / true_peak) +
                           "% below its true peak " + readable(true_peak) + " " + unit +
                           " at Z = " + readable(double{peak.Z}) + " m; raise " +
                           segment_of_step(group.model->piles, g, peak.step));
      }
    }
  }
  return warnings;
}

// Every station of every pile: Z, then the quantities in the vocabulary's order.
ResultTable stations_csv_table(const Result& result) {
  ResultTable table;
  table.columns = {{"pile", ""}, {"station", ""}, {"Z", "m"}};
  for (const QuantityWord& word : QUANTITY_WORDS) table.columns.push_back({word.name, word.unit});
  for (size_t i = 0; i < result.piles.size(); ++i) {
    const std::span<const StationRow> stations = result.stations_of(result.piles[i]);
    for (size_t k = 0; k < stations.size(); ++k) {
      std::vector<std::string> row = {std::to_string(i + 1), std::to_string(k + 1)};
      for (const float v : stations[k]) row.push_back(shortest(v));
      table.rows.push_back(row);
    }
  }
  return table;
}

ResultTable heads_csv_table(const Result& result, const PileData& piles) {
  ResultTable table;
  table.columns = {{"pile", ""}, {"x", "m"}, {"y", "m"}};
  table.columns.insert(table.columns.end(), std::begin(DISPLACEMENT_COLUMNS),
                       std::end(DISPLACEMENT_COLUMNS));
  table.columns.insert(table.columns.end(), std::begin(FORCE_COLUMNS), std::end(FORCE_COLUMNS));
  for (size_t i = 0; i < result.piles.size(); ++i) {
    const auto p = static_cast<int32_t>(i + 1);
    std::vector<std::string> row = {std::to_string(p), shortest(as_printed(piles.PXY(p, 1))),
                                    shortest(as_printed(piles.PXY(p, 2)))};
    for (const float v : result.piles[i].DU) row.push_back(shortest(v));
    for (const float v : result.piles[i].FT) row.push_back(shortest(v));
    table.rows.push_back(row);
  }
  return table;
}

std::string summary_text(const std::string& title, const Result& result) {
  std::string text = title;
  text.append(": results of the run, as kelmarino-plot ")
      .append(REPORT_VERSION)
      .append(" reads them from the report and the post-processing file\n\n");
  text += section("Displacements of the cap centre, in cap axes", aligned_text(cap_table(result)));
  text += section("Displacements at the pile tops, in the axes of each pile",
                  aligned_text(head_displacement_table(result)));
  text += section("Forces at the pile tops, in the axes of each pile",
                  aligned_text(head_force_table(result)));
  text += section(
      "Largest values along each pile: the axial force NZ at the top, and the largest absolute\n"
      "moment, shear and soil stress of either bending plane, signed, with the component it is\n"
      "(of), the distance Z along the pile axis from its top and the station number",
      aligned_text(extremes_table(result)));
  text += section(
      "Largest values in the soil, from the ground line (at Z = ground Z) down: the largest\n"
      "absolute moment and shear of either bending plane, as above",
      aligned_text(soil_extremes_table(result)));
  text += section(
      "True peaks of each bending plane: the largest absolute displacement, shear, moment and "
      "soil\n"
      "stress of the exact solution between the stations and at them, signed, with the distance Z\n"
      "from the pile top; the soil stress on both sides of every layer boundary",
      aligned_text(peaks_table(result)));
  return text;
}

}  // namespace kelmarino
