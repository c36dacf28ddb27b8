// The panel writer on crowded panels: the labels of the marks meet no other label and no dot,
// and stay within their panel's frame and half the gaps beside it.
#include "diagram/panels.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    std::vector<PanelMark> marks;  // of the shear force panel, values of -10 ... 10
  } cases[] = {
      {"a long note", {{"NX", 3, 10.0f, std::string(25, 'C'), ""}}},
      {"neighbouring stations",
       {{"NX", 2, 9.0f, "ULS-1", ""},
        {"NY", 2, -9.0f, "ULS-2", ""},
        {"NX", 3, 8.0f, "ULS-3", ""},
        {"NY", 3, -8.0f, "ULS-4", ""},
        {"NX", 4, 10.0f, "SEIS-X", ""},
        {"NY", 4, 7.0f, "SEIS-Y", ""}}},
      {"one station", {{"NX", 1, 0.5f, "A", ""}, {"NY", 1, -0.5f, "B", ""}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PileDiagram diagram;
    diagram.ZH = {0.0f, 0.5f, 1.0f, 1.5f, 2.0f, 10.0f};
    diagram.KG = 3;
    diagram.panels[2].curves = {{"NX", {10, 9, 8, 10, 0, 0}, false, ""},
                                {"NY", {-10, -9, -8, 7, 0, 0}, false, ""}};
    diagram.panels[2].marks = c.marks;
    const XmlDocument doc = read_xml(pile_diagram_svg(diagram));
    ASSERT_EQ(doc.problem, "");
    EXPECT_EQ(testing::crowded_labels(doc, "peak"), std::vector<std::string>{});
    const auto labels = doc.all("text", "class", "peak-label");
    ASSERT_EQ(labels.size(), c.marks.size());
    const XmlElement& panel = *doc.all("g", "class", "panel").at(2);
    const XmlElement& frame = *doc.all("rect", "class", "frame").at(2);
    ASSERT_EQ(doc.elements[static_cast<size_t>(frame.parent)].attributes, panel.attributes);
    const double left = number(frame, "x") - 23.0;
    const double right = number(frame, "x") + number(frame, "width") + 23.0;
    for (const XmlElement* label : labels) {
      const double width = 6.2 * static_cast<double>(label->content.size());
      const double x = number(*label, "x");
      const bool end = label->attributes.at("text-anchor") == "end";
      EXPECT_GE(end ? x - width : x, left - 1e-6) << label->content;
      EXPECT_LE(end ? x : x + width, right + 1e-6) << label->content;
      EXPECT_GT(number(*label, "y") - 8.0, number(frame, "y")) << label->content;
      EXPECT_LT(number(*label, "y") + 3.0, number(frame, "y") + number(frame, "height"));
    }
  }
}

}  // namespace
}  // namespace kelmarino
