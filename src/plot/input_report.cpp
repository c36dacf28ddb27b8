// The calculation report at the top of the results page: the input as the reader took it, and the
// values a checker recomputes by hand, as the analysis formed them.
#include <algorithm>
#include <cmath>
#include <tuple>

#include "diagram/svg.hpp"
#include "plot/plot.hpp"

namespace kelmarino {
namespace {

double d(float value) { return static_cast<double>(value); }

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

ResultTable control_table(const RunValues& run, size_t load_points, ForceUnit force) {
  return readable_table(
      {{"JCTR", ""}, {"INO", ""}, {"PNUM", ""}, {"SNUM", ""}, {"NACT", ""}},
      {{std::to_string(run.JCTR), std::to_string(run.INO), std::to_string(run.PNUM),
        std::to_string(run.SNUM), std::to_string(load_points)}},
      force);
}

ResultTable loads_table(const Group& group, ForceUnit force) {
  const LoadPoints& loads = group.loads;
  std::vector<std::vector<Cell>> rows;
  for (int32_t k = 1; k <= loads.NACT; ++k) {
    rows.push_back(
        {std::string("L").append(std::to_string(k)), d(loads.AXY(k, 1)), d(loads.AXY(k, 2))});
    for (int32_t i = 1; i <= 6; ++i) rows.back().push_back(d(loads.ACT(k, i)));
  }
  rows.push_back({"resultant at O", 0.0, 0.0});
  for (int32_t i = 1; i <= 6; ++i) rows.back().push_back(d(group.model->run.FORCE(i)));
  return input_table({{"load point", ""},
                      {"x", "m"},
                      {"y", "m"},
                      {"Fx", "t"},
                      {"Fy", "t"},
                      {"Fz", "t"},
                      {"Mx", "t*m"},
                      {"My", "t*m"},
                      {"Mz", "t*m"}},
                     rows, force);
}

ResultTable piles_table(const Model& model, const DerivedValues& derived, ForceUnit force) {
  const PileData& piles = model.piles;
  std::vector<std::vector<Cell>> rows;
  for (int32_t p = 1; p <= model.run.PNUM; ++p) {
    const PileFactors& f = derived.piles[static_cast<size_t>(p - 1)];
    rows.push_back({std::to_string(p), d(piles.PXY(p, 1)), d(piles.PXY(p, 2)),
                    std::to_string(piles.PTYPE(p)), d(piles.AGL(p, 1)), d(piles.AGL(p, 2)),
                    d(piles.AGL(p, 3)), batter(piles, p), std::to_string(piles.KSU(p)), d(f.ZFR),
                    d(f.ZBL)});
  }
  return input_table({{"pile", ""},
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
                     rows, force);
}

ResultTable types_table(const Model& model, ForceUnit force) {
  const PileData& piles = model.piles;
  std::vector<std::vector<Cell>> rows;
  for (const int32_t p : first_of_each_type(model)) {
    // PMB is in t/m4 for a pile bearing on the soil (KSU 1 and 2), in t/m3 for one on rock.
    const bool on_soil = piles.KSU(p) <= 2;
    rows.push_back({std::to_string(piles.PTYPE(p)), piles_of_type(model, piles.PTYPE(p)),
                    shape(piles, p), std::to_string(piles.KSU(p)),
                    on_soil ? Cell(d(piles.PMB(p))) : Cell(""),
                    on_soil ? Cell("") : Cell(d(piles.PMB(p))), d(piles.PEH(p)), d(piles.PKE(p))});
  }
  return input_table({{"type", ""},
                      {"piles", ""},
                      {"section", ""},
                      {"KSU", ""},
                      {"PMB", "t/m4"},
                      {"PMB", "t/m3"},
                      {"PEH", "t/m2"},
                      {"PKE", ""}},
                     rows, force);
}

ResultTable segments_table(const Model& model, ForceUnit force) {
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
  return input_table({{"type", ""},
                      {"ground", ""},
                      {"segment", ""},
                      {"length", "m"},
                      {"diameter", "m"},
                      {"m", "t/m4"},
                      {"friction angle", "degrees"},
                      {"steps", ""}},
                     rows, force);
}

ResultTable pile_values_table(const Result& result, ForceUnit force) {
  std::vector<std::vector<Cell>> rows;
  for (size_t i = 0; i < result.piles.size(); ++i) {
    const PileFactors& f = result.derived.piles[i];
    rows.push_back({std::to_string(i + 1), d(f.ABOT), d(f.AXK)});
    for (int32_t j = 0; j < 6; ++j) rows.back().push_back(d(result.piles[i].K[j][j]));
    rows.back().push_back(d(f.kf));
  }
  return readable_table({{"pile", ""},
                         {"bottom area", "m2"},
                         {"axial stiffness", "t/m"},
                         {"K11", "t/m"},
                         {"K22", "t/m"},
                         {"K33", "t/m"},
                         {"K44", "t*m/rad"},
                         {"K55", "t*m/rad"},
                         {"K66", "t*m/rad"},
                         {"kf", ""}},
                        rows, force);
}

// The interaction coefficients of the group and the row that sets each.
ResultTable interaction_table(const DerivedValues& derived, ForceUnit force) {
  std::vector<std::vector<Cell>> rows;
  const char* const by = derived.by_positions ? "positions" : "rows";
  for (const auto& [axis, k, row] :
       {std::tuple{"x", derived.kx, derived.row_x}, std::tuple{"y", derived.ky, derived.row_y}}) {
    rows.push_back({axis, d(k), by, std::to_string(row.n), d(row.b),
                    row.n > 1 ? Cell(static_cast<double>(row.L1)) : Cell("-"),
                    row.n > 1 ? Cell(d(row.h1)) : Cell("-")});
  }
  return readable_table(
      {{"direction", ""}, {"k", ""}, {"from", ""}, {"n", ""}, {"b", ""}, {"L1", "m"}, {"h1", "m"}},
      rows, force);
}

// The simulated piles: supports of given stiffness, each at its position with the diagonal of its
// stiffness (the six rows of simulated pile j follow those of the PNUM piles).
ResultTable simulated_table(const Model& model, ForceUnit force) {
  std::vector<std::vector<Cell>> rows;
  for (int32_t j = 1; j <= model.run.SNUM; ++j) {
    const int32_t row = 6 * (model.run.PNUM + j - 1);
    rows.push_back({std::to_string(j), d(model.piles.SXY(j, 1)), d(model.piles.SXY(j, 2)),
                    std::to_string(model.piles.STYPE(j))});
    for (int32_t i = 1; i <= 6; ++i) rows.back().push_back(d(model.piles.ESP(row + i, i)));
  }
  return input_table({{"simulated pile", ""},
                      {"x", "m"},
                      {"y", "m"},
                      {"type", ""},
                      {"K11", "t/m"},
                      {"K22", "t/m"},
                      {"K33", "t/m"},
                      {"K44", "t*m/rad"},
                      {"K55", "t*m/rad"},
                      {"K66", "t*m/rad"}},
                     rows, force);
}

ResultTable segment_values_table(const DerivedValues& derived, std::span<const int32_t> shown,
                                 ForceUnit force) {
  std::vector<std::vector<Cell>> rows;
  for (size_t p = 0; p < derived.piles.size(); ++p) {
    if (!shown.empty() &&
        std::find(shown.begin(), shown.end(), static_cast<int32_t>(p + 1)) == shown.end()) {
      continue;
    }
    const PileFactors& f = derived.piles[p];
    const double h = d(f.ZBL);
    for (size_t s = 0; s < f.below.size(); ++s) {
      const SegmentFactors& b = f.below[s];
      rows.push_back({std::to_string(p + 1), std::to_string(s + 1), d(derived.kx), d(derived.ky),
                      d(b.BX), d(b.BY), d(b.BTX), d(b.BTY), d(b.BTX) * h, d(b.BTY) * h, d(b.EI)});
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
                         {"alpha y.h", ""},
                         {"EI", "t*m2"}},
                        rows, force);
}

}  // namespace

std::string input_report_html(const Group& group, const Result& result, ForceUnit force,
                              std::span<const int32_t> shown) {
  const Model& model = *group.model;
  std::string html = "<section id=\"input\">\n<h2>Calculation report: the input</h2>\n";
  if (!group.warnings.empty()) {
    std::string warnings;
    for (const std::string& line : group.warnings) warnings += line + "\n";
    html += "<div class=\"warnings\">\n<h3>Warnings of the reader</h3>\n<pre>" +
            escape_html(warnings) + "</pre>\n</div>\n";
  }
  html += table_section(
      "Control values",
      "JCTR: 1 loads and the full run, 2 the foundation stiffness, 3 the stiffness of "
      "pile INO; PNUM piles, SNUM simulated piles, NACT load points.",
      control_table(model.run, static_cast<size_t>(group.loads.NACT), force), "control");
  if (model.run.JCTR == 1) {
    html += table_section("Load points and their resultant",
                          "The loads of each point, and their resultant at the cap centre O.",
                          loads_table(group, force), "loads");
  }
  html +=
      table_section("Piles",
                    "The pile top, the type, the direction of the pile axis (its components), the "
                    "batter (vertical:horizontal), the tip condition KSU and the lengths above and "
                    "below the ground line along the axis.",
                    piles_table(model, result.derived, force), "piles");
  if (model.run.SNUM > 0) {
    html += table_section("Simulated piles",
                          "Supports of given stiffness: the position, the type number of their "
                          "stiffness block and the diagonal of their stiffness.",
                          simulated_table(model, force), "simulated");
  }
  html +=
      table_section("Pile types", "The section, the tip condition, PMB, PEH and PKE of each type.",
                    types_table(model, force), "types");
  html +=
      table_section("Segments of each type",
                    "From the pile top down: the segments above the ground line, then those below "
                    "it with their soil coefficient m and friction angle.",
                    segments_table(model, force), "segments");
  html += "<h2>Calculation report: derived values</h2>\n";
  html +=
      table_section("Per pile",
                    "The bearing area at the bottom, the axial stiffness, the diagonal of the "
                    "head stiffness in pile axes (K11, K22 lateral, K33 axial, K44, K55 bending, "
                    "K66 torsion; the whole of it under Stiffness) and the shape factor kf of the "
                    "calculation width (0.9 square, 1 circular).",
                    pile_values_table(result, force), "pile-values");
  html += table_section(
      "Interaction coefficients of the group",
      "k = b + (1 - b).L1/(0.6.h1) when L1 < 0.6.h1, else 1: from the distinct "
      "positions of the group when two piles stand closer than 1 m at the ground "
      "line, else from the row of the smallest k; n piles in it, base coefficient b, "
      "smallest clear spacing L1 in whole metres and the larger h1 = min(3.(d + 1), h) "
      "of that pair.",
      interaction_table(result.derived, force), "interaction");
  html += table_section(
      "Per pile and segment below the ground line",
      std::string("The interaction coefficients kx, ky of the group, the calculation widths "
                  "b = (d + 1).k.kf, the deformation factors alpha = (m.b/EI)^0.2 and alpha.h "
                  "with h the pile's length below the ground line, and the bending stiffness "
                  "EI = PEH.I of the segment.") +
          (shown.empty() ? "" : " The piles with a page of diagrams only."),
      segment_values_table(result.derived, shown, force), "segment-values");
  html += "</section>\n";
  return html;
}

}  // namespace kelmarino
