#pragma once
// The results view of a run: `kelmarino-plot [PATH/]BASE[.dat]` reads the pile group from
// BASE.dat (through the data-file reader), the station tables from BASE.pos and the cap and
// pile-top results from BASE.out, and writes into BASE-plots/ beside the data file: a summary of
// the results (summary.txt), the station values and the pile-top values for spreadsheets
// (stations.csv, heads.csv), one SVG of diagrams per pile (pile-NN.svg), the plan of the group
// (plan.svg) and a page that shows them all (index.html).
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "input/input.hpp"  // GroupData, read_group
#include "model/model.hpp"
#include "pile/pile.hpp"
#include "plot/pos_file.hpp"
#include "tables/tables.hpp"

namespace kelmarino {

// A refusal of the plot command; main writes "kelmarino-plot: " and the message, exit status 1.
class PlotError : public std::runtime_error {
 public:
  explicit PlotError(const std::string& message) : std::runtime_error(message) {}
};

// The values a checker recomputes by hand, formed by the analysis's own stages (BTXY, BOTAREA,
// AXIAL, LATERAL) on the model of the data file.
struct DerivedValues {
  CalculationWidths widths;  // interaction coefficients and calculation widths
  SegmentReals BTX;          // deformation factors alpha of every below-ground segment (1/m)
  SegmentReals BTY;
  PileReals ZFR;                    // above-ground length of every pile (m)
  PileReals ZBL;                    // below-ground length (m)
  PileReals ABOT;                   // bearing area at the bottom (m2)
  PileReals AXK;                    // axial stiffness (t/m)
  Table<float, MAX_PILES, 6> head;  // the diagonal of the head stiffness in pile axes
};

// derive_values: runs the stiffness stages on a copy of the model; PlotError when one of them
// faults (the message of the run-time error).
void derive_values(const GroupData& group, DerivedValues& derived);

// The calculation report: the reader's warnings, the control values, the load points and their
// resultant, the piles, the simulated piles, the pile types segment by segment, and the derived
// values, as HTML sections with tables of ids "control", "loads", "piles", "simulated" (when
// SNUM > 0), "types", "segments", "pile-values" and "segment-values".
std::string input_report_html(const GroupData& group, const DerivedValues& derived);

// The results the report prints besides the station tables, read back from its text: the six
// cap displacements (UX, UY, UZ, SX, SY, SZ in cap axes) and, pile by pile, the top displacements
// DU (UX ... SZ) and forces FT (NX ... MZ) in pile axes. Each value is the single-precision value
// of the printed digits.
struct PileTop {
  float DU[6] = {};
  float FT[6] = {};
};
struct ReportResults {
  float cap[6] = {};
  std::vector<PileTop> tops;  // element g - 1 for pile g
};

// check_pos_belongs: PlotError unless the post-processing file holds as many piles as the data
// file, every pile as many stations as its segments and steps give, and what it repeats of the
// data file (the pile-top coordinates, every station's depth Z) as the data file gives it to the
// printed digits. The refusal names the first difference.
void check_pos_belongs(const GroupData& group, const PosFile& pos, const std::string& data_name,
                       const std::string& pos_name);

// read_report: the cap displacements and the pile tops of the report text; PlotError when the
// report holds no cap displacements or not one pile section for every pile of the post-processing
// file, or when a pile-top value that both files hold (UX, UY, SX, SY, NX, NY, NZ, MX, MY at
// station 1) differs between them: then the report is of another run.
ReportResults read_report(const std::string& report_text, const PosFile& pos,
                          const std::string& report_name, const std::string& pos_name);

// The largest absolute value of one kind at the stations first_k ... NSTA of a pile, over both
// bending planes, signed as it is; `quantity` names the component and `k` the station (k = 0
// when every value is zero).
struct PileExtreme {
  float value = 0.0f;
  Quantity quantity = Quantity::UX;
  int32_t k = 0;
};
PileExtreme largest_of(const PosPile& pile, Quantity x_plane, Quantity y_plane,
                       int32_t first_k = 1);

// The ground-line station KG of every pile, element g - 1 for pile g.
std::vector<int32_t> ground_stations(const GroupData& group);

// The tables of the results view. The summary tables are for a reader: four significant digits
// in plain decimals, displacements in mm and rotations in mrad, rounding noise written 0
// (readable_table). The CSV tables keep the shortest text of every single-precision value in m,
// rad, t and t*m (shortest): the digits of the report and the post-processing file.
ResultTable cap_table(const ReportResults& report);
ResultTable head_displacement_table(const ReportResults& report);
ResultTable head_force_table(const ReportResults& report);
ResultTable extremes_table(const PosFile& pos);
ResultTable soil_extremes_table(const PosFile& pos, const std::vector<int32_t>& KG);
ResultTable stations_csv_table(const PosFile& pos);
ResultTable heads_csv_table(const ReportResults& report, const PosFile& pos);

// The summary as text: the cap displacements, the pile-top displacements and forces, and the
// largest moment, shear and soil stress of every pile with where they occur.
std::string summary_text(const std::string& title, const ReportResults& report, const PosFile& pos,
                         const std::vector<int32_t>& KG);

// The documents: the diagrams of pile p, the plan of the group, the page showing them all.
std::string pile_svg(const PileData& piles, int32_t p, const PosPile& pile);
std::string plan_svg(const GroupData& group);
// The page shows the warnings of the run at its top.
std::string index_html(const std::string& title, const GroupData& group,
                       const DerivedValues& derived, const ReportResults& report,
                       const PosFile& pos, const std::vector<int32_t>& KG,
                       const std::vector<std::string>& warnings = {});

// The SVG file name of pile p: pile-01.svg, ..., pile-100.svg.
std::string pile_file_name(int32_t p);

// run_plot_command: the whole command on its arguments. Returns the exit status: 0 after writing
// the folder (or the help or the version), 1 after writing a message beginning "kelmarino-plot: "
// on `errors`, 2 after a usage error (the message and the usage line on `errors`).
int32_t run_plot_command(int argc, const char* const* argv, std::FILE* out, std::FILE* errors);

}  // namespace kelmarino
