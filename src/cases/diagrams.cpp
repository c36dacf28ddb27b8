// The envelope diagrams of a pile (six panels against the distance Z along the pile axis, the
// largest value of each quantity drawn solid and the smallest dashed) and the page that shows the
// tables and the diagrams of every pile.
#include <algorithm>
#include <charconv>
#include <cmath>

#include "cases/cases.hpp"
#include "diagram/svg.hpp"

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

// The panels of the vocabulary, with the quantities of the march.
const Panel PANELS[6] = {
    {PANEL_WORDS[0].title, PANEL_WORDS[0].unit, 2, {UX, UY}},
    {PANEL_WORDS[1].title, PANEL_WORDS[1].unit, 2, {SX, SY}},
    {PANEL_WORDS[2].title, PANEL_WORDS[2].unit, 2, {NX, NY}},
    {PANEL_WORDS[3].title, PANEL_WORDS[3].unit, 2, {MX, MY}},
    {PANEL_WORDS[4].title, PANEL_WORDS[4].unit, 1, {NZ, NZ}},
    {PANEL_WORDS[5].title, PANEL_WORDS[5].unit, 2, {PSX, PSY}},
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

// The scales of the panels. The panels leave a margin of HEADROOM of their span on every side of
// the axes, so that no curve runs along a panel edge.
constexpr double HEADROOM = 0.04;
struct Scales {
  Axis depth;
  Axis value;
  double left;
  double y(double z) const {
    const double pad = HEADROOM * depth.hi();
    return PLOT_TOP + (z + pad) / (depth.hi() + 2.0 * pad) * (PLOT_BOTTOM - PLOT_TOP);
  }
  double x(double v) const {
    const double pad = HEADROOM * (value.hi() - value.lo());
    return left + (v - value.lo() + pad) / (value.hi() - value.lo() + 2.0 * pad) * PANEL_WIDTH;
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

// A marked extreme of a panel: its point and its label.
struct Mark {
  int32_t q;
  bool largest;
  PileExtreme at;
  double x, y;     // the point
  double label_y;  // the baseline of its label
};

// The largest and the smallest value of each quantity of the panel over the pile, marked with a
// dot and labelled with the value in the axis's unit and the combination; values below 1e-6 of
// the panel's largest magnitude are rounding noise and not marked. The labels are kept 12 px
// apart, inside the panel.
void write_marks(std::string& svg, const PileEnvelope& pile, const Panel& panel, const Scales& s,
                 const CaseNames& names) {
  double largest = 0.0;
  for (int32_t i = 0; i < panel.count; ++i) {
    const int32_t q = panel.quantities[i];
    largest =
        std::max({largest, std::fabs(static_cast<double>(pile_maximum(pile, q).extreme.value)),
                  std::fabs(static_cast<double>(pile_minimum(pile, q).extreme.value))});
  }
  std::vector<Mark> marks;
  for (int32_t i = 0; i < panel.count; ++i) {
    const int32_t q = panel.quantities[i];
    for (const bool top : {true, false}) {
      const PileExtreme e = top ? pile_maximum(pile, q) : pile_minimum(pile, q);
      const double v = e.extreme.value;
      if (std::fabs(v) <= 1e-6 * largest || (top ? v < 0.0 : v > 0.0)) continue;
      const double y = s.y(pile.ZH[static_cast<size_t>(e.k - 1)]);
      marks.push_back({q, top, e, s.x(v), y, y + 4.0});
    }
  }
  std::sort(marks.begin(), marks.end(), [](const Mark& a, const Mark& b) { return a.y < b.y; });
  for (size_t i = 1; i < marks.size(); ++i) {
    marks[i].label_y = std::max(marks[i].label_y, marks[i - 1].label_y + 12.0);
  }
  for (size_t i = marks.size(); i-- > 0;) {
    const double limit = i + 1 < marks.size() ? marks[i + 1].label_y - 12.0 : PLOT_BOTTOM - 4.0;
    marks[i].label_y = std::min(marks[i].label_y, limit);
  }
  const double middle = s.left + PANEL_WIDTH / 2.0;
  for (const Mark& m : marks) {
    const char* colour = plane_colour(m.q);
    const std::string combination(
        names.combinations[static_cast<size_t>(m.at.extreme.combination)]);
    svg += "<circle class=\"extreme\" data-quantity=\"" + std::string(quantity_name(m.q)) +
           "\" data-extreme=\"" + (m.largest ? "max" : "min") + "\" data-value=\"" +
           shortest(m.at.extreme.value) + "\" data-combination=\"" + escape_xml(combination) +
           "\" data-k=\"" + std::to_string(m.at.k) + "\" cx=\"" + fixed(m.x, 1) + "\" cy=\"" +
           fixed(m.y, 1) + "\" r=\"3.5\" fill=\"" + colour + "\"/>\n";
    // Beside the dot on the side with room for the label, within the panel and half the gap.
    const std::string text =
        scaled_label(s.value, m.at.extreme.value) + " " + escape_xml(combination);
    const double width = 6.0 * static_cast<double>(text.size());
    const double room_right = s.left + PANEL_WIDTH + PANEL_GAP / 2.0 - (m.x + 6.0);
    const double room_left = (m.x - 6.0) - (s.left - PANEL_GAP / 2.0);
    const bool right = room_right >= width || (room_right >= room_left && m.x < middle);
    svg += text_element(right ? m.x + 6.0 : m.x - 6.0, m.label_y, right ? "start" : "end",
                        "class=\"extreme-label\" font-size=\"10\" fill=\"" + std::string(colour) +
                            "\" stroke=\"#ffffff\" stroke-width=\"3\" paint-order=\"stroke\"",
                        text);
  }
}

void write_panel(std::string& svg, const PileEnvelope& pile, const Panel& panel, Scales s,
                 const CaseNames& names) {
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
  write_marks(svg, pile, panel, s, names);
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

std::string envelope_svg(const PileEnvelope& pile, const CaseNames& names) {
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
                      "Pile " + std::to_string(pile.g) + " at (x, y) = (" +
                          readable(static_cast<double>(pile.top_x)) + ", " +
                          readable(static_cast<double>(pile.top_y)) + ") m, ground line at Z = " +
                          readable(static_cast<double>(pile.ZH[static_cast<size_t>(pile.KG - 1)])) +
                          " m: envelopes over " + std::to_string(names.combinations.size()) +
                          " combinations");
  svg += text_element(FIRST_LEFT, 56.0, "start", "font-size=\"12\"",
                      std::string("largest solid, smallest dashed; colour by bending plane: "
                                  "<tspan fill=\"") +
                          X_PLANE_COLOUR + "\">x-z plane</tspan>, <tspan fill=\"" + Y_PLANE_COLOUR +
                          "\">y-z plane</tspan>; Z from the pile top along its axis; ground line "
                          "brown, soil shaded; dots: extremes with value and combination");
  for (int32_t i = s.depth.first; i <= s.depth.last; ++i) {
    svg += text_element(FIRST_LEFT - 8.0, s.y(i * s.depth.step) + 4.0, "end", "font-size=\"11\"",
                        tick_label(s.depth, i));
  }
  svg += text_element(26.0, (PLOT_TOP + PLOT_BOTTOM) / 2.0, "middle", "font-size=\"13\"", "Z (m)");
  for (int32_t i = 0; i < 6; ++i) {
    s.left = FIRST_LEFT + i * (PANEL_WIDTH + PANEL_GAP);
    write_panel(svg, pile, PANELS[i], s, names);
  }
  return svg + "</svg>\n";
}

namespace {

// The axial force at the top of a pile that governs it: the largest tension where a combination
// pulls the pile, else the largest compression (compression positive).
Extreme governing_axial(const PileEnvelope& pile) {
  const Extreme tension = pile.stations[0].min[NZ];
  return tension.value < 0.0f ? tension : pile.stations[0].max[NZ];
}

// A colour between a pale tint and `full` for a share of 0 .. 1 of the range of magnitudes.
std::string shade(double share, const int (&full)[3]) {
  char text[8];
  const double t = 0.15 + 0.85 * std::clamp(share, 0.0, 1.0);
  int c[3];
  for (int i = 0; i < 3; ++i) c[i] = static_cast<int>(std::lround(255.0 + t * (full[i] - 255.0)));
  std::snprintf(text, sizeof text, "#%02x%02x%02x", c[0], c[1], c[2]);
  return text;
}

// The plan of the group seen from above (x to the right, y down the page), each pile top
// coloured by its governing axial force (compression blue, tension red, from pale for the smallest
// to full for the largest of its kind) and
// labelled with the value and the combination.
std::string overview_svg(const CaseNames& names, const std::vector<PileEnvelope>& piles) {
  constexpr double BOX = 600.0;
  constexpr double MARGIN = 70.0;
  double xmin = 0.0, xmax = 0.0, ymin = 0.0, ymax = 0.0;
  // The range of the governing magnitudes of compression [0] and tension [1]: low and high.
  double low[2] = {1e30, 1e30}, high[2] = {0.0, 0.0};
  for (const PileEnvelope& p : piles) {
    const double r = static_cast<double>(p.top_diameter) / 2.0;
    const double x = p.top_x;
    const double y = p.top_y;
    xmin = std::min(xmin, x - r);
    xmax = std::max(xmax, x + r);
    ymin = std::min(ymin, y - r);
    ymax = std::max(ymax, y + r);
    const double v = governing_axial(p).value;
    const int pulled = v < 0.0 ? 1 : 0;
    low[pulled] = std::min(low[pulled], std::fabs(v));
    high[pulled] = std::max(high[pulled], std::fabs(v));
  }
  const double scale = BOX / std::max({xmax - xmin, ymax - ymin, 1.0});
  const double width = (xmax - xmin) * scale + 2.0 * MARGIN;
  const double height = (ymax - ymin) * scale + 2.0 * MARGIN + 20.0;
  auto px = [&](double x) { return MARGIN + (x - xmin) * scale; };
  auto py = [&](double y) { return MARGIN + (y - ymin) * scale; };
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"overview\" width=\"" +
                    fixed(width, 0) + "\" height=\"" + fixed(height, 0) + "\" viewBox=\"0 0 " +
                    fixed(width, 0) + " " + fixed(height, 0) +
                    "\" font-family=\"DejaVu Sans, Arial, sans-serif\">\n"
                    "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  // The cap axes through the cap centre O.
  svg += line_element(px(xmin) - 40.0, py(0.0), px(xmax) + 40.0, py(0.0), "stroke=\"#bbbbbb\"");
  svg += line_element(px(0.0), py(ymin) - 40.0, px(0.0), py(ymax) + 40.0, "stroke=\"#bbbbbb\"");
  svg += text_element(px(xmax) + 44.0, py(0.0) + 4.0, "start", "font-size=\"12\" fill=\"#666666\"",
                      "x");
  svg += text_element(px(0.0) + 6.0, py(ymax) + 52.0, "start", "font-size=\"12\" fill=\"#666666\"",
                      "y");
  const int BLUE[3] = {0x1f, 0x4f, 0xd0};
  const int RED[3] = {0xd0, 0x30, 0x1f};
  for (const PileEnvelope& p : piles) {
    const Extreme e = governing_axial(p);
    const bool pulled = e.value < 0.0f;
    const int kind = pulled ? 1 : 0;
    const double span = high[kind] - low[kind];
    const double magnitude = std::fabs(static_cast<double>(e.value));
    const double share = span > 0.0 ? (magnitude - low[kind]) / span : 1.0;
    const double x = px(p.top_x);
    const double y = py(p.top_y);
    const double r = std::max(12.0, static_cast<double>(p.top_diameter) / 2.0 * scale);
    const std::string combination(names.combinations[static_cast<size_t>(e.combination)]);
    svg += "<g class=\"overview-pile\" data-pile=\"" + std::to_string(p.g) + "\" data-nz=\"" +
           shortest(e.value) + "\" data-combination=\"" + escape_xml(combination) + "\">\n";
    svg += "<circle cx=\"" + fixed(x, 1) + "\" cy=\"" + fixed(y, 1) + "\" r=\"" + fixed(r, 1) +
           "\" fill=\"" + shade(share, pulled ? RED : BLUE) + "\" stroke=\"#333333\"/>\n";
    const std::string halo = " stroke=\"#ffffff\" stroke-width=\"3\" paint-order=\"stroke\"";
    svg += text_element(x, y + 4.5, "middle", "font-size=\"13\" font-weight=\"bold\"" + halo,
                        std::to_string(p.g));
    svg += text_element(x, y + r + 13.0, "middle", "font-size=\"11\"" + halo,
                        readable(static_cast<double>(e.value)) + " t");
    svg += text_element(x, y + r + 26.0, "middle", "font-size=\"10\" fill=\"#555555\"" + halo,
                        escape_xml(combination));
    svg += "</g>\n";
  }
  return svg + "</svg>\n";
}

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
        row.emplace_back(names.combinations[static_cast<size_t>(e.extreme.combination)]);
        row.push_back(readable(static_cast<double>(pile.ZH[static_cast<size_t>(e.k - 1)])));
      }
      table.rows.push_back(std::move(row));
    }
  }
  return table;
}

}  // namespace

PageParts index_html(const CaseNames& names, const std::vector<PileEnvelope>& piles) {
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
  for (const std::string& warning : names.warnings) {
    html += "<p class=\"warning\"><strong>" + escape_html(warning) + "</strong></p>\n";
  }
  html += "<p>" + std::to_string(names.combinations.size()) + " combinations of " +
          std::to_string(names.cases.size()) + " load cases, " + std::to_string(piles.size()) +
          " piles. Files: " + link("cap.csv") + ", " + link("heads.csv") + ", " +
          link("envelope.csv") + ", " + link("stations.csv") + ", " + link("summary.txt") +
          ".</p>\n<p>Piles:";
  for (const PileEnvelope& pile : piles) {
    const std::string g = std::to_string(pile.g);
    html += " <a href=\"#pile-" + g + "\">" + g + "</a>";
  }
  html +=
      "</p>\n<h2>Overview</h2>\n<p>The plan of the group seen from above (x to the right, y "
      "down the page). Each pile is coloured by its governing axial force at the top: the "
      "largest tension where a combination pulls it (red), else the largest compression "
      "(blue); from pale for the smallest to full colour for the largest. Below it: the value in t "
      "and the combination.</p>\n<p>" +
      overview_svg(names, piles) + "</p>\n";
  html += "<h2>Summary</h2>\n" + html_table(summary_table(names, piles), "summary");
  html +=
      "<h2>Envelopes of the piles</h2>\n<details>\n<summary>The extremes of every quantity of "
      "every pile, with their combination and Z (also in envelope.csv)</summary>\n" +
      html_table(envelope_page_table(names, piles), "envelope") + "</details>\n";
  ResultTable cap;
  cap.columns = {{"combination", ""}};
  for (const char* q : {"UX", "UY", "UZ"}) cap.columns.push_back({q, reader_unit("m").unit});
  for (const char* q : {"SX", "SY", "SZ"}) cap.columns.push_back({q, reader_unit("rad").unit});
  // The table without rows, cut where its rows go.
  const std::string empty_cap = html_table(cap, "cap");
  const size_t rows_at = empty_cap.find("</tbody>");
  html += "<h2>Displacements of the cap centre</h2>\n" + empty_cap.substr(0, rows_at);
  std::string after = empty_cap.substr(rows_at);
  for (const PileEnvelope& pile : piles) {
    const std::string g = std::to_string(pile.g);
    after += "<h2 id=\"pile-" + g + "\">Pile " + g + "</h2>\n<p><img src=\"" +
             envelope_file_name(pile.g) + "\" alt=\"Envelopes of pile " + g + "\"/></p>\n";
  }
  return PageParts{html, after + "</body>\n</html>\n"};
}

// The rows are written part by part, before the later combinations are solved: four digits in mm
// and mrad, without the rule that writes rounding noise as 0, which needs every row at hand.
std::string cap_rows_html(const CaseNames& names, const std::vector<CapDisplacements>& caps,
                          size_t first, size_t last) {
  std::vector<std::vector<std::string>> rows;
  for (size_t c = first; c < last; ++c) {
    std::vector<std::string> row = {std::string(names.combinations[c])};
    for (int32_t i = 0; i < 6; ++i) {
      const ReaderUnit unit = reader_unit(i < 3 ? "m" : "rad");
      row.push_back(readable(static_cast<double>(caps[c].U[i]) * unit.factor));
    }
    rows.push_back(std::move(row));
  }
  return html_rows(rows);
}

}  // namespace kelmarino::cases
