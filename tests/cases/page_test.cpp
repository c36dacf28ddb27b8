// The page and the envelope diagrams of kelmarino-cases as a reader meets them: the overview plan
// coloured by the governing axial force with labels that never meet, the tables in readable
// numbers, the load cases and factors echoed, diagrams whose titles place the pile, whose
// extremes are marked with value and combination, and whose curves keep off the panel edges, and
// the page printed as an A4 document.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cases/case_files.hpp"
#include "diagram/title_block.hpp"
#include "plot/printed_pdf.hpp"
#include "plot/xml_check.hpp"
#include "version/version.hpp"

namespace kelmarino::cases {
namespace {

// Whether a text holds a number in E-notation: a digit, e or E, a sign or none, a digit.
bool has_e_notation(const std::string& text) {
  auto digit = [&text](size_t i) {
    return i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0;
  };
  for (size_t i = 1; i < text.size(); ++i) {
    if ((text[i] != 'e' && text[i] != 'E') || !digit(i - 1)) continue;
    const bool signed_exponent = i + 1 < text.size() && (text[i + 1] == '+' || text[i + 1] == '-');
    if (digit(signed_exponent ? i + 2 : i + 1)) return true;
  }
  return false;
}

using kelmarino::testing::read_file;
using kelmarino::testing::read_xml;
using kelmarino::testing::split_lines;
using kelmarino::testing::XmlDocument;
using kelmarino::testing::XmlElement;

// The folder BASE-cases/ of a run of the built command on the files given.
std::string cases_folder(const std::map<std::string, std::string>& files, const std::string& base) {
  const std::string folder = kelmarino::testing::temporary_folder();
  for (const auto& [name, text] : files) std::ofstream(folder + "/" + name) << text;
  const std::string command = "cd " + folder + " && SOURCE_DATE_EPOCH=0 " + KELMARINO_CASES_EXE +
                              " " + base + " > out.txt 2> errors.txt";
  EXPECT_EQ(std::system(command.c_str()), 0) << read_file(folder + "/errors.txt");
  return folder + "/" + base + "-cases/";
}

std::vector<std::string> cells(const std::string& line) {
  std::vector<std::string> all;
  std::stringstream in(line);
  for (std::string cell; std::getline(in, cell, ',');) all.push_back(cell);
  return all;
}

double value(const XmlElement& e, const std::string& name) {
  return std::strtod(e.attributes.at(name).c_str(), nullptr);
}

// The governing axial force of every pile from heads.csv: the largest tension where any
// combination pulls the pile, else the largest compression; the first combination on ties.
std::vector<std::pair<float, std::string>> governing(const std::string& heads, size_t piles) {
  std::vector<std::pair<float, std::string>> most(piles, {0.0f, ""}), least(piles, {0.0f, ""});
  const std::vector<std::string> lines = split_lines(heads);
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> c = cells(lines[i]);
    const size_t g = std::stoul(c.at(1)) - 1;
    const float nz = std::strtof(c.at(10).c_str(), nullptr);
    if (most[g].second.empty() || nz > most[g].first) most[g] = {nz, c[0]};
    if (least[g].second.empty() || nz < least[g].first) least[g] = {nz, c[0]};
  }
  for (size_t g = 0; g < piles; ++g) {
    if (least[g].first < 0.0f) most[g] = least[g];
  }
  return most;
}

TEST(CasesPage, OverviewColoursEachPileByItsGoverningAxialForce) {
  const struct {
    std::map<std::string, std::string> files;
    const char* base;
    size_t piles;
    bool tension;
  } runs[] = {{{{"pier.dat", testing::example_text("pier")},
                {"pier.loads.csv", testing::loads_of("pier")},
                {"pier.combinations.csv", testing::combinations_of("pier")}},
               "pier",
               16,
               false},
              {{{"w.dat", testing::example_text("worked")},
                {"w.loads.csv",
                 "case,x,y,FX,FY,FZ,MX,MY,MZ\nDOWN,0.4,-0.2,30,10,5000,0,50,0\n"
                 "UP,0.4,-0.2,-30,-10,-5000,0,-50,0\n"}},
               "w",
               4,
               true}};
  for (const auto& run : runs) {
    SCOPED_TRACE(run.base);
    const std::string folder = cases_folder(run.files, run.base);
    const XmlDocument page = read_xml(read_file(folder + "index.html"));
    ASSERT_TRUE(page.problem.empty()) << page.problem;
    const auto expected = governing(read_file(folder + "heads.csv"), run.piles);
    const auto piles = page.all("g", "class", "pile");
    ASSERT_EQ(piles.size(), run.piles);
    const auto labels = page.all("text", "class", "plan-label");
    for (size_t g = 0; g < run.piles; ++g) {
      const XmlElement& pile = *piles[g];
      EXPECT_EQ(std::strtof(pile.attributes.at("data-nz").c_str(), nullptr), expected[g].first);
      EXPECT_EQ(pile.attributes.at("data-combination"), expected[g].second);
      const auto label = std::find_if(labels.begin(), labels.end(), [&](const XmlElement* l) {
        return l->attributes.count("data-pile") &&
               l->attributes.at("data-pile") == pile.attributes.at("data-pile");
      });
      ASSERT_NE(label, labels.end()) << g + 1;
      EXPECT_EQ((*label)->content,
                readable(static_cast<double>(expected[g].first)) + " t, " + expected[g].second);
      EXPECT_EQ(expected[g].first < 0.0f, run.tension);
    }
    // The overview comes before the tables after the title block, the envelope table is in the
    // page (printed, not folded away), and no cell of them holds a number in E-notation.
    EXPECT_EQ(page.all("table").at(0)->attributes.at("id"), "title-block");
    EXPECT_LT(page.index(piles[0]), page.index(page.all("table").at(1)));
    const auto envelope = page.all("table", "id", "envelope");
    ASSERT_EQ(envelope.size(), 1u);
    EXPECT_EQ(page.elements[static_cast<size_t>(envelope[0]->parent)].name, "body");
    for (const XmlElement* td : page.all("td")) {
      const XmlElement& table =
          page.elements[static_cast<size_t>(page.elements[static_cast<size_t>(td->parent)].parent)];
      if (table.attributes.count("id") != 0 && table.attributes.at("id") == "title-block") continue;
      EXPECT_FALSE(has_e_notation(td->text)) << td->text;
    }
  }
}

// The cells of the rows of a part ("thead" or "tbody") of the page's table of an id.
std::vector<std::vector<std::string>> table_rows(const XmlDocument& page, const std::string& id,
                                                 const std::string& part) {
  std::vector<std::vector<std::string>> rows;
  const auto table = page.all("table", "id", id);
  if (table.size() != 1) return rows;
  int row = -1;
  for (const XmlElement& e : page.elements) {
    if (e.name == "tr" && page.elements[static_cast<size_t>(e.parent)].name == part &&
        page.elements[static_cast<size_t>(e.parent)].parent == page.index(table[0])) {
      row = page.index(&e);
      rows.emplace_back();
    } else if ((e.name == "td" || e.name == "th") && row >= 0 && e.parent == row) {
      rows.back().push_back(e.content);
    }
  }
  return rows;
}

// The page echoes the load cases and the factors of the files read, in the page's numbers, and
// holds the method section; without a combinations file each case is a combination of its own.
TEST(CasesPage, EchoesTheLoadCasesAndTheFactorsOfTheFilesRead) {
  const struct {
    std::map<std::string, std::string> files;
    const char* base;
  } runs[] = {{{{"pier.dat", testing::example_text("pier")},
                {"pier.loads.csv", testing::loads_of("pier")},
                {"pier.combinations.csv", testing::combinations_of("pier")}},
               "pier"},
              {{{"w.dat", testing::example_text("worked")},
                {"w.loads.csv",
                 "case,x,y,FX,FY,FZ,MX,MY,MZ\nUP,0.4,-0.2,-30,-10,-5000,0,-50,0\n"
                 "DOWN,0.4,-0.2,30.0625,10,5000,0,50,0\nUP,1.25,0,0,0,-7.53125,0,0,0\n"}},
               "w"},
              {{{"own.dat", testing::example_text("worked")}}, "own"}};
  for (const auto& run : runs) {
    SCOPED_TRACE(run.base);
    const std::string base = run.base;
    const std::string html = read_file(cases_folder(run.files, base) + "index.html");
    const XmlDocument page = read_xml(html);
    ASSERT_TRUE(page.problem.empty()) << page.problem;
    // The captions name the files read, or say that none was.
    const auto given = [&](const std::string& file, const std::string& read, std::string none) {
      return run.files.count(base + file) != 0 ? read : none.append(base + file + " was read");
    };
    EXPECT_NE(html.find(given(".loads.csv", "(" + base + ".loads.csv; the case data",
                              "(the data file's own load points, the case data: no ")),
              std::string::npos);
    EXPECT_NE(html.find(given(".combinations.csv", "(" + base + ".combinations.csv)",
                              "(each load case alone with factor 1: no ")),
              std::string::npos);
    // The load points of the loads file, grouped by case in the order of their first rows.
    std::vector<std::string> order;
    std::map<std::string, std::vector<std::vector<std::string>>> points;
    const auto file = run.files.find(base + ".loads.csv");
    const std::vector<std::string> loads =
        file == run.files.end() ? std::vector<std::string>{} : split_lines(file->second);
    for (size_t i = 1; i < loads.size(); ++i) {
      const std::vector<std::string> c = cells(loads[i]);
      if (points.count(c[0]) == 0) order.push_back(c[0]);
      std::vector<std::string>& row = points[c[0]].emplace_back(std::vector<std::string>{c[0], ""});
      row[1] = std::to_string(points[c[0]].size());
      for (size_t j = 1; j < 9; ++j) {  // echoed as written, but for a trailing ".0"
        row.push_back(c[j].ends_with(".0") ? c[j].substr(0, c[j].size() - 2) : c[j]);
      }
    }
    std::vector<std::vector<std::string>> expected;
    for (const std::string& name : order) {
      expected.insert(expected.end(), points[name].begin(), points[name].end());
    }
    std::vector<std::vector<std::string>> shown = table_rows(page, "load-cases", "tbody");
    std::erase_if(shown, [](const auto& row) { return row[0] == "data"; });
    EXPECT_EQ(shown, expected);
    // The factors, by the name of their case; an empty cell or none is 0.
    const std::vector<std::vector<std::string>> head = table_rows(page, "factors", "thead");
    ASSERT_EQ(head.size(), 1u);
    const std::vector<std::vector<std::string>> factors = table_rows(page, "factors", "tbody");
    std::vector<std::array<std::string, 3>> rows;  // combination, case, factor
    const auto combinations = run.files.find(base + ".combinations.csv");
    if (combinations == run.files.end()) {
      for (size_t c = 1; c < head[0].size(); ++c) {
        rows.push_back({head[0][c], head[0][c], "1"});
      }
    } else {
      const std::vector<std::string> lines = split_lines(combinations->second);
      const std::vector<std::string> names = cells(lines[0]);
      for (size_t i = 1; i < lines.size(); ++i) {
        std::vector<std::string> c = cells(lines[i]);
        c.resize(names.size());
        for (size_t j = 1; j < names.size(); ++j) {
          const double factor = std::strtod(c[j].c_str(), nullptr);
          rows.push_back({c[0], names[j], factor == 0.0 ? "" : readable(factor)});
        }
      }
    }
    ASSERT_FALSE(rows.empty());
    for (const auto& [combination, name, factor] : rows) {
      const auto row = std::find_if(factors.begin(), factors.end(),
                                    [&](const auto& r) { return r[0] == combination; });
      const auto column = std::find(head[0].begin(), head[0].end(), name);
      ASSERT_NE(row, factors.end()) << combination;
      ASSERT_NE(column, head[0].end()) << name;
      EXPECT_EQ(row->at(static_cast<size_t>(column - head[0].begin())), factor)
          << combination << " " << name;
    }
    const auto method = page.all("section", "id", "method");
    ASSERT_EQ(method.size(), 1u);
    EXPECT_NE(method[0]->content.find("Load combinations: "), std::string::npos);
    EXPECT_NE(method[0]->content.find("kf = "), std::string::npos);
  }
}

// The factors of the first ECHOED_COMBINATIONS combinations are echoed, and the page says so; the
// data file's own case, which none uses, has no column.
TEST(CasesPage, EchoesTheFactorsAndLoadPointsOfTheFirstOnly) {
  std::string combinations = "combination,A\n";
  for (size_t c = 1; c <= ECHOED_COMBINATIONS + 1; ++c) {
    const std::string n = std::to_string(c);
    combinations.append("K").append(n).append(",").append(n).append("\n");
  }
  std::string loads = "case,x,y,FX,FY,FZ,MX,MY,MZ\n";
  for (size_t k = 0; k <= ECHOED_LOAD_POINTS; ++k) loads += "A,0,0,1,0,10,0,0,0\n";
  const std::string page = read_file(cases_folder({{"w.dat", testing::example_text("worked")},
                                                   {"w.loads.csv", loads},
                                                   {"w.combinations.csv", combinations}},
                                                  "w") +
                                     "index.html");
  const std::vector<std::vector<std::string>> rows = table_rows(read_xml(page), "factors", "tbody");
  ASSERT_EQ(rows.size(), ECHOED_COMBINATIONS);
  EXPECT_EQ(rows.back(), (std::vector<std::string>{"K1000", "1000"}));
  EXPECT_NE(page.find("in the first 1000 of the 1001 combinations"), std::string::npos);
  const auto points = table_rows(read_xml(page), "load-cases", "tbody");
  ASSERT_EQ(points.size(), ECHOED_LOAD_POINTS);
  EXPECT_EQ(points.back()[0] + " " + points.back()[1], "A 999");  // after the point of data
  EXPECT_NE(page.find("The first 1000 of the 1002 load points in the order read"),
            std::string::npos);
}

// Forty load cases of one point each, all at one place.
std::string many_cases() {
  std::string text = "case,x,y,FX,FY,FZ,MX,MY,MZ\n";
  for (int c = 1; c <= 40; ++c)
    text.append("LONG_CASE_NAME_").append(std::to_string(c)).append(",1,1,0,0,10,0,0,0\n");
  return text;
}

// A load case of one point at each of n places.
std::string spread_points(int n) {
  std::string text = "case,x,y,FX,FY,FZ,MX,MY,MZ\n";
  for (int c = 1; c <= n; ++c) {
    const std::string x = std::to_string(c / 10) + "." + std::to_string(c % 10);
    text.append("P" + std::to_string(c) + "," + x + ",0,0,0,10,0,0,0\n");
  }
  return text;
}

// The overview plan of the page, as a document of its own.
XmlDocument overview_of(const std::string& page) {
  const std::string start = "<div class=\"figure\" id=\"overview\">";
  const size_t at = page.find(start);
  if (at == std::string::npos) return read_xml("");
  return read_xml(page.substr(at + start.size(), page.find("</div>", at) - at - start.size()));
}

// The overview plan of the pier labels every pile with its value, that of the 200 piles of the
// capacity group none (the legend says why); no two texts meet, no text runs past 90 characters,
// and the load points of every case are drawn at their distinct positions, their cases and points
// in a table under the plan, so that the plan prints on one A4 sheet however many there are.
TEST(CasesPage, OverviewLabelsNeverMeet) {
  const struct {
    std::map<std::string, std::string> files;
    const char* base;
    size_t labelled;
    size_t load_points;
  } runs[] = {
      {{{"pier.dat", testing::example_text("pier")},
        {"pier.loads.csv", testing::loads_of("pier")},
        {"pier.combinations.csv", testing::combinations_of("pier")}},
       "pier",
       16,
       4},
      {{{"c.dat", read_file(kelmarino::testing::test_data_path("capacity.dat"))}}, "c", 0, 2},
      {{{"m.dat", testing::example_text("pier")}, {"m.loads.csv", many_cases()}}, "m", 16, 3},
      {{{"p.dat", testing::example_text("pier")}, {"p.loads.csv", spread_points(60)}}, "p", 16, 62},
      // More than 100 places: no load point is drawn (their labels took minutes by thousands).
      {{{"s.dat", testing::example_text("pier")}, {"s.loads.csv", spread_points(101)}},
       "s",
       16,
       0}};
  for (const auto& run : runs) {
    SCOPED_TRACE(run.base);
    const std::string page = read_file(cases_folder(run.files, run.base) + "index.html");
    const XmlDocument plan = overview_of(page);
    ASSERT_EQ(plan.problem, "");
    const XmlElement& svg = *plan.all("svg").at(0);
    // No taller than 1.4 times its width: an A4 sheet's 269 by 186 mm, less the heading above.
    const double width = std::stod(svg.attributes.at("width"));
    EXPECT_LE(std::stod(svg.attributes.at("height")), 1.4 * width);
    EXPECT_EQ(table_rows(read_xml(page), "load-points", "tbody").size(), run.load_points);
    EXPECT_EQ(kelmarino::testing::meeting_texts(plan), std::vector<std::string>{});
    size_t labelled = 0;
    for (const XmlElement* label : plan.all("text", "class", "plan-label")) {
      labelled += label->attributes.count("data-pile");
    }
    EXPECT_EQ(labelled, run.labelled);
    EXPECT_EQ(plan.all("g", "class", "load").size(), run.load_points);
    bool said = false, left_out = false;
    for (const XmlElement* text : plan.all("text")) {
      said |= text->text.rfind("Values left out for want of room", 0) == 0;
      left_out |= text->text.rfind("Load points left out: more than 100 places", 0) == 0;
    }
    EXPECT_EQ(left_out, run.load_points == 0);
    EXPECT_EQ(said, run.labelled == 0);
    for (const XmlElement* text : plan.all("text")) EXPECT_LE(text->text.size(), 90u) << text->text;
  }
}

// Pile 1 of the pier: its title gives its position and ground line, its panels the ground line and
// the segment joints; the largest and smallest of
// every quantity are marked where envelope.csv puts them, with their value and combination; no
// curve comes within 2 px of its panel's frame.
TEST(CasesPage, EnvelopeDiagramsMarkTheExtremesWithHeadroom) {
  const std::string folder =
      cases_folder({{"pier.dat", testing::example_text("pier")},
                    {"pier.loads.csv", testing::loads_of("pier")},
                    {"pier.combinations.csv", testing::combinations_of("pier")}},
                   "pier");
  const XmlDocument svg = read_xml(read_file(folder + "pile-01.svg"));
  ASSERT_TRUE(svg.problem.empty()) << svg.problem;
  bool titled = false;
  for (const XmlElement* text : svg.all("text")) {
    titled |=
        text->content.rfind("Pile 1 at (x, y) = (-4.5, -4.5) m, ground line at Z = 4 m", 0) == 0;
  }
  EXPECT_TRUE(titled);
  // The ground line and the segment joints across the six panels: pile 1 of the pier has
  // segments of 1.5 and 2.5 m above the ground line and of 6, 10 and 12 m below it.
  std::multiset<std::string> drawn;
  for (const char* cls : {"ground", "joint"}) {
    for (const XmlElement* line : svg.all("line", "class", cls)) {
      drawn.insert(cls + (" " + line->attributes.at("data-z")));
    }
  }
  std::multiset<std::string> expected;
  for (const char* line : {"ground 4", "joint 1.5", "joint 10", "joint 20"}) {
    for (int panel = 0; panel < 6; ++panel) expected.insert(line);
  }
  EXPECT_EQ(drawn, expected);
  std::map<std::string, const XmlElement*> marks;
  for (const XmlElement* mark : svg.all("circle", "class", "extreme")) {
    marks[mark->attributes.at("data-quantity") + " " + mark->attributes.at("data-extreme")] = mark;
  }
  const std::vector<std::string> lines = split_lines(read_file(folder + "envelope.csv"));
  size_t marked = 0;
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> c = cells(lines[i]);
    if (c[0] != "1") continue;
    for (const auto& [extreme, at] : {std::pair<std::string, size_t>{"max", 3}, {"min", 6}}) {
      const float v = std::strtof(c[at].c_str(), nullptr);
      const auto mark = marks.find(c[1] + " " + extreme);
      // Zero, and a largest value below zero or a smallest above, are not marked.
      if (v == 0.0f || (extreme == "max") == (v < 0.0f)) continue;
      ASSERT_NE(mark, marks.end()) << c[1] << " " << extreme;
      ++marked;
      EXPECT_EQ(std::strtof(mark->second->attributes.at("data-value").c_str(), nullptr), v);
      EXPECT_EQ(mark->second->attributes.at("data-combination"), c[at + 1]);
    }
  }
  EXPECT_EQ(marked, marks.size());
  EXPECT_GE(marked, 11u);
  std::vector<const XmlElement*> frames;
  for (const XmlElement* rect : svg.all("rect", "fill", "none")) frames.push_back(rect);
  ASSERT_EQ(frames.size(), 6u);
  const auto curves = svg.all("polyline", "class", "envelope");
  ASSERT_FALSE(curves.empty());
  for (const XmlElement* curve : curves) {
    std::stringstream points(curve->attributes.at("points"));
    double left = 1e9, right = -1e9, top = 1e9, bottom = -1e9;
    for (std::string point; points >> point;) {
      const double x = std::strtod(point.c_str(), nullptr);
      const double y = std::strtod(point.c_str() + point.find(',') + 1, nullptr);
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
    size_t inside = 0;
    for (const XmlElement* f : frames) {
      inside += left >= value(*f, "x") + 2.0 &&
                right <= value(*f, "x") + value(*f, "width") - 2.0 && top >= value(*f, "y") + 2.0 &&
                bottom <= value(*f, "y") + value(*f, "height") - 2.0;
    }
    EXPECT_EQ(inside, 1u) << curve->attributes.at("data-quantity");
  }
}

// The extreme labels of every pile of the pier meet no other label and no dot.
TEST(CasesPage, EnvelopeLabelsKeepOffEachOtherAndTheDots) {
  const std::string folder =
      cases_folder({{"pier.dat", testing::example_text("pier")},
                    {"pier.loads.csv", testing::loads_of("pier")},
                    {"pier.combinations.csv", testing::combinations_of("pier")}},
                   "pier");
  size_t labels = 0;
  for (int g = 1; g <= 16; ++g) {
    const std::string name = (g < 10 ? "pile-0" : "pile-") + std::to_string(g) + ".svg";
    const XmlDocument svg = read_xml(read_file(folder + name));
    ASSERT_TRUE(svg.problem.empty()) << svg.problem;
    EXPECT_EQ(kelmarino::testing::crowded_labels(svg, "extreme"), std::vector<std::string>{})
        << name;
    labels += svg.all("text", "class", "extreme-label").size();
  }
  EXPECT_GE(labels, 16 * 11u);
}

// The pier's page printed to PDF by Chromium and read back by poppler is a document a checker
// files, as the results view's is: A4 sheets with the title and "page x of y" in the margins, no
// sheet ending on a heading, the version, the data file's SHA-256 and the method in the text, and
// the envelope diagrams of pile 1 printed with no text below 7 pt.
TEST(CasesPage, PrintsAsAnA4DocumentWithReadableDiagrams) {
  using kelmarino::testing::can_print;
  if (!can_print()) {
    GTEST_SKIP() << "SKIPPED: no browser at " << kelmarino::testing::CHROMIUM << " or no "
                 << kelmarino::testing::PDFTOTEXT
                 << " (Debian packages chromium and poppler-utils): the print is not checked";
  }
  const std::string data = testing::example_text("pier");
  const std::string folder =
      cases_folder({{"pier.dat", data},
                    {"pier.loads.csv", testing::loads_of("pier")},
                    {"pier.combinations.csv", testing::combinations_of("pier")}},
                   "pier");
  const XmlDocument page = read_xml(read_file(folder + "index.html"));
  const kelmarino::testing::PrintedDocument printed = kelmarino::testing::printed_document(
      folder, "index.html", page, "pier: load combinations",
      "data SHA-256 " + sha256_hex(data).substr(0, 12) + ", run 1970-01-01 00:00 UTC", "Pile 1",
      "pier.loads.csv SHA-256 " + sha256_hex(testing::loads_of("pier")).substr(0, 12) +
          ", pier.combinations.csv SHA-256 " +
          sha256_hex(testing::combinations_of("pier")).substr(0, 12));
  EXPECT_NE(printed.text.find("kelmarino-cases " + std::string(VERSION)), std::string::npos);
  EXPECT_NE(printed.text.find(sha256_hex(data)), std::string::npos);
  EXPECT_NE(printed.text.find("Method and assumptions"), std::string::npos);
  ASSERT_GE(printed.marked, 0);
  kelmarino::testing::expect_readable_diagram(read_xml(read_file(folder + "pile-01.svg")),
                                              printed.sheets[static_cast<size_t>(printed.marked)]);
}

}  // namespace
}  // namespace kelmarino::cases
