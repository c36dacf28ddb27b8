// The panel writer on crowded panels: the labels of the marks meet no other label and no dot,
// and stay within their panel's frame and half the gaps beside it, off the tick labels of the
// depth axis; and printed on A4.
#include "diagram/panels.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "diagram/axes_svg.hpp"
#include "plot/xml_check.hpp"

namespace kelmarino {
namespace {

using testing::read_xml;
using testing::XmlDocument;
using testing::XmlElement;

double number(const XmlElement& e, const char* name) {
  return std::strtod(e.attributes.at(name).c_str(), nullptr);
}

TEST(PanelWriter, CrowdedLabelsKeepOffEachOtherWithinTheirPanel) {
  const struct {
    const char* name;
    std::vector<PanelMark> marks;  // of a panel of values of -10 ... 10
  } cases[] = {
      {"a long note", {{"NX", 1, 10.0f, std::string(12, 'C'), ""}}},  // 34 characters, at Z = 0
      {"neighbouring stations",
       {{"NX", 2, 9.0f, "ULS-1", ""},
        {"NY", 2, -9.0f, "ULS-2", ""},
        {"NX", 3, 8.0f, "ULS-3", ""},
        {"NY", 3, -8.0f, "ULS-4", ""},
        {"NX", 4, 10.0f, "SEIS-X", ""},
        {"NY", 4, 7.0f, "SEIS-Y", ""}}},
      {"one station", {{"NX", 1, 0.5f, "A", ""}, {"NY", 1, -0.5f, "B", ""}}},
      {"left of its dot, at a depth tick", {{"NX", 5, 10.0f, "CCCCCC", ""}}},  // Z = 2 m
  };
  // The shear force panel ends the first row; the moment panel begins the second, left of it the
  // depth axis.
  for (const auto& c : cases) {
    for (const int i : {2, 3}) {
      SCOPED_TRACE(std::string(c.name) + " in panel " + std::to_string(i));
      PileDiagram diagram;
      diagram.ZH = {0.0f, 0.5f, 1.0f, 1.5f, 2.0f, 10.0f};
      diagram.KG = 3;
      diagram.panels[i].curves = {{"NX", {10, 9, 8, 10, 0, 0}, false, ""},
                                  {"NY", {-10, -9, -8, 7, 0, 0}, false, ""}};
      diagram.panels[i].marks = c.marks;
      const XmlDocument doc = read_xml(pile_diagram_svg(diagram));
      ASSERT_EQ(doc.problem, "");
      EXPECT_EQ(testing::crowded_labels(doc, "peak"), std::vector<std::string>{});
      const auto labels = doc.all("text", "class", "peak-label");
      ASSERT_EQ(labels.size(), c.marks.size());
      const XmlElement& panel = *doc.all("g", "class", "panel").at(static_cast<size_t>(i));
      const XmlElement& frame = *doc.all("rect", "class", "frame").at(static_cast<size_t>(i));
      ASSERT_EQ(doc.elements[static_cast<size_t>(frame.parent)].attributes, panel.attributes);
      const double left = number(frame, "x") - 20.0;
      const double right = number(frame, "x") + number(frame, "width") + 20.0;
      for (const XmlElement* label : labels) {
        double width = 0.0;  // 6.2 px a character
        for (const char b : label->content) width += (b & 0xc0) != 0x80 ? 6.2 : 0.0;
        const double x = number(*label, "x");
        const bool end = label->attributes.at("text-anchor") == "end";
        EXPECT_GE(end ? x - width : x, left - 1e-6) << label->content;
        EXPECT_LE(end ? x : x + width, right + 1e-6) << label->content;
        EXPECT_GT(number(*label, "y") - 8.0, number(frame, "y")) << label->content;
        EXPECT_LT(number(*label, "y") + 3.0, number(frame, "y") + number(frame, "height"));
        for (const XmlElement* tick : doc.all("text", "font-size", "11")) {
          if (tick->attributes.at("text-anchor") != "end") continue;  // a depth tick, 7 px a digit
          const double tx = number(*tick, "x") - 7.0 * static_cast<double>(tick->text.size());
          EXPECT_FALSE((end ? x - width : x) < number(*tick, "x") && tx < (end ? x : x + width) &&
                       std::fabs(number(*label, "y") - number(*tick, "y")) < 11.0)
              << label->content << " on the depth tick " << tick->text;
        }
      }
    }
  }
}

// Printed across the 186 mm between the margins of an A4 sheet, the diagrams of a pile with a
// heading of four lines fit in 245 mm of its height, and their smallest text and that of the
// sign-convention figure are 7 pt or more.
// The depth axis of a pile whose ticks are scaled says so, as the value axes do: a pile of
// 1.2 mm read its ticks 0 .. 1.2 under "Z (m)".
TEST(PanelWriter, ScaledDepthTicksAreNamedByTheirScale) {
  const struct {
    std::vector<float> ZH;
    const char* heading;
  } rows[] = {
      {{0.0f, 2.0f, 10.0f}, "Z (m)"},
      {{0.0f, 0.0006f, 0.0012f}, "Z (\u00d71E-3 m)"},
      {{0.0f, 10000.0f, 20000.0f}, "Z (\u00d71E4 m)"},
  };
  for (const auto& row : rows) {
    PileDiagram diagram;
    diagram.ZH = row.ZH;
    diagram.KG = 1;
    const std::string svg = pile_diagram_svg(diagram);
    EXPECT_NE(svg.find(std::string(">") + row.heading + "</text>"), std::string::npos)
        << row.heading;
  }
}

TEST(PanelWriter, PrintsAcrossAnA4SheetWithTextOfSevenPointsOrMore) {
  PileDiagram diagram;
  diagram.heading.assign(4, {"font-size=\"12\"", "heading"});
  diagram.ZH = {0.0f, 2.0f, 30.0f};
  const std::string axes = AXES_SVG;
  for (const std::string& svg : {pile_diagram_svg(diagram), axes.substr(axes.find("<svg"))}) {
    const XmlDocument doc = read_xml(svg);
    ASSERT_EQ(doc.problem, "");
    const XmlElement& root = doc.elements.at(0);
    const double points = 186.0 / 25.4 * 72.0 / number(root, "width");  // a unit
    EXPECT_LE(number(root, "height") * points, 245.0 / 25.4 * 72.0);
    for (const XmlElement& e : doc.elements) {
      if (e.attributes.count("font-size")) {
        EXPECT_GE(number(e, "font-size") * points, 7.0) << e.text;
      }
    }
  }
}

}  // namespace
}  // namespace kelmarino
