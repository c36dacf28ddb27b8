// The calculation report at the top of the results page: the input as the reader took it, and the
// values a checker recomputes by hand, formed by the analysis's own stiffness stages.
#include <cmath>
#include <memory>

#include "diagram/svg.hpp"
#include "plot/plot.hpp"
#include "traps/traps.hpp"

namespace kelmarino {
namespace {

double d(float value) { return static_cast<double>(value); }

std::string section(const std::string& heading, const std::string& note, const ResultTable& table,
                    const std::string& id) {
  std::string html = "<h3>";
  html.append(escape_html(heading)).append("</h3>\n");
  if (!note.empty()) html.append("<p>").append(escape_html(note)).append("</p>\n");
  return html.append("<div class=\"wide\">\n").append(html_table(table, id)).append("</div>\n");
}

// The batter of a raked pile (vertical:horizontal), "vertical" for a vertical one.
std::string batter(const PileData& piles, int32_t p) {
  const double horizontal = std::hypot(d(piles.AGL(p, 1)), d(piles.AGL(p, 2)));
  if (horizontal <= 1e-6) return "vertical";
  return readable(d(piles.AGL(p, 3)) / horizontal) + ":1";
}

std::string shape(const PileData& piles, int32_t p) {
  return piles.KSH(p) == 0 ? "circular" : "square";
}

// The first pile of every type number, in the order the types first appear.
std::vector<int32_t> first_of_each_type(const Model& model) {
  std::vector<int32_t> first;
  for (int32_t p = 1; p <= model.run.PNUM; ++p) {
    bool seen = false;
    for (const int32_t q : first) seen |= model.piles.PTYPE(q) == model.piles.PTYPE(p);
    if (!seen) first.push_back(p);
  }
  return first;
}

std::string piles_of_type(const Model& model, int32_t type) {
  std::string list;
  for (int32_t p = 1; p <= model.run.PNUM; ++p) {
    if (model.piles.PTYPE(p) != type) continue;
    if (!list.empty()) list += ' ';
    list += std::to_string(p);
  }
  return list;
}

ResultTable control_table(const RunValues& run, size_t load_points) {
  return readable_table(
      {{"JCTR", ""}, {"INO", ""}, {"PNUM", ""}, {"SNUM", ""}, {"NACT", ""}},
      {{std::to_string(run.JCTR), std::to_string(run.INO), std::to_string(run.PNUM),
        std::to_string(run.SNUM), std::to_string(load_points)}});
}

ResultTable loads_table(const GroupData& group) {
  std::vector<std::vector<Cell>> rows;
  for (size_t k = 0; k < group.loads.size(); ++k) {
    const LoadPoint& load = group.loads[k];
    rows.push_back({std::string("L").append(std::to_string(k + 1)), d(load.x), d(load.y)});
    for (const float a : load.act) rows.back().push_back(d(a));
  }
  rows.push_back({"resultant at O", 0.0, 0.0});
  for (int32_t i = 1; i <= 6; ++i) rows.back().push_back(d(group.model.run.FORCE(i)));
  return readable_table({{"load point", ""},
                         {"x", "m"},
                         {"y", "m"},
                         {"Fx", "t"},
                         {"Fy", "t"},
                         {"Fz", "t"},
                         {"Mx", "t*m"},
                         {"My", "t*m"},
                         {"Mz", "t*m"}},
                        rows);
}

ResultTable piles_table(const Model& model, const DerivedValues& derived) {
  const PileData& piles = model.piles;
  std::vector<std::vector<Cell>> rows;
  for (int32_t p = 1; p <= model.run.PNUM; ++p) {
    rows.push_back({std::to_string(p), d(piles.PXY(p, 1)), d(piles.PXY(p, 2)),
                    std::to_string(piles.PTYPE(p)), d(piles.AGL(p, 1)), d(piles.AGL(p, 2)),
                    d(piles.AGL(p, 3)), batter(piles, p), std::to_string(piles.KSU(p)),
                    d(derived.ZFR(p)), d(derived.ZBL(p))});
  }
  return readable_table({{"pile", ""},
                         {"x", "m"},
                         {"y", "m"},
                         {"type", ""},
                         {"axis x", ""},
                         {"axis y", ""},
                         {"axis z", ""},
                         {"batter", ""},
                         {"KSU", ""},
                         {"above ground", "m"},
                         {"below ground", "m"}},
                        rows);
}

ResultTable types_table(const Model& model) {
  const PileData& piles = model.piles;
  std::vector<std::vector<Cell>> rows;
  for (const int32_t p : first_of_each_type(model)) {
    rows.push_back({std::to_string(piles.PTYPE(p)), piles_of_type(model, piles.PTYPE(p)),
                    shape(piles, p), std::to_string(piles.KSU(p)), d(piles.PMB(p)), d(piles.PEH(p)),
                    d(piles.PKE(p))});
  }
  return readable_table({{"type", ""},
                         {"piles", ""},
                         {"section", ""},
                         {"KSU", ""},
                         {"PMB", "t/m4"},
                         {"PEH", "t/m2"},
                         {"PKE", ""}},
                        rows);
}

ResultTable segments_table(const Model& model) {
  const PileData& piles = model.piles;
  std::vector<std::vector<Cell>> rows;
  for (const int32_t p : first_of_each_type(model)) {
    const std::string type = std::to_string(piles.PTYPE(p));
    for (int32_t s = 1; s <= piles.NFR(p); ++s) {
      rows.push_back({type, "above", std::to_string(s), d(piles.HFR(p, s)), d(piles.DOF(p, s)), "-",
                      "-", std::to_string(piles.NSF(p, s))});
    }
    for (int32_t s = 1; s <= piles.NBL(p); ++s) {
      rows.push_back({type, "below", std::to_string(s), d(piles.HBL(p, s)), d(piles.DOB(p, s)),
                      d(piles.PMT(p, s)), d(piles.PFI(p, s)), std::to_string(piles.NSG(p, s))});
    }
  }
  return readable_table({{"type", ""},
                         {"ground", ""},
                         {"segment", ""},
                         {"length", "m"},
                         {"diameter", "m"},
                         {"m", "t/m4"},
                         {"friction angle", "degrees"},
                         {"steps", ""}},
                        rows);
}

ResultTable pile_values_table(const Model& model, const DerivedValues& derived) {
  std::vector<std::vector<Cell>> rows;
  for (int32_t p = 1; p <= model.run.PNUM; ++p) {
    rows.push_back({std::to_string(p), d(derived.ABOT(p)), d(derived.AXK(p))});
    for (int32_t i = 1; i <= 6; ++i) rows.back().push_back(d(derived.head(p, i)));
  }
  return readable_table({{"pile", ""},
                         {"bottom area", "m2"},
                         {"axial stiffness", "t/m"},
                         {"K11", "t/m"},
                         {"K22", "t/m"},
                         {"K33", "t/m"},
                         {"K44", "t*m/rad"},
                         {"K55", "t*m/rad"},
                         {"K66", "t*m/rad"}},
                        rows);
}

// The simulated piles: supports of given stiffness, each at its position with the diagonal of its
// stiffness (the six rows of simulated pile j follow those of the PNUM piles).
ResultTable simulated_table(const Model& model) {
  std::vector<std::vector<Cell>> rows;
  for (int32_t j = 1; j <= model.run.SNUM; ++j) {
    const int32_t row = 6 * (model.run.PNUM + j - 1);
    rows.push_back({std::to_string(j), d(model.piles.SXY(j, 1)), d(model.piles.SXY(j, 2)),
                    std::to_string(model.piles.STYPE(j))});
    for (int32_t i = 1; i <= 6; ++i) rows.back().push_back(d(model.piles.ESP(row + i, i)));
  }
  return readable_table({{"simulated pile", ""},
                         {"x", "m"},
                         {"y", "m"},
                         {"type", ""},
                         {"K11", "t/m"},
                         {"K22", "t/m"},
                         {"K33", "t/m"},
                         {"K44", "t*m/rad"},
                         {"K55", "t*m/rad"},
                         {"K66", "t*m/rad"}},
                        rows);
}

ResultTable segment_values_table(const Model& model, const DerivedValues& derived) {
  std::vector<std::vector<Cell>> rows;
  const CalculationWidths& w = derived.widths;
  for (int32_t p = 1; p <= model.run.PNUM; ++p) {
    const double h = d(derived.ZBL(p));
    for (int32_t s = 1; s <= model.piles.NBL(p); ++s) {
      rows.push_back({std::to_string(p), std::to_string(s), d(w.kx), d(w.ky), d(w.BX(p, s)),
                      d(w.BY(p, s)), d(derived.BTX(p, s)), d(derived.BTY(p, s)),
                      d(derived.BTX(p, s)) * h, d(derived.BTY(p, s)) * h});
    }
  }
  return readable_table({{"pile", ""},
                         {"segment", ""},
                         {"kx", ""},
                         {"ky", ""},
                         {"bx", "m"},
                         {"by", "m"},
                         {"alpha x", "1/m"},
                         {"alpha y", "1/m"},
                         {"alpha x.h", ""},
                         {"alpha y.h", ""}},
                        rows);
}

}  // namespace

void derive_values(const GroupData& group, DerivedValues& derived) {
  const auto model = std::make_unique<Model>(group.model);
  RunValues& run = model->run;
  ResponseCache cache;
  try {
    const FaultFlags flags;
    pile_stiffness(*model, cache, &derived.widths);
    at_stage(nullptr);
  } catch (const RunError& error) {
    fault_context() = FaultContext{};
    throw PlotError(error.what());
  }
  derived.BTX = run.BTX;
  derived.BTY = run.BTY;
  derived.ZFR = run.ZFR;
  derived.ZBL = run.ZBL;
  derived.ABOT = run.ABOT;
  derived.AXK = run.AXK;
  for (int32_t p = 1; p <= run.PNUM; ++p) {
    for (int32_t i = 1; i <= 6; ++i) derived.head(p, i) = model->piles.ESP(6 * (p - 1) + i, i);
  }
}

std::string input_report_html(const GroupData& group, const DerivedValues& derived) {
  const Model& model = group.model;
  std::string html = "<section id=\"input\">\n<h2>Calculation report: the input</h2>\n";
  if (!group.warnings.empty()) {
    html += "<div class=\"warnings\">\n<h3>Warnings of the reader</h3>\n<pre>" +
            escape_html(group.warnings) + "</pre>\n</div>\n";
  }
  html += section("Control values",
                  "JCTR: 1 loads and the full run, 2 the foundation stiffness, 3 the stiffness of "
                  "pile INO; PNUM piles, SNUM simulated piles, NACT load points.",
                  control_table(model.run, group.loads.size()), "control");
  if (model.run.JCTR == 1) {
    html += section("Load points and their resultant",
                    "The loads of each point, and their resultant at the cap centre O.",
                    loads_table(group), "loads");
  }
  html += section("Piles",
                  "The pile top, the type, the direction of the pile axis (its components), the "
                  "batter (vertical:horizontal), the tip condition KSU and the lengths above and "
                  "below the ground line along the axis.",
                  piles_table(model, derived), "piles");
  if (model.run.SNUM > 0) {
    html += section("Simulated piles",
                    "Supports of given stiffness: the position, the type number of their "
                    "stiffness block and the diagonal of their stiffness.",
                    simulated_table(model), "simulated");
  }
  html += section("Pile types", "The section, the tip condition, PMB, PEH and PKE of each type.",
                  types_table(model), "types");
  html += section("Segments of each type",
                  "From the pile top down: the segments above the ground line, then those below "
                  "it with their soil coefficient m and friction angle.",
                  segments_table(model), "segments");
  html += "<h2>Calculation report: derived values</h2>\n";
  html += section("Per pile",
                  "The bearing area at the bottom, the axial stiffness and the diagonal of the "
                  "head stiffness in pile axes (K11, K22 lateral, K33 axial, K44, K55 bending, "
                  "K66 torsion).",
                  pile_values_table(model, derived), "pile-values");
  html += section("Per pile and segment below the ground line",
                  "The interaction coefficients kx, ky of the group, the calculation widths "
                  "b = (d + 1).k.kf, the deformation factors alpha = (m.b/EI)^0.2 and alpha.h "
                  "with h the pile's length below the ground line.",
                  segment_values_table(model, derived), "segment-values");
  return html + "</section>\n";
}

}  // namespace kelmarino
