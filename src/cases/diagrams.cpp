// The envelope diagrams of a pile (six panels against the distance Z along the pile axis, the
// largest value of each quantity drawn solid and the smallest dashed) and the page that shows the
// tables and the diagrams of every pile.
#include <algorithm>
#include <charconv>
#include <cmath>

#include "cases/cases.hpp"
#include "plot/svg.hpp"

namespace kelmarino::cases {
namespace {

constexpr double WIDTH = 1240.0;
constexpr double HEIGHT = 800.0;
constexpr double PLOT_TOP = 150.0;
constexpr double PLOT_BOTTOM = 760.0;
constexpr double FIRST_LEFT = 80.0;
constexpr double PANEL_WIDTH = 150.0;
constexpr double PANEL_GAP = 46.0;
constexpr int32_t VALUE_TICKS = 4;
constexpr int32_t DEPTH_TICKS = 8;

// The colour of a quantity's curves: that of its bending plane, as in the diagrams of one run.
const char* plane_colour(int32_t q) { return kelmarino::plane_colour(quantity_name(q)); }

struct Panel {
  const char* title;
  const char* unit;
  int32_t count;
  int32_t quantities[2];
};

const Panel PANELS[6] = {
    {"Displacement", "m", 2, {UX, UY}}, {"Rotation", "rad", 2, {SX, SY}},
    {"Shear force", "t", 2, {NX, NY}},  {"Bending moment", "t*m", 2, {MX, MY}},
    {"Axial force", "t", 1, {NZ, NZ}},  {"Soil stress", "t/m2", 2, {PSX, PSY}},
};

// A coordinate with one decimal, written directly: a diagram holds tens of thousands of points.
void append_coordinate(std::string& text, double value) {
  long long tenths = std::llround(value * 10.0);
  if (tenths < 0) {
    text += '-';
    tenths = -tenths;
  }
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, tenths / 10);
  text.append(digits, result.ptr);
  text += '.';
  text += static_cast<char>('0' + tenths % 10);
}

std::string text_element(double x, double y, const char* anchor, const std::string& attributes,
                         const std::string& content) {
  return "<text x=\"" + fixed(x, 1) + "\" y=\"" + fixed(y, 1) + "\" text-anchor=\"" + anchor +
         "\" " + attributes + ">" + content + "</text>\n";
}

std::string line_element(double x1, double y1, double x2, double y2, const std::string& style) {
  return "<line x1=\"" + fixed(x1, 1) + "\" y1=\"" + fixed(y1, 1) + "\" x2=\"" + fixed(x2, 1) +
         "\" y2=\"" + fixed(y2, 1) + "\" " + style + "/>\n";
}

struct Scales {
  Axis depth;
  Axis value;
  double left;
  double y(double z) const { return PLOT_TOP + z / depth.hi() * (PLOT_BOTTOM - PLOT_TOP); }
  double x(double v) const {
    return left + (v - value.lo()) / (value.hi() - value.lo()) * PANEL_WIDTH;
  }
};

float envelope_value(const PileEnvelope& pile, size_t k, int32_t q, bool largest) {
  return largest ? pile.stations[k].max[q].value : pile.stations[k].min[q].value;
}

void write_curve(std::string& svg, const PileEnvelope& pile, const Scales& s, int32_t q,
                 bool largest, const char* colour) {
  svg += "<polyline class=\"envelope\" data-quantity=\"";
  svg.append(quantity_name(q)).append("\" data-extreme=\"").append(largest ? "max" : "min");
  svg += "\" points=\"";
  for (size_t k = 0; k < pile.stations.size(); ++k) {
    if (k > 0) svg += ' ';
    append_coordinate(svg, s.x(envelope_value(pile, k, q, largest)));
    svg += ',';
    append_coordinate(svg, s.y(pile.ZH[k]));
  }
  svg.append("\" fill=\"none\" stroke=\"").append(colour).append("\" stroke-width=\"2\"");
  if (!largest) svg += " stroke-dasharray=\"6,3\"";
  svg += "/>\n";
}

void write_panel(std::string& svg, const PileEnvelope& pile, const Panel& panel, Scales s) {
  float vmin = 0.0f;
  float vmax = 0.0f;
  for (int32_t i = 0; i < panel.count; ++i) {
    vmin = std::min(vmin, pile_minimum(pile, panel.quantities[i]).extreme.value);
    vmax = std::max(vmax, pile_maximum(pile, panel.quantities[i]).extreme.value);
  }
  s.value = nice_axis(vmin, vmax, VALUE_TICKS);
  const double right = s.left + PANEL_WIDTH;
  const double middle = s.left + PANEL_WIDTH / 2.0;
  svg += text_element(middle, PLOT_TOP - 66.0, "middle", "font-size=\"14\" font-weight=\"bold\"",
                      panel.title);
  std::string legend;
  for (int32_t i = 0; i < panel.count; ++i) {
    if (i > 0) legend += ", ";
    legend.append("<tspan fill=\"").append(plane_colour(panel.quantities[i])).append("\">");
    legend.append(quantity_name(panel.quantities[i])).append("</tspan>");
  }
  svg += text_element(middle, PLOT_TOP - 46.0, "middle", "font-size=\"13\"",
                      legend + " (" + scale_note(s.value) + escape_xml(panel.unit) + ")");
  const size_t KG = static_cast<size_t>(pile.KG);
  const double ground = s.y(pile.ZH[KG - 1]);
  svg += "<rect x=\"" + fixed(s.left, 1) + "\" y=\"" + fixed(ground, 1) + "\" width=\"" +
         fixed(PANEL_WIDTH, 1) + "\" height=\"" + fixed(PLOT_BOTTOM - ground, 1) +
         "\" fill=\"#f3e9d2\"/>\n";
  for (int32_t i = s.value.first; i <= s.value.last; ++i) {
    const double x = s.x(i * s.value.step);
    svg += line_element(x, PLOT_TOP, x, PLOT_BOTTOM,
                        i == 0 ? "stroke=\"#555555\"" : "stroke=\"#dddddd\"");
    svg += text_element(x, PLOT_TOP - 8.0, "middle", "font-size=\"11\"", tick_label(s.value, i));
  }
  svg += line_element(s.left, ground, right, ground, "stroke=\"#8b5a2b\" stroke-width=\"2\"");
  for (int32_t i = 0; i < panel.count; ++i) {
    const char* colour = plane_colour(panel.quantities[i]);
    write_curve(svg, pile, s, panel.quantities[i], true, colour);
    write_curve(svg, pile, s, panel.quantities[i], false, colour);
  }
  svg += "<rect x=\"" + fixed(s.left, 1) + "\" y=\"" + fixed(PLOT_TOP, 1) + "\" width=\"" +
         fixed(PANEL_WIDTH, 1) + "\" height=\"" + fixed(PLOT_BOTTOM - PLOT_TOP, 1) +
         "\" fill=\"none\" stroke=\"#333333\"/>\n";
}

std::string link(const std::string& file) {
  return "<a href=\"" + escape_html(file) + "\">" + escape_html(file) + "</a>";
}

}  // namespace

std::string envelope_file_name(int32_t g) {
  char name[32];
  std::snprintf(name, sizeof name, "pile-%02d.svg", g);
  return name;
}

std::string envelope_svg(const PileEnvelope& pile) {
  const float bottom = pile.ZH.back();
  Scales s{nice_axis(0.0, bottom > 0.0f ? static_cast<double>(bottom) : 1.0, DEPTH_TICKS),
           {},
           FIRST_LEFT};
  std::string svg =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
      fixed(WIDTH, 0) + "\" height=\"" + fixed(HEIGHT, 0) + "\" viewBox=\"0 0 " + fixed(WIDTH, 0) +
      " " + fixed(HEIGHT, 0) + "\" font-family=\"DejaVu Sans, Arial, sans-serif\">\n<title>Pile " +
      std::to_string(pile.g) + ": envelopes</title>\n" +
      "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  svg += text_element(FIRST_LEFT, 32.0, "start", "font-size=\"20\" font-weight=\"bold\"",
                      "Pile " + std::to_string(pile.g) + ": envelopes over the combinations");
  svg += text_element(FIRST_LEFT, 56.0, "start", "font-size=\"13\"",
                      std::string("largest value solid, smallest dashed; colour by bending plane: "
                                  "<tspan fill=\"") +
                          X_PLANE_COLOUR + "\">x-z plane</tspan>, <tspan fill=\"" + Y_PLANE_COLOUR +
                          "\">y-z plane</tspan>; Z along the pile axis from its top; ground line "
                          "brown, soil shaded");
  for (int32_t i = s.depth.first; i <= s.depth.last; ++i) {
    svg += text_element(FIRST_LEFT - 8.0, s.y(i * s.depth.step) + 4.0, "end", "font-size=\"11\"",
                        tick_label(s.depth, i));
  }
  svg += text_element(26.0, (PLOT_TOP + PLOT_BOTTOM) / 2.0, "middle", "font-size=\"13\"", "Z (m)");
  for (int32_t i = 0; i < 6; ++i) {
    s.left = FIRST_LEFT + i * (PANEL_WIDTH + PANEL_GAP);
    write_panel(svg, pile, PANELS[i], s);
  }
  return svg + "</svg>\n";
}

namespace {

// The envelope table for a reader: the extremes in mm, mrad, t, t*m and t/m2, four digits, a
// value below 1e-6 of the largest magnitude of its quantity over the piles written 0.
ResultTable envelope_page_table(const CaseNames& names, const std::vector<PileEnvelope>& piles) {
  ResultTable table;
  table.columns = {{"pile", ""}, {"quantity", ""},    {"unit", ""},
                   {"max", ""},  {"combination", ""}, {"Z", "m"},
                   {"min", ""},  {"combination", ""}, {"Z", "m"}};
  double level[QUANTITIES] = {};
  for (const PileEnvelope& pile : piles) {
    for (int32_t q = 0; q < QUANTITIES; ++q) {
      const double values[2] = {pile_maximum(pile, q).extreme.value,
                                pile_minimum(pile, q).extreme.value};
      level[q] = std::max(level[q], noise_level(values));
    }
  }
  for (const PileEnvelope& pile : piles) {
    for (int32_t q = 0; q < QUANTITIES; ++q) {
      const ReaderUnit unit = reader_unit(quantity_unit(q));
      std::vector<std::string> row = {std::to_string(pile.g), quantity_name(q), unit.unit};
      for (const PileExtreme& e : {pile_maximum(pile, q), pile_minimum(pile, q)}) {
        row.push_back(
            readable(static_cast<double>(e.extreme.value) * unit.factor, level[q] * unit.factor));
        row.push_back(names.combinations[static_cast<size_t>(e.extreme.combination)]);
        row.push_back(readable(static_cast<double>(pile.ZH[static_cast<size_t>(e.k - 1)])));
      }
      table.rows.push_back(std::move(row));
    }
  }
  return table;
}

}  // namespace

std::string index_html(const CaseNames& names, const std::vector<CapDisplacements>& caps,
                       const std::vector<PileEnvelope>& piles) {
  const std::string title = escape_html(names.title) + ": load combinations";
  std::string html =
      "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>\n"
      "<meta charset=\"utf-8\"/>\n<title>" +
      title +
      "</title>\n<style>body { font-family: sans-serif; margin: 2em; } "
      "table { border-collapse: collapse; margin-bottom: 1em; } "
      "th, td { border: 1px solid #bbbbbb; padding: 0.2em 0.6em; text-align: right; } "
      "img { max-width: 100%; border: 1px solid #dddddd; }</style>\n</head>\n<body>\n<h1>" +
      title + "</h1>\n";
  html += "<p>" + std::to_string(names.combinations.size()) + " combinations of " +
          std::to_string(names.cases.size()) + " load cases, " + std::to_string(piles.size()) +
          " piles. Files: " + link("cap.csv") + ", " + link("heads.csv") + ", " +
          link("envelope.csv") + ", " + link("stations.csv") + ", " + link("summary.txt") +
          ".</p>\n<p>Piles:";
  for (const PileEnvelope& pile : piles) {
    const std::string g = std::to_string(pile.g);
    html += " <a href=\"#pile-" + g + "\">" + g + "</a>";
  }
  html += "</p>\n<h2>Summary</h2>\n" + html_table(summary_table(names, piles), "summary");
  html +=
      "<h2>Envelopes of the piles</h2>\n<details>\n<summary>The extremes of every quantity of "
      "every pile, with their combination and Z (also in envelope.csv)</summary>\n" +
      html_table(envelope_page_table(names, piles), "envelope") + "</details>\n";
  std::vector<Column> columns = {{"combination", ""}};
  for (const char* q : {"UX", "UY", "UZ"}) columns.push_back({q, reader_unit("m").unit});
  for (const char* q : {"SX", "SY", "SZ"}) columns.push_back({q, reader_unit("rad").unit});
  std::vector<std::vector<Cell>> rows;
  for (size_t c = 0; c < caps.size(); ++c) {
    rows.push_back({names.combinations[c]});
    for (int32_t i = 0; i < 6; ++i) {
      rows.back().push_back(static_cast<double>(caps[c].U[i]) *
                            reader_unit(i < 3 ? "m" : "rad").factor);
    }
  }
  const ResultTable cap = readable_table(std::move(columns), rows);
  html += "<h2>Displacements of the cap centre</h2>\n" + html_table(cap, "cap");
  for (const PileEnvelope& pile : piles) {
    const std::string g = std::to_string(pile.g);
    html += "<h2 id=\"pile-" + g + "\">Pile " + g + "</h2>\n<p><img src=\"" +
            envelope_file_name(pile.g) + "\" alt=\"Envelopes of pile " + g + "\"/></p>\n";
  }
  return html + "</body>\n</html>\n";
}

}  // namespace kelmarino::cases
