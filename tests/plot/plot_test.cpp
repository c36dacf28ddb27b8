// The plot command run on the shipped examples: well-formed documents, curves that carry the
// extremes of the post-processing file on nice axes, the ground line and the joints where the
// segments put them, the plan of the group, the cap displacements of the report, the refusals,
// and one pile diagram rendered by a real SVG renderer.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "plot/png_image.hpp"
#include "plot/pos_file.hpp"
#include "plot/xml_check.hpp"
#include "support/test_support.hpp"

namespace kelmarino {
namespace {

using testing::example_path;
using testing::read_file;
using testing::read_xml;
using testing::split_lines;
using testing::XmlDocument;
using testing::XmlElement;

// Built beside the program by the same build.
const std::string PLOT_EXE = std::string(KELMARINO_EXE) + "-plot";

struct PlotRun {
  int exit_status = -1;
  std::string out;
  std::string errors;
};

std::string new_folder(const std::map<std::string, std::string>& files) {
  const std::string folder = testing::temporary_folder();
  for (const auto& [name, text] : files) std::ofstream(folder + "/" + name) << text;
  return folder;
}

PlotRun run_plot(const std::string& folder, const std::string& arguments) {
  PlotRun run;
  const std::string command =
      "cd " + folder + " && " + PLOT_EXE + " " + arguments + " > plot-out.txt 2> plot-errors.txt";
  const int status = std::system(command.c_str());
  if (WIFEXITED(status)) run.exit_status = WEXITSTATUS(status);
  run.out = read_file(folder + "/plot-out.txt");
  run.errors = read_file(folder + "/plot-errors.txt");
  return run;
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// A shipped example run by kelmarino and then drawn, once per test program.
struct Plotted {
  testing::ProgramRun run;
  PlotRun plot;
  PosFile pos;
  std::string plots;  // the folder of the documents
  std::string document(const std::string& name) const { return read_file(plots + "/" + name); }
};

const Plotted& plotted(const std::string& base) {
  static std::map<std::string, Plotted> cache;
  if (cache.count(base) == 0) {
    Plotted& p = cache[base];
    p.run = testing::run_program({{base + ".dat", read_file(example_path(base + ".dat"))}},
                                 base.c_str());
    testing::keep_folder_for_program(p.run.folder);
    EXPECT_EQ(p.run.exit_status, 0) << p.run.errors;
    EXPECT_TRUE(exists(PLOT_EXE)) << PLOT_EXE << " is not built";
    p.plot = run_plot(p.run.folder, base);
    EXPECT_EQ(p.plot.exit_status, 0) << p.plot.errors;
    p.pos = read_pos(p.run.file(base + ".pos"), base + ".pos");
    p.plots = p.run.folder + "/" + base + "-plots";
  }
  return cache.at(base);
}

std::string pile_svg_name(int32_t p) {
  return std::string("pile-") + (p < 10 ? "0" : "") + std::to_string(p) + ".svg";
}

float attribute(const XmlElement& e, const std::string& name) {
  const auto a = e.attributes.find(name);
  if (a == e.attributes.end()) {
    ADD_FAILURE() << e.name << " has no " << name;
    return NAN;
  }
  return std::strtof(a->second.c_str(), nullptr);
}

Quantity quantity_named(const std::string& name) {
  for (int32_t i = 0; i < QUANTITY_COUNT; ++i) {
    if (name == quantity_name(static_cast<Quantity>(i))) return static_cast<Quantity>(i);
  }
  ADD_FAILURE() << "no quantity " << name;
  return Quantity::UX;
}

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> all;
  for (std::string w; in >> w;) all.push_back(w);
  return all;
}

// The well-formedness checks below are only as good as the checker: it must find these faults.
TEST(XmlCheck, FindsTheFaultsOfMalformedDocuments) {
  EXPECT_EQ(
      read_xml("<?xml version=\"1.0\"?>\n<svg a=\"1\" b='&amp;'><g/><!-- c --></svg>\n").problem,
      "");
  const char* const malformed[] = {
      "<svg><g></svg>",
      "<svg></svg><svg></svg>",
      "<svg a=\"1\" a=\"2\"/>",
      "<svg a=1/>",
      "<svg a=\"<\"/>",
      "<svg>AT&T</svg>",
      "<svg><text>x</tex></svg>",
      "<svg>",
      "text<svg/>",
      "<svg a=\"1\"b=\"2\"/>",
      "<svg>&nbsp;</svg>",
      "<svg><!-- a -- b --></svg>",
  };
  for (const char* text : malformed) EXPECT_NE(read_xml(text).problem, "") << text;
}

class ShippedExample : public ::testing::TestWithParam<const char*> {};
INSTANTIATE_TEST_SUITE_P(Examples, ShippedExample,
                         ::testing::Values("worked", "worked-simulated", "pier"));

TEST_P(ShippedExample, WritesWellFormedDocumentsForEveryPile) {
  const Plotted& p = plotted(GetParam());
  EXPECT_EQ(p.plot.out, "kelmarino-plot: wrote " + std::string(GetParam()) +
                            "-plots/index.html, plan.svg and the pile diagrams\n");
  std::vector<std::string> names = {"plan.svg", "index.html"};
  for (int32_t g = 1; g <= p.pos.PNUM; ++g) names.push_back(pile_svg_name(g));
  for (const std::string& name : names) {
    ASSERT_TRUE(exists(p.plots + "/" + name)) << name;
    const XmlDocument doc = read_xml(p.document(name));
    EXPECT_EQ(doc.problem, "") << name;
    EXPECT_EQ(doc.elements.at(0).name, name == "index.html" ? "html" : "svg") << name;
  }
}

// Every curve holds one point per station and carries the smallest and largest value of its
// quantity in the post-processing file; the largest magnitude is labelled on the diagram.
TEST_P(ShippedExample, CurvesCarryTheExtremesOfThePosFile) {
  const Plotted& p = plotted(GetParam());
  for (const PosPile& pile : p.pos.piles) {
    SCOPED_TRACE("pile " + std::to_string(pile.g));
    const XmlDocument doc = read_xml(p.document(pile_svg_name(pile.g)));
    std::multiset<std::string> labels;
    for (const XmlElement* t : doc.all("text", "class", "peak-label")) labels.insert(t->text);
    const auto curves = doc.all("polyline", "class", "curve");
    ASSERT_EQ(curves.size(), 11u);  // UX UY SX SY NX NY MX MY NZ PSX PSY
    for (const XmlElement* curve : curves) {
      const std::string name = curve->attributes.at("data-quantity");
      const std::vector<float>& v = pile.of(quantity_named(name));
      const auto [low, high] = std::minmax_element(v.begin(), v.end());
      EXPECT_EQ(attribute(*curve, "data-min"), *low) << name;
      EXPECT_EQ(attribute(*curve, "data-max"), *high) << name;
      EXPECT_EQ(words(curve->attributes.at("points")).size(), v.size()) << name;
      // The label of the largest magnitude (either value when the two are equally large).
      size_t labelled = 0;
      for (const float peak : {*low, *high}) {
        if (std::fabs(peak) < std::max(std::fabs(*low), std::fabs(*high))) continue;
        char label[32];
        std::snprintf(label, sizeof label, "%.3E", static_cast<double>(peak));
        labelled += labels.count(label);
      }
      EXPECT_EQ(labelled, *low == 0.0f && *high == 0.0f ? 0u : 1u) << name;
    }
  }
}

// Each value axis holds zero and every value of its panel, runs between multiples of a step of
// 1, 2 or 5 times a power of ten, in 2 to 10 intervals, and wastes less than a step at each end.
TEST_P(ShippedExample, PanelAxesHoldTheirValuesOnNiceTicks) {
  const Plotted& p = plotted(GetParam());
  for (const PosPile& pile : p.pos.piles) {
    const XmlDocument doc = read_xml(p.document(pile_svg_name(pile.g)));
    const auto panels = doc.all("g", "class", "panel");
    ASSERT_EQ(panels.size(), 6u);
    for (const XmlElement* panel : panels) {
      const std::string names = panel->attributes.at("data-quantities");
      SCOPED_TRACE("pile " + std::to_string(pile.g) + " panel " + names);
      const double lo = attribute(*panel, "data-vmin");
      const double hi = attribute(*panel, "data-vmax");
      const double step = attribute(*panel, "data-step");
      double dmin = 0.0, dmax = 0.0;
      for (const std::string& name : words(names)) {
        for (const float v : pile.of(quantity_named(name))) {
          dmin = std::min(dmin, static_cast<double>(v));
          dmax = std::max(dmax, static_cast<double>(v));
        }
      }
      const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-6));
      EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-4 || std::fabs(mantissa - 2) < 1e-4 ||
                  std::fabs(mantissa - 5) < 1e-4)
          << step;
      const double intervals = (hi - lo) / step;
      EXPECT_NEAR(intervals, std::round(intervals), 1e-3);
      EXPECT_NEAR(lo / step, std::round(lo / step), 1e-3);
      EXPECT_GE(intervals, 2.0 - 1e-6);
      EXPECT_LE(intervals, 10.0 + 1e-6);
      EXPECT_LE(lo, dmin);
      EXPECT_GE(hi, dmax);
      if (dmax > dmin) {  // dmin <= 0 <= dmax
        EXPECT_GT(lo, dmin - step);
        EXPECT_LT(hi, dmax + step);
      }
    }
  }
}

TEST(PileDiagram, GroundLineAndJointsFollowTheSegments) {
  // Hand-summed from the data files: pier piles carry segments of 1.5 and 2.5 m above ground and
  // 6, 10 and 12 (type 1: 16) m below it; worked piles 2 m above ground (pile 4: 3 m, set by its
  // keyword block) and 5 and 10 m below it.
  const struct {
    const char* base;
    int32_t pile;
    float ground;
    std::set<float> joints;
  } cases[] = {
      {"pier", 1, 4.0f, {1.5f, 10.0f, 20.0f}},
      {"pier", 6, 4.0f, {1.5f, 10.0f, 20.0f}},
      {"worked", 1, 2.0f, {7.0f}},
      {"worked", 4, 3.0f, {8.0f}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.base) + " pile " + std::to_string(c.pile));
    const XmlDocument doc = read_xml(plotted(c.base).document(pile_svg_name(c.pile)));
    const auto ground = doc.all("line", "class", "ground");
    EXPECT_EQ(ground.size(), 6u);  // across every panel
    for (const XmlElement* line : ground) EXPECT_EQ(attribute(*line, "data-z"), c.ground);
    const auto joints = doc.all("line", "class", "joint");
    EXPECT_EQ(joints.size(), 6 * c.joints.size());
    std::set<float> at;
    for (const XmlElement* line : joints) at.insert(attribute(*line, "data-z"));
    EXPECT_EQ(at, c.joints);
  }
}

// The plan against the data files read by hand.
TEST(PlanDiagram, MarksPilesRakesSimulatedPilesAndLoads) {
  const XmlDocument pier = read_xml(plotted("pier").document("plan.svg"));
  const auto piles = pier.all("g", "class", "pile");
  ASSERT_EQ(piles.size(), 16u);
  const float rows[4] = {-4.5f, -1.5f, 1.5f, 4.5f};
  for (int32_t i = 0; i < 16; ++i) {
    const XmlElement& pile = *piles[static_cast<size_t>(i)];
    EXPECT_EQ(pile.attributes.at("data-pile"), std::to_string(i + 1));
    EXPECT_EQ(attribute(pile, "data-x"), rows[i % 4]);
    EXPECT_EQ(attribute(pile, "data-y"), rows[i / 4]);
    const int index = static_cast<int>(&pile - pier.elements.data());
    int numbered = 0;
    for (const XmlElement& e : pier.elements) {
      numbered += e.parent == index && e.name == "text" && e.text == std::to_string(i + 1);
    }
    EXPECT_EQ(numbered, 1) << "pile " << i + 1;
  }
  // Types -1 (first column) and -2 (last column) lean by AGL x = -0.1644 and +0.1644.
  std::map<std::string, float> rakes;
  for (const XmlElement* rake : pier.all("line", "class", "rake")) {
    rakes[rake->attributes.at("data-pile")] = attribute(*rake, "data-dx");
    EXPECT_EQ(attribute(*rake, "data-dy"), 0.0f);
  }
  const std::map<std::string, float> leaning = {{"1", -0.1644f},  {"5", -0.1644f}, {"9", -0.1644f},
                                                {"13", -0.1644f}, {"4", 0.1644f},  {"8", 0.1644f},
                                                {"12", 0.1644f},  {"16", 0.1644f}};
  EXPECT_EQ(rakes, leaning);
  const auto simulated = pier.all("g", "class", "simulated");
  ASSERT_EQ(simulated.size(), 1u);
  EXPECT_EQ(attribute(*simulated[0], "data-x"), 0.0f);
  EXPECT_EQ(attribute(*simulated[0], "data-y"), 7.5f);
  const auto loads = pier.all("g", "class", "load");
  ASSERT_EQ(loads.size(), 2u);
  EXPECT_EQ(attribute(*loads[1], "data-y"), 3.0f);
  const auto forces = pier.all("line", "class", "load-force");
  ASSERT_EQ(forces.size(), 2u);
  EXPECT_EQ(attribute(*forces[0], "data-fx"), 150.0f);
  EXPECT_EQ(attribute(*forces[0], "data-fy"), 20.0f);
  EXPECT_EQ(attribute(*forces[1], "data-fy"), 80.0f);
  // The resultant at the cap centre: Fx = 150 + 0, Fy = 20 + 80.
  const auto resultant = pier.all("line", "class", "resultant");
  ASSERT_EQ(resultant.size(), 1u);
  EXPECT_EQ(attribute(*resultant[0], "data-fx"), 150.0f);
  EXPECT_EQ(attribute(*resultant[0], "data-fy"), 100.0f);

  const XmlDocument worked = read_xml(plotted("worked").document("plan.svg"));
  EXPECT_EQ(worked.all("g", "class", "pile").size(), 4u);
  EXPECT_EQ(worked.all("line", "class", "rake").size(), 0u);  // all vertical
  EXPECT_EQ(worked.all("g", "class", "simulated").size(), 0u);
  EXPECT_EQ(worked.all("g", "class", "load").size(), 1u);
}

TEST(IndexPage, ShowsTheCapDisplacementsOfTheReportAndEveryDiagram) {
  const Plotted& p = plotted("pier");
  // The six lines after the heading of the cap displacements: "... UX=   .6603E-03 (m)".
  std::vector<std::string> printed;
  bool in_block = false;
  for (const std::string& line : split_lines(p.run.file("pier.out"))) {
    in_block = in_block || line.find("DISPLACEMENTS AT THE CAP CENTER") != std::string::npos;
    if (in_block && printed.size() < 6 && line.find('=') != std::string::npos) {
      const std::vector<std::string> w = words(line.substr(line.find('=') - 2));
      printed.push_back(w[0] + " " + w[1] + " " + w[2]);  // "UX= .6603E-03 (m)"
    }
  }
  ASSERT_EQ(printed.size(), 6u);
  const XmlDocument doc = read_xml(p.document("index.html"));
  ASSERT_EQ(doc.problem, "");
  std::vector<std::string> shown;
  for (const XmlElement* row : doc.all("tr")) {
    const int index = static_cast<int>(row - doc.elements.data());
    std::vector<std::string> cells;
    for (const XmlElement& e : doc.elements) {
      if (e.parent == index) cells.push_back(e.text);
    }
    ASSERT_EQ(cells.size(), 3u);
    shown.push_back(cells[0] + "= " + cells[1] + " (" + cells[2] + ")");
  }
  EXPECT_EQ(shown, printed);
  std::vector<std::string> images;
  for (const XmlElement* img : doc.all("img")) images.push_back(img->attributes.at("src"));
  std::vector<std::string> expected = {"plan.svg"};
  for (int32_t g = 1; g <= 16; ++g) expected.push_back(pile_svg_name(g));
  EXPECT_EQ(images, expected);
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

TEST(PlotCommand, RefusesWhatItCannotDrawWithAMessage) {
  const std::string worked = read_file(example_path("worked.dat"));
  const std::string worked_pos = plotted("worked").run.file("worked.pos");
  const std::vector<std::string> pos_lines = split_lines(worked_pos);
  std::string cut;  // the worked example's file without its last line
  for (size_t i = 0; i + 1 < pos_lines.size(); ++i) cut += pos_lines[i] + "\n";
  const std::string stiffness_only =
      replaced(worked, "1\n1\n0.0 0.0\n100.0 50.0 2000.0 0.0 0.0 0.0\n", "2\n");
  const struct {
    const char* problem;
    std::map<std::string, std::string> files;
    const char* arguments;
    std::string message;
  } cases[] = {
      {"no base name",
       {},
       "",
       "usage: kelmarino-plot BASE (reads BASE.dat, BASE.pos and BASE.out of a kelmarino run, "
       "writes the diagrams into BASE-plots/)"},
      {"no data file", {}, "case", "cannot open case.dat: No such file or directory"},
      {"no post-processing file",
       {{"case.dat", worked}},
       "case",
       "cannot open case.pos: No such file or directory (kelmarino writes it when it runs on "
       "case.dat)"},
      {"truncated post-processing file",
       {{"case.dat", worked}, {"case.pos", cut}},
       "case",
       "case.pos: the file ends after line " + std::to_string(pos_lines.size() - 1) +
           ", before PSY of pile 4"},
      // 16 piles in the pier, 4 in the worked example.
      {"post-processing file of another group",
       {{"case.dat", read_file(example_path("pier.dat"))}, {"case.pos", worked_pos}},
       "case",
       "case.pos does not belong to case.dat: it holds 4 piles, the data file 16"},
      // One more step in the first soil segment: 1 + 4 + 6 + 10 stations instead of 20.
      {"post-processing file of other segments",
       {{"case.dat", replaced(worked, "5000.0 30.0 5", "5000.0 30.0 6")}, {"case.pos", worked_pos}},
       "case",
       "case.pos does not belong to case.dat: pile 1 has 20 stations in it, 21 by the segments "
       "and steps of the data file"},
      {"stiffness print only",
       {{"case.dat", stiffness_only}, {"case.pos", ""}},
       "case",
       "case.pos is empty: it holds no pile records; case.dat asks only for a stiffness print "
       "(control code 2), which writes no pile results"},
      {"input error of the reader",
       {{"case.dat", replaced(worked, "<0>", " <0>")}},
       "case",
       "the reader stopped on an input error in case.dat: Error:<0>"},
      {"unreadable data value",
       {{"case.dat", replaced(worked, "4 0\n", "4 x\n")}},
       "case",
       "run-time error in case.dat, line 8: cannot read \"x\" as an integer\n  4 x\n    ^"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.problem);
    const std::string folder = new_folder(c.files);
    const PlotRun run = run_plot(folder, c.arguments);
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.errors, "kelmarino-plot: " + c.message + "\n");
    EXPECT_EQ(run.out, "");
    EXPECT_FALSE(exists(folder + "/case-plots"));
  }
}

// The first pile of the pier rendered by rsvg-convert: where the post-processing file puts a
// station of UX and of MY, mapped through the panel's axes, the picture shows the colour of that
// curve (blue for the first quantity of a panel, red for the second).
TEST(RenderedDiagram, ShowsEachCurveWhereThePosFilePutsIt) {
  if (std::system("command -v rsvg-convert > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "rsvg-convert is not installed (Debian package librsvg2-bin, installed by "
                    ".ci/run): the rendering of a pile diagram is not checked";
  }
  const Plotted& p = plotted("pier");
  const std::string png = p.plots + "/pile-01.png";
  ASSERT_EQ(std::system(("rsvg-convert -f png -o " + png + " " + p.plots + "/pile-01.svg").c_str()),
            0);
  const testing::PngImage image = testing::decode_png(read_file(png));
  ASSERT_EQ(image.problem, "");
  const XmlDocument doc = read_xml(p.document("pile-01.svg"));
  const XmlElement& svg = doc.elements.at(0);
  ASSERT_EQ(image.width, static_cast<int32_t>(attribute(svg, "width")));
  ASSERT_EQ(image.height, static_cast<int32_t>(attribute(svg, "height")));
  const double top = attribute(svg, "data-plot-top");
  const double bottom = attribute(svg, "data-plot-bottom");
  const double zmax = attribute(svg, "data-zmax");
  const PosPile& pile = p.pos.piles.at(0);

  auto near_colour = [&](double x, double y, bool blue) {
    for (int dy = -2; dy <= 2; ++dy) {
      for (int dx = -2; dx <= 2; ++dx) {
        const testing::Rgba c =
            image.at(static_cast<int32_t>(x) + dx, static_cast<int32_t>(y) + dy);
        if (blue ? (c.b > 150 && c.r < 100 && c.g < 130) : (c.r > 150 && c.g < 100 && c.b < 100)) {
          return true;
        }
      }
    }
    return false;
  };
  const testing::Rgba corner = image.at(2, 2);
  EXPECT_TRUE(corner.r == 255 && corner.g == 255 && corner.b == 255 && corner.a == 255);
  int checked = 0;
  for (const XmlElement* panel : doc.all("g", "class", "panel")) {
    const std::vector<std::string> names = words(panel->attributes.at("data-quantities"));
    if (names.size() != 2) continue;
    const double left = attribute(*panel, "data-left");
    const double right = attribute(*panel, "data-right");
    const double lo = attribute(*panel, "data-vmin");
    const double hi = attribute(*panel, "data-vmax");
    auto x_of = [&](float v) {
      return left + (static_cast<double>(v) - lo) / (hi - lo) * (right - left);
    };
    const std::vector<float>& first = pile.of(quantity_named(names[0]));
    const std::vector<float>& second = pile.of(quantity_named(names[1]));
    for (int32_t k = 1; k <= pile.NSTA; ++k) {
      const size_t i = static_cast<size_t>(k - 1);
      const double y = top + static_cast<double>(pile.ZH[i]) / zmax * (bottom - top);
      // Only where the two curves lie apart, so that neither covers the other.
      if (std::fabs(x_of(first[i]) - x_of(second[i])) < 8.0) continue;
      EXPECT_TRUE(near_colour(x_of(first[i]), y, true)) << names[0] << " station " << k;
      EXPECT_TRUE(near_colour(x_of(second[i]), y, false)) << names[1] << " station " << k;
      ++checked;
    }
  }
  EXPECT_GE(checked, 20);
}

}  // namespace
}  // namespace kelmarino
