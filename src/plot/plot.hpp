#pragma once
// The results view of a run: `kelmarino-plot [PATH/]BASE[.dat]` reads the pile group of BASE.dat,
// analyses it, and writes into BASE-plots/ beside the data file: a summary of the results
// (summary.txt), the station values, the pile-top values, the true peaks, the supports' reactions,
// the cap's equilibrium and the stiffness for spreadsheets (stations.csv, heads.csv, peaks.csv,
// supports.csv, equilibrium.csv, stiffness.csv), one SVG of diagrams per pile (pile-NN.svg), the
// plan of the group (plan.svg) and a page that shows them all (index.html). A post-processing
// file BASE.pos beside it is checked against the analysis.
#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/analysis.hpp"
#include "diagram/method.hpp"
#include "diagram/plan.hpp"
#include "diagram/quantities.hpp"
#include "diagram/title_block.hpp"
#include "layout/layout.hpp"
#include "pile/pile.hpp"
#include "plot/pos_file.hpp"
#include "tables/tables.hpp"

namespace kelmarino {

// A value as the report and the post-processing file print it (Ew.4): the single-precision value
// of its four printed digits.
inline float as_printed(float value) { return e_rounded(value, 4); }

// printed_result: the result as the report and the post-processing file print it: the cap
// displacements, the pile-top displacements and forces, every station value (Z among them) and
// every station's resultants as printed; the stiffness, the supports' reactions, the equilibrium
// and the derived values as formed.
Result printed_result(const Result& result);

// Quantity q at a station.
inline float value_of(const StationRow& row, StationQuantity q) { return row[column_of(q)]; }

// The vocabulary's words are those of the kernel's quantities, in their order.
constexpr bool named(StationQuantity q, std::string_view name) {
  return QUANTITY_WORDS[q].name == name;
}
static_assert(QUANTITY_COUNT == QUANTITIES && named(UX, "UX") && named(UY, "UY") &&
              named(SX, "SX") && named(SY, "SY") && named(NX, "NX") && named(NY, "NY") &&
              named(NZ, "NZ") && named(MX, "MX") && named(MY, "MY") && named(PSX, "PSX") &&
              named(PSY, "PSY"));

// pos_difference: the first difference between a post-processing file and a printed result of
// the group, named as "UX of station 3 of pile 1 is .2377E-02 in it, .2378E-02 by the analysis";
// none when the file holds that result as printed.
std::optional<std::string> pos_difference(const PosFile& pos, const Group& group,
                                          const Result& result);

// The calculation report: the reader's warnings, the control values, the load points and their
// resultant, the piles, the simulated piles, the pile types segment by segment, and the derived
// values, as HTML sections with tables of ids "control", "loads", "piles", "simulated" (when
// SNUM > 0), "types", "segments", "pile-values" and "segment-values", forces in `force`.
// The values per pile and segment are those of the piles `shown`, every pile when it is empty.
std::string input_report_html(const Group& group, const Result& result, ForceUnit force,
                              std::span<const int32_t> shown = {});

// A section of the page: a heading, a note when there is one, and a table as wide as it needs.
std::string table_section(const std::string& heading, const std::string& note,
                          const ResultTable& table, const std::string& id);

// The largest absolute value of one kind at the stations first_k ... NSTA of a pile, over both
// bending planes, signed as it is; `quantity` names the component and `k` the station (k = 0
// when every value is zero).
struct PileExtreme {
  float value = 0.0f;
  StationQuantity quantity = UX;
  int32_t k = 0;
};
PileExtreme largest_of(std::span<const StationRow> stations, StationQuantity x_plane,
                       StationQuantity y_plane, int32_t first_k = 1);

// The tables of the results view, of a printed result, with forces in `force` (shown_unit). The
// summary tables are for a reader: four significant digits in plain decimals, displacements in mm
// and rotations in mrad, rounding noise written 0 (readable_table). The CSV tables keep the
// shortest text of every single-precision value in m, rad, t and t*m (shortest): the digits of
// the report and the post-processing file; in kN, of each value times 9.80665.
ResultTable cap_table(const Result& result);
ResultTable head_displacement_table(const Result& result);
ResultTable head_force_table(const Result& result, ForceUnit force);
// The extremes per pile along its whole length, or `in_soil` from its ground line down.
ResultTable extremes_table(const Result& result, const PileData& piles, ForceUnit force,
                           bool in_soil);
ResultTable support_table(const Result& result, const PileData& piles, ForceUnit force);
ResultTable equilibrium_table(const Result& result, ForceUnit force);
ResultTable stations_csv_table(const Result& result, ForceUnit force);
ResultTable heads_csv_table(const Result& result, const PileData& piles, ForceUnit force);
// The true peaks of every pile with stations: per plane, the largest displacement, shear, moment
// and soil stress with their Z (summary), and per quantity the peak beside the largest station
// value (peaks.csv).
ResultTable peaks_table(const Result& result, ForceUnit force);
ResultTable peaks_csv_table(const Result& result, ForceUnit force);

// The critical piles: for each quantity (the axial force NZ at the top, the largest resultant
// moment M and shear V along the pile, the transverse displacement of the top sqrt(UX^2 + UY^2)
// in mm, the largest soil stress at the stations) the CRITICAL_COUNT piles of the largest
// magnitude, largest first, the lower pile number first among equals; the values signed.
constexpr size_t CRITICAL_COUNT = 5;
struct CriticalRanking {
  const char* quantity;
  const char* unit;
  std::vector<std::pair<int32_t, double>> piles;  // pile, value
};
std::vector<CriticalRanking> critical_rankings(const Result& result);
// The rankings side by side: a row per rank, a pile and a value per quantity.
ResultTable critical_table(const Result& result, ForceUnit force);
// The piles of the rankings, ascending, each once.
std::vector<int32_t> critical_piles(const Result& result);

// peak_warnings: one warning per pile and displacement, shear or moment whose largest station
// value is more than 1% below its true peak, and per soil stress more than 5% below it between
// stations, naming the segment whose step count to raise; a peak below a thousandth of the
// group's largest of its kind is not looked at. A soil stress peak just below a layer boundary
// is not warned about: it is given by its true peak, and no step count moves it.
std::vector<std::string> peak_warnings(const Group& group, const Result& result, ForceUnit force);

ResultTable supports_csv_table(const Result& result, const PileData& piles, ForceUnit force);
ResultTable equilibrium_csv_table(const Result& result, ForceUnit force);
// The foundation's stiffness KCAP at the cap centre in cap axes, then the head stiffness of every
// pile in its axes, then the stiffness of every simulated pile as given (S1, S2, ...): six rows
// each (NX .. MZ), one column per displacement (UX .. SZ); and the units of its values, t/m,
// t/rad, t*m/m and t*m/rad in t.
ResultTable stiffness_table(const Group& group, const Result& result, ForceUnit force);
ResultTable stiffness_csv_table(const Group& group, const Result& result, ForceUnit force);
std::array<std::string, 4> stiffness_units(ForceUnit force);

// The warning of a cap whose equilibrium does not close to EQUILIBRIUM_TOLERANCE; none when it
// does.
std::optional<std::string> equilibrium_warning(const Result& result);

// The summary as text: the critical piles, the cap displacements, the pile-top displacements and
// forces, the supports' reactions, the equilibrium of the cap, and the largest moment, shear and
// soil stress of every pile with where they occur; forces in `force`.
std::string summary_text(const std::string& title, const Group& group, const Result& result,
                         ForceUnit force);

// The summary of a run that stops at a stiffness print (JCTR 2 or 3): the stiffness tables.
std::string stiffness_summary_text(const std::string& title, const Group& group,
                                   const Result& result, ForceUnit force);

// The piles with a page of diagrams on the results page, ascending, and the sentence that says
// which and why. The choice (`--pile-pages`): "auto" every pile of a group of up to
// PILE_PAGE_LIMIT piles, the critical ones of a larger group; "all"; "critical"; or a list of
// piles and ranges, "1,5,10-12". A choice that cannot be read, or a pile the group does not have,
// throws std::invalid_argument with a message.
constexpr int32_t PILE_PAGE_LIMIT = 24;
struct PilePages {
  std::vector<int32_t> piles;
  std::string why;
};
PilePages pile_pages(const std::string& choice, const Result& result);

// The documents of a printed result, forces in `force`: the diagrams of pile p, the plan of the
// group (plan_svg of diagram/plan.hpp), the page showing them all.
std::string pile_svg(const PileData& piles, int32_t p, const Result& result, ForceUnit force);
// The page opens with the title block of the run, then its warnings and the critical piles; the
// diagrams of the piles of `pages` close it. When not every pile has a page, the long tables of
// every pile (the derived values per segment, the true peaks, the head stiffness) hold the rows
// of those piles only, and say so.
std::string index_html(const std::string& title, const Group& group, const Result& result,
                       const TitleBlock& block, const PilePages& pages, ForceUnit force,
                       const std::vector<std::string>& warnings = {});

// run_plot_command: the whole command on its arguments. Returns the exit status: 0 after writing
// the folder (or the help or the version), 1 after writing a message beginning "kelmarino-plot: "
// on `errors`, 2 after a usage error (the message and the usage line on `errors`).
int32_t run_plot_command(int argc, const char* const* argv, std::FILE* out, std::FILE* errors);

}  // namespace kelmarino
