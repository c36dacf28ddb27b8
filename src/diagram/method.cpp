// The method and assumptions of a run, with its own values, and the sign-convention figure.
#include "diagram/method.hpp"

#include <map>
#include <string>

#include "diagram/axes_svg.hpp"
#include "diagram/svg.hpp"
#include "tables/tables.hpp"

namespace kelmarino {
namespace {

const char* bottom_rule(int32_t KSU) {
  switch (KSU) {
    case 1:
    case 2:
      return KSU == 1 ? "bears on the soil, the bearing area spread at a quarter of the friction "
                        "angles, factor 0.5 on the body below the ground line; the axial force "
                        "falls to zero at the tip"
                      : "bears on the soil, the bearing area spread at a quarter of the friction "
                        "angles, factor 0.667 on the body below the ground line; the axial force "
                        "falls to zero at the tip";
    case 4:
      return "bears with its own section, the axial force constant down to the tip; the bottom "
             "held against displacement and rotation in the lateral analysis";
    default:
      return "bears with its own section, the axial force constant down to the tip";
  }
}

// "piles 1, 2, 5", "pile 3", or "every pile" when all PNUM piles are in it.
std::string pile_list(const std::string& numbers, int32_t count, int32_t PNUM) {
  if (count == PNUM) return "every pile";
  return (count == 1 ? "pile " : "piles ") + numbers;
}

// The values of an integer or real key over the piles, each with the piles that take it.
template <typename Key>
std::string values_with_piles(int32_t PNUM, Key key, const std::string& unit = "") {
  std::map<std::string, std::pair<std::string, int32_t>> of;
  for (int32_t p = 1; p <= PNUM; ++p) {
    auto& [numbers, count] = of[key(p)];
    numbers += (count == 0 ? "" : ", ") + std::to_string(p);
    ++count;
  }
  std::string text;
  for (const auto& [value, piles] : of) {
    if (!text.empty()) text += "; ";
    text += value + unit + " (" + pile_list(piles.first, piles.second, PNUM) + ")";
  }
  return text;
}

}  // namespace

std::string method_html(const Group& group, const Result& result, ForceUnit force,
                        const std::vector<std::string>& more) {
  const PileData& piles = group.model->piles;
  const int32_t PNUM = group.model->run.PNUM;
  const DerivedValues& derived = result.derived;
  std::string html = "<section id=\"method\">\n<h2>Method and assumptions</h2>\n<ul>\n";
  html +=
      force == ForceUnit::t
          ? "<li>Units: lengths in m, forces in t, moments in t*m, soil coefficients m in t/m4; "
            "1 t = 9.80665 kN.</li>\n"
          : "<li>Units: lengths in m, forces in kN, moments in kN*m, stresses in kPa (kN/m2), "
            "soil coefficients m in kN/m4: the analysis runs in t and the tables and diagrams "
            "show its values times 9.80665 (1 t = 9.80665 kN).</li>\n";
  html +=
      "<li>The cap is rigid. Each pile is an elastic beam fixed into it; the foundation's "
      "stiffness KCAP is the sum of the head stiffness of every pile and simulated pile moved to "
      "the cap centre, and the cap displacements are those of KCAP under the loads.</li>\n";
  for (const std::string& item : more) html += "<li>" + escape_xml(item) + "</li>\n";
  html +=
      "<li>The soil beside a pile follows the m method: its lateral resistance per unit width "
      "grows as m.z with the depth z below the ground line, m of each soil segment.</li>\n";
  html += "<li>Calculation width b = (d + 1).k.kf, kf = " +
          escape_xml(values_with_piles(
              PNUM,
              [&](int32_t p) {
                return readable(static_cast<double>(derived.piles[static_cast<size_t>(p - 1)].kf)) +
                       (piles.KSH(p) == 0 ? " circular" : " square");
              })) +
          ".</li>\n";
  html +=
      "<li>Interaction of the group: k = b + (1 - b).L1/(0.6.h1) when L1 &lt; 0.6.h1, else 1; "
      "kx = " +
      readable(static_cast<double>(derived.kx)) +
      ", ky = " + readable(static_cast<double>(derived.ky)) + ", from the " +
      (derived.by_positions ? "distinct positions of the group" : "row of the smallest k") +
      ".</li>\n";
  html += "<li>Pile bottoms: ";
  std::map<int32_t, std::pair<std::string, int32_t>> tips;
  for (int32_t p = 1; p <= PNUM; ++p) {
    auto& [numbers, count] = tips[piles.KSU(p)];
    numbers += (count == 0 ? "" : ", ") + std::to_string(p);
    ++count;
  }
  bool first = true;
  for (const auto& [KSU, of] : tips) {
    html += (first ? "" : "; ") + std::string("KSU ") + std::to_string(KSU) + " (" +
            pile_list(of.first, of.second, PNUM) + "): " + bottom_rule(KSU);
    first = false;
  }
  html +=
      ".</li>\n"
      "<li>Signs: the cap axes X, Y, Z and the positive loads and moments as in the figure; the "
      "station values in the axes of each pile, Z along the pile axis from its top; the axial "
      "force NZ &gt; 0 is compression.</li>\n</ul>\n<div class=\"figure\">";
  html += AXES_SVG;
  html += "</div>\n</section>\n";
  return html;
}

}  // namespace kelmarino
