// The page of the bridge pier as a person sees it: opened in headless Chromium, every image it
// shows loads, the summary tables are in the page with one row per pile, and no cell holds a
// number in E-notation. Printed to PDF by Chromium and read by poppler, the pages are an A4
// document whose diagrams are readable.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "diagram/title_block.hpp"  // sha256_hex
#include "plot/plot_runs.hpp"
#include "plot/printed_pdf.hpp"
#include "plot/xml_check.hpp"
#include "version/version.hpp"

namespace kelmarino {
namespace {

using testing::can_print;
using testing::CHROMIUM;
using testing::example_path;
using testing::expect_readable_diagram;
using testing::PDFTOTEXT;
using testing::plotted;
using testing::printed_document;
using testing::printed_pages;
using testing::PrintedDocument;
using testing::read_file;
using testing::read_xml;
using testing::XmlDocument;
using testing::XmlElement;

// Written into the page after it has loaded: each image's source with whether it shows (loaded,
// with a width), the row count of each table in the page's body, and the count of table cells
// holding a number in E-notation (the title block's digest and version are not numbers).
const char* const PROBE =
    "<pre id=\"probe\"></pre><script>window.addEventListener('load', function () {"
    "  var lines = [];"
    "  for (const img of document.images)"
    "    lines.push('image ' + img.getAttribute('src') + ' ' + (img.complete && img.naturalWidth > "
    "0));"
    "  for (const table of document.querySelectorAll('table'))"
    "    lines.push('table ' + table.id + ' ' + table.querySelectorAll('tbody tr').length);"
    "  var e = 0;"
    "  for (const td of document.querySelectorAll('table:not(#title-block) td')) e += "
    "/[0-9][eE][-+]?[0-9]/.test(td.textContent);"
    "  lines.push('cells-in-E-notation ' + e);"
    "  document.getElementById('probe').textContent = lines.join('|');"
    "});</script>";

// What the probe wrote, one entry per image and table; empty when the browser wrote nothing.
std::map<std::string, std::string> probe(const std::string& dom) {
  std::map<std::string, std::string> found;
  const size_t start = dom.find("<pre id=\"probe\">");
  if (start == std::string::npos) return found;
  const size_t first = start + 16;
  std::string text = dom.substr(first, dom.find("</pre>", first) - first);
  text += '|';
  for (size_t at = 0, end; (end = text.find('|', at)) != std::string::npos; at = end + 1) {
    const std::string entry = text.substr(at, end - at);
    const size_t blank = entry.rfind(' ');
    if (blank != std::string::npos) found[entry.substr(0, blank)] = entry.substr(blank + 1);
  }
  return found;
}

TEST(Browser, PageShowsEveryImageAndTheSummaryTables) {
  if (access(CHROMIUM, X_OK) != 0) {
    GTEST_SKIP() << "SKIPPED: no browser at " << CHROMIUM
                 << " (Debian package chromium, installed by .ci/run): the page of the results "
                    "is not checked in a browser";
  }
  const testing::Plotted& p = plotted("pier");
  // A copy of the page beside the images, with the probe and an image that cannot load: the
  // probe must tell it apart.
  std::string page = p.document("index.html");
  const size_t body_end = page.rfind("</body>");
  ASSERT_NE(body_end, std::string::npos);
  page.insert(body_end, std::string("<p><img src=\"missing.svg\" alt=\"missing\"/></p>") + PROBE);
  std::ofstream(p.plots + "/probe.html") << page;
  const std::string profile = testing::temporary_folder();
  const std::string dom = testing::temporary_folder() + "/dom.html";
  const std::string command =
      std::string("timeout 120 ") + CHROMIUM +
      " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
      " --disable-background-networking --disable-component-update --disable-sync"
      " --user-data-dir=" +
      profile + " --virtual-time-budget=10000 --dump-dom file://" + p.plots + "/probe.html > " +
      dom + " 2> /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const std::map<std::string, std::string> seen = probe(read_file(dom));
  ASSERT_FALSE(seen.empty()) << "the browser wrote no page with the probe's result";

  std::map<std::string, std::string> expected = {{"image plan.svg", "true"},
                                                 {"image missing.svg", "false"},
                                                 {"table cap", "1"},
                                                 {"cells-in-E-notation", "0"}};
  const std::string piles = std::to_string(p.pos.PNUM);
  for (const char* table :
       {"head-displacements", "head-forces", "extremes", "soil-extremes", "piles", "pile-values"}) {
    expected[std::string("table ") + table] = piles;
  }
  // The input of the pier: two load points and the resultant, one simulated pile, four types of
  // two segments above and three below the ground line, three below-ground segments per pile.
  expected["table title-block"] = "5";  // data file, heading, SHA-256, program, run
  expected["table control"] = "1";
  expected["table simulated"] = "1";
  expected["table loads"] = "3";
  expected["table types"] = "4";
  expected["table segments"] = "20";
  expected["table segment-values"] = std::to_string(3 * p.pos.PNUM);
  expected["table peaks"] = std::to_string(2 * p.pos.PNUM);  // one row per bending plane
  expected["table critical"] = "5";                          // five ranks of every quantity
  expected["table supports"] = "1";
  expected["table equilibrium"] = "2";
  expected["table interaction"] = "2";
  expected["table stiffness"] = std::to_string(6 * (p.pos.PNUM + 2));  // KCAP, piles, S1
  for (int32_t g = 1; g <= p.pos.PNUM; ++g) {
    expected["image " + std::string(g < 10 ? "pile-0" : "pile-") + std::to_string(g) + ".svg"] =
        "true";
  }
  EXPECT_EQ(seen, expected);
}

class PrintedExample : public ::testing::TestWithParam<const char*> {};
INSTANTIATE_TEST_SUITE_P(Examples, PrintedExample, ::testing::Values("pier", "rock"));

// The page printed to PDF by Chromium and read back by poppler is a document a checker files:
// every sheet A4 with the page's title and the run in its top margin, "page x of y" in its bottom
// one; no sheet ends on a heading; the text holds the program's version, the data file's SHA-256
// and the method. The diagrams of pile 1 print at the scale measured between two of their panel
// titles, and their smallest text is 7 pt or more at it.
TEST_P(PrintedExample, PrintsAsAnA4DocumentWithReadableDiagrams) {
  if (!can_print()) {
    GTEST_SKIP() << "SKIPPED: no browser at " << CHROMIUM << " or no " << PDFTOTEXT
                 << " (Debian packages chromium and poppler-utils): the print is not checked";
  }
  const std::string base = GetParam();
  const testing::Plotted& p = plotted(base);
  const XmlDocument page = read_xml(p.document("index.html"));
  const std::string digest = sha256_hex(read_file(example_path(base + ".dat")));
  const PrintedDocument printed = printed_document(
      p.plots, "index.html", page, base + ": results",
      "data SHA-256 " + digest.substr(0, 12) + ", run 1970-01-01 00:00 UTC", "Pile 1, top at");
  const std::string& text = printed.text;
  EXPECT_NE(text.find("kelmarino-plot " + std::string(VERSION)), std::string::npos);
  EXPECT_NE(text.find(sha256_hex(read_file(example_path(base + ".dat")))), std::string::npos);
  EXPECT_NE(text.find("Method and assumptions"), std::string::npos);
  EXPECT_NE(text.find("1 t = 9.80665 kN"), std::string::npos);
  ASSERT_GE(printed.marked, 0);
  expect_readable_diagram(read_xml(p.document("pile-01.svg")),
                          printed.sheets[static_cast<size_t>(printed.marked)]);
}

// Printed on A4 with the print stylesheet, each pile's diagrams take exactly one page of their
// own: the whole page prints as the pages before the first pile's diagrams plus one per pile.
TEST(Browser, PrintsEveryPilesDiagramsOnAPageOfTheirOwn) {
  if (!can_print()) GTEST_SKIP() << "SKIPPED: no browser at " << CHROMIUM << " or no " << PDFTOTEXT;
  const testing::Plotted& p = plotted("pier");
  const std::string page = p.document("index.html");
  const size_t first_pile = page.find("<section class=\"pile\">");
  ASSERT_NE(first_pile, std::string::npos);
  std::ofstream(p.plots + "/front.html") << page.substr(0, first_pile) + "</body>\n</html>\n";
  const int32_t front = printed_pages(p.plots, "front.html");
  EXPECT_GE(front, 3);  // the input, the derived values and the summary take pages of their own
  EXPECT_EQ(printed_pages(p.plots, "index.html"), front + p.pos.PNUM);
}

// The 200 piles of the capacity group print in under 60 A4 pages: the critical piles' diagrams on
// a page each, the long tables of every pile with the rows of those piles only.
TEST(Browser, LargeGroupPrintsInUnderSixtyPages) {
  if (!can_print()) GTEST_SKIP() << "SKIPPED: no browser at " << CHROMIUM << " or no " << PDFTOTEXT;
  const std::string folder =
      testing::new_folder({{"capacity.dat", read_file(testing::test_data_path("capacity.dat"))}});
  const testing::PlotRun run = testing::run_plot(folder, "capacity");
  ASSERT_EQ(run.exit_status, 0) << run.errors;
  const std::string page = read_file(folder + "/capacity-plots/index.html");
  size_t sections = 0;
  for (size_t at = page.find("<section class=\"pile\">"); at != std::string::npos;
       at = page.find("<section class=\"pile\">", at + 1)) {
    ++sections;
  }
  EXPECT_GT(sections, 0u);
  EXPECT_LT(sections, 24u);
  EXPECT_LT(printed_pages(folder + "/capacity-plots", "index.html"), 60);
}

}  // namespace
}  // namespace kelmarino
