// The page that shows the cap displacements, the plan and the diagrams of every pile.
#include "plot/plot.hpp"
#include "plot/svg.hpp"

namespace kelmarino {
namespace {

std::string cap_table(const std::vector<CapDisplacement>& cap) {
  if (cap.empty()) {
    return "<p>The report holds no cap displacements (run kelmarino to write it).</p>\n";
  }
  std::string table = "<table id=\"cap\">\n";
  for (const CapDisplacement& d : cap) {
    table += "<tr><th>" + escape_xml(d.name) + "</th><td class=\"value\">" + escape_xml(d.value) +
             "</td><td>" + escape_xml(d.unit) + "</td></tr>\n";
  }
  return table + "</table>\n";
}

}  // namespace

std::string index_html(const std::string& title, int32_t PNUM,
                       const std::vector<CapDisplacement>& cap, const PosFile& pos) {
  const std::string name = escape_xml(title);
  std::string html =
      "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>\n"
      "<meta charset=\"utf-8\"/>\n<title>" +
      name +
      ": result diagrams</title>\n"
      "<style>body { font-family: sans-serif; margin: 2em; } "
      "table { border-collapse: collapse; } "
      "th, td { border: 1px solid #bbbbbb; padding: 0.2em 0.8em; text-align: right; } "
      "img { max-width: 100%; border: 1px solid #dddddd; }</style>\n</head>\n<body>\n"
      "<h1>" +
      name + ": result diagrams</h1>\n<p>Piles:";
  for (int32_t p = 1; p <= PNUM; ++p) {
    html += " <a href=\"#pile-" + std::to_string(p) + "\">" + std::to_string(p) + "</a>";
  }
  html += "</p>\n<h2>Displacements of the cap centre</h2>\n" + cap_table(cap) +
          "<h2>Plan of the group</h2>\n<p><img src=\"plan.svg\" alt=\"Plan of the group\"/></p>\n";
  for (int32_t p = 1; p <= PNUM; ++p) {
    const PosPile& pile = pos.piles[static_cast<size_t>(p - 1)];
    html += "<h2 id=\"pile-" + std::to_string(p) + "\">Pile " + std::to_string(p) +
            ", top at (x, y) = (" + fixed(pile.x, 3) + ", " + fixed(pile.y, 3) + ") m</h2>\n" +
            "<p><img src=\"" + pile_file_name(p) + "\" alt=\"Diagrams of pile " +
            std::to_string(p) + "\"/></p>\n";
  }
  return html + "</body>\n</html>\n";
}

}  // namespace kelmarino
