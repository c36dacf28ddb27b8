// The diagrams of the shipped examples: well-formed documents, curves that carry the values of
// the post-processing file on nice axes in the colour of their bending plane, the largest values
// above and below the ground line marked with their value and depth, rounding noise drawn as zero,
// the ground line and the joints where the segments put them, the plan of the group with its
// legend, and one pile diagram rendered by a real SVG renderer.
#include "plot/plot.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "diagram/panels.hpp"
#include "plot/plot_runs.hpp"
#include "plot/png_image.hpp"
#include "plot/xml_check.hpp"

namespace kelmarino {
namespace {

using testing::example_path;
using testing::plotted;
using testing::Plotted;
using testing::read_file;
using testing::read_xml;
using testing::XmlDocument;
using testing::XmlElement;

// The quantities of bending in the x-z plane and in the y-z plane.
const std::set<std::string> X_PLANE = {"UX", "SY", "NX", "MY", "PSX"};
const std::set<std::string> Y_PLANE = {"UY", "SX", "NY", "MX", "PSY"};

float attribute(const XmlElement& e, const std::string& name) {
  const auto a = e.attributes.find(name);
  if (a == e.attributes.end()) {
    ADD_FAILURE() << e.name << " has no " << name;
    return NAN;
  }
  return std::strtof(a->second.c_str(), nullptr);
}

StationQuantity quantity_named(const std::string& name) {
  const QuantityWord* word = quantity_word(name);
  if (word == nullptr) {
    ADD_FAILURE() << "no quantity " << name;
    return UX;
  }
  return static_cast<StationQuantity>(word - QUANTITY_WORDS);
}

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> all;
  for (std::string w; in >> w;) all.push_back(w);
  return all;
}

// The elements of a name and class inside the element at `index`, at any depth.
std::vector<const XmlElement*> inside(const XmlDocument& doc, int index, const std::string& name,
                                      const std::string& cls) {
  std::vector<const XmlElement*> found;
  for (const XmlElement* e : doc.all(name, "class", cls)) {
    for (int up = e->parent; up >= 0; up = doc.elements[static_cast<size_t>(up)].parent) {
      if (up == index) found.push_back(e);
    }
  }
  return found;
}

// The unit a reader is shown for a quantity (mm for UX, t for NX, ...) and its factor.
ReaderUnit unit_of(const std::string& quantity) {
  return reader_unit(QUANTITY_WORDS[quantity_named(quantity)].unit);
}

// The largest magnitude of the quantities of a panel: values a millionth of it are noise.
float panel_reference(const PosPile& pile, const std::string& quantities) {
  float largest = 0.0f;
  for (const std::string& name : words(quantities)) {
    for (const float v : pile.of(quantity_named(name))) largest = std::max(largest, std::fabs(v));
  }
  return largest;
}

class ShippedExample : public ::testing::TestWithParam<const char*> {};
INSTANTIATE_TEST_SUITE_P(Examples, ShippedExample,
                         ::testing::Values("worked", "worked-simulated", "pier", "rock"));

TEST(XmlCheck, MalformedDocumentsAreFound) {
  EXPECT_EQ(read_xml("<?xml version=\"1.0\"?>\n<svg a=\"1\"><g/></svg>\n").problem, "");
  for (const char* text : {"<svg><g></svg>", "<svg a=\"1\" a=\"2\"/>", "<svg>&nbsp;</svg>"}) {
    EXPECT_NE(read_xml(text).problem, "") << text;
  }
}

TEST_P(ShippedExample, WritesWellFormedDocumentsForEveryPile) {
  const Plotted& p = plotted(GetParam());
  EXPECT_EQ(p.plot.out, "kelmarino-plot: wrote " + std::string(GetParam()) +
                            "-plots/index.html, summary.txt, stations.csv, heads.csv, peaks.csv, "
                            "supports.csv, equilibrium.csv, stiffness.csv, plan.svg and the pile "
                            "diagrams\n");
  std::vector<std::string> names = {"plan.svg", "index.html"};
  for (int32_t g = 1; g <= p.pos.PNUM; ++g) names.push_back(pile_file_name(g));
  for (const std::string& name : names) {
    ASSERT_TRUE(testing::exists(p.plots + "/" + name)) << name;
    const XmlDocument doc = read_xml(p.document(name));
    EXPECT_EQ(doc.problem, "") << name;
    ASSERT_FALSE(doc.elements.empty()) << name;
    EXPECT_EQ(doc.elements[0].name, name == "index.html" ? "html" : "svg") << name;
  }
}

// Every curve holds one point per station and carries the smallest and largest value of its
// quantity in the post-processing file. The stations above the ground line and those from it
// down each get one mark, at the largest magnitude of the part (rounding noise aside), labelled
// with its value and depth as the tables write them: "MY = \u221217.72 t*m at Z = 8 m".
TEST_P(ShippedExample, MarksTheLargestValuesAboveAndBelowTheGroundWithValueAndDepth) {
  const Plotted& p = plotted(GetParam());
  for (const PosPile& pile : p.pos.piles) {
    SCOPED_TRACE("pile " + std::to_string(pile.g));
    const XmlDocument doc = read_xml(p.document(pile_file_name(pile.g)));
    ASSERT_EQ(doc.all("polyline", "class", "curve").size(), 11u);
    const float ground = attribute(*doc.all("line", "class", "ground").at(0), "data-z");
    for (const XmlElement* panel : doc.all("g", "class", "panel")) {
      const std::string names = panel->attributes.at("data-quantities");
      const float reference = panel_reference(pile, names);
      std::map<std::string, std::vector<const XmlElement*>> labels;
      for (const XmlElement* label : inside(doc, doc.index(panel), "text", "peak-label")) {
        labels[label->attributes.at("data-quantity")].push_back(label);
      }
      for (const XmlElement* curve : inside(doc, doc.index(panel), "polyline", "curve")) {
        const std::string name = curve->attributes.at("data-quantity");
        SCOPED_TRACE(name);
        const std::vector<float>& v = pile.of(quantity_named(name));
        const auto [low, high] = std::minmax_element(v.begin(), v.end());
        EXPECT_EQ(attribute(*curve, "data-min"), *low);
        EXPECT_EQ(attribute(*curve, "data-max"), *high);
        EXPECT_EQ(words(curve->attributes.at("points")).size(), v.size());
        for (const bool below : {false, true}) {
          float largest = 0.0f;
          for (size_t i = 0; i < v.size(); ++i) {
            if ((pile.ZH[i] >= ground) == below && std::fabs(v[i]) >= 1e-6f * reference) {
              largest = std::max(largest, std::fabs(v[i]));
            }
          }
          std::vector<const XmlElement*> marked;
          for (const XmlElement* label : labels[name]) {
            const size_t k = static_cast<size_t>(attribute(*label, "data-k"));
            if ((pile.ZH.at(k - 1) >= ground) == below) marked.push_back(label);
          }
          ASSERT_EQ(marked.size(), largest > 0.0f ? 1u : 0u) << (below ? "below" : "above");
          if (marked.empty()) continue;
          const size_t k = static_cast<size_t>(attribute(*marked[0], "data-k")) - 1;
          EXPECT_EQ(std::fabs(v[k]), largest);
          std::string shown = readable(double{v[k]} * unit_of(name).factor);
          if (v[k] < 0.0f) shown.replace(0, 1, "\u2212");
          EXPECT_EQ(marked[0]->text, name + " = " + shown + " " + unit_of(name).unit +
                                         " at Z = " + readable(double{pile.ZH[k]}) + " m");
        }
      }
    }
  }
}

// The value labels of every pile meet no other label and no dot.
TEST_P(ShippedExample, LabelsKeepOffEachOtherAndTheDots) {
  const Plotted& p = plotted(GetParam());
  for (const PosPile& pile : p.pos.piles) {
    const XmlDocument doc = read_xml(p.document(pile_file_name(pile.g)));
    EXPECT_EQ(testing::crowded_labels(doc, "peak"), std::vector<std::string>{})
        << "pile " << pile.g;
    EXPECT_FALSE(doc.all("text", "class", "peak-label").empty());
  }
}

// Each value axis is in the unit of the tables, without a scale factor, holds zero and every value
// of its panel that is not noise, runs between multiples of a step of 1, 2 or 5 times a power of
// ten, in 2 to 10 intervals, and wastes less than a step at each end.
TEST_P(ShippedExample, PanelAxesHoldTheirValuesOnNiceTicks) {
  const Plotted& p = plotted(GetParam());
  for (const PosPile& pile : p.pos.piles) {
    const XmlDocument doc = read_xml(p.document(pile_file_name(pile.g)));
    const auto panels = doc.all("g", "class", "panel");
    ASSERT_EQ(panels.size(), 6u);
    for (const XmlElement* panel : panels) {
      const std::string names = panel->attributes.at("data-quantities");
      SCOPED_TRACE("pile " + std::to_string(pile.g) + " panel " + names);
      const double lo = attribute(*panel, "data-vmin");
      const double hi = attribute(*panel, "data-vmax");
      const double step = attribute(*panel, "data-step");
      const float reference = panel_reference(pile, names);
      const ReaderUnit unit = unit_of(words(names).at(0));
      const auto legend = inside(doc, doc.index(panel), "text", "panel-legend");
      ASSERT_EQ(legend.size(), 1u);
      EXPECT_TRUE(legend[0]->content.ends_with(" (" + unit.unit + ")")) << legend[0]->content;
      double dmin = 0.0, dmax = 0.0;
      for (const std::string& name : words(names)) {
        for (const float v : pile.of(quantity_named(name))) {
          if (std::fabs(v) < 1e-6f * reference) continue;
          dmin = std::min(dmin, static_cast<double>(v) * unit.factor);
          dmax = std::max(dmax, static_cast<double>(v) * unit.factor);
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

// The colour of a curve and of its name in the legend is that of its bending plane, whatever its
// place in the panel, and the diagram says which colour is which plane.
TEST_P(ShippedExample, ColoursFollowTheBendingPlane) {
  const Plotted& p = plotted(GetParam());
  for (const PosPile& pile : p.pos.piles) {
    const XmlDocument doc = read_xml(p.document(pile_file_name(pile.g)));
    std::map<std::string, std::set<std::string>> colours;  // by plane
    for (const XmlElement* curve : doc.all("polyline", "class", "curve")) {
      const std::string name = curve->attributes.at("data-quantity");
      const std::string plane = X_PLANE.count(name) ? "x-z" : Y_PLANE.count(name) ? "y-z" : name;
      colours[plane].insert(curve->attributes.at("stroke"));
    }
    for (const XmlElement* name : doc.all("tspan")) {
      const std::string q = name->text;
      if (X_PLANE.count(q)) colours["x-z"].insert(name->attributes.at("fill"));
      if (Y_PLANE.count(q)) colours["y-z"].insert(name->attributes.at("fill"));
    }
    ASSERT_EQ(colours["x-z"].size(), 1u) << "pile " << pile.g;
    ASSERT_EQ(colours["y-z"].size(), 1u) << "pile " << pile.g;
    EXPECT_NE(*colours["x-z"].begin(), *colours["y-z"].begin());
    const auto legend = doc.all("text", "class", "plane-legend");
    ASSERT_EQ(legend.size(), 1u);
    EXPECT_NE(legend[0]->content.find("x\u2013z plane (UX, SY, NX, MY, PSX)"), std::string::npos);
    EXPECT_NE(legend[0]->content.find("y\u2013z plane (UY, SX, NY, MX, PSY)"), std::string::npos);
  }
}

// A pile whose y-z plane carries only rounding noise of the analysis: values below a millionth
// of the largest of their panel are drawn on the zero line and never marked; larger ones are
// drawn and marked as they are.
TEST(PileDiagram, RoundingNoiseIsDrawnAsZeroAndNeverMarked) {
  const GroupRead read = read_group(example_path("worked.dat"));
  ASSERT_TRUE(read.has_value());
  const Analysed analysed = analyse(*read);
  ASSERT_TRUE(analysed.has_value());
  const struct {
    float part;  // of the x-z value at the same station
    bool noise;
  } cases[] = {{-2e-9f, true}, {9e-7f, true}, {2e-6f, false}, {0.5f, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.part);
    Result result = printed_result(*analysed);
    const StationQuantity planes[5][2] = {{UX, UY}, {SY, SX}, {NX, NY}, {MY, MX}, {PSX, PSY}};
    for (size_t k = 0; k < result.piles[0].count; ++k) {
      StationRow& row = result.stations[result.piles[0].first + k];
      for (const auto& [x, y] : planes) row[column_of(y)] = c.part * row[column_of(x)];
    }
    const XmlDocument doc = read_xml(pile_svg(read->model->piles, 1, result, ForceUnit::t));
    for (const XmlElement* panel : doc.all("g", "class", "panel")) {
      const std::vector<std::string> names = words(panel->attributes.at("data-quantities"));
      if (names.size() != 2) continue;
      const std::string zero_x =
          inside(doc, doc.index(panel), "line", "zero").at(0)->attributes.at("x1");
      for (const XmlElement* curve : inside(doc, doc.index(panel), "polyline", "curve")) {
        const std::string name = curve->attributes.at("data-quantity");
        bool on_zero = true;
        for (const std::string& point : words(curve->attributes.at("points"))) {
          on_zero = on_zero && point.substr(0, point.find(',')) == zero_x;
        }
        size_t marks = 0;  // the labels in the colour of the curve
        for (const XmlElement* label : inside(doc, doc.index(panel), "text", "peak-label")) {
          marks += label->attributes.at("fill") == curve->attributes.at("stroke");
        }
        const bool y_plane = Y_PLANE.count(name) > 0;
        if (y_plane && c.noise) {
          EXPECT_TRUE(on_zero) << name;
          EXPECT_EQ(marks, 0u) << name;
        } else {
          EXPECT_GE(marks, 1u) << name;
        }
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
    const XmlDocument doc = read_xml(plotted(c.base).document(pile_file_name(c.pile)));
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
  }
  // Every pile number once, drawn after every marker and arrow, outlined so that it stays
  // readable over them.
  const auto numbers = pier.all("text", "class", "pile-number");
  ASSERT_EQ(numbers.size(), 16u);
  int last_marker = 0;
  for (const XmlElement& e : pier.elements) {
    const auto cls = e.attributes.find("class");
    if (cls != e.attributes.end() &&
        std::set<std::string>{"rake", "load", "load-force", "resultant", "simulated", "cap-centre"}
            .count(cls->second)) {
      last_marker = std::max(last_marker, pier.index(&e));
    }
  }
  for (int32_t i = 0; i < 16; ++i) {
    const XmlElement& number = *numbers[static_cast<size_t>(i)];
    EXPECT_EQ(number.text, std::to_string(i + 1));
    EXPECT_EQ(number.attributes.at("data-pile"), number.text);
    EXPECT_GT(pier.index(&number), last_marker) << number.text;
    EXPECT_EQ(number.attributes.at("paint-order"), "stroke");
    EXPECT_EQ(number.attributes.at("stroke"), "#ffffff");
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

// Seen from above with the manual's cap axes: x to the right, y down the page. Pile 16 of the pier
// stands at (+4.5, +4.5), pile 1 at (-4.5, -4.5); the rake of pile 4 leans to +x and the force of
// load L2 points to +y.
TEST(PlanDiagram, XRightAndYDownThePage) {
  const XmlDocument pier = read_xml(plotted("pier").document("plan.svg"));
  const auto centre = pier.all("g", "class", "cap-centre");
  ASSERT_EQ(centre.size(), 1u);
  double ox = 0.0, oy = 0.0;
  for (const XmlElement& e : pier.elements) {
    if (e.parent == pier.index(centre[0]) && e.name == "circle") {
      ox = attribute(e, "cx");
      oy = attribute(e, "cy");
    }
  }
  auto circle_of = [&](const std::string& g) {
    for (const XmlElement* pile : pier.all("g", "data-pile", g)) {
      for (const XmlElement& e : pier.elements) {
        if (e.parent == pier.index(pile) && e.name == "circle") return &e;
      }
    }
    return static_cast<const XmlElement*>(nullptr);
  };
  ASSERT_NE(circle_of("16"), nullptr);
  EXPECT_GT(attribute(*circle_of("16"), "cx"), ox + 100.0);
  EXPECT_GT(attribute(*circle_of("16"), "cy"), oy + 100.0);
  EXPECT_LT(attribute(*circle_of("1"), "cx"), ox - 100.0);
  EXPECT_LT(attribute(*circle_of("1"), "cy"), oy - 100.0);
  for (const XmlElement* rake : pier.all("line", "class", "rake")) {
    if (rake->attributes.at("data-pile") == "4") {
      EXPECT_GT(attribute(*rake, "x2"), attribute(*rake, "x1"));
    }
  }
  const auto forces = pier.all("line", "class", "load-force");
  ASSERT_EQ(forces.size(), 2u);
  EXPECT_GT(attribute(*forces[1], "y2"), attribute(*forces[1], "y1"));
}

// No label of the plan (load points, O, simulated piles, batters, axis names) covers a pile, a
// marker, an arrow or an axis; the boxes of the texts are estimated from their font size. The
// resultant is dashed, so that a load arrow along it stays in sight.
TEST(PlanDiagram, LabelsKeepOffMarkersArrowsAndAxes) {
  struct Box {
    double x0, y0, x1, y1;
  };
  for (const char* base : {"pier", "worked", "worked-simulated", "rock"}) {
    SCOPED_TRACE(base);
    const XmlDocument doc = read_xml(plotted(base).document("plan.svg"));
    std::vector<Box> markers;
    std::vector<const XmlElement*> lines;
    for (const XmlElement& e : doc.elements) {
      const int up = e.parent;
      const std::string group = up < 0 ? ""
                                : doc.elements[static_cast<size_t>(up)].attributes.count("class")
                                    ? doc.elements[static_cast<size_t>(up)].attributes.at("class")
                                    : "";
      if (group == "legend") continue;
      if (e.name == "circle") {
        const double x = attribute(e, "cx"), y = attribute(e, "cy"), r = attribute(e, "r");
        markers.push_back({x - r, y - r, x + r, y + r});
      } else if (e.name == "path" && (group == "load" || group == "simulated")) {
        double x = 0.0,
               y = 0.0;  // "Mx,y ..." the first corner of the cross, the top of the diamond
        ASSERT_EQ(std::sscanf(e.attributes.at("d").c_str(), "M%lf,%lf", &x, &y), 2);
        markers.push_back(group == "load" ? Box{x, y, x + 14.0, y + 14.0}
                                          : Box{x - 9.0, y, x + 9.0, y + 18.0});
      } else if (e.name == "line" && e.attributes.count("class") &&
                 std::set<std::string>{"axis", "rake", "load-force", "resultant"}.count(
                     e.attributes.at("class"))) {
        lines.push_back(&e);
      }
    }
    const auto labels = doc.all("text", "class", "plan-label");
    EXPECT_GE(labels.size(), 3u);  // x, y, O at least
    for (const XmlElement* text : labels) {
      const double size = attribute(*text, "font-size");
      const double width = 0.55 * size * static_cast<double>(text->text.size());
      const double x = attribute(*text, "x"), y = attribute(*text, "y");
      ASSERT_EQ(text->attributes.at("text-anchor"), "middle");
      const Box box = {x - width / 2.0, y - 0.7 * size, x + width / 2.0, y + 0.2 * size};
      auto inside = [&](double px, double py) {
        return px > box.x0 && px < box.x1 && py > box.y0 && py < box.y1;
      };
      for (const Box& m : markers) {
        EXPECT_FALSE(box.x0 < m.x1 && m.x0 < box.x1 && box.y0 < m.y1 && m.y0 < box.y1)
            << text->text << " on a marker at " << m.x0 << ", " << m.y0;
      }
      for (const XmlElement* line : lines) {
        const double x1 = attribute(*line, "x1"), y1 = attribute(*line, "y1");
        const double x2 = attribute(*line, "x2"), y2 = attribute(*line, "y2");
        bool crossed = false;
        for (int i = 0; i <= 200; ++i)
          crossed |= inside(x1 + (x2 - x1) * i / 200.0, y1 + (y2 - y1) * i / 200.0);
        crossed |= box.x0 < x2 + 5.0 && x2 - 5.0 < box.x1 && box.y0 < y2 + 5.0 && y2 - 5.0 < box.y1;
        EXPECT_FALSE(crossed) << text->text << " on the " << line->attributes.at("class");
      }
    }
    for (const XmlElement* resultant : doc.all("line", "class", "resultant")) {
      EXPECT_TRUE(resultant->attributes.count("stroke-dasharray"));
      for (const XmlElement* force : doc.all("line", "class", "load-force")) {
        EXPECT_GT(doc.index(force), doc.index(resultant));  // drawn over the resultant
      }
    }
  }
}

// No two texts of a plan meet (meeting_texts).
void expect_texts_apart(const XmlDocument& doc) {
  EXPECT_EQ(testing::meeting_texts(doc), std::vector<std::string>{});
}

// The group of a data file, its piles moved to `scale` times their distance from the cap centre.
Group scaled_group(const std::string& path, float scale) {
  GroupRead read = read_group(path);
  EXPECT_TRUE(read.has_value());
  auto model = std::make_shared<Model>(*read->model);
  for (int32_t p = 1; p <= model->run.PNUM; ++p) {
    model->piles.PXY(p, 1) *= scale;
    model->piles.PXY(p, 2) *= scale;
  }
  read->model = model;
  return std::move(*read);
}

// A pile of square section is drawn as a square of its side, to the scale of the round ones, and
// the legend says so.
TEST(PlanDiagram, SquarePilesAreDrawnSquare) {
  Group group = scaled_group(example_path("worked.dat"), 1.0f);
  auto model = std::make_shared<Model>(*group.model);
  model->piles.KSH(2) = 1;
  group.model = model;
  const XmlDocument doc = read_xml(plan_svg(group, ForceUnit::t));
  std::vector<std::string> shapes;  // of the piles in order, with the size drawn
  for (const XmlElement& e : doc.elements) {
    if (e.parent < 0 ||
        doc.elements[static_cast<size_t>(e.parent)].attributes.count("data-pile") == 0 ||
        (e.name != "rect" && e.name != "circle")) {
      continue;
    }
    const float size = e.name == "rect" ? attribute(e, "width") : 2.0f * attribute(e, "r");
    shapes.push_back(e.name + " " + std::to_string(size));
  }
  ASSERT_EQ(shapes.size(), 4u);
  EXPECT_EQ(shapes[1], "rect " + shapes[0].substr(std::string("circle ").size()));
  EXPECT_EQ(shapes[2], shapes[0]);
  bool told = false;
  for (const XmlElement* text : doc.all("text"))
    told |= text->text.find("square section") != std::string::npos;
  EXPECT_TRUE(told);
}

// Horizontal forces whose resultant is beyond the single-precision range are drawn to scale, the
// largest 80 long, not as points.
TEST(PlanDiagram, ForcesBeyondTheSinglePrecisionRangeKeepTheirLength) {
  Group group = scaled_group(example_path("worked.dat"), 1.0f);
  auto model = std::make_shared<Model>(*group.model);
  model->run.FORCE(1) = model->run.FORCE(2) = 2.5e38f;
  group.model = model;
  group.loads.ACT(1, 1) = group.loads.ACT(1, 2) = 2.5e38f;
  const XmlDocument doc = read_xml(plan_svg(group, ForceUnit::t));
  for (const char* arrow : {"resultant", "load-force"}) {
    const auto lines = doc.all("line", "class", arrow);
    ASSERT_EQ(lines.size(), 1u) << arrow;
    const XmlElement& line = *lines[0];
    EXPECT_NEAR(std::hypot(attribute(line, "x2") - attribute(line, "x1"),
                           attribute(line, "y2") - attribute(line, "y1")),
                80.0f, 0.02f)
        << arrow;
  }
}

// Every pile has its number on the plan, or the legend names it when the numbers would run
// together; the numbers, O, the loads and the other labels never meet. The 200 piles of the
// capacity group 3 m apart are all numbered, O sits by the cap centre; 0.3 m apart some numbers
// and O are left to the legend.
TEST(PlanDiagram, TextsNeverMeet) {
  for (const char* base : {"pier", "rock"}) {
    SCOPED_TRACE(base);
    expect_texts_apart(read_xml(plotted(base).document("plan.svg")));
  }
  for (const float scale : {1.0f, 0.1f}) {
    SCOPED_TRACE(scale);
    const XmlDocument doc = read_xml(
        plan_svg(scaled_group(testing::test_data_path("capacity.dat"), scale), ForceUnit::t));
    ASSERT_EQ(doc.problem, "");
    expect_texts_apart(doc);
    std::set<std::string> named;
    for (const XmlElement* number : doc.all("text", "class", "pile-number")) {
      named.insert(number->text);
    }
    std::string legend;
    for (const XmlElement& e : doc.elements) {
      if (e.name == "text" && e.text.rfind("  piles ", 0) == 0) legend += e.text.substr(7) + " ";
    }
    std::istringstream unnumbered(legend);
    for (std::string p; unnumbered >> p;) EXPECT_TRUE(named.insert(p).second) << p;
    EXPECT_EQ(named.size(), 200u);
    EXPECT_EQ(legend.empty(), scale == 1.0f);
    // O within 12 px of the cap centre.
    double ox = 0.0, oy = 0.0;
    for (const XmlElement& e : doc.elements) {
      if (e.parent >= 0 && e.name == "circle" &&
          doc.elements[static_cast<size_t>(e.parent)].attributes.count("class") &&
          doc.elements[static_cast<size_t>(e.parent)].attributes.at("class") == "cap-centre") {
        ox = attribute(e, "cx");
        oy = attribute(e, "cy");
      }
    }
    bool o_near = false;
    for (const XmlElement* label : doc.all("text", "class", "plan-label")) {
      if (label->text == "O") {
        o_near = std::hypot(double{attribute(*label, "x")} - ox,
                            double{attribute(*label, "y")} - oy) < 12.0;
      }
    }
    // O is by the cap centre, or, among the piles 0.3 m apart, named as left out.
    bool o_left_out = false;
    for (const XmlElement& e : doc.elements) {
      o_left_out |= e.name == "text" && e.text.rfind("Labels left out for want of room: O", 0) == 0;
    }
    EXPECT_EQ(o_near, scale == 1.0f);
    EXPECT_EQ(o_left_out, scale != 1.0f);
  }
}

// Every kind of marker and arrow the plan draws has a line in its legend, and the legend explains
// nothing the plan does not draw.
TEST(PlanDiagram, LegendShowsEveryMarkerAndArrow) {
  const char* const kinds[] = {"axis",       "pile", "rake",       "simulated",
                               "cap-centre", "load", "load-force", "resultant"};
  for (const char* base : {"pier", "worked", "worked-simulated", "rock"}) {
    SCOPED_TRACE(base);
    const XmlDocument doc = read_xml(plotted(base).document("plan.svg"));
    for (const char* kind : kinds) {
      size_t drawn = 0;
      for (const XmlElement& e : doc.elements) {
        const auto cls = e.attributes.find("class");
        drawn += cls != e.attributes.end() && cls->second == kind;
      }
      const auto legend = doc.all("g", "data-legend", kind);
      EXPECT_EQ(legend.size(), drawn > 0 ? 1u : 0u) << kind;
      if (legend.empty()) continue;
      size_t samples = 0;  // the drawn sample and its text
      for (const XmlElement& e : doc.elements) samples += e.parent == doc.index(legend[0]);
      EXPECT_EQ(samples, 2u) << kind;
    }
  }
}

// The y-z plane's curves are dashed and the x-z plane's and NZ's solid, so that the planes stay
// apart without colour.
TEST(PileDiagram, PlanesDifferInDashPattern) {
  const XmlDocument doc = read_xml(plotted("pier").document("pile-01.svg"));
  int32_t dashed = 0;
  for (const XmlElement* curve : doc.all("polyline")) {
    const std::string& q = curve->attributes.at("data-quantity");
    const bool y_plane = Y_PLANE.count(q) > 0;
    EXPECT_EQ(curve->attributes.count("stroke-dasharray") != 0, y_plane) << q;
    dashed += y_plane ? 1 : 0;
  }
  EXPECT_EQ(dashed, 5);
}

// The first pile of the pier rendered by rsvg-convert: where the post-processing file puts a
// station of a quantity, in the unit of the tables mapped through the panel's axes, the picture
// shows the colour of its bending plane (blue for the x-z plane, red for the y-z plane), where no
// value label lies over it.
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
  // Within 3 px of a value label's box (6.2 px a character, 8 px above its baseline, 3 below).
  auto under_label = [&](double x, double y) {
    for (const XmlElement* label : doc.all("text", "class", "peak-label")) {
      double width = 0.0;
      for (const char c : label->content) width += (c & 0xc0) != 0x80 ? 6.2 : 0.0;
      const double at = attribute(*label, "x");
      const double x0 = label->attributes.at("text-anchor") == "end" ? at - width : at;
      const double base = attribute(*label, "y");
      if (x > x0 - 3.0 && x < x0 + width + 3.0 && y > base - 11.0 && y < base + 6.0) return true;
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
    const double top = attribute(*panel, "data-top");
    const double bottom = attribute(*panel, "data-bottom");
    const double factor = unit_of(names[0]).factor;
    auto x_of = [&](float v) {
      return left + (static_cast<double>(v) * factor - lo) / (hi - lo) * (right - left);
    };
    const std::vector<float>& first = pile.of(quantity_named(names[0]));
    const std::vector<float>& second = pile.of(quantity_named(names[1]));
    for (int32_t k = 1; k <= pile.NSTA; ++k) {
      const size_t i = static_cast<size_t>(k - 1);
      const double y = top + static_cast<double>(pile.ZH[i]) / zmax * (bottom - top);
      // Only where the two curves lie apart, so that neither covers the other.
      if (std::fabs(x_of(first[i]) - x_of(second[i])) < 8.0) continue;
      if (under_label(x_of(first[i]), y) || under_label(x_of(second[i]), y)) continue;
      EXPECT_TRUE(near_colour(x_of(first[i]), y, X_PLANE.count(names[0]) > 0))
          << names[0] << " station " << k;
      EXPECT_TRUE(near_colour(x_of(second[i]), y, X_PLANE.count(names[1]) > 0))
          << names[1] << " station " << k;
      ++checked;
    }
  }
  EXPECT_GE(checked, 20);
}

}  // namespace
}  // namespace kelmarino
