// The summary, the CSV files and the page of the shipped examples against the post-processing
// file and the report, read here independently of the summary code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "input/input.hpp"  // pile_stations
#include "plot/plot.hpp"
#include "plot/plot_runs.hpp"
#include "plot/xml_check.hpp"

namespace kelmarino {
namespace {

using testing::plotted;
using testing::Plotted;
using testing::read_xml;
using testing::split_lines;
using testing::XmlDocument;
using testing::XmlElement;

std::vector<std::string> words(const std::string& text, char separator = ' ') {
  std::vector<std::string> all;
  std::istringstream in(text);
  for (std::string w; std::getline(in, w, separator);) {
    if (!w.empty()) all.push_back(w);
  }
  return all;
}

float number(const std::string& text) {
  char* end = nullptr;
  const float value = std::strtof(text.c_str(), &end);
  EXPECT_EQ(end, text.c_str() + text.size()) << "not a number: " << text;
  return value;
}

// A cell for a reader holds `value` times `scale` to four significant digits, in plain decimals.
void expect_shown(const std::string& cell, double value, double scale = 1.0) {
  EXPECT_EQ(cell.find_first_of("Ee"), std::string::npos) << cell;
  const double scaled = value * scale;
  EXPECT_NEAR(std::strtod(cell.c_str(), nullptr), scaled, 5.0001e-4 * std::fabs(scaled))
      << cell << " for " << scaled;
}

const std::map<std::string, StationQuantity> QUANTITIES = {
    {"UX", UX}, {"UY", UY}, {"SX", SX}, {"SY", SY},   {"NX", NX},  {"NY", NY},
    {"NZ", NZ}, {"MX", MX}, {"MY", MY}, {"PSX", PSX}, {"PSY", PSY}};

// The group of a shipped example.
Group example_group(const std::string& base) {
  GroupRead read = read_group(testing::example_path(base + ".dat"));
  EXPECT_TRUE(read.has_value()) << base;
  return std::move(*read);
}

// The rows of the table of a summary.txt section: the lines after its rule of dashes.
std::vector<std::vector<std::string>> summary_rows(const std::string& summary,
                                                   const std::string& heading, size_t count) {
  const std::vector<std::string> lines = split_lines(summary);
  size_t at = 0;
  while (at < lines.size() && lines[at].rfind(heading, 0) != 0) ++at;
  while (at < lines.size() && lines[at].rfind("----", 0) != 0) ++at;
  std::vector<std::vector<std::string>> rows;
  for (size_t i = at + 1; i < lines.size() && rows.size() < count; ++i) {
    rows.push_back(words(lines[i]));
  }
  EXPECT_EQ(rows.size(), count) << heading;
  return rows;
}

// The pile-top values of the report, pile by pile: "UX=   .2378E-02 (m)   NX=   .2708E+02 (t)".
std::vector<std::map<std::string, float>> report_tops(const std::string& report) {
  std::vector<std::map<std::string, float>> tops;
  for (const std::string& line : split_lines(report)) {
    if (line.find("at the top of pile") != std::string::npos) tops.emplace_back();
    if (tops.empty()) continue;
    const std::vector<std::string> w = words(line);
    for (size_t i = 0; i + 1 < w.size(); ++i) {
      if (w[i].size() == 3 && w[i][2] == '=') tops.back()[w[i].substr(0, 2)] = number(w[i + 1]);
    }
  }
  return tops;
}

// The cells of the body rows of the page's table of an id.
std::vector<std::vector<std::string>> table_rows(const XmlDocument& page, const std::string& id) {
  const auto table = page.all("table", "id", id);
  EXPECT_EQ(table.size(), 1u) << id;
  std::vector<std::vector<std::string>> rows;
  for (const XmlElement* tr : page.all("tr")) {
    bool in_table = false;
    for (int up = tr->parent; up >= 0; up = page.elements[static_cast<size_t>(up)].parent) {
      in_table = in_table || (!table.empty() && up == page.index(table[0]));
    }
    std::vector<std::string> cells;
    for (const XmlElement& e : page.elements) {
      if (e.parent == page.index(tr) && e.name == "td") cells.push_back(e.text);
    }
    if (in_table && !cells.empty()) rows.push_back(cells);
  }
  return rows;
}

class Summary : public ::testing::TestWithParam<const char*> {};
INSTANTIATE_TEST_SUITE_P(Examples, Summary,
                         ::testing::Values("worked", "worked-simulated", "pier", "rock"));

// Checks the four cells of one kind from cells[c]: the value of the largest magnitude of the two
// components at stations first_k ... NSTA, the component, its Z and its station.
void check_largest(const PosPile& pile, const std::vector<std::string>& cells, size_t c,
                   const std::pair<const char*, const char*>& names, size_t first_k) {
  float largest = 0.0f;
  for (const char* name : {names.first, names.second}) {
    const std::vector<float>& v = pile.of(QUANTITIES.at(name));
    for (size_t k = first_k; k <= v.size(); ++k) largest = std::max(largest, std::fabs(v[k - 1]));
  }
  if (largest == 0.0f) {
    EXPECT_EQ(cells[c], "0");
    return;
  }
  EXPECT_TRUE(cells[c + 1] == names.first || cells[c + 1] == names.second) << cells[c + 1];
  const size_t k = std::strtoul(cells[c + 3].c_str(), nullptr, 10);
  ASSERT_TRUE(k >= first_k && k <= pile.ZH.size()) << cells[c + 3];
  const float value = pile.of(QUANTITIES.at(cells[c + 1]))[k - 1];
  EXPECT_EQ(std::fabs(value), largest) << names.first;
  expect_shown(cells[c], value);
  expect_shown(cells[c + 2], pile.ZH[k - 1]);
}

// The largest resultant sqrt(a^2 + b^2) of two components at stations first_k ... NSTA in cells[c],
// to the four digits of the printed components and of the cell.
void check_resultant(const PosPile& pile, const std::vector<std::string>& cells, size_t c,
                     const std::pair<const char*, const char*>& names, size_t first_k) {
  const std::vector<float>& a = pile.of(QUANTITIES.at(names.first));
  const std::vector<float>& b = pile.of(QUANTITIES.at(names.second));
  double largest = 0.0;
  for (size_t k = first_k; k <= a.size(); ++k) {
    largest = std::max(largest, std::hypot(static_cast<double>(a[k - 1]), b[k - 1]));
  }
  EXPECT_NEAR(std::strtod(cells[c].c_str(), nullptr), largest, 1.5e-3 * largest) << names.first;
}

// The per-plane cells of a circular pile, which is given by its resultants alone.
void check_not_shown(const std::vector<std::string>& cells, size_t c) {
  for (size_t i = c; i < c + 4; ++i) EXPECT_EQ(cells[i], "-") << i;
}

const std::pair<const char*, const char*> MOMENT = {"MY", "MX"};
const std::pair<const char*, const char*> SHEAR = {"NX", "NY"};
const std::pair<const char*, const char*> SOIL_STRESS = {"PSX", "PSY"};

// The largest absolute moment, shear and soil stress of either plane (a circular pile without
// the moment and the shear), where the summary says it is, the axial force at the top and the
// largest resultant moment and shear; the page shows the same rows.
TEST_P(Summary, LargestValuesAreThoseOfThePosFile) {
  const Plotted& p = plotted(GetParam());
  const Group group = example_group(GetParam());
  const std::vector<std::vector<std::string>> rows = summary_rows(
      p.document("summary.txt"), "Largest values along", static_cast<size_t>(p.pos.PNUM));
  for (const PosPile& pile : p.pos.piles) {
    SCOPED_TRACE("pile " + std::to_string(pile.g));
    const std::vector<std::string>& row = rows[static_cast<size_t>(pile.g - 1)];
    ASSERT_EQ(row.size(), 20u);
    EXPECT_EQ(row[0], std::to_string(pile.g));
    expect_shown(row[1], pile.of(NZ).front());
    if (group.model->piles.KSH(pile.g) == 0) {
      check_not_shown(row, 2);
      check_not_shown(row, 6);
    } else {
      check_largest(pile, row, 2, MOMENT, 1);
      check_largest(pile, row, 6, SHEAR, 1);
    }
    check_largest(pile, row, 10, SOIL_STRESS, 1);
    check_resultant(pile, row, 14, MOMENT, 1);
    check_resultant(pile, row, 17, SHEAR, 1);
  }
  EXPECT_EQ(table_rows(read_xml(p.document("index.html")), "extremes"), rows);
}

// The same for the moment and the shear from the ground line down, the ground line found from the
// segments of the data file.
TEST_P(Summary, LargestInTheSoilAreThoseFromTheGroundLineDown) {
  const Plotted& p = plotted(GetParam());
  const Group group = example_group(GetParam());
  const std::vector<std::vector<std::string>> rows = summary_rows(
      p.document("summary.txt"), "Largest values in the soil", static_cast<size_t>(p.pos.PNUM));
  for (const PosPile& pile : p.pos.piles) {
    SCOPED_TRACE("pile " + std::to_string(pile.g));
    const size_t KG = static_cast<size_t>(pile_stations(group.model->piles, pile.g).KG);
    const std::vector<std::string>& row = rows[static_cast<size_t>(pile.g - 1)];
    ASSERT_EQ(row.size(), 16u);
    EXPECT_EQ(row[0], std::to_string(pile.g));
    expect_shown(row[1], pile.ZH[KG - 1]);
    if (group.model->piles.KSH(pile.g) == 0) {
      check_not_shown(row, 2);
      check_not_shown(row, 6);
    } else {
      check_largest(pile, row, 2, MOMENT, KG);
      check_largest(pile, row, 6, SHEAR, KG);
    }
    check_resultant(pile, row, 10, MOMENT, KG);
    check_resultant(pile, row, 13, SHEAR, KG);
  }
  EXPECT_EQ(table_rows(read_xml(p.document("index.html")), "soil-extremes"), rows);
}

// The cap displacements and the pile tops as the report prints them, in the summary, on the page
// and in heads.csv (with the pile-top coordinates of the post-processing file).
TEST_P(Summary, CapAndPileTopsAreThoseOfTheReport) {
  const Plotted& p = plotted(GetParam());
  const std::string report = p.run.file(std::string(GetParam()) + ".out");
  std::vector<float> cap;  // "UX=   .6603E-03 (m)" in the block of the cap centre
  for (const std::string& line : split_lines(report.substr(report.find("CAP CENTER")))) {
    const std::vector<std::string> w = words(line);
    if (cap.size() < 6 && w.size() >= 3 && w[w.size() - 3].back() == '=')
      cap.push_back(number(w[w.size() - 2]));
  }
  ASSERT_EQ(cap.size(), 6u);
  const XmlDocument page = read_xml(p.document("index.html"));
  const auto cap_rows = table_rows(page, "cap");
  ASSERT_EQ(cap_rows.size(), 1u);
  EXPECT_EQ(summary_rows(p.document("summary.txt"), "Displacements of the cap centre", 1).at(0),
            cap_rows[0]);
  for (size_t i = 0; i < 6; ++i) expect_shown(cap_rows[0].at(i), cap[i], 1000.0);  // mm, mrad

  const auto tops = report_tops(report);
  ASSERT_EQ(tops.size(), static_cast<size_t>(p.pos.PNUM));
  const std::vector<std::string> heads = split_lines(p.document("heads.csv"));
  const std::vector<std::string> columns = {"UX", "UY", "UZ", "SX", "SY", "SZ",
                                            "NX", "NY", "NZ", "MX", "MY", "MZ"};
  ASSERT_EQ(heads.size(), tops.size() + 1);
  EXPECT_EQ(heads[0],
            "pile,x (m),y (m),UX (m),UY (m),UZ (m),SX (rad),SY (rad),SZ (rad),NX (t),NY (t),NZ "
            "(t),MX (t*m),MY (t*m),MZ (t*m)");
  const char* const tables[2] = {"head-displacements", "head-forces"};
  const auto displacements = table_rows(page, tables[0]);
  const auto forces = table_rows(page, tables[1]);
  ASSERT_EQ(displacements.size(), tops.size());
  ASSERT_EQ(forces.size(), tops.size());
  for (size_t g = 1; g <= tops.size(); ++g) {
    SCOPED_TRACE("pile " + std::to_string(g));
    const std::vector<std::string> cells = words(heads[g], ',');
    ASSERT_EQ(cells.size(), 15u);
    EXPECT_EQ(cells[0], std::to_string(g));
    EXPECT_EQ(number(cells[1]), p.pos.piles[g - 1].x);
    EXPECT_EQ(number(cells[2]), p.pos.piles[g - 1].y);
    for (size_t c = 0; c < 12; ++c) {
      const float printed = tops[g - 1].at(columns[c]);
      EXPECT_EQ(number(cells[c + 3]), printed) << columns[c];
      const std::string& shown = c < 6 ? displacements[g - 1].at(c + 1) : forces[g - 1].at(c - 5);
      expect_shown(shown, printed, c < 6 ? 1000.0 : 1.0);
    }
  }
}

// The calculation report at the top of the page: one row per pile, per type, per segment of a
// type and per pile and segment below the ground line; the derived values agree with each other
// as the stages form them (b = (d + 1).k for circular piles, K33 the axial stiffness, alpha.h).
TEST_P(Summary, CalculationReportHasARowPerPileTypeAndSegment) {
  const Plotted& p = plotted(GetParam());
  const Group group = example_group(GetParam());
  const PileData& piles = group.model->piles;
  const int32_t PNUM = group.model->run.PNUM;
  const XmlDocument page = read_xml(p.document("index.html"));
  EXPECT_EQ(table_rows(page, "control").size(), 1u);
  if (group.model->run.JCTR == 1) {  // and the resultant
    EXPECT_EQ(table_rows(page, "loads").size(), static_cast<size_t>(group.loads.NACT + 1));
  }
  const auto pile_rows = table_rows(page, "piles");
  ASSERT_EQ(pile_rows.size(), static_cast<size_t>(PNUM));
  std::set<int32_t> types;
  size_t type_segments = 0, pile_segments = 0;
  for (int32_t g = 1; g <= PNUM; ++g) {
    expect_shown(pile_rows[static_cast<size_t>(g - 1)][1], piles.PXY(g, 1));
    expect_shown(pile_rows[static_cast<size_t>(g - 1)][2], piles.PXY(g, 2));
    if (types.insert(piles.PTYPE(g)).second) {
      type_segments += static_cast<size_t>(piles.NFR(g) + piles.NBL(g));
    }
    pile_segments += static_cast<size_t>(piles.NBL(g));
  }
  EXPECT_EQ(table_rows(page, "types").size(), types.size());
  for (const auto& row : table_rows(page, "types")) {  // PMB in t/m4 on soil, in t/m3 on rock
    const bool on_soil = std::stoi(row.at(3)) <= 2;
    EXPECT_EQ(row.at(on_soil ? 5 : 4), "") << "type " << row[0];
    EXPECT_NE(row.at(on_soil ? 4 : 5), "") << "type " << row[0];
  }
  EXPECT_EQ(table_rows(page, "segments").size(), type_segments);
  const auto values = table_rows(page, "pile-values");
  ASSERT_EQ(values.size(), static_cast<size_t>(PNUM));
  for (const auto& row : values) EXPECT_EQ(row.at(5), row.at(2)) << "K33 of pile " << row[0];
  const auto segments = table_rows(page, "segment-values");
  ASSERT_EQ(segments.size(), pile_segments);
  for (const auto& row : segments) {
    SCOPED_TRACE("pile " + row.at(0) + " segment " + row.at(1));
    const int32_t g = std::stoi(row[0]);
    const int32_t s = std::stoi(row[1]);
    // Shown values have four digits: products of them agree to about 1e-3.
    auto near = [](double a, double b) { EXPECT_NEAR(a, b, 1.5e-3 * std::fabs(b)); };
    auto cell = [&](size_t c) { return static_cast<double>(number(row.at(c))); };
    if (piles.KSH(g) == 0) {
      near(cell(4), (static_cast<double>(piles.DOB(g, s)) + 1.0) * cell(2));
      near(cell(5), (static_cast<double>(piles.DOB(g, s)) + 1.0) * cell(3));
    }
    near(cell(8),
         cell(6) * static_cast<double>(number(pile_rows[static_cast<size_t>(g - 1)].at(10))));
  }
}

// The axial stiffness of pile 2 of the pier by hand (vertical, KSU 2, d = 1.5 m, 4 m above and
// 28 m below the ground line, PEH 2.8E6, PMB 30000, the bottom area limited by the 3 m spacing to
// 3.142 * 3^2 / 4 = 7.0695 m2): 1/K = 4/(PEH.A) + 0.667 * 28/(PEH.A) + 1/(PMB.A0.28) with
// A = 3.142 * 1.5^2 / 4, K = 210496 t/m.
TEST(CalculationReport, AxialStiffnessOfThePierIsTheHandValue) {
  const auto rows = table_rows(read_xml(plotted("pier").document("index.html")), "pile-values");
  ASSERT_GE(rows.size(), 2u);
  EXPECT_EQ(rows[1].at(1), "7.069");
  EXPECT_EQ(rows[1].at(2), "210500");
}

// The simulated piles of the data file, one row each with the position, the type number of the
// stiffness block and the diagonal of the stiffness as given; no table without them.
TEST(CalculationReport, SimulatedPilesHaveARowEach) {
  const struct {
    const char* base;
    std::vector<std::vector<std::string>> rows;
  } cases[] = {
      {"worked-simulated", {{"1", "0", "2.5", "-2", "100000", "100000", "500000", "0", "0", "0"}}},
      {"worked", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.base);
    const XmlDocument page = read_xml(plotted(c.base).document("index.html"));
    if (c.rows.empty()) {
      EXPECT_TRUE(page.all("table", "id", "simulated").empty());
    } else {
      EXPECT_EQ(table_rows(page, "simulated"), c.rows);
    }
  }
}

// The reader's warnings about the data file head the report.
TEST(CalculationReport, ReaderWarningsComeFirst) {
  std::string data = testing::read_file(testing::example_path("worked.dat"));
  const size_t piles = data.find("4 0\n");
  ASSERT_NE(piles, std::string::npos);
  data.replace(piles, 4, "4 0 7\n");  // a number left on the line
  const GroupRead warned = parse_group(data, "warned.dat");
  ASSERT_TRUE(warned.has_value());
  ASSERT_FALSE(warned->warnings.empty());
  EXPECT_EQ(warned->warnings[0].rfind("warning in warned.dat, line 8", 0), 0u);
  const Analysed analysed = analyse(*warned);
  ASSERT_TRUE(analysed.has_value());
  const std::string html = input_report_html(*warned, *analysed, ForceUnit::t);
  EXPECT_LT(html.find("<div class=\"warnings\">"), html.find("<table"));
  EXPECT_NE(html.find(escape_html(warned->warnings[0])), std::string::npos);
  const Group plain = example_group("worked");
  EXPECT_EQ(input_report_html(plain, *analysed, ForceUnit::t).find("warnings"), std::string::npos);
}

// The stations of a shipped example come within 1% of every true peak of displacement, shear and
// moment and within 5% of the soil stress's between stations (rock.dat's, 21% above the stations
// just below its layer boundary at 8 m, is not warned about); one step for 20 m of soil leaves the
// moment and the soil stress far below their peaks, and the warnings name the segment.
TEST(TruePeaks, CoarseStepsAreWarnedAboutAndNoShippedExampleIs) {
  for (const char* base : {"worked", "worked-simulated", "pier", "rock"}) {
    const Group group = example_group(base);
    const Analysed analysed = analyse(group);
    ASSERT_TRUE(analysed.has_value());
    EXPECT_EQ(peak_warnings(group, printed_result(*analysed), ForceUnit::t),
              std::vector<std::string>{})
        << base;
  }
  // A single pile, free to turn at its head, under a horizontal load: its moment peaks in the soil.
  const struct {
    int32_t NSG;
    std::vector<std::string> warnings;
  } cases[] = {
      {1,
       {"pile 1: the largest MY at the stations, 0 t*m, is 100% below its true peak 12.84 "
        "t*m at Z = 2.211 m; raise the step count NSG of below-ground segment 1",
        "pile 1: the largest PSX at the stations, 0.0001919 t/m2, is 99.99% below its true "
        "peak 2.932 t/m2 at Z = 1.451 m; raise the step count NSG of below-ground segment "
        "1"}},
      {40, {}}};
  for (const auto& c : cases) {
    const std::string data =
        "* control\n1\n1\n0.0 0.0\n10.0 0.0 100.0 0.0 0.0 0.0\n*end\n* piles\n1 0\n0.0 0.0\n"
        "*end\n* types\n0\n<0>\n0 1 0.0 0.0 1.0\n0\n1 20.0 1.0 5000.0 30.0 " +
        std::to_string(c.NSG) + "\n10000.0 2.6E6 1.0\n*end\n* springs\n*end\n";
    const GroupRead single = parse_group(data, "single.dat");
    ASSERT_TRUE(single.has_value());
    const Analysed analysed = analyse(*single);
    ASSERT_TRUE(analysed.has_value());
    EXPECT_EQ(peak_warnings(*single, printed_result(*analysed), ForceUnit::t), c.warnings) << c.NSG;
  }

  const Analysed rock = analyse(example_group("rock"));
  ASSERT_TRUE(rock.has_value());
  const Peak& below = rock->piles[0].peaks.of[PSX];
  EXPECT_EQ(readable(double{below.value}), "4.007");
  EXPECT_FLOAT_EQ(below.Z, 8.0f);
}

// The critical piles of each quantity are the five of the largest magnitude of its column of the
// page's tables (the top displacement across the pile formed from UX and UY), largest first; every
// pile of a smaller group, as the page and the summary say.
TEST_P(Summary, CriticalPilesAreTheLargestOfTheirColumn) {
  const std::string html = plotted(GetParam()).document("index.html");
  const std::string summary = plotted(GetParam()).document("summary.txt");
  const XmlDocument page = read_xml(html);
  const auto extremes = table_rows(page, "extremes");
  const auto heads = table_rows(page, "head-displacements");
  // Each quantity's value of every pile, by pile number as the page writes it.
  std::vector<std::map<std::string, double>> of(5);
  for (const auto& row : extremes) {
    of[0][row[0]] = std::strtod(row[1].c_str(), nullptr);   // NZ top
    of[1][row[0]] = std::strtod(row[14].c_str(), nullptr);  // M
    of[2][row[0]] = std::strtod(row[17].c_str(), nullptr);  // V
    of[4][row[0]] = std::strtod(row[10].c_str(), nullptr);  // soil stress
  }
  for (const auto& row : heads) {
    of[3][row[0]] =
        std::hypot(std::strtod(row[1].c_str(), nullptr), std::strtod(row[2].c_str(), nullptr));
  }
  const auto critical = table_rows(page, "critical");
  ASSERT_EQ(critical.size(), std::min<size_t>(5, extremes.size()));
  const bool five = extremes.size() >= 5;
  EXPECT_EQ(html.find("each quantity the 5 piles of the largest") != std::string::npos, five);
  EXPECT_EQ(summary.find("each quantity the five piles of the largest") != std::string::npos, five);
  for (const std::string& text : {html, summary}) {
    EXPECT_EQ(text.find("each quantity every pile of the group") != std::string::npos, !five);
  }
  for (size_t q = 0; q < 5; ++q) {
    std::vector<double> magnitudes;
    for (const auto& [pile, value] : of[q]) magnitudes.push_back(std::fabs(value));
    std::sort(magnitudes.rbegin(), magnitudes.rend());
    for (size_t k = 0; k < critical.size(); ++k) {
      const std::string& pile = critical[k][1 + 2 * q];
      const double value = std::strtod(critical[k][2 + 2 * q].c_str(), nullptr);
      ASSERT_EQ(of[q].count(pile), 1u) << pile;
      EXPECT_NEAR(value, of[q].at(pile), 2e-3 * std::fabs(value)) << q << " pile " << pile;
      EXPECT_NEAR(std::fabs(value), magnitudes[k], 2e-3 * magnitudes[k]) << q << " rank " << k;
    }
  }
}

// The piles with a page of diagrams, by the choice of --pile-pages, on the 16 piles of the pier.
TEST(PilePages, ChosenByTheCommandLine) {
  const Analysed analysed = analyse(example_group("pier"));
  ASSERT_TRUE(analysed.has_value());
  const Result result = printed_result(*analysed);
  std::vector<int32_t> every(16);
  for (int32_t p = 1; p <= 16; ++p) every[static_cast<size_t>(p - 1)] = p;
  const struct {
    const char* choice;
    std::vector<int32_t> piles;  // empty: refused
  } cases[] = {{"auto", every},
               {"all", every},
               {"critical", critical_piles(result)},
               {"3,1,10-12,11", {1, 3, 10, 11, 12}},
               {"16", {16}},
               {"17", {}},
               {"0", {}},
               {"4-2", {}},
               {"1-", {}},
               {"1,,2", {}},
               {"", {}},
               {"1-2-3", {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.choice);
    if (c.piles.empty()) {
      EXPECT_THROW(pile_pages(c.choice, result), std::invalid_argument);
      continue;
    }
    const PilePages pages = pile_pages(c.choice, result);
    EXPECT_EQ(pages.piles, c.piles);
    EXPECT_NE(pages.why, "");
  }
  EXPECT_LT(critical_piles(result).size(), 16u);
}

// The pages' tables for a reader: displacements in mm and rotations in mrad, four significant
// digits in plain decimals; a value below 1e-6 of its column's largest magnitude is noise, shown
// as 0, while a small value of a column of small values is kept.
TEST(SummaryTables, ReadableNumbersInMillimetresWithNoiseAsZero) {
  Result result;
  result.piles.resize(3);
  const float UY[3] = {3.996e-3f, 8.525e-11f, -2.5e-9f};
  const float SZ[3] = {1.2e-9f, 3.4e-10f, 0.0f};
  const float FZ[3] = {1234.56f, -0.04f, 27.08f};
  for (size_t i = 0; i < 3; ++i) {
    result.piles[i].DU[1] = UY[i];
    result.piles[i].DU[5] = SZ[i];
    result.piles[i].FT[2] = FZ[i];
  }
  const ResultTable displacements = head_displacement_table(result);
  EXPECT_EQ(displacements.columns[2].unit, "mm");
  EXPECT_EQ(displacements.columns[6].unit, "mrad");
  const ResultTable forces = head_force_table(result, ForceUnit::t);
  const std::vector<std::string> expected[3] = {
      {"3.996", "0", "0"}, {"0.0000012", "0.00000034", "0"}, {"1235", "-0.04", "27.08"}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(displacements.rows[i][2], expected[0][i]) << i;
    EXPECT_EQ(displacements.rows[i][6], expected[1][i]) << i;
    EXPECT_EQ(forces.rows[i][3], expected[2][i]) << i;
  }
}

// A square pile is given by both bending planes and the resultants: the worked group with square
// piles, pile 1 along its length.
TEST(SquarePile, GivenByBothPlanesAndTheResultants) {
  std::string text = testing::read_file(testing::example_path("worked.dat"));
  text.at(text.find("0 1 0.0 0.0 1.0")) = '1';
  const GroupRead group = parse_group(text, "square.dat");
  ASSERT_TRUE(group.has_value());
  const Analysed analysed = analyse(*group);
  ASSERT_TRUE(analysed.has_value());
  const Result result = printed_result(*analysed);
  const std::vector<std::string> row =
      extremes_table(result, group->model->piles, ForceUnit::t, false).rows.at(0);
  ASSERT_EQ(row.size(), 20u);
  double moment = 0.0, resultant = 0.0;
  for (const StationRow& station : result.stations_of(result.piles[0])) {
    const double mx = value_of(station, MX), my = value_of(station, MY);
    for (const double m : {mx, my}) moment = std::fabs(m) > std::fabs(moment) ? m : moment;
    resultant = std::max(resultant, std::hypot(mx, my));
  }
  expect_shown(row[2], moment);
  EXPECT_TRUE(row[3] == "MX" || row[3] == "MY") << row[3];
  EXPECT_NEAR(std::strtod(row[14].c_str(), nullptr), resultant, 1.5e-3 * resultant);
}

// The cap's equilibrium is warned about above 1e-4 of the largest applied component, and when it
// cannot be formed.
TEST(Equilibrium, WarnedAboveOneIn10000) {
  const struct {
    float residual;
    bool warned;
  } rows[] = {{0.0f, false}, {1e-4f, false}, {1.01e-4f, true}, {NAN, true}};
  for (const auto& row : rows) {
    Result result;
    result.equilibrium.residual = row.residual;
    EXPECT_EQ(equilibrium_warning(result).has_value(), row.warned) << row.residual;
  }
  Result result;
  result.equilibrium.residual = 2.5e-4f;
  EXPECT_EQ(equilibrium_warning(result),
            "the forces on the pile heads and the supports balance the applied loads only to "
            "0.00025 of the largest applied component (more than 1e-4)");
}

// Every station of every pile, one row each, the values of the post-processing file, then the
// resultants V and M of the row's NX, NY and MX, MY.
TEST_P(Summary, StationsCsvHoldsEveryValueOfThePosFile) {
  const Plotted& p = plotted(GetParam());
  const std::vector<std::string> lines = split_lines(p.document("stations.csv"));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0],
            "pile,station,Z (m),UX (m),UY (m),SX (rad),SY (rad),NX (t),NY (t),NZ (t),MX (t*m),MY "
            "(t*m),PSX (t/m2),PSY (t/m2),V (t),M (t*m)");
  const std::vector<std::string> names = words(lines[0], ',');
  size_t row = 1;
  for (const PosPile& pile : p.pos.piles) {
    for (size_t k = 1; k <= pile.ZH.size(); ++k, ++row) {
      ASSERT_LT(row, lines.size());
      const std::vector<std::string> cells = words(lines[row], ',');
      ASSERT_EQ(cells.size(), names.size()) << lines[row];
      EXPECT_EQ(cells[0], std::to_string(pile.g));
      EXPECT_EQ(cells[1], std::to_string(k));
      EXPECT_EQ(number(cells[2]), pile.ZH[k - 1]);
      for (size_t c = 3; c + 2 < names.size(); ++c) {
        const std::string name = names[c].substr(0, names[c].find(' '));
        EXPECT_EQ(number(cells[c]), pile.of(QUANTITIES.at(name))[k - 1])
            << name << " station " << k;
      }
      // Both sides from four printed digits.
      auto resultant = [&](size_t a, size_t b) {
        return std::hypot(static_cast<double>(number(cells[a])), number(cells[b]));
      };
      const double V = resultant(7, 8), M = resultant(10, 11);
      EXPECT_NEAR(number(cells[14]), V, 1e-3 * V) << "V station " << k;
      EXPECT_NEAR(number(cells[15]), M, 1e-3 * M) << "M station " << k;
    }
  }
  EXPECT_EQ(row, lines.size());
}

}  // namespace
}  // namespace kelmarino
