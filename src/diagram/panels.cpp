// The panel writer of the pile diagrams.
#include "diagram/panels.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "diagram/svg.hpp"
#include "tables/tables.hpp"  // readable, reader_unit

namespace kelmarino {
namespace {

// Two rows of three panels, sized so that the figure fills the width of an A4 sheet (186 mm between
// the margins, 0.73 pt a unit) and fits its height: the smallest text, 10 units, prints at 7.3 pt.
constexpr double WIDTH = 720.0;
constexpr int32_t PANELS_PER_ROW = 3;
constexpr double FIRST_LEFT = 54.0;
constexpr double PANEL_WIDTH = 184.0;
constexpr double PANEL_GAP = 40.0;
constexpr double PLOT_HEIGHT = 330.0;
constexpr double ROW_HEAD = 84.0;  // px from a row's top to its frames: title, legend, ticks
constexpr double INSET_X = 8.0;    // px between a frame and the ends of its value axis
constexpr double INSET_Y = 12.0;   // px between a frame and the ends of the depth axis
constexpr int32_t VALUE_TICKS = 4;
constexpr int32_t DEPTH_TICKS = 8;
constexpr double DEPTH_TICK_GAP = 6.0;  // px between a depth tick label and the frame
constexpr double DOT = 3.5;             // radius of a mark's dot
constexpr double LABEL_STEP = 12.0;     // px between the baselines of two label rows
constexpr double LETTER_WIDTH = 6.2;    // px of a character at a font size of 10, generously
constexpr double ASCENT = 8.0;          // px of a label above its baseline
constexpr double DESCENT = 3.0;         // and below it
// A white outline under a label's text, which stands on a white ground of the label's box: no line
// or curve shows through a label, so that none reads as a minus sign before a value.
constexpr const char* HALO = "\" stroke=\"#ffffff\" stroke-width=\"3\" paint-order=\"stroke\"";

// The page layout: the heading lines, then two rows of panels below them.
struct Layout {
  double top;  // the frames' top in the first row
  double row_top(int32_t row) const { return top + row * (PLOT_HEIGHT + ROW_HEAD); }
  double height() const { return row_top(1) + PLOT_HEIGHT + 24.0; }
  static double heading_y(size_t i) { return i == 0 ? 30.0 : 32.0 + 18.0 * static_cast<double>(i); }
};

// The depth scale of a row of panels: Z from the pile top (0) down to the axis end.
struct DepthScale {
  Axis axis;
  double top;
  double bottom;
  double y(double z) const {
    return top + INSET_Y + z / axis.hi() * (bottom - top - 2.0 * INSET_Y);
  }
};

// The value scale of one panel, in the unit a reader is shown (mm, mrad, t, ...): `factor` times
// the program's unit.
struct ValueScale {
  double left;
  ReaderUnit unit;
  Axis axis;
  double right() const { return left + PANEL_WIDTH; }
  double x(double v) const {
    return left + INSET_X +
           (v - axis.lo()) / (axis.hi() - axis.lo()) * (PANEL_WIDTH - 2.0 * INSET_X);
  }
  // The x of a value in the program's unit.
  double x_of(float v) const { return x(static_cast<double>(v) * unit.factor); }
};

// A coordinate with two decimals, written directly: a diagram holds thousands of points.
void append_coordinate(std::string& text, double value) {
  long long hundredths = std::llround(value * 100.0);
  if (hundredths < 0) {
    text += '-';
    hundredths = -hundredths;
  }
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, hundredths / 100);
  text.append(digits, result.ptr);
  text += '.';
  text += static_cast<char>('0' + hundredths / 10 % 10);
  text += static_cast<char>('0' + hundredths % 10);
}

std::string coordinate(double value) {
  std::string text;
  append_coordinate(text, value);
  return text;
}

// An end or step of an axis as an attribute: as a float where it is one; an axis around values
// near the float maximum may end beyond it, and is then written in double precision.
std::string axis_value(double value) {
  if (std::fabs(value) <= static_cast<double>(std::numeric_limits<float>::max())) {
    return exact(static_cast<float>(value));
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

std::string line_element(const char* cls, double x1, double y1, double x2, double y2,
                         const std::string& attributes) {
  return "<line class=\"" + std::string(cls) + "\" x1=\"" + coordinate(x1) + "\" y1=\"" +
         coordinate(y1) + "\" x2=\"" + coordinate(x2) + "\" y2=\"" + coordinate(y2) + "\" " +
         attributes + "/>\n";
}

std::string text_element(double x, double y, const char* anchor, const std::string& attributes,
                         const std::string& content) {
  return "<text x=\"" + coordinate(x) + "\" y=\"" + coordinate(y) + "\" text-anchor=\"" + anchor +
         "\" " + attributes + ">" + content + "</text>\n";
}

std::string rect_element(const std::string& attributes, double x, double y, double width,
                         double height) {
  return "<rect " + attributes + " x=\"" + coordinate(x) + "\" y=\"" + coordinate(y) +
         "\" width=\"" + coordinate(width) + "\" height=\"" + coordinate(height) + "\"/>\n";
}

// The number of characters a reader sees in a label (a UTF-8 sequence or an entity is one).
double visible_length(const std::string& text) {
  double count = 0.0;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '&') i = std::min(text.find(';', i), text.size() - 1);
    if ((c & 0xc0) != 0x80) count += 1.0;
  }
  return count;
}

// A mark as placed: its dot, its label's text, anchor point and box.
struct Placed {
  const PanelMark* mark;
  double x, y;
  std::string text;
  double label_x = 0.0;
  double label_y = 0.0;
  bool on_left = false;
  Box box() const {
    const double width = LETTER_WIDTH * visible_length(text);
    const double x0 = on_left ? label_x - width : label_x;
    return {x0, label_y - ASCENT, x0 + width, label_y + DESCENT};
  }
};

// Places the labels of a panel one by one from the top: beside the dot on the side away from the
// zero line where the label fits within the panel and half the gaps, else on the other side,
// else within those bounds; then in the row nearest the dot where it meets no label placed before
// it, no dot and no tick label of the depth axis.
void place_labels(std::vector<Placed>& marks, const ValueScale& scale, const DepthScale& depth) {
  std::stable_sort(marks.begin(), marks.end(),
                   [](const Placed& a, const Placed& b) { return a.y < b.y; });
  const double lo = scale.left - PANEL_GAP / 2.0;
  const double hi = scale.right() + PANEL_GAP / 2.0;
  std::vector<Box> taken;
  for (const Placed& m : marks) taken.push_back({m.x - DOT, m.y - DOT, m.x + DOT, m.y + DOT});
  for (int32_t i = depth.axis.first; i <= depth.axis.last; ++i) {
    const double y = depth.y(i * depth.axis.step) + 4.0;  // the baseline, as written
    const double width =                                  // at a font size of 11
        1.1 * LETTER_WIDTH * static_cast<double>(tick_label(depth.axis, i).size());
    taken.push_back({FIRST_LEFT - DEPTH_TICK_GAP - width, y - ASCENT, FIRST_LEFT, y + DESCENT});
  }
  for (Placed& m : marks) {
    const double width = LETTER_WIDTH * visible_length(m.text);
    const bool fits_right = m.x + 6.0 + width <= hi;
    const bool fits_left = m.x - 6.0 - width >= lo;
    const bool prefer_left = m.mark->value < 0.0f;
    struct Side {
      double x;
      bool on_left;
    };
    std::vector<Side> sides;
    if (prefer_left ? fits_left : fits_right)
      sides.push_back({prefer_left ? m.x - 6.0 : m.x + 6.0, prefer_left});
    if (prefer_left ? fits_right : fits_left)
      sides.push_back({prefer_left ? m.x + 6.0 : m.x - 6.0, !prefer_left});
    // Neither side has room: right of the dot, moved left to end within the bounds (from lo when
    // longer than they are).
    if (sides.empty()) sides.push_back({std::max(lo, std::min(m.x + 6.0, hi - width)), false});
    const double first = depth.top + ASCENT + 2.0;
    const double last = depth.bottom - DESCENT - 1.0;
    bool placed = false;
    for (int32_t shift = 0; shift <= 2 * static_cast<int32_t>(PLOT_HEIGHT / LABEL_STEP) && !placed;
         ++shift) {
      // Rows at 0, +1, -1, +2, -2, ... steps from the dot.
      const double offset = (shift % 2 == 1 ? 1.0 : -1.0) * ((shift + 1) / 2) * LABEL_STEP;
      const double y = m.y + 4.0 + offset;
      if (y < first || y > last) continue;
      for (const Side& side : sides) {
        m.label_x = side.x;
        m.on_left = side.on_left;
        m.label_y = y;
        const Box box = m.box();
        if (std::none_of(taken.begin(), taken.end(),
                         [&](const Box& b) { return b.overlaps(box); })) {
          placed = true;
          break;
        }
      }
    }
    if (!placed) {  // a crowded panel: beside the dot
      m.label_x = sides[0].x;
      m.on_left = sides[0].on_left;
      m.label_y = std::clamp(m.y + 4.0, first, last);
    }
    taken.push_back(m.box());
  }
}

void write_heading(std::string& svg, const PileDiagram& diagram) {
  for (size_t i = 0; i < diagram.heading.size(); ++i) {
    svg += text_element(FIRST_LEFT, Layout::heading_y(i), "start", diagram.heading[i].attributes,
                        diagram.heading[i].content);
  }
}

void write_depth_axis(std::string& svg, const DepthScale& depth) {
  for (int32_t i = depth.axis.first; i <= depth.axis.last; ++i) {
    svg += text_element(FIRST_LEFT - DEPTH_TICK_GAP, depth.y(i * depth.axis.step) + 4.0, "end",
                        "font-size=\"11\"", tick_label(depth.axis, i));
  }
  const std::string middle = coordinate((depth.top + depth.bottom) / 2.0);
  svg += "<text x=\"16\" y=\"" + middle + "\" text-anchor=\"middle\" font-size=\"12\" " +
         "transform=\"rotate(-90 16 " + middle + ")\">Z (" + scale_note(depth.axis) + "m)</text>\n";
}

void write_frame(std::string& svg, const PanelWords& words, const ValueScale& scale,
                 const DepthScale& depth, const PileDiagram& diagram) {
  const double middle = scale.left + PANEL_WIDTH / 2.0;
  svg += text_element(middle, depth.top - 56.0, "middle", "font-size=\"14\" font-weight=\"bold\"",
                      words.title);
  std::string legend;
  for (int32_t i = 0; i < words.count; ++i) {
    if (i > 0) legend += ", ";
    legend.append("<tspan fill=\"")
        .append(plane_colour(words.quantities[i]))
        .append("\">")
        .append(words.quantities[i])
        .append("</tspan>");
  }
  svg += text_element(middle, depth.top - 36.0, "middle", "class=\"panel-legend\" font-size=\"12\"",
                      legend + " (" + scale_note(scale.axis) + escape_xml(scale.unit.unit) + ")");
  const float ground_z = diagram.ZH[static_cast<size_t>(diagram.KG - 1)];
  const double ground_y = depth.y(ground_z);
  svg += rect_element("class=\"soil\" fill=\"#f3e9d2\"", scale.left, ground_y, PANEL_WIDTH,
                      depth.bottom - ground_y);
  for (int32_t i = depth.axis.first; i <= depth.axis.last; ++i) {
    const double y = depth.y(i * depth.axis.step);
    svg += line_element("grid", scale.left, y, scale.right(), y,
                        "stroke=\"#dddddd\" stroke-width=\"1\"");
  }
  for (int32_t i = scale.axis.first; i <= scale.axis.last; ++i) {
    const double x = scale.x(i * scale.axis.step);
    svg += line_element(
        i == 0 ? "zero" : "grid", x, depth.top, x, depth.bottom,
        i == 0 ? "stroke=\"#555555\" stroke-width=\"1\"" : "stroke=\"#dddddd\" stroke-width=\"1\"");
    svg +=
        text_element(x, depth.top - 8.0, "middle", "font-size=\"11\"", tick_label(scale.axis, i));
  }
  for (const int32_t k : diagram.joints) {
    const float z = diagram.ZH[static_cast<size_t>(k - 1)];
    svg += line_element("joint", scale.left, depth.y(z), scale.right(), depth.y(z),
                        "data-z=\"" + exact(z) +
                            "\" stroke=\"#777777\" stroke-width=\"1\" stroke-dasharray=\"5,3\"");
  }
  svg += line_element("ground", scale.left, ground_y, scale.right(), ground_y,
                      "data-z=\"" + exact(ground_z) + "\" stroke=\"#8b5a2b\" stroke-width=\"2\"");
}

void write_curve(std::string& svg, const PanelCurve& curve, const ValueScale& scale,
                 const DepthScale& depth, const PileDiagram& diagram) {
  svg += "<polyline class=\"" + diagram.curve_class + "\" data-quantity=\"" + curve.quantity +
         "\" " + curve.data + (curve.data.empty() ? "" : " ") + "points=\"";
  for (size_t k = 0; k < curve.values.size(); ++k) {
    if (k > 0) svg += ' ';
    append_coordinate(svg, scale.x_of(curve.values[k]));
    svg += ',';
    append_coordinate(svg, depth.y(static_cast<double>(diagram.ZH[k])));
  }
  svg.append("\" fill=\"none\" stroke=\"")
      .append(plane_colour(curve.quantity))
      .append("\" stroke-width=\"2\" stroke-linejoin=\"round\"");
  if (curve.dashed) svg += " stroke-dasharray=\"6,3\"";
  svg += "/>\n";
}

// The label of a mark, its value in the reader's unit and its depth as the tables give them, then
// its note: "MX = −17.72 t*m at Z = 8 m".
std::string mark_label(const PanelMark& mark, const ReaderUnit& unit, float z) {
  std::string value = readable(static_cast<double>(mark.value) * unit.factor);
  if (value[0] == '-') value.replace(0, 1, "\u2212");
  std::string text = std::string(mark.quantity) + " = " + value + " " + escape_xml(unit.unit) +
                     " at Z = " + readable(static_cast<double>(z)) + " m";
  if (!mark.note.empty()) text += ", " + mark.note;
  return text;
}

void write_marks(std::string& svg, const PanelContent& panel, const ValueScale& scale,
                 const DepthScale& depth, const PileDiagram& diagram) {
  std::vector<Placed> marks;
  for (const PanelMark& mark : panel.marks) {
    const float z = diagram.ZH[static_cast<size_t>(mark.k - 1)];
    marks.push_back({&mark, scale.x_of(mark.value), depth.y(static_cast<double>(z)),
                     mark_label(mark, scale.unit, z)});
  }
  place_labels(marks, scale, depth);
  for (const Placed& m : marks) {
    const std::string colour = plane_colour(m.mark->quantity);
    const std::string data = "data-quantity=\"" + std::string(m.mark->quantity) + "\" data-k=\"" +
                             std::to_string(m.mark->k) + "\"" +
                             (m.mark->data.empty() ? "" : " " + m.mark->data);
    svg += "<circle class=\"" + diagram.mark_class + "\" " + data + " cx=\"" + coordinate(m.x) +
           "\" cy=\"" + coordinate(m.y) + "\" r=\"" + coordinate(DOT) + "\" fill=\"" + colour +
           "\"/>\n";
    const Box ground = m.box();
    svg += rect_element("class=\"label-ground\" fill=\"#ffffff\"", ground.x0, ground.y0,
                        ground.x1 - ground.x0, ground.y1 - ground.y0);
    svg += text_element(m.label_x, m.label_y, m.on_left ? "end" : "start",
                        "class=\"" + diagram.mark_class + "-label\" " + data +
                            " font-size=\"10\" fill=\"" + colour + HALO,
                        m.text);
  }
}

void write_panel(std::string& svg, const PanelWords& words, const PanelContent& panel, double left,
                 const DepthScale& depth, const PileDiagram& diagram) {
  float vmin = 0.0f;
  float vmax = 0.0f;
  for (const PanelCurve& curve : panel.curves) {
    for (const float v : curve.values) {
      vmin = std::min(vmin, v);
      vmax = std::max(vmax, v);
    }
  }
  const ReaderUnit unit = reader_unit(words.unit, diagram.force);
  const ValueScale scale{left, unit,
                         nice_axis(static_cast<double>(vmin) * unit.factor,
                                   static_cast<double>(vmax) * unit.factor, VALUE_TICKS)};
  std::string names;
  for (int32_t i = 0; i < words.count; ++i) {
    if (i > 0) names += ' ';
    names += words.quantities[i];
  }
  svg += "<g class=\"panel\" data-quantities=\"" + names + "\" data-left=\"" +
         coordinate(scale.x(scale.axis.lo())) + "\" data-right=\"" +
         coordinate(scale.x(scale.axis.hi())) + "\" data-vmin=\"" + axis_value(scale.axis.lo()) +
         "\" data-vmax=\"" + axis_value(scale.axis.hi()) + "\" data-step=\"" +
         axis_value(scale.axis.step) + "\" data-top=\"" + coordinate(depth.y(0.0)) +
         "\" data-bottom=\"" + coordinate(depth.y(depth.axis.hi())) + "\">\n";
  write_frame(svg, words, scale, depth, diagram);
  for (const PanelCurve& curve : panel.curves) write_curve(svg, curve, scale, depth, diagram);
  write_marks(svg, panel, scale, depth, diagram);
  svg += rect_element("class=\"frame\" fill=\"none\" stroke=\"#333333\" stroke-width=\"1\"", left,
                      depth.top, PANEL_WIDTH, PLOT_HEIGHT) +
         "</g>\n";
}

}  // namespace

std::string pile_file_name(int32_t g) {
  char name[32];
  std::snprintf(name, sizeof name, "pile-%02d.svg", g);
  return name;
}

std::string pile_diagram_svg(const PileDiagram& diagram) {
  const Layout layout{Layout::heading_y(std::max<size_t>(diagram.heading.size(), 1) - 1) +
                      ROW_HEAD};
  const float bottom =
      diagram.ZH.empty() ? 0.0f : *std::max_element(diagram.ZH.begin(), diagram.ZH.end());
  // A pile of one station still gets a depth axis of 1 m.
  const Axis depth_axis =
      nice_axis(0.0, bottom > 0.0f ? static_cast<double>(bottom) : 1.0, DEPTH_TICKS);
  std::string svg =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
      fixed(WIDTH, 0) + "\" height=\"" + fixed(layout.height(), 0) + "\" viewBox=\"0 0 " +
      fixed(WIDTH, 0) + " " + fixed(layout.height(), 0) +
      "\" font-family=\"DejaVu Sans, Arial, sans-serif\" " + diagram.root_data +
      (diagram.root_data.empty() ? "" : " ") + "data-zmax=\"" + axis_value(depth_axis.hi()) +
      "\">\n<title>" + diagram.title + "</title>\n" +
      "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  write_heading(svg, diagram);
  for (int32_t row = 0; row < 2; ++row) {
    const DepthScale depth{depth_axis, layout.row_top(row), layout.row_top(row) + PLOT_HEIGHT};
    write_depth_axis(svg, depth);
    for (int32_t column = 0; column < PANELS_PER_ROW; ++column) {
      const int32_t i = row * PANELS_PER_ROW + column;
      write_panel(svg, PANEL_WORDS[i], diagram.panels[i],
                  FIRST_LEFT + column * (PANEL_WIDTH + PANEL_GAP), depth, diagram);
    }
  }
  svg += "</svg>\n";
  return svg;
}

}  // namespace kelmarino
