// The page of the results view: the calculation report of the input, the summary tables, the files
// beside it, the plan and the diagrams of every pile.
#include <algorithm>
#include <charconv>
#include <stdexcept>
#include <string_view>

#include "diagram/panels.hpp"
#include "diagram/svg.hpp"
#include "plot/plot.hpp"

namespace kelmarino {
namespace {

// A pile number of a list: digits only; beyond the integers, a number no group has.
bool pile_number(std::string_view digits, int32_t& number) {
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
    return false;
  }
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (error == std::errc::result_out_of_range) number = INT32_MAX;
  return true;
}

// The piles of a list "1,5,10-12", ascending, each once.
std::vector<int32_t> listed_piles(const std::string& list, int32_t PNUM) {
  std::vector<int32_t> piles;
  size_t at = 0;
  while (at <= list.size()) {
    const size_t end = std::min(list.find(',', at), list.size());
    const std::string item = list.substr(at, end - at);
    const size_t dash = item.find('-');
    int32_t first = 0, last = 0;
    if (!pile_number(std::string_view(item).substr(0, dash), first) ||
        !pile_number(dash == std::string::npos ? item : item.substr(dash + 1), last)) {
      throw std::invalid_argument("--pile-pages: cannot read \"" + item +
                                  "\" as a pile or a range of piles (all, critical, auto or a "
                                  "list such as 1,5,10-12)");
    }
    if (last >= 1 && last < first) {
      throw std::invalid_argument("--pile-pages: " + item +
                                  ": a range goes from the lower pile to the higher");
    }
    if (first < 1 || last < first || last > PNUM) {
      throw std::invalid_argument("--pile-pages: the group has piles 1 to " + std::to_string(PNUM) +
                                  ", not " + item);
    }
    for (int32_t p = first; p <= last; ++p) piles.push_back(p);
    at = end + 1;
  }
  std::sort(piles.begin(), piles.end());
  piles.erase(std::unique(piles.begin(), piles.end()), piles.end());
  return piles;
}

std::string pile_list(const std::vector<int32_t>& piles) {
  std::string list;
  for (const int32_t p : piles) {
    if (!list.empty()) list += ", ";
    list += std::to_string(p);
  }
  return list;
}

bool has_page(const PilePages& pages, int32_t p) {
  return std::binary_search(pages.piles.begin(), pages.piles.end(), p);
}

// What a stiffness print of one pile (JCTR 3) prints: ", INO 4: pile 4", or ", INO 6: the
// simulated pile S2" past the piles; nothing for another print.
std::string stiffness_print_of(const RunValues& run) {
  if (run.JCTR != 3) return "";
  const std::string ino = ", INO " + std::to_string(run.INO) + ": ";
  return run.INO > run.PNUM ? ino + "the simulated pile S" + std::to_string(run.INO - run.PNUM)
                            : ino + "pile " + std::to_string(run.INO);
}

// The rows of a table of every pile that belong to the piles with a page, and the rows of no
// pile (KCAP): the first cell is the pile number, alone or after "pile ".
ResultTable rows_with_pages(ResultTable table, const PilePages& pages) {
  std::erase_if(table.rows, [&](const std::vector<std::string>& row) {
    const std::string& cell = row[0];
    const size_t digits = cell.rfind("pile ", 0) == 0 ? 5 : 0;
    if (cell.size() <= digits || cell.find_first_not_of("0123456789", digits) != std::string::npos)
      return false;
    return !has_page(pages, std::stoi(cell.substr(digits)));
  });
  return table;
}

}  // namespace

std::string table_section(const std::string& heading, const std::string& note,
                          const ResultTable& table, const std::string& id) {
  std::string html = "<h3>";
  html.append(escape_html(heading)).append("</h3>\n");
  if (!note.empty()) html.append("<p>").append(escape_html(note)).append("</p>\n");
  html.append("<div class=\"wide\">\n").append(html_table(table, id)).append("</div>\n");
  return html;
}

PilePages pile_pages(const std::string& choice, const Result& result) {
  const auto PNUM = static_cast<int32_t>(result.piles.size());
  const std::string files = "; the diagrams of every pile are the files " + pile_file_name(1) +
                            " to " + pile_file_name(PNUM) +
                            " beside this page (--pile-pages all puts them all on it).";
  PilePages pages;
  if (choice == "all" || (choice == "auto" && PNUM <= PILE_PAGE_LIMIT)) {
    for (int32_t p = 1; p <= PNUM; ++p) pages.piles.push_back(p);
    pages.why =
        "Every pile has a page of diagrams below" +
        std::string(choice == "all" ? " (--pile-pages all)."
                                    : ": a group of up to " + std::to_string(PILE_PAGE_LIMIT) +
                                          " piles shows them all.");
  } else if (choice == "auto" || choice == "critical") {
    pages.piles = critical_piles(result);
    pages.why =
        "The piles with a page of diagrams below are the critical ones, those of the "
        "table above: " +
        pile_list(pages.piles) +
        (choice == "auto" ? " (the group has " + std::to_string(PNUM) + " piles, more than the " +
                                std::to_string(PILE_PAGE_LIMIT) + " that all get a page)"
                          : std::string(" (--pile-pages critical)")) +
        files;
  } else {
    pages.piles = listed_piles(choice, PNUM);
    pages.why = "The piles with a page of diagrams below are those of --pile-pages " + choice +
                ": " + pile_list(pages.piles) + files;
  }
  return pages;
}

std::string index_html(const std::string& title, const Group& group, const Result& result,
                       const TitleBlock& block, const PilePages& pages, ForceUnit force,
                       const std::vector<std::string>& warnings) {
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
      "img { max-width: 100%; box-sizing: border-box; border: 1px solid #dddddd; } "
      "div.figure svg { max-width: 100%; height: auto; } "
      "div.warnings pre { background: #fff4e0; border-left: 4px solid #e08000; padding: 0.5em; } "
      "table#title-block th { text-align: left; } table#title-block td { text-align: left; }\n"
      // Printed: A4 pages, no navigation, each pile's diagrams on a page of their own across its
      // width (the diagrams are drawn for it: their smallest text prints at 7 pt and more).
      "@media print { " +
      print_css(title + ": results", block) +
      "body { margin: 0; font-size: 9pt; } "
      "nav { display: none; } div.wide { overflow: visible; } "
      "th, td { padding: 0.1em 0.3em; } "
      "section.pile { break-before: page; page-break-before: always; } "
      "section.pile img { width: 100%; box-sizing: border-box; } }"
      "</style>\n</head>\n<body>\n"
      "<h1>" +
      name + ": results</h1>\n" + title_block_html(block);
  for (const std::string& warning : warnings) {
    html += "<p class=\"warning\"><strong>Warning:</strong> " + escape_xml(warning) + "</p>\n";
  }
  const std::array<std::string, 4> units = stiffness_units(force);
  const std::string stiffness_note =
      "KCAP at the cap centre in cap axes, then the head stiffness of every pile in its own axes" +
      std::string(group.model->run.SNUM > 0 ? " and of every simulated pile as given (S1, S2, ...)"
                                            : "") +
      ": a row per force (NX .. MZ), a column per displacement (UX .. SZ), in " + units[0] + ", " +
      units[1] + ", " + units[2] + " and " + units[3] + " (also in stiffness.csv).";
  if (scope_asked(group) != AnalysisScope::everything) {
    html +=
        "<nav><p>Files: <a href=\"summary.txt\">summary.txt</a>, <a "
        "href=\"stiffness.csv\">stiffness.csv</a>. The data file asks for a stiffness print "
        "(JCTR " +
        std::to_string(group.model->run.JCTR) + stiffness_print_of(group.model->run) +
        "): no pile results.</p></nav>\n";
    html += method_html(group, result, force) + input_report_html(group, result, force) +
            "<h2>Stiffness</h2>\n";
    html += table_section("Stiffness of the foundation and of the pile heads", stiffness_note,
                          stiffness_table(group, result, force), "stiffness");
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
  // A pile without a page of its own links to its diagrams' file.
  for (int32_t p = 1; p <= PNUM; ++p) {
    const std::string g = std::to_string(p);
    html.append(" <a href=\"")
        .append(has_page(pages, p) ? "#pile-" + g : pile_file_name(p))
        .append("\">")
        .append(g)
        .append("</a>");
  }
  const bool every_pile = static_cast<int32_t>(pages.piles.size()) == PNUM;
  const std::vector<int32_t> shown = every_pile ? std::vector<int32_t>() : pages.piles;
  html += "</p></nav>\n<h2>Critical piles</h2>\n";
  // A smaller group has every pile ranked.
  const std::string ranked =
      result.piles.size() >= CRITICAL_COUNT
          ? "the " + std::to_string(CRITICAL_COUNT) + " piles of the largest magnitude"
          : "every pile of the group";
  html += table_section(
      "The largest values of the group",
      "For each quantity " + ranked +
          ", largest first: the axial force NZ at the pile top "
          "(compression positive), the largest resultant moment M and shear V along the pile, "
          "the displacement of the pile top across its axis sqrt(UX^2 + UY^2), and the largest "
          "soil stress at the stations.",
      critical_table(result, force), "critical");
  html += "<p class=\"pile-pages\">" + escape_html(pages.why) + "</p>\n";
  html += method_html(group, result, force) + input_report_html(group, result, force, shown) +
          "<h2>Summary</h2>\n";
  html +=
      table_section("Displacements of the cap centre, in cap axes", "", cap_table(result), "cap");
  html += table_section("Displacements at the pile tops, in the axes of each pile", "",
                        head_displacement_table(result), "head-displacements");
  html += table_section("Forces at the pile tops, in the axes of each pile", "",
                        head_force_table(result, force), "head-forces");
  if (!result.supports.empty()) {
    html += table_section("Reactions of the simulated piles",
                          "The force on each simulated pile, in cap axes at its position: its "
                          "stiffness times the cap displacements moved there, signed as the forces "
                          "at the pile tops (the forces on the piles).",
                          support_table(result, piles, force), "supports");
  }
  html += table_section(
      "Equilibrium of the cap",
      "At the cap centre, in cap axes: the applied loads, and the forces on the pile heads "
      "(turned into cap axes) and on the simulated piles moved there; the residual is the "
      "largest difference over the largest applied component, above 1e-4 a warning.",
      equilibrium_table(result, force), "equilibrium");
  html += table_section(
      "Largest values along each pile",
      "The axial force NZ at the top, and the largest absolute moment, shear and soil stress of "
      "either bending plane, signed, with the component it is (of), the distance Z along the pile "
      "axis from its top and the station number; then the largest resultant moment "
      "M = sqrt(MX^2 + MY^2) and shear V = sqrt(NX^2 + NY^2). A circular pile is given by its "
      "resultants alone (its planes -), a square pile by both planes and the resultants.",
      extremes_table(result, piles, force, false), "extremes");
  html += table_section("Largest values in the soil",
                        "From the ground line (at Z = ground Z) down: the largest absolute moment "
                        "and shear of either bending plane and the resultants, as above.",
                        extremes_table(result, piles, force, true), "soil-extremes");
  html += table_section(
      "True peaks along each pile",
      std::string(
          "True peaks between stations: the largest absolute displacement, shear, moment and "
          "soil stress of each bending plane, taken from the exact solution between the stations "
          "and at them, signed, with the distance Z from the pile top. The soil stress is taken on "
          "both sides of every layer boundary: just below one it takes the lower layer's m. The "
          "stations and the tables above take the values at the stations only.") +
          (every_pile ? "" : " The piles with a page of diagrams only (every pile in peaks.csv)."),
      rows_with_pages(peaks_table(result, force), pages), "peaks");
  html += table_section("Stiffness of the foundation and of the pile heads",
                        stiffness_note + (every_pile ? ""
                                                     : " After KCAP, the piles with a page of "
                                                       "diagrams only (every pile in "
                                                       "stiffness.csv)."),
                        rows_with_pages(stiffness_table(group, result, force), pages), "stiffness");
  html += "<h2>Plan of the group</h2>\n<p><img src=\"plan.svg\" alt=\"Plan of the group\"/></p>\n";
  for (const int32_t p : pages.piles) {
    const std::string g = std::to_string(p);
    html += "<section class=\"pile\">\n<h2 id=\"pile-" + g + "\">Pile " + g +
            ", top at (x, y) = (" + readable(as_printed(piles.PXY(p, 1))) + ", " +
            readable(as_printed(piles.PXY(p, 2))) + ") m</h2>\n" + "<p><img src=\"" +
            pile_file_name(p) + "\" alt=\"Diagrams of pile " + g + "\"/></p>\n</section>\n";
  }
  html += "</body>\n</html>\n";
  return html;
}

}  // namespace kelmarino
