// The page of the results view: the calculation report of the input, the summary tables, the files
// beside it, the plan and the diagrams of every pile.
#include "diagram/svg.hpp"
#include "plot/plot.hpp"

namespace kelmarino {
namespace {

std::string table_section(const std::string& heading, const std::string& note,
                          const ResultTable& table, const std::string& id) {
  std::string html = "<h3>";
  html.append(escape_html(heading)).append("</h3>\n");
  if (!note.empty()) html.append("<p>").append(escape_html(note)).append("</p>\n");
  html.append("<div class=\"wide\">\n").append(html_table(table, id)).append("</div>\n");
  return html;
}

}  // namespace

std::string index_html(const std::string& title, const Group& group, const Result& result,
                       const TitleBlock& block, const std::vector<std::string>& warnings) {
  const std::string name = escape_xml(title);
  std::string html =
      "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>\n"
      "<meta charset=\"utf-8\"/>\n<title>" +
      name +
      ": results</title>\n"
      "<style>body { font-family: sans-serif; margin: 2em; } "
      "table { border-collapse: collapse; margin-bottom: 1em; } "
      "th, td { border: 1px solid #bbbbbb; padding: 0.2em 0.6em; text-align: right; "
      "font-variant-numeric: tabular-nums; } "
      "th { background: #f0f0f0; } div.wide { overflow-x: auto; } "
      "img { max-width: 100%; border: 1px solid #dddddd; } "
      "div.figure svg { max-width: 100%; height: auto; } "
      "div.warnings pre { background: #fff4e0; border-left: 4px solid #e08000; padding: 0.5em; } "
      "table#title-block th { text-align: left; } table#title-block td { text-align: left; }\n"
      // Printed: A4 pages, no navigation, each pile's diagrams on a page of their own.
      "@media print { " +
      print_css(title + ": results") +
      "body { margin: 0; font-size: 9pt; } "
      "nav { display: none; } div.wide { overflow: visible; } "
      "th, td { padding: 0.1em 0.3em; } "
      "section.pile { break-before: page; page-break-before: always; } "
      "section.pile img { max-height: 240mm; max-width: 100%; } }"
      "</style>\n</head>\n<body>\n"
      "<h1>" +
      name + ": results</h1>\n" + title_block_html(block);
  for (const std::string& warning : warnings) {
    html += "<p class=\"warning\"><strong>Warning:</strong> " + escape_xml(warning) + "</p>\n";
  }
  const std::string stiffness_note =
      "KCAP at the cap centre in cap axes, then the head stiffness of every pile in its own axes: "
      "a row per force (NX .. MZ), a column per displacement (UX .. SZ), in t/m, t/rad, t*m/m "
      "and t*m/rad (also in stiffness.csv).";
  if (scope_asked(group) != AnalysisScope::everything) {
    html +=
        "<nav><p>Files: <a href=\"summary.txt\">summary.txt</a>, <a "
        "href=\"stiffness.csv\">stiffness.csv</a>. The data file asks for a stiffness print "
        "(JCTR " +
        std::to_string(group.model->run.JCTR) + "): no pile results.</p></nav>\n";
    html += method_html(group, result) + input_report_html(group, result) + "<h2>Stiffness</h2>\n";
    html += table_section("Stiffness of the foundation and of the pile heads", stiffness_note,
                          stiffness_table(result), "stiffness");
    return html +
           "<h2>Plan of the group</h2>\n<p><img src=\"plan.svg\" alt=\"Plan of the group\"/></p>\n"
           "</body>\n</html>\n";
  }
  html +=
      "<nav><p>Files: <a href=\"summary.txt\">summary.txt</a> (these tables as "
      "text), <a href=\"stations.csv\">stations.csv</a> (every station of every pile), "
      "<a href=\"heads.csv\">heads.csv</a> (every pile top), <a href=\"peaks.csv\">peaks.csv</a> "
      "(the true peaks), <a href=\"supports.csv\">supports.csv</a> (every simulated pile), <a "
      "href=\"equilibrium.csv\">equilibrium.csv</a>, <a href=\"stiffness.csv\">stiffness.csv</a>. "
      "Diagrams of pile:";
  const PileData& piles = group.model->piles;
  const auto PNUM = static_cast<int32_t>(result.piles.size());
  for (int32_t p = 1; p <= PNUM; ++p) {
    const std::string g = std::to_string(p);
    html.append(" <a href=\"#pile-").append(g).append("\">").append(g).append("</a>");
  }
  html += "</p></nav>\n" + method_html(group, result) + input_report_html(group, result) +
          "<h2>Summary</h2>\n";
  html +=
      table_section("Displacements of the cap centre, in cap axes", "", cap_table(result), "cap");
  html += table_section("Displacements at the pile tops, in the axes of each pile", "",
                        head_displacement_table(result), "head-displacements");
  html += table_section("Forces at the pile tops, in the axes of each pile", "",
                        head_force_table(result), "head-forces");
  if (!result.supports.empty()) {
    html += table_section("Reactions of the simulated piles",
                          "The force on each simulated pile, in cap axes at its position: its "
                          "stiffness times the cap displacements moved there, signed as the forces "
                          "at the pile tops (the forces on the piles).",
                          support_table(result, piles), "supports");
  }
  html += table_section(
      "Equilibrium of the cap",
      "At the cap centre, in cap axes: the applied loads, and the forces on the pile heads "
      "(turned into cap axes) and on the simulated piles moved there; the residual is the "
      "largest difference over the largest applied component, above 1e-4 a warning.",
      equilibrium_table(result), "equilibrium");
  html += table_section(
      "Largest values along each pile",
      "The axial force NZ at the top, and the largest absolute moment, shear and soil stress of "
      "either bending plane, signed, with the component it is (of), the distance Z along the pile "
      "axis from its top and the station number; then the largest resultant moment "
      "M = sqrt(MX^2 + MY^2) and shear V = sqrt(NX^2 + NY^2). A circular pile is given by its "
      "resultants alone (its planes -), a square pile by both planes and the resultants.",
      extremes_table(result, piles), "extremes");
  html += table_section("Largest values in the soil",
                        "From the ground line (at Z = ground Z) down: the largest absolute moment "
                        "and shear of either bending plane and the resultants, as above.",
                        soil_extremes_table(result, piles), "soil-extremes");
  html += table_section(
      "True peaks along each pile",
      "True peaks between stations: the largest absolute displacement, shear, moment and soil "
      "stress of each bending plane, taken from the exact solution between the stations and at "
      "them, signed, with the distance Z from the pile top. The soil stress is taken on both sides "
      "of every layer boundary: just below one it takes the lower layer's m. The stations and "
      "the tables above take the values at the stations only.",
      peaks_table(result), "peaks");
  html += table_section("Stiffness of the foundation and of the pile heads", stiffness_note,
                        stiffness_table(result), "stiffness");
  html += "<h2>Plan of the group</h2>\n<p><img src=\"plan.svg\" alt=\"Plan of the group\"/></p>\n";
  for (int32_t p = 1; p <= PNUM; ++p) {
    const std::string g = std::to_string(p);
    html += "<section class=\"pile\">\n<h2 id=\"pile-" + g + "\">Pile " + g +
            ", top at (x, y) = (" + readable(as_printed(piles.PXY(p, 1))) + ", " +
            readable(as_printed(piles.PXY(p, 2))) + ") m</h2>\n" + "<p><img src=\"" +
            pile_file_name(p) + "\" alt=\"Diagrams of pile " + g + "\"/></p>\n</section>\n";
  }
  return html + "</body>\n</html>\n";
}

}  // namespace kelmarino
