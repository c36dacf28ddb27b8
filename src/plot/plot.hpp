#pragma once
// The result diagrams of a run: `kelmarino-plot BASE` reads the pile group from BASE.dat (through
// the data-file reader), the station tables from BASE.pos and the cap displacements from BASE.out,
// and writes into BASE-plots/ one SVG of diagrams per pile (pile-NN.svg), the plan of the group
// (plan.svg) and a page that shows them all (index.html).
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/model.hpp"
#include "plot/pos_file.hpp"

namespace kelmarino {

// A refusal of the plot command; main writes "kelmarino-plot: " and the message, exit status 1.
class PlotError : public std::runtime_error {
 public:
  explicit PlotError(const std::string& message) : std::runtime_error(message) {}
};

// One load point of the control section: its position and the six load components acting there.
struct LoadPoint {
  float x = 0.0f;
  float y = 0.0f;
  float act[6] = {};  // Fx, Fy, Fz (t), Mx, My, Mz (t*m)
};

// The pile group as the data file gives it.
struct GroupData {
  Model model;                   // filled by READ_INPUT; FORCE holds the loads at the cap centre
  std::vector<LoadPoint> loads;  // the load points, when the data file gives loads
};

// One of the six cap displacements as the report prints it.
struct CapDisplacement {
  std::string name;   // "UX", ..., "SZ"
  std::string value;  // as printed, e.g. ".6603E-03"
  std::string unit;   // "m" or "rad"
};

// read_group: reads the data file through the project's reader (its console output is kept and
// quoted when the reader stops), then the load points of its control section. PlotError when the
// file cannot be opened or the reader refuses it.
void read_group(const std::string& data_name, GroupData& group);

// check_pos_belongs: PlotError unless the post-processing file holds as many piles as the data
// file and every pile as many stations as its segments and steps give.
void check_pos_belongs(const GroupData& group, const PosFile& pos, const std::string& data_name,
                       const std::string& pos_name);

// The six cap displacements from the report text, in the order UX, UY, UZ, SX, SY, SZ; empty when
// the report holds none (a stiffness-only run, or no report).
std::vector<CapDisplacement> cap_displacements(const std::string& report_text);

// The documents: the diagrams of pile p, the plan of the group, the page showing them all.
std::string pile_svg(const PileData& piles, int32_t p, const PosPile& pile);
std::string plan_svg(const GroupData& group);
std::string index_html(const std::string& title, int32_t PNUM,
                       const std::vector<CapDisplacement>& cap, const PosFile& pos);

// The SVG file name of pile p: pile-01.svg, ..., pile-100.svg.
std::string pile_file_name(int32_t p);

// run_plot_command: the whole command on its arguments (the base name). Returns the exit status:
// 0 after writing the folder, 1 after writing a message beginning "kelmarino-plot: " on `errors`.
int32_t run_plot_command(int argc, const char* const* argv, std::FILE* out, std::FILE* errors);

}  // namespace kelmarino
