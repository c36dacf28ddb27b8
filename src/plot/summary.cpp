// The summary of a run and the tables of its CSV files: the cap displacements, the pile tops, the
// supports' reactions and the equilibrium of the cap, the largest moment, shear and soil stress of
// every pile, its true peaks, every station value, and the stiffness of the foundation and of every
// pile head.
#include <algorithm>
#include <array>
#include <cmath>

#include "diagram/quantities.hpp"
#include "plot/plot.hpp"

namespace kelmarino {
namespace {

// The displacement columns of the tables for a reader, in mm and mrad.
const Column READABLE_DISPLACEMENT_COLUMNS[6] = {{"UX", "mm"},   {"UY", "mm"},   {"UZ", "mm"},
                                                 {"SX", "mrad"}, {"SY", "mrad"}, {"SZ", "mrad"}};
constexpr double PER_MM = 1000.0;  // mm per m, and mrad per rad

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

double d(float value) { return static_cast<double>(value); }

// One row per pile: its top displacements DU or its top forces FT.
ResultTable pile_top_table(const Result& result, bool forces, ForceUnit force) {
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
  return readable_table(std::move(columns), rows, force);
}

void add_extreme_columns(std::vector<Column>& columns, const char* name, const char* unit) {
  columns.push_back({name, unit});
  columns.insert(columns.end(), {{"of", ""}, {"Z", "m"}, {"station", ""}});
}

// The largest resultant moment (or shear) at stations first_k ... NSTA and its station (0 when
// every value is zero).
struct LargestResultant {
  float value = 0.0f;
  int32_t k = 0;
};
LargestResultant largest_resultant(std::span<const StationResultant> resultants, bool moment,
                                   int32_t first_k) {
  LargestResultant largest;
  for (int32_t k = first_k; k <= static_cast<int32_t>(resultants.size()); ++k) {
    const StationResultant& r = resultants[static_cast<size_t>(k - 1)];
    const float v = moment ? r.M : r.V;
    if (v > largest.value) largest = {v, k};
  }
  return largest;
}

// The resultant moment M and shear V: each its value, Z and station ("-" for the last two when
// every value is zero).
void add_resultant_columns(std::vector<Column>& columns) {
  columns.insert(
      columns.end(),
      {{"M", "t*m"}, {"Z", "m"}, {"station", ""}, {"V", "t"}, {"Z", "m"}, {"station", ""}});
}
void add_resultant_cells(std::vector<Cell>& row, const Result& result, const PileResult& pile,
                         int32_t first_k) {
  const std::span<const StationRow> stations = result.stations_of(pile);
  for (const bool moment : {true, false}) {
    const LargestResultant r = largest_resultant(result.resultants_of(pile), moment, first_k);
    row.push_back(static_cast<double>(r.value));
    if (r.k == 0) {
      row.insert(row.end(), {"-", "-"});
    } else {
      row.insert(row.end(), {static_cast<double>(stations[static_cast<size_t>(r.k - 1)][Z_COLUMN]),
                             std::to_string(r.k)});
    }
  }
}

// A circular pile is designed for its resultants: its per-plane moment and shear are not shown.
bool circular(const PileData& piles, size_t i) {
  return piles.KSH(static_cast<int32_t>(i + 1)) == 0;
}
void add_no_extreme_cells(std::vector<Cell>& row) { row.insert(row.end(), {"-", "-", "-", "-"}); }

// Six cells of a table for a reader.
void add_six_values(std::vector<Cell>& row, const float (&values)[6]) {
  for (const float v : values) row.push_back(static_cast<double>(v));
}

std::vector<Column> load_columns(const std::string& suffix) {
  std::vector<Column> columns;
  for (const Column& c : LOAD_COLUMNS) columns.push_back({c.name + suffix, c.unit});
  return columns;
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

// The rows of the stiffness of the foundation, of every pile head and of every simulated pile as
// given; every value is a force over a displacement, in t/m, t/rad, t*m/m or t*m/rad, shown in
// `force`.
std::vector<std::vector<Cell>> stiffness_rows(const Group& group, const Result& result,
                                              ForceUnit force) {
  const double factor = shown_unit("t", force).factor;
  std::vector<std::vector<Cell>> rows;
  auto add_rows = [&](const std::string& of, auto at) {
    for (int32_t i = 0; i < 6; ++i) {
      rows.push_back({of, FORCE_COLUMNS[i].name});
      for (int32_t j = 0; j < 6; ++j) rows.back().push_back(d(at(i, j)) * factor);
    }
  };
  add_rows("KCAP", [&](int32_t i, int32_t j) { return result.KCAP(i + 1, j + 1); });
  for (size_t p = 0; p < result.piles.size(); ++p) {
    const PileResult& pile = result.piles[p];
    add_rows("pile " + std::to_string(p + 1), [&](int32_t i, int32_t j) { return pile.K[i][j]; });
  }
  const RunValues& run = group.model->run;
  for (int32_t s = 1; s <= run.SNUM; ++s) {
    Matrix6 B;
    stiffness_block(group.model->piles, run.PNUM + s, B);
    add_rows(std::string("S").append(std::to_string(s)),
             [&](int32_t i, int32_t j) { return B(i + 1, j + 1); });
  }
  return rows;
}

std::vector<Column> stiffness_columns() {
  std::vector<Column> columns = {{"stiffness", ""}, {"row", ""}};
  for (const Column& c : DISPLACEMENT_COLUMNS) columns.push_back({c.name, ""});
  return columns;
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
  // Displacements only: no unit of force among them.
  return readable_table(
      {std::begin(READABLE_DISPLACEMENT_COLUMNS), std::end(READABLE_DISPLACEMENT_COLUMNS)}, rows,
      ForceUnit::t);
}

ResultTable head_displacement_table(const Result& result) {
  return pile_top_table(result, false, ForceUnit::t);
}

ResultTable head_force_table(const Result& result, ForceUnit force) {
  return pile_top_table(result, true, force);
}

ResultTable extremes_table(const Result& result, const PileData& piles, ForceUnit force,
                           bool in_soil) {
  std::vector<Column> columns = {{"pile", ""},
                                 in_soil ? Column{"ground Z", "m"} : Column{"NZ top", "t"}};
  for (const auto& kind : EXTREME_KINDS) {
    if (!in_soil || kind.x_plane != PSX) add_extreme_columns(columns, kind.name, kind.unit);
  }
  add_resultant_columns(columns);
  std::vector<std::vector<Cell>> rows;
  for (size_t i = 0; i < result.piles.size(); ++i) {
    const PileResult& pile = result.piles[i];
    const std::span<const StationRow> stations = result.stations_of(pile);
    const int32_t first_k = in_soil ? pile.KG : 1;
    std::vector<Cell> row = {
        std::to_string(i + 1),
        static_cast<double>(in_soil ? stations[static_cast<size_t>(pile.KG - 1)][Z_COLUMN]
                                    : value_of(stations[0], NZ))};
    for (const auto& kind : EXTREME_KINDS) {
      if (in_soil && kind.x_plane == PSX) continue;  // the soil stresses are all in the soil
      if (kind.x_plane != PSX && circular(piles, i)) {
        add_no_extreme_cells(row);
      } else {
        add_extreme_cells(row, stations, largest_of(stations, kind.x_plane, kind.y_plane, first_k));
      }
    }
    add_resultant_cells(row, result, pile, first_k);
    rows.push_back(row);
  }
  return readable_table(std::move(columns), rows, force);
}

std::vector<CriticalRanking> critical_rankings(const Result& result) {
  std::vector<CriticalRanking> rankings = {{"NZ top", "t", {}},
                                           {"M", "t*m", {}},
                                           {"V", "t", {}},
                                           {"head displacement", "mm", {}},
                                           {"soil stress", "t/m2", {}}};
  for (size_t i = 0; i < result.piles.size(); ++i) {
    const PileResult& pile = result.piles[i];
    if (pile.count == 0) continue;
    const std::span<const StationRow> stations = result.stations_of(pile);
    const std::span<const StationResultant> resultants = result.resultants_of(pile);
    const double values[5] = {static_cast<double>(value_of(stations[0], NZ)),
                              static_cast<double>(largest_resultant(resultants, true, 1).value),
                              static_cast<double>(largest_resultant(resultants, false, 1).value),
                              std::hypot(double{pile.DU[0]}, double{pile.DU[1]}) * PER_MM,
                              static_cast<double>(largest_of(stations, PSX, PSY).value)};
    for (size_t q = 0; q < rankings.size(); ++q) {
      rankings[q].piles.push_back({static_cast<int32_t>(i + 1), values[q]});
    }
  }
  for (CriticalRanking& ranking : rankings) {
    std::stable_sort(ranking.piles.begin(), ranking.piles.end(), [](const auto& a, const auto& b) {
      return std::fabs(a.second) > std::fabs(b.second);
    });
    if (ranking.piles.size() > CRITICAL_COUNT) ranking.piles.resize(CRITICAL_COUNT);
  }
  return rankings;
}

std::vector<int32_t> critical_piles(const Result& result) {
  std::vector<int32_t> piles;
  for (const CriticalRanking& ranking : critical_rankings(result)) {
    for (const auto& [p, value] : ranking.piles) piles.push_back(p);
  }
  std::sort(piles.begin(), piles.end());
  piles.erase(std::unique(piles.begin(), piles.end()), piles.end());
  return piles;
}

ResultTable critical_table(const Result& result, ForceUnit force) {
  const std::vector<CriticalRanking> rankings = critical_rankings(result);
  std::vector<Column> columns = {{"rank", ""}};
  for (const CriticalRanking& ranking : rankings) {
    columns.insert(columns.end(), {{"pile", ""}, {ranking.quantity, ranking.unit}});
  }
  std::vector<std::vector<Cell>> rows;
  for (size_t k = 0; k < rankings[0].piles.size(); ++k) {
    rows.push_back({std::to_string(k + 1)});
    for (const CriticalRanking& ranking : rankings) {
      rows.back().push_back(std::to_string(ranking.piles[k].first));
      rows.back().push_back(ranking.piles[k].second);
    }
  }
  return readable_table(std::move(columns), rows, force);
}

ResultTable peaks_table(const Result& result, ForceUnit force) {
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
      for (const StationQuantity q : PLANE_PEAKS[plane]) {
        const Peak& peak = pile.peaks.of[q];
        row.push_back(static_cast<double>(peak.value) * (q == UX || q == UY ? PER_MM : 1.0));
        row.push_back(static_cast<double>(peak.Z));
      }
      rows.push_back(std::move(row));
    }
  }
  return readable_table(columns, rows, force);
}

// The values of each row in the unit the row names.
ResultTable peaks_csv_table(const Result& result, ForceUnit force) {
  std::vector<std::vector<Cell>> rows;
  for (size_t i = 0; i < result.piles.size(); ++i) {
    const PileResult& pile = result.piles[i];
    if (pile.count == 0) continue;
    const std::span<const StationRow> stations = result.stations_of(pile);
    for (const auto& plane : PLANE_PEAKS) {
      for (const StationQuantity q : plane) {
        const Peak& peak = pile.peaks.of[q];
        const ReaderUnit unit = shown_unit(QUANTITY_WORDS[q].unit, force);
        rows.push_back({std::to_string(i + 1), QUANTITY_WORDS[q].name, unit.unit,
                        d(peak.value) * unit.factor, d(peak.Z),
                        d(largest_of(stations, q, q).value) * unit.factor});
      }
    }
  }
  return exact_table({{"pile", ""},
                      {"quantity", ""},
                      {"unit", ""},
                      {"peak", ""},
                      {"Z", "m"},
                      {"largest_at_stations", ""}},
                     rows, force);
}

namespace {

// The shortfalls of the largest station value below its true peak that are warned about: of a
// displacement, shear or moment, and of the soil stress, whose curve m.u.z bends more sharply.
constexpr double PEAK_SHORTFALL = 0.01;
constexpr double SOIL_STRESS_SHORTFALL = 0.05;

// Whether Z is that of a station: a soil stress peak there lies just below a layer boundary, which
// no step count moves.
bool at_a_station(std::span<const StationRow> stations, float Z) {
  return std::any_of(stations.begin(), stations.end(),
                     [Z](const StationRow& row) { return row[Z_COLUMN] == Z; });
}

}  // namespace

std::vector<std::string> peak_warnings(const Group& group, const Result& result, ForceUnit force) {
  // The largest true peak of each kind over the group: a peak below a thousandth of it is not
  // looked at.
  double largest[4] = {};
  for (const PileResult& pile : result.piles) {
    for (const auto& plane : PLANE_PEAKS) {
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
      for (int32_t kind = 0; kind < 4; ++kind) {
        const StationQuantity q = PLANE_PEAKS[plane][kind];
        const Peak& peak = pile.peaks.of[q];
        const double true_peak = std::fabs(double{peak.value});
        const double at_stations = std::fabs(double{largest_of(stations, q, q).value});
        const bool soil = kind == 3;
        const double allowed = soil ? SOIL_STRESS_SHORTFALL : PEAK_SHORTFALL;
        if (true_peak < 1e-3 * largest[kind] || true_peak - at_stations <= allowed * true_peak ||
            (soil && at_a_station(stations, peak.Z))) {
          continue;
        }
        const ReaderUnit unit = shown_unit(QUANTITY_WORDS[q].unit, force);
        warnings.push_back("pile " + std::to_string(g) + ": the largest " + QUANTITY_WORDS[q].name +
                           " at the stations, " + readable(at_stations * unit.factor) + " " +
                           unit.unit + ", is " +
                           readable(100.0 * (true_peak - at_stations) / true_peak) +
                           "% below its true peak " + readable(true_peak * unit.factor) + " " +
                           unit.unit + " at Z = " + readable(double{peak.Z}) + " m; raise " +
                           segment_of_step(group.model->piles, g, peak.step));
      }
    }
  }
  return warnings;
}

ResultTable support_table(const Result& result, const PileData& piles, ForceUnit force) {
  std::vector<Column> columns = {{"simulated pile", ""}, {"x", "m"}, {"y", "m"}};
  columns.insert(columns.end(), std::begin(FORCE_COLUMNS), std::end(FORCE_COLUMNS));
  std::vector<std::vector<Cell>> rows;
  for (size_t j = 0; j < result.supports.size(); ++j) {
    const auto s = static_cast<int32_t>(j + 1);
    rows.push_back({std::to_string(s), static_cast<double>(piles.SXY(s, 1)),
                    static_cast<double>(piles.SXY(s, 2))});
    add_six_values(rows.back(), result.supports[j].R);
  }
  return readable_table(std::move(columns), rows, force);
}

ResultTable equilibrium_table(const Result& result, ForceUnit force) {
  const Equilibrium& e = result.equilibrium;
  std::vector<Column> columns = {{"at the cap centre", ""}};
  const std::vector<Column> loads = load_columns("");
  columns.insert(columns.end(), loads.begin(), loads.end());
  columns.push_back({"residual", ""});
  std::vector<std::vector<Cell>> rows = {{"applied"}, {"pile heads and supports"}};
  add_six_values(rows[0], e.applied);
  add_six_values(rows[1], e.resisted);
  rows[0].push_back("");
  rows[1].push_back(static_cast<double>(e.residual));
  return readable_table(std::move(columns), rows, force);
}

std::optional<std::string> equilibrium_warning(const Result& result) {
  const float residual = result.equilibrium.residual;
  if (residual <= EQUILIBRIUM_TOLERANCE) return std::nullopt;
  return "the forces on the pile heads and the supports balance the applied loads only to " +
         shortest(residual) + " of the largest applied component (more than 1e-4)";
}

std::array<std::string, 4> stiffness_units(ForceUnit force) {
  return {shown_unit("t/m", force).unit, shown_unit("t/rad", force).unit,
          shown_unit("t*m/m", force).unit, shown_unit("t*m/rad", force).unit};
}

ResultTable stiffness_table(const Group& group, const Result& result, ForceUnit force) {
  return readable_table(stiffness_columns(), stiffness_rows(group, result, force), force);
}

// Every station of every pile: Z, then the quantities in the vocabulary's order, then the
// resultants V and M.
ResultTable stations_csv_table(const Result& result, ForceUnit force) {
  std::vector<Column> columns = {{"pile", ""}, {"station", ""}, {"Z", "m"}};
  for (const QuantityWord& word : QUANTITY_WORDS) columns.push_back({word.name, word.unit});
  columns.insert(columns.end(), {{"V", "t"}, {"M", "t*m"}});
  std::vector<std::vector<Cell>> rows;
  for (size_t i = 0; i < result.piles.size(); ++i) {
    const std::span<const StationRow> stations = result.stations_of(result.piles[i]);
    const std::span<const StationResultant> resultants = result.resultants_of(result.piles[i]);
    for (size_t k = 0; k < stations.size(); ++k) {
      std::vector<Cell>& row = rows.emplace_back();
      row = {std::to_string(i + 1), std::to_string(k + 1)};
      for (const float v : stations[k]) row.push_back(d(v));
      row.push_back(d(resultants[k].V));
      row.push_back(d(resultants[k].M));
    }
  }
  return exact_table(std::move(columns), rows, force);
}

ResultTable supports_csv_table(const Result& result, const PileData& piles, ForceUnit force) {
  std::vector<Column> columns = {{"simulated pile", ""}, {"x", "m"}, {"y", "m"}};
  columns.insert(columns.end(), std::begin(FORCE_COLUMNS), std::end(FORCE_COLUMNS));
  std::vector<std::vector<Cell>> rows;
  for (size_t j = 0; j < result.supports.size(); ++j) {
    const auto s = static_cast<int32_t>(j + 1);
    rows.push_back({std::to_string(s), d(piles.SXY(s, 1)), d(piles.SXY(s, 2))});
    add_six_values(rows.back(), result.supports[j].R);
  }
  return exact_table(std::move(columns), rows, force);
}

ResultTable equilibrium_csv_table(const Result& result, ForceUnit force) {
  const Equilibrium& e = result.equilibrium;
  std::vector<Column> columns = load_columns("_applied");
  const std::vector<Column> sums = load_columns("_sum");
  columns.insert(columns.end(), sums.begin(), sums.end());
  columns.push_back({"residual", ""});
  std::vector<std::vector<Cell>> rows(1);
  add_six_values(rows[0], e.applied);
  add_six_values(rows[0], e.resisted);
  rows[0].push_back(d(e.residual));
  return exact_table(std::move(columns), rows, force);
}

ResultTable stiffness_csv_table(const Group& group, const Result& result, ForceUnit force) {
  return exact_table(stiffness_columns(), stiffness_rows(group, result, force), force);
}

ResultTable heads_csv_table(const Result& result, const PileData& piles, ForceUnit force) {
  std::vector<Column> columns = {{"pile", ""}, {"x", "m"}, {"y", "m"}};
  columns.insert(columns.end(), std::begin(DISPLACEMENT_COLUMNS), std::end(DISPLACEMENT_COLUMNS));
  columns.insert(columns.end(), std::begin(FORCE_COLUMNS), std::end(FORCE_COLUMNS));
  std::vector<std::vector<Cell>> rows;
  for (size_t i = 0; i < result.piles.size(); ++i) {
    const auto p = static_cast<int32_t>(i + 1);
    rows.push_back(
        {std::to_string(p), d(as_printed(piles.PXY(p, 1))), d(as_printed(piles.PXY(p, 2)))});
    add_six_values(rows.back(), result.piles[i].DU);
    add_six_values(rows.back(), result.piles[i].FT);
  }
  return exact_table(std::move(columns), rows, force);
}

static_assert(CRITICAL_COUNT == 5);  // as the summary names it

std::string summary_text(const std::string& title, const Group& group, const Result& result,
                         ForceUnit force) {
  const PileData& piles = group.model->piles;
  std::string text = title;
  text.append(": results of the run, as kelmarino-plot ")
      .append(REPORT_VERSION)
      .append(" analyses the data file\n\n");
  // A smaller group has every pile ranked.
  std::string critical = "Critical piles: for each quantity ";
  critical.append(result.piles.size() >= CRITICAL_COUNT ? "the five piles of the largest magnitude"
                                                        : "every pile of the group");
  critical.append(
      ", largest first:\n"
      "the axial force NZ at the pile top, the largest resultant moment M and shear V along the\n"
      "pile, the displacement of the pile top across its axis sqrt(UX^2 + UY^2), and the largest\n"
      "soil stress at the stations");
  text += section(critical, aligned_text(critical_table(result, force)));
  text += section("Displacements of the cap centre, in cap axes", aligned_text(cap_table(result)));
  text += section("Displacements at the pile tops, in the axes of each pile",
                  aligned_text(head_displacement_table(result)));
  text += section("Forces at the pile tops, in the axes of each pile",
                  aligned_text(head_force_table(result, force)));
  if (!result.supports.empty()) {
    text +=
        section("Reactions of the simulated piles: the force on each, in cap axes at its position",
                aligned_text(support_table(result, piles, force)));
  }
  text += section(
      "Equilibrium of the cap at its centre, in cap axes: the applied loads, the forces on the\n"
      "pile heads and the supports moved there, and the residual (the largest difference over the\n"
      "largest applied component)",
      aligned_text(equilibrium_table(result, force)));
  text += section(
      "Largest values along each pile: the axial force NZ at the top, and the largest absolute\n"
      "moment, shear and soil stress of either bending plane, signed, with the component it is\n"
      "(of), the distance Z along the pile axis from its top and the station number; then the\n"
      "largest resultant moment M = sqrt(MX^2 + MY^2) and shear V = sqrt(NX^2 + NY^2). A circular\n"
      "pile is given by its resultants alone (-), a square pile by both planes and the resultants",
      aligned_text(extremes_table(result, piles, force, false)));
  text += section(
      "Largest values in the soil, from the ground line (at Z = ground Z) down: the largest\n"
      "absolute moment and shear of either bending plane and the resultants, as above",
      aligned_text(extremes_table(result, piles, force, true)));
  text += section(
      "True peaks of each bending plane: the largest absolute displacement, shear, moment and "
      "soil\n"
      "stress of the exact solution between the stations and at them, signed, with the distance Z\n"
      "from the pile top; the soil stress on both sides of every layer boundary",
      aligned_text(peaks_table(result, force)));
  return text;
}

std::string stiffness_summary_text(const std::string& title, const Group& group,
                                   const Result& result, ForceUnit force) {
  std::string text = title;
  text.append(": the stiffness print of the run, as kelmarino-plot ")
      .append(REPORT_VERSION)
      .append(" forms it\n\n");
  const std::array<std::string, 4> units = stiffness_units(force);
  return text + section(
                    "Stiffness of the foundation KCAP at the cap centre in cap axes, then of each "
                    "pile head in\nits axes: a row per force (NX .. MZ), a column per "
                    "displacement (UX .. SZ); " +
                        units[0] + ", " + units[1] + ",\n" + units[2] + ", " + units[3] +
                        (group.model->run.SNUM > 0
                             ? "; S1, S2, ...: the simulated piles, as given, in cap axes"
                             : ""),
                    aligned_text(stiffness_table(group, result, force)));
}

}  // namespace kelmarino
