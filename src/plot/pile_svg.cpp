// The diagrams of one pile: six panels side by side against the distance Z along the pile axis
// (displacements, rotations, shear forces, bending moments, axial force, soil stresses), with the
// ground line, the soil below it and the segment joints marked, each curve in the colour of its
// bending plane, and the largest magnitude above the ground line and below it labelled.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "diagram/svg.hpp"
#include "input/input.hpp"
#include "plot/plot.hpp"

namespace kelmarino {
namespace {

constexpr double WIDTH = 1240.0;
constexpr double HEIGHT = 840.0;
constexpr double PLOT_TOP = 190.0;
constexpr double PLOT_BOTTOM = 800.0;
constexpr double FIRST_LEFT = 80.0;
constexpr double PANEL_WIDTH = 150.0;
constexpr double PANEL_GAP = 46.0;
constexpr int32_t VALUE_TICKS = 4;
constexpr int32_t DEPTH_TICKS = 8;
constexpr double LABEL_GAP = 12.0;   // px between the baselines of two value labels
constexpr double LABEL_ROOM = 44.0;  // px beside a mark that its label needs
// Values smaller than this part of the largest magnitude in their panel are rounding noise.
constexpr float NOISE = 1e-6f;

const char* plane_colour(Quantity q) { return kelmarino::plane_colour(quantity_name(q)); }

struct PanelSpec {
  const char* title;
  const char* unit;
  int32_t count;
  Quantity quantities[2];
};

// The panels of the vocabulary, with the quantities of the post-processing file.
const PanelSpec PANELS[6] = {
    {PANEL_WORDS[0].title, PANEL_WORDS[0].unit, 2, {Quantity::UX, Quantity::UY}},
    {PANEL_WORDS[1].title, PANEL_WORDS[1].unit, 2, {Quantity::SX, Quantity::SY}},
    {PANEL_WORDS[2].title, PANEL_WORDS[2].unit, 2, {Quantity::NX, Quantity::NY}},
    {PANEL_WORDS[3].title, PANEL_WORDS[3].unit, 2, {Quantity::MX, Quantity::MY}},
    {PANEL_WORDS[4].title, PANEL_WORDS[4].unit, 1, {Quantity::NZ, Quantity::NZ}},
    {PANEL_WORDS[5].title, PANEL_WORDS[5].unit, 2, {Quantity::PSX, Quantity::PSY}},
};

// The vertical scale shared by the panels: Z from the pile top (0) down to the axis end.
struct DepthScale {
  Axis axis;
  double y(double z) const { return PLOT_TOP + z / axis.hi() * (PLOT_BOTTOM - PLOT_TOP); }
};

// The horizontal scale of one panel.
struct ValueScale {
  double left;
  Axis axis;
  double x(double v) const {
    return left + (v - axis.lo()) / (axis.hi() - axis.lo()) * PANEL_WIDTH;
  }
};

// The marked lines of the pile: the ground line station and the stations that end a segment
// (joints), the ground line and the tip excluded.
struct PileLines {
  int32_t KG = 1;
  std::vector<int32_t> joints;
};

PileLines pile_lines(const PileData& piles, int32_t p) {
  const PileStations stations = pile_stations(piles, p);
  PileLines lines;
  lines.KG = static_cast<int32_t>(stations.KG);
  const int32_t segments = piles.NFR(p) + piles.NBL(p);
  for (int32_t s = 1; s < segments; ++s) {
    if (s != piles.NFR(p)) lines.joints.push_back(static_cast<int32_t>(stations.end[s - 1]));
  }
  return lines;
}

float station_z(const PosPile& pile, int32_t k) { return pile.ZH[static_cast<size_t>(k - 1)]; }

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
  return "<line class=\"" + std::string(cls) + "\" x1=\"" + fixed(x1, 2) + "\" y1=\"" +
         fixed(y1, 2) + "\" x2=\"" + fixed(x2, 2) + "\" y2=\"" + fixed(y2, 2) + "\" " + attributes +
         "/>\n";
}

std::string text_element(double x, double y, const char* anchor, const std::string& attributes,
                         const std::string& content) {
  return "<text x=\"" + fixed(x, 2) + "\" y=\"" + fixed(y, 2) + "\" text-anchor=\"" + anchor +
         "\" " + attributes + ">" + content + "</text>\n";
}

void write_title(std::string& svg, int32_t p, const PosPile& pile, const PileLines& lines) {
  svg += text_element(FIRST_LEFT, 32.0, "start", "font-size=\"20\" font-weight=\"bold\"",
                      "Pile " + std::to_string(p) + ": top at (x, y) = (" + fixed(pile.x, 3) +
                          ", " + fixed(pile.y, 3) + ") m");
  svg += text_element(
      FIRST_LEFT, 54.0, "start", "font-size=\"13\"",
      std::to_string(pile.NSTA) + " stations; Z along the pile axis from its top; " +
          "ground line at Z = " + fixed(station_z(pile, lines.KG), 3) + " m (station " +
          std::to_string(lines.KG) + "), soil shaded; segment joints dashed");
  svg += text_element(FIRST_LEFT, 74.0, "start", "class=\"plane-legend\" font-size=\"13\"",
                      std::string("Colour by bending plane: <tspan fill=\"") + X_PLANE_COLOUR +
                          "\">x\u2013z plane (UX, SY, NX, MY, PSX)</tspan>, <tspan fill=\"" +
                          Y_PLANE_COLOUR +
                          "\">y\u2013z plane (UY, SX, NY, MX, PSY)</tspan>, <tspan fill=\"" +
                          AXIAL_COLOUR + "\">axial force NZ</tspan>.");
  svg += text_element(FIRST_LEFT, 94.0, "start", "font-size=\"13\"",
                      "Dots: the largest magnitude above the ground line and from it down, "
                      "with its value in the unit of the axis above.");
}

void write_depth_axis(std::string& svg, const DepthScale& depth) {
  for (int32_t i = depth.axis.first; i <= depth.axis.last; ++i) {
    svg += text_element(FIRST_LEFT - 8.0, depth.y(i * depth.axis.step) + 4.0, "end",
                        "font-size=\"11\"", tick_label(depth.axis, i));
  }
  const double middle = (PLOT_TOP + PLOT_BOTTOM) / 2.0;
  svg += "<text x=\"26\" y=\"" + fixed(middle, 2) + "\" text-anchor=\"middle\" font-size=\"13\" " +
         "transform=\"rotate(-90 26 " + fixed(middle, 2) + ")\">Z (m)</text>\n";
}

float largest_magnitude(const std::vector<float>& v) {
  float largest = 0.0f;
  for (const float x : v) largest = std::max(largest, std::fabs(x));
  return largest;
}

// The values as drawn: those below NOISE times the largest magnitude of the panel (`reference`)
// are rounding noise of the analysis and drawn as zero.
std::vector<float> drawn_values(const std::vector<float>& v, float reference) {
  std::vector<float> drawn = v;
  for (float& x : drawn) {
    if (std::fabs(x) < NOISE * reference) x = 0.0f;
  }
  return drawn;
}

// A marked value: the dot on the curve and its label beside it.
struct Mark {
  Quantity q;
  int32_t k;
  float value;
  double x;
  double y;
  double label_y;
};

// The marks of one curve: the largest magnitude of the stations above the ground line
// (1 ... KG - 1) and of those from the ground line down (KG ... NSTA), the first station of equal
// magnitudes; a part whose values are all zero gets no mark.
void add_marks(std::vector<Mark>& marks, const ValueScale& scale, const DepthScale& depth,
               const PosPile& pile, int32_t KG, Quantity q, const std::vector<float>& v) {
  const int32_t parts[2][2] = {{1, KG - 1}, {KG, pile.NSTA}};
  for (const auto& part : parts) {
    int32_t peak = 0;
    for (int32_t k = part[0]; k <= part[1]; ++k) {
      const float value = v[static_cast<size_t>(k - 1)];
      if (value != 0.0f &&
          (peak == 0 || std::fabs(value) > std::fabs(v[static_cast<size_t>(peak - 1)]))) {
        peak = k;
      }
    }
    if (peak == 0) continue;
    const float value = v[static_cast<size_t>(peak - 1)];
    const double y = depth.y(station_z(pile, peak));
    marks.push_back({q, peak, value, scale.x(value), y, y + 4.0});
  }
}

// Moves the labels of a panel apart so that no two overlap, and keeps them inside the frame.
void place_labels(std::vector<Mark>& marks) {
  std::stable_sort(marks.begin(), marks.end(),
                   [](const Mark& a, const Mark& b) { return a.label_y < b.label_y; });
  for (size_t i = 0; i < marks.size(); ++i) {
    const double lowest = i == 0 ? PLOT_TOP + LABEL_GAP : marks[i - 1].label_y + LABEL_GAP;
    marks[i].label_y = std::max(marks[i].label_y, lowest);
  }
  for (size_t i = marks.size(); i-- > 0;) {
    const double highest =
        i + 1 == marks.size() ? PLOT_BOTTOM - 4.0 : marks[i + 1].label_y - LABEL_GAP;
    marks[i].label_y = std::min(marks[i].label_y, highest);
  }
}

void write_marks(std::string& svg, const ValueScale& scale, const std::vector<Mark>& marks) {
  for (const Mark& m : marks) {
    const std::string colour = plane_colour(m.q);
    const std::string data = "data-quantity=\"" + std::string(quantity_name(m.q)) + "\" data-k=\"" +
                             std::to_string(m.k) + "\"";
    svg += "<circle class=\"peak\" " + data + " cx=\"" + fixed(m.x, 2) + "\" cy=\"" +
           fixed(m.y, 2) + "\" r=\"3.5\" fill=\"" + colour + "\"/>\n";
    // The label goes on the side away from the zero line, where the curve leaves room, unless
    // the frame is too near on that side.
    const bool room_right = scale.left + PANEL_WIDTH - m.x > LABEL_ROOM;
    const bool room_left = m.x - scale.left > LABEL_ROOM;
    const bool on_left = m.value < 0.0f ? room_left : !room_right;
    svg +=
        text_element(on_left ? m.x - 6.0 : m.x + 6.0, m.label_y, on_left ? "end" : "start",
                     "class=\"peak-label\" " + data + " font-size=\"10\" fill=\"" + colour + "\"",
                     scaled_label(scale.axis, m.value));
  }
}

// The curve of one quantity through its drawn values; the smallest and largest value of the
// post-processing file ride along as data.
void write_curve(std::string& svg, const ValueScale& scale, const DepthScale& depth,
                 const PosPile& pile, Quantity q, const std::vector<float>& drawn) {
  const std::vector<float>& v = pile.of(q);
  std::string points;
  for (int32_t k = 1; k <= pile.NSTA; ++k) {
    if (k > 1) points += ' ';
    points += fixed(scale.x(drawn[static_cast<size_t>(k - 1)]), 2) + "," +
              fixed(depth.y(station_z(pile, k)), 2);
  }
  const auto [low, high] = std::minmax_element(v.begin(), v.end());
  svg += "<polyline class=\"curve\" data-quantity=\"" + std::string(quantity_name(q)) +
         "\" data-min=\"" + exact(*low) + "\" data-max=\"" + exact(*high) + "\" points=\"" +
         points + "\" fill=\"none\" stroke=\"" + plane_colour(q) +
         "\" stroke-width=\"2\" stroke-linejoin=\"round\"/>\n";
}

void write_panel_frame(std::string& svg, const PanelSpec& panel_spec, const ValueScale& scale,
                       const DepthScale& depth, float ground_z) {
  const double left = scale.left;
  const double right = left + PANEL_WIDTH;
  const double middle = left + PANEL_WIDTH / 2.0;
  svg += text_element(middle, PLOT_TOP - 66.0, "middle", "font-size=\"14\" font-weight=\"bold\"",
                      panel_spec.title);
  std::string legend;
  for (int32_t i = 0; i < panel_spec.count; ++i) {
    if (i > 0) legend += ", ";
    legend.append("<tspan fill=\"")
        .append(plane_colour(panel_spec.quantities[i]))
        .append("\">")
        .append(quantity_name(panel_spec.quantities[i]))
        .append("</tspan>");
  }
  svg += text_element(middle, PLOT_TOP - 46.0, "middle", "class=\"panel-legend\" font-size=\"13\"",
                      legend + " (" + scale_note(scale.axis) + escape_xml(panel_spec.unit) + ")");
  // Soil below the ground line.
  const double ground_y = depth.y(ground_z);
  svg += "<rect class=\"soil\" x=\"" + fixed(left, 2) + "\" y=\"" + fixed(ground_y, 2) +
         "\" width=\"" + fixed(PANEL_WIDTH, 2) + "\" height=\"" + fixed(PLOT_BOTTOM - ground_y, 2) +
         "\" fill=\"#f3e9d2\"/>\n";
  for (int32_t i = depth.axis.first; i <= depth.axis.last; ++i) {
    const double y = depth.y(i * depth.axis.step);
    svg += line_element("grid", left, y, right, y, "stroke=\"#dddddd\" stroke-width=\"1\"");
  }
  for (int32_t i = scale.axis.first; i <= scale.axis.last; ++i) {
    const double x = scale.x(i * scale.axis.step);
    svg += line_element(
        i == 0 ? "zero" : "grid", x, PLOT_TOP, x, PLOT_BOTTOM,
        i == 0 ? "stroke=\"#555555\" stroke-width=\"1\"" : "stroke=\"#dddddd\" stroke-width=\"1\"");
    svg += text_element(x, PLOT_TOP - 8.0, "middle", "font-size=\"11\"", tick_label(scale.axis, i));
  }
}

void write_panel_lines(std::string& svg, double left, const DepthScale& depth, const PosPile& pile,
                       const PileLines& lines) {
  const double right = left + PANEL_WIDTH;
  for (const int32_t k : lines.joints) {
    const double y = depth.y(station_z(pile, k));
    svg += line_element("joint", left, y, right, y,
                        "data-z=\"" + exact(station_z(pile, k)) +
                            "\" stroke=\"#777777\" stroke-width=\"1\" stroke-dasharray=\"5,3\"");
  }
  const double ground_y = depth.y(station_z(pile, lines.KG));
  svg += line_element(
      "ground", left, ground_y, right, ground_y,
      "data-z=\"" + exact(station_z(pile, lines.KG)) + "\" stroke=\"#8b5a2b\" stroke-width=\"2\"");
}

void write_panel(std::string& svg, const PanelSpec& panel_spec, double left,
                 const DepthScale& depth, const PosPile& pile, const PileLines& lines) {
  float reference = 0.0f;
  for (int32_t i = 0; i < panel_spec.count; ++i) {
    reference = std::max(reference, largest_magnitude(pile.of(panel_spec.quantities[i])));
  }
  std::vector<float> drawn[2];
  float vmin = 0.0f;
  float vmax = 0.0f;
  for (int32_t i = 0; i < panel_spec.count; ++i) {
    drawn[i] = drawn_values(pile.of(panel_spec.quantities[i]), reference);
    vmin = std::min(vmin, *std::min_element(drawn[i].begin(), drawn[i].end()));
    vmax = std::max(vmax, *std::max_element(drawn[i].begin(), drawn[i].end()));
  }
  const ValueScale scale{left, nice_axis(vmin, vmax, VALUE_TICKS)};
  std::string names;
  for (int32_t i = 0; i < panel_spec.count; ++i) {
    if (i > 0) names += ' ';
    names += quantity_name(panel_spec.quantities[i]);
  }
  svg += "<g class=\"panel\" data-quantities=\"" + names + "\" data-left=\"" + fixed(left, 2) +
         "\" data-right=\"" + fixed(left + PANEL_WIDTH, 2) + "\" data-vmin=\"" +
         axis_value(scale.axis.lo()) + "\" data-vmax=\"" + axis_value(scale.axis.hi()) +
         "\" data-step=\"" + axis_value(scale.axis.step) + "\">\n";
  write_panel_frame(svg, panel_spec, scale, depth, station_z(pile, lines.KG));
  write_panel_lines(svg, left, depth, pile, lines);
  std::vector<Mark> marks;
  for (int32_t i = 0; i < panel_spec.count; ++i) {
    write_curve(svg, scale, depth, pile, panel_spec.quantities[i], drawn[i]);
    add_marks(marks, scale, depth, pile, lines.KG, panel_spec.quantities[i], drawn[i]);
  }
  place_labels(marks);
  write_marks(svg, scale, marks);
  svg += "<rect x=\"" + fixed(left, 2) + "\" y=\"" + fixed(PLOT_TOP, 2) + "\" width=\"" +
         fixed(PANEL_WIDTH, 2) + "\" height=\"" + fixed(PLOT_BOTTOM - PLOT_TOP, 2) +
         "\" fill=\"none\" stroke=\"#333333\" stroke-width=\"1\"/>\n</g>\n";
}

}  // namespace

std::string pile_file_name(int32_t p) {
  char name[32];
  std::snprintf(name, sizeof name, "pile-%02d.svg", p);
  return name;
}

std::string pile_svg(const PileData& piles, int32_t p, const PosPile& pile) {
  const PileLines lines = pile_lines(piles, p);
  const float bottom = *std::max_element(pile.ZH.begin(), pile.ZH.end());
  // A pile of one station still gets a depth axis of 1 m.
  const DepthScale depth{
      nice_axis(0.0, bottom > 0.0f ? static_cast<double>(bottom) : 1.0, DEPTH_TICKS)};
  std::string svg =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
      fixed(WIDTH, 0) + "\" height=\"" + fixed(HEIGHT, 0) + "\" viewBox=\"0 0 " + fixed(WIDTH, 0) +
      " " + fixed(HEIGHT, 0) + "\" font-family=\"DejaVu Sans, Arial, sans-serif\" data-pile=\"" +
      std::to_string(p) + "\" data-plot-top=\"" + fixed(PLOT_TOP, 2) + "\" data-plot-bottom=\"" +
      fixed(PLOT_BOTTOM, 2) + "\" data-zmax=\"" + axis_value(depth.axis.hi()) +
      "\">\n<title>Pile " + std::to_string(p) + "</title>\n" +
      "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  write_title(svg, p, pile, lines);
  write_depth_axis(svg, depth);
  for (int32_t i = 0; i < 6; ++i) {
    write_panel(svg, PANELS[i], FIRST_LEFT + i * (PANEL_WIDTH + PANEL_GAP), depth, pile, lines);
  }
  return svg + "</svg>\n";
}

}  // namespace kelmarino
