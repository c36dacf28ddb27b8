// The plan of the group: pile tops to scale and numbered, the direction of every raked pile, the
// simulated piles, the load points with their horizontal forces, and the cap centre with the
// resultant of the loads; a legend shows and explains every marker and arrow. Seen from above as
// the cap axes are drawn in the manual: x to the right, y down the page.
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <span>
#include <utility>

#include "diagram/plan.hpp"
#include "diagram/svg.hpp"

namespace kelmarino {
namespace {

constexpr double WIDTH = 760.0;
constexpr double BOX_LEFT = 60.0;
constexpr double BOX_TOP = 70.0;
constexpr double BOX_WIDTH = 640.0;
constexpr double MIN_BOX_HEIGHT = 200.0;
constexpr double MAX_BOX_HEIGHT = 640.0;
constexpr double BOX_MARGIN = 56.0;    // px between the group's extents and the box, for labels
constexpr double MIN_RADIUS = 7.0;     // px, for piles too small to see at the scale
constexpr double RAKE_LENGTH = 28.0;   // px beyond the pile's circle
constexpr double FORCE_LENGTH = 80.0;  // px for the largest horizontal force
constexpr double LEGEND_LINE = 18.0;
constexpr size_t LEGEND_CHARACTERS = 90;  // of a legend line of text, in 12 px type
// The width of a character, as a share of the font size: DejaVu Sans digits take 0.64 (bold 0.70),
// most letters less.
constexpr double GLYPH_WIDTH = 0.7;
constexpr double TEXT_GAP = 1.0;  // px kept clear around every text
// The smallest text, px: 7.6 pt where the plan prints across the width of an A4 sheet (0.69 pt a
// px); the rakes' labels take it.
constexpr int32_t SMALLEST_TEXT = 11;
// The sizes of the pile numbers, the largest at which no two numbers meet is taken.
constexpr int32_t NUMBER_SIZES[] = {13, 12, 11};
// px: a label farther from its point has a leader line to it.
constexpr double LEADER_DISTANCE = 16.0;
const char* const PILE_COLOUR = "#333333";
const char* const SIMULATED_COLOUR = "#a07000";
const char* const LOAD_COLOUR = "#188038";
const char* const RESULTANT_COLOUR = "#e06000";
const char* const AXIS_COLOUR = "#999999";
// A white outline behind a text, drawn first, that keeps it readable over lines and markers.
const char* const HALO = "stroke=\"#ffffff\" stroke-width=\"3\" paint-order=\"stroke\"";

// Plan coordinates (x to the right, y down the page) to picture coordinates.
struct PlanScale {
  double x0 = 0.0;      // plan x at the left edge of the box
  double y0 = 0.0;      // plan y at the top edge
  double s = 1.0;       // px per m
  double height = 0.0;  // of the box, px
  double px(double x) const { return BOX_LEFT + (x - x0) * s; }
  double py(double y) const { return BOX_TOP + (y - y0) * s; }
};

// What a label must not cover: the boxes of markers and of labels placed before it, and the
// lines of arrows and axes.
struct Obstacles {
  std::vector<Box> boxes;
  std::vector<Box> texts;
  std::vector<std::array<double, 4>> lines;  // x1, y1, x2, y2
  void add_box(double x, double y, double half) {
    boxes.push_back({x - half, y - half, x + half, y + half});
  }
  void add_line(double x1, double y1, double x2, double y2) { lines.push_back({x1, y1, x2, y2}); }
  // Whether a box meets a text placed before it, TEXT_GAP apart.
  bool hit_text(const Box& b) const {
    const Box wide = {b.x0 - TEXT_GAP, b.y0 - TEXT_GAP, b.x1 + TEXT_GAP, b.y1 + TEXT_GAP};
    for (const Box& t : texts) {
      if (t.overlaps(wide)) return true;
    }
    return false;
  }
  // A line crosses a box when one of its points 1 px apart lies in the box (widened by the
  // stroke).
  bool hit(const Box& b) const {
    if (hit_text(b)) return true;
    for (const Box& o : boxes) {
      if (o.overlaps(b)) return true;
    }
    for (const auto& l : lines) {
      if (std::max(l[0], l[2]) < b.x0 - 1.5 || std::min(l[0], l[2]) > b.x1 + 1.5 ||
          std::max(l[1], l[3]) < b.y0 - 1.5 || std::min(l[1], l[3]) > b.y1 + 1.5) {
        continue;
      }
      const double length = std::hypot(l[2] - l[0], l[3] - l[1]);
      const int32_t n = std::max(1, static_cast<int32_t>(std::ceil(length)));
      for (int32_t i = 0; i <= n; ++i) {
        const double t = static_cast<double>(i) / n;
        const double x = l[0] + t * (l[2] - l[0]);
        const double y = l[1] + t * (l[3] - l[1]);
        if (x > b.x0 - 1.5 && x < b.x1 + 1.5 && y > b.y0 - 1.5 && y < b.y1 + 1.5) return true;
      }
    }
    return false;
  }
};

// The box a text takes: GLYPH_WIDTH of the font size per character, from the ascent above the
// baseline to the descent below it.
Box text_box(double x, double y, const char* anchor, const std::string& text, int32_t size) {
  const double width = GLYPH_WIDTH * size * static_cast<double>(text.size());
  const double left = anchor[0] == 's' ? x : (anchor[0] == 'e' ? x - width : x - width / 2.0);
  return {left, y - 0.8 * size, left + width, y + 0.25 * size};
}

// The top diameter of pile p: its first segment above ground, else below ground.
float top_diameter(const PileData& piles, int32_t p) {
  return piles.NFR(p) > 0 ? piles.DOF(p, 1) : (piles.NBL(p) > 0 ? piles.DOB(p, 1) : 0.0f);
}

// The scale that fits the cap centre, every pile top (with its circle), simulated pile and load
// point into a box BOX_WIDTH wide, centred, BOX_MARGIN inside its edges; the box is as high as
// they need, within MIN_BOX_HEIGHT and MAX_BOX_HEIGHT.
PlanScale plan_scale(const Group& group, const PlanExtras& extras) {
  const PileData& piles = group.model->piles;
  double xmin = 0.0, xmax = 0.0, ymin = 0.0, ymax = 0.0;
  auto take = [&](double x, double y, double r) {
    xmin = std::min(xmin, x - r);
    xmax = std::max(xmax, x + r);
    ymin = std::min(ymin, y - r);
    ymax = std::max(ymax, y + r);
  };
  for (int32_t p = 1; p <= group.model->run.PNUM; ++p) {
    take(piles.PXY(p, 1), piles.PXY(p, 2), top_diameter(piles, p) / 2.0f);
  }
  for (int32_t j = 1; j <= group.model->run.SNUM; ++j) take(piles.SXY(j, 1), piles.SXY(j, 2), 0.0);
  const LoadPoints& loads = group.loads;
  if (extras.loads) {
    for (const PlanPoint& point : *extras.loads) take(point.x, point.y, 0.0);
  } else {
    for (int32_t k = 1; k <= loads.NACT; ++k) take(loads.AXY(k, 1), loads.AXY(k, 2), 0.0);
  }
  const double span_x = std::max(xmax - xmin, 1.0);
  const double span_y = std::max(ymax - ymin, 1.0);
  PlanScale scale;
  scale.s = std::min((BOX_WIDTH - 2.0 * BOX_MARGIN) / span_x,
                     (MAX_BOX_HEIGHT - 2.0 * BOX_MARGIN) / span_y);
  scale.height =
      std::clamp((ymax - ymin) * scale.s + 2.0 * BOX_MARGIN, MIN_BOX_HEIGHT, MAX_BOX_HEIGHT);
  scale.x0 = (xmin + xmax) / 2.0 - BOX_WIDTH / scale.s / 2.0;
  scale.y0 = (ymin + ymax) / 2.0 - scale.height / scale.s / 2.0;
  return scale;
}

std::string arrow_marker(const char* id, const char* colour) {
  return std::string("<marker id=\"") + id +
         "\" markerWidth=\"10\" markerHeight=\"10\" refX=\"9\" refY=\"5\" orient=\"auto\" "
         "markerUnits=\"userSpaceOnUse\"><path d=\"M0,0 L10,5 L0,10 z\" fill=\"" +
         colour + "\"/></marker>\n";
}

std::string arrow(const char* cls, double x1, double y1, double x2, double y2, const char* colour,
                  const char* marker, const std::string& attributes) {
  return "<line class=\"" + std::string(cls) + "\" x1=\"" + fixed(x1, 2) + "\" y1=\"" +
         fixed(y1, 2) + "\" x2=\"" + fixed(x2, 2) + "\" y2=\"" + fixed(y2, 2) + "\" stroke=\"" +
         colour + "\" stroke-width=\"2\" marker-end=\"url(#" + marker + ")\" " + attributes +
         "/>\n";
}

std::string label(double x, double y, const char* anchor, const char* colour,
                  const std::string& text, int32_t size = 12) {
  return "<text x=\"" + fixed(x, 2) + "\" y=\"" + fixed(y, 2) + "\" text-anchor=\"" + anchor +
         "\" font-size=\"" + std::to_string(size) + "\" fill=\"" + colour + "\">" + text +
         "</text>\n";
}

// A label waiting for its place: the point it names, the side it would rather sit on, its text.
struct PendingLabel {
  double x, y;
  double ux, uy;  // preferred direction from the point, a unit vector
  const char* colour;
  std::string text;
  int32_t size;
  int32_t pile = 0;  // the pile a label of a page of combinations names, 0 for none
  int32_t rank = 0;  // placed after the labels of lower rank: the rakes 1, the axes 2
};

// The plan being drawn: its markup, what labels must keep off, and the labels still to place.
struct Plan {
  std::string svg;
  Obstacles obstacles;
  std::vector<PendingLabel> labels;
  // An arrow that labels keep off, its head included.
  void add_arrow(const char* cls, double x1, double y1, double x2, double y2, const char* colour,
                 const char* marker, const std::string& attributes) {
    svg += arrow(cls, x1, y1, x2, y2, colour, marker, attributes);
    obstacles.add_line(x1, y1, x2, y2);
    obstacles.add_box(x2, y2, 5.0);
  }
};

// A place of label l whose box's centre lies `distance` beyond its point in direction i of
// sixteen, counted 0, +1, -1, +2, -2, ... from the preferred one.
Box candidate(const PendingLabel& l, double distance, int32_t i) {
  constexpr double PI = 3.14159265358979;
  const int32_t step = (i + 1) / 2 * (i % 2 == 1 ? 1 : -1);
  const double angle = std::atan2(l.uy, l.ux) + step * PI / 8.0;
  const double ux = std::cos(angle);
  const double uy = std::sin(angle);
  const Box probe = text_box(0.0, 0.0, "middle", l.text, l.size);
  const double half_w = (probe.x1 - probe.x0) / 2.0;
  const double half_h = (probe.y1 - probe.y0) / 2.0;
  // The box just clear of the point, moved `distance` on.
  const double t =
      std::min(ux == 0.0 ? 1e9 : half_w / std::fabs(ux), uy == 0.0 ? 1e9 : half_h / std::fabs(uy));
  const double cx = l.x + ux * (distance + t);
  const double cy = l.y + uy * (distance + t);
  return {cx - half_w, cy - half_h, cx + half_w, cy + half_h};
}

// The end of a leader line from (x, y) to a box: the nearest point of the box.
std::array<double, 4> leader_to(double x, double y, const Box& b) {
  return {x, y, std::clamp(x, b.x0, b.x1), std::clamp(y, b.y0, b.y1)};
}

// Whether a leader line passes through a text placed before.
bool leader_hits_text(const Obstacles& obstacles, const std::array<double, 4>& l) {
  const double length = std::hypot(l[2] - l[0], l[3] - l[1]);
  const int32_t n = std::max(1, static_cast<int32_t>(std::ceil(length / 2.0)));
  for (int32_t i = 0; i <= n; ++i) {
    const double t = static_cast<double>(i) / n;
    const double x = l[0] + t * (l[2] - l[0]);
    const double y = l[1] + t * (l[3] - l[1]);
    if (obstacles.hit_text({x, y, x, y})) return true;
  }
  return false;
}

// The places near a label's point: the sixteen directions at growing distances, then every
// place 1 px apart whose box is within LEADER_DISTANCE of the point, nearest first.
std::vector<Box> near_places(const PendingLabel& l) {
  std::vector<Box> near;
  for (const double distance : {2.0, 5.0, 9.0, 14.0}) {
    for (int32_t i = 0; i < 16; ++i) near.push_back(candidate(l, distance, i));
  }
  std::vector<std::pair<double, Box>> grid;
  const Box probe = text_box(l.x, l.y, "middle", l.text, l.size);
  const double half_h = (probe.y1 - probe.y0) / 2.0;
  for (double dx = -40.0; dx <= 40.0; dx += 1.0) {
    for (double dy = -24.0; dy <= 24.0; dy += 1.0) {
      const Box box = {probe.x0 + dx, l.y + dy - half_h, probe.x1 + dx, l.y + dy + half_h};
      const std::array<double, 4> leader = leader_to(l.x, l.y, box);
      const double gap = std::hypot(leader[2] - leader[0], leader[3] - leader[1]);
      if (gap >= 1.0 && gap <= LEADER_DISTANCE) grid.emplace_back(gap, box);
    }
  }
  std::stable_sort(grid.begin(), grid.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [gap, box] : grid) near.push_back(box);
  return near;
}

std::vector<Box> far_places(const PendingLabel& l) {
  std::vector<Box> far;
  for (const double distance : {20.0, 28.0, 38.0, 50.0, 65.0, 80.0, 100.0, 125.0, 160.0, 200.0}) {
    for (int32_t i = 0; i < 16; ++i) far.push_back(candidate(l, distance, i));
  }
  return far;
}

// The first free place of a label, and its font size: near its point where it covers no marker,
// arrow, axis or text; else near it off every text, at its size then up to two sizes smaller
// (not below SMALLEST_TEXT); else the same farther off at its size, on a leader line that crosses
// no text. None when every text of the plan is in the way.
struct Place {
  Box box;
  int32_t size;
};
std::optional<Place> free_place(const Plan& plan, const PendingLabel& l, const Box& inside) {
  struct Pass {
    bool leader, markers_too;
    int32_t smaller;
  };
  const Pass passes[] = {{false, true, 0},  {false, false, 0}, {false, false, 1},
                         {false, false, 2}, {true, true, 0},   {true, false, 0}};
  for (const Pass& pass : passes) {
    PendingLabel sized = l;
    sized.size = l.size - pass.smaller;
    if (pass.smaller > 0 && sized.size < SMALLEST_TEXT) continue;
    for (const Box& box : pass.leader ? far_places(sized) : near_places(sized)) {
      if (box.x0 < inside.x0 || box.x1 > inside.x1 || box.y0 < inside.y0 || box.y1 > inside.y1) {
        continue;
      }
      if (pass.markers_too ? plan.obstacles.hit(box) : plan.obstacles.hit_text(box)) continue;
      if (pass.leader && leader_hits_text(plan.obstacles, leader_to(l.x, l.y, box))) continue;
      return Place{box, sized.size};
    }
  }
  return std::nullopt;
}

// Places each label, in order, at its first free place (free_place), with a leader line from its
// point when it is farther than LEADER_DISTANCE from it. Returns the texts of the labels left out
// for want of a free place, each once; it stops at the first pile's label left out, since the
// piles are labelled all or none.
std::vector<std::string> place_labels(Plan& plan, const Box& inside) {
  std::vector<std::string> left_out;
  plan.svg += "<g class=\"labels\">\n";
  for (const PendingLabel& l : plan.labels) {
    const std::optional<Place> placed = free_place(plan, l, inside);
    if (!placed) {
      if (std::find(left_out.begin(), left_out.end(), l.text) == left_out.end())
        left_out.push_back(l.text);
      if (l.pile > 0) break;  // the piles are labelled all or none: the plan is drawn again
      continue;
    }
    const Box& box = placed->box;
    const std::array<double, 4> leader = leader_to(l.x, l.y, box);
    if (std::hypot(leader[2] - leader[0], leader[3] - leader[1]) > LEADER_DISTANCE) {
      plan.svg += "<line class=\"leader\" x1=\"" + fixed(leader[0], 2) + "\" y1=\"" +
                  fixed(leader[1], 2) + "\" x2=\"" + fixed(leader[2], 2) + "\" y2=\"" +
                  fixed(leader[3], 2) + "\" stroke=\"" + l.colour + "\" stroke-width=\"0.8\"/>\n";
      plan.obstacles.lines.push_back(leader);
    }
    plan.obstacles.texts.push_back(box);
    const double baseline = box.y1 - 0.25 * placed->size;
    plan.svg += "<text class=\"plan-label\"" +
                (l.pile > 0 ? " data-pile=\"" + std::to_string(l.pile) + "\"" : std::string()) +
                " x=\"" + fixed((box.x0 + box.x1) / 2.0, 2) + "\" y=\"" + fixed(baseline, 2) +
                "\" text-anchor=\"middle\" font-size=\"" + std::to_string(placed->size) +
                "\" fill=\"" + l.colour + "\" " + HALO + ">" + escape_xml(l.text) + "</text>\n";
  }
  plan.svg += "</g>\n";
  return left_out;
}

void write_axes(Plan& plan, const PlanScale& scale) {
  const double ox = scale.px(0.0);
  const double oy = scale.py(0.0);
  const double bottom = BOX_TOP + scale.height;
  plan.add_arrow("axis", BOX_LEFT, oy, BOX_LEFT + BOX_WIDTH, oy, AXIS_COLOUR, "arrow-grey", "");
  plan.add_arrow("axis", ox, BOX_TOP, ox, bottom, AXIS_COLOUR, "arrow-grey", "");
  plan.labels.push_back({BOX_LEFT + BOX_WIDTH - 6.0, oy, 0.0, -1.0, "#666666", "x", 13, 0, 2});
  plan.labels.push_back({ox, bottom - 6.0, 1.0, 0.0, "#666666", "y", 13, 0, 2});
  // A scale bar of a nice length, about a fifth of the box.
  const Axis bar = nice_axis(0.0, BOX_WIDTH / scale.s / 5.0, 1);
  const double length = bar.step * scale.s;
  const double y = bottom + 22.0;
  plan.svg += "<line class=\"scale-bar\" x1=\"" + fixed(BOX_LEFT, 2) + "\" y1=\"" + fixed(y, 2) +
              "\" x2=\"" + fixed(BOX_LEFT + length, 2) + "\" y2=\"" + fixed(y, 2) +
              "\" stroke=\"#333333\" stroke-width=\"3\"/>\n";
  plan.svg += label(BOX_LEFT + length + 8.0, y + 4.0, "start", "#333333",
                    scale_note(bar) + tick_label(bar, 1) + " m");
}

double pile_radius(const PileData& piles, int32_t p, const PlanScale& scale) {
  return std::max(MIN_RADIUS, static_cast<double>(top_diameter(piles, p)) / 2.0 * scale.s);
}

// A pile top, with its look on a page of combinations when `mark` is given (its label below it).
void write_pile(Plan& plan, const PileData& piles, int32_t p, const PlanScale& scale,
                const PlanPileMark* mark) {
  const double x = scale.px(piles.PXY(p, 1));
  const double y = scale.py(piles.PXY(p, 2));
  const double r = pile_radius(piles, p, scale);
  plan.obstacles.add_box(x, y, r);
  // A square section (KSH other than 0) is drawn as a square of its side, its sides along the axes.
  const std::string shape =
      piles.KSH(p) != 0
          ? "<rect x=\"" + fixed(x - r, 2) + "\" y=\"" + fixed(y - r, 2) + "\" width=\"" +
                fixed(2.0 * r, 2) + "\" height=\"" + fixed(2.0 * r, 2)
          : "<circle cx=\"" + fixed(x, 2) + "\" cy=\"" + fixed(y, 2) + "\" r=\"" + fixed(r, 2);
  plan.svg += "<g class=\"pile\" data-pile=\"" + std::to_string(p) + "\" data-x=\"" +
              exact(piles.PXY(p, 1)) + "\" data-y=\"" + exact(piles.PXY(p, 2)) + "\"" +
              (mark ? mark->data : std::string()) + ">\n" + shape + "\" fill=\"" +
              (mark ? mark->fill : std::string("#e8e8e8")) + "\" stroke=\"" + PILE_COLOUR +
              "\" stroke-width=\"1.5\"/>\n";
  if (mark && !mark->label.empty()) {
    plan.labels.push_back({x, y + r, 0.0, 1.0, "#000000", mark->label, 11, p});
  }
  // A raked pile: its axis direction in plan, from the top, with the batter vertical:horizontal.
  const double ax = piles.AGL(p, 1);
  const double ay = piles.AGL(p, 2);
  const double horizontal = std::hypot(ax, ay);
  if (horizontal > 1e-6) {
    const double ux = ax / horizontal;
    const double uy = ay / horizontal;  // plan y and picture y both point down the page
    const double x2 = x + ux * (r + RAKE_LENGTH);
    const double y2 = y + uy * (r + RAKE_LENGTH);
    plan.add_arrow("rake", x + ux * r, y + uy * r, x2, y2, PILE_COLOUR, "arrow-black",
                   "data-pile=\"" + std::to_string(p) + "\" data-dx=\"" + exact(piles.AGL(p, 1)) +
                       "\" data-dy=\"" + exact(piles.AGL(p, 2)) + "\"");
    plan.labels.push_back({x2, y2, ux, uy, PILE_COLOUR,
                           fixed(static_cast<double>(piles.AGL(p, 3)) / horizontal, 1) + ":1",
                           SMALLEST_TEXT, 0, 1});
  }
  plan.svg += "</g>\n";
}

// The pile numbers, centred on their piles at the largest of NUMBER_SIZES at which no two meet;
// at the smallest, a number that would meet one placed before it is left out (`left_out`).
struct PileNumbers {
  int32_t size = NUMBER_SIZES[0];
  std::vector<std::pair<int32_t, Box>> shown;  // pile, box
  std::vector<int32_t> left_out;
};

PileNumbers pile_numbers(const Group& group, const PlanScale& scale) {
  const PileData& piles = group.model->piles;
  PileNumbers numbers;
  for (const int32_t size : NUMBER_SIZES) {
    numbers = {size, {}, {}};
    Obstacles placed;
    for (int32_t p = 1; p <= group.model->run.PNUM; ++p) {
      const Box box = text_box(scale.px(piles.PXY(p, 1)), scale.py(piles.PXY(p, 2)) + 0.35 * size,
                               "middle", std::to_string(p), size);
      if (placed.hit_text(box)) {
        numbers.left_out.push_back(p);
        continue;
      }
      placed.texts.push_back(box);
      numbers.shown.emplace_back(p, box);
    }
    if (numbers.left_out.empty()) break;
  }
  return numbers;
}

// The pile numbers, drawn after every marker and arrow and outlined in white, so that a load
// marker or an arrow over a pile top never hides its number; labels keep off them.
void write_pile_numbers(Plan& plan, const PileNumbers& numbers) {
  plan.svg += "<g class=\"pile-numbers\">\n";
  for (const auto& [p, box] : numbers.shown) {
    plan.obstacles.texts.push_back(box);
    plan.svg += "<text class=\"pile-number\" data-pile=\"" + std::to_string(p) + "\" x=\"" +
                fixed((box.x0 + box.x1) / 2.0, 2) + "\" y=\"" +
                fixed(box.y1 - 0.25 * numbers.size, 2) + "\" text-anchor=\"middle\" font-size=\"" +
                std::to_string(numbers.size) + "\" font-weight=\"bold\" fill=\"" + PILE_COLOUR +
                "\" " + HALO + ">" + std::to_string(p) + "</text>\n";
  }
  plan.svg += "</g>\n";
}

void write_simulated(Plan& plan, const PileData& piles, int32_t j, const PlanScale& scale) {
  const double x = scale.px(piles.SXY(j, 1));
  const double y = scale.py(piles.SXY(j, 2));
  plan.obstacles.add_box(x, y, 9.0);
  plan.svg += "<g class=\"simulated\" data-simulated=\"" + std::to_string(j) + "\" data-x=\"" +
              exact(piles.SXY(j, 1)) + "\" data-y=\"" + exact(piles.SXY(j, 2)) + "\">\n" +
              "<path d=\"M" + fixed(x, 2) + "," + fixed(y - 9.0, 2) + " l9,9 l-9,9 l-9,-9 z\" " +
              "fill=\"#fff1c2\" stroke=\"" + SIMULATED_COLOUR + "\" stroke-width=\"1.5\"/>\n</g>\n";
  plan.labels.push_back(
      {x, y, 1.0, 0.0, SIMULATED_COLOUR, std::string("S").append(std::to_string(j)), 12});
}

// The horizontal force (Fx, Fy) at a point as an arrow, `per_t` px per tonne; the resultant is
// dashed, so that a load arrow along it stays in sight.
void write_force(Plan& plan, const char* cls, double x, double y, float fx, float fy, double per_t,
                 const char* colour, const char* marker, const std::string& style = "") {
  if (fx == 0.0f && fy == 0.0f) return;
  plan.add_arrow(cls, x, y, x + static_cast<double>(fx) * per_t,
                 y + static_cast<double>(fy) * per_t, colour, marker,
                 "data-fx=\"" + exact(fx) + "\" data-fy=\"" + exact(fy) + "\"" + style);
}

// The marker of load point k at plan (x, y) and its label, its group left open for its force.
void open_load_point(Plan& plan, int32_t k, float x_plan, float y_plan, const PlanScale& scale) {
  const double x = scale.px(x_plan);
  const double y = scale.py(y_plan);
  plan.obstacles.add_box(x, y, 7.0);
  plan.svg += "<g class=\"load\" data-load=\"" + std::to_string(k) + "\" data-x=\"" +
              exact(x_plan) + "\" data-y=\"" + exact(y_plan) + "\">\n<path d=\"M" +
              fixed(x - 7.0, 2) + "," + fixed(y - 7.0, 2) + " l14,14 m0,-14 l-14,14\" stroke=\"" +
              LOAD_COLOUR + "\" stroke-width=\"2.5\"/>\n";
  plan.labels.push_back(
      {x, y, -0.7071, -0.7071, LOAD_COLOUR, std::string("L").append(std::to_string(k)), 12});
}

// The cap centre O, with the resultant of the data file's loads; the load points, of the data
// file with their horizontal forces, or those of `extras` without.
void write_loads(Plan& plan, const Group& group, const PlanScale& scale, const PlanExtras& extras) {
  const Vec<float, 6>& F = group.model->run.FORCE;
  const LoadPoints& loads = group.loads;
  double largest = std::hypot(static_cast<double>(F(1)), F(2));
  for (int32_t k = 1; k <= loads.NACT; ++k) {
    largest = std::max(largest, std::hypot(static_cast<double>(loads.ACT(k, 1)), loads.ACT(k, 2)));
  }
  const double per_t = largest > 0.0 ? FORCE_LENGTH / largest : 0.0;
  const double ox = scale.px(0.0);
  const double oy = scale.py(0.0);
  // The resultant first, dashed and wide, the load arrows over it.
  plan.svg += "<g class=\"cap-centre\">\n<circle cx=\"" + fixed(ox, 2) + "\" cy=\"" + fixed(oy, 2) +
              "\" r=\"4\" fill=\"none\" stroke=\"" + RESULTANT_COLOUR + "\" stroke-width=\"2\"/>\n";
  plan.obstacles.add_box(ox, oy, 5.0);
  if (group.model->run.JCTR == 1 && !extras.loads) {
    write_force(plan, "resultant", ox, oy, F(1), F(2), per_t, RESULTANT_COLOUR, "arrow-orange",
                " stroke-dasharray=\"7,4\"");
  }
  plan.svg += "</g>\n";
  plan.labels.push_back({ox, oy, -0.7071, 0.7071, RESULTANT_COLOUR, "O", 12});
  if (extras.loads) {
    for (size_t k = 0; k < extras.loads->size(); ++k) {
      const PlanPoint& point = (*extras.loads)[k];
      open_load_point(plan, static_cast<int32_t>(k + 1), point.x, point.y, scale);
      plan.svg += "</g>\n";
    }
    return;
  }
  for (int32_t k = 1; k <= loads.NACT; ++k) {
    open_load_point(plan, k, loads.AXY(k, 1), loads.AXY(k, 2), scale);
    write_force(plan, "load-force", scale.px(loads.AXY(k, 1)), scale.py(loads.AXY(k, 2)),
                loads.ACT(k, 1), loads.ACT(k, 2), per_t, LOAD_COLOUR, "arrow-green");
    plan.svg += "</g>\n";
  }
}

// The six loads in `force`.
std::string six_values(const float (&v)[6], ForceUnit force) {
  const double factor = shown_unit("t", force).factor;
  auto value = [&](int32_t i) { return readable(shown_value(v[i], factor)); };
  return "Fx = " + value(0) + ", Fy = " + value(1) + ", Fz = " + value(2) + " " +
         shown_unit("t", force).unit + "; Mx = " + value(3) + ", My = " + value(4) +
         ", Mz = " + value(5) + " " + shown_unit("t*m", force).unit;
}

// One line of the legend: the marker or arrow it explains (drawn as in the plan), and its text.
struct LegendLine {
  std::string key;  // the class of what it explains ("pile", "rake", ...); empty for text only
  std::string text;
};

bool any_square(const Group& group) {
  for (int32_t p = 1; p <= group.model->run.PNUM; ++p) {
    if (group.model->piles.KSH(p) != 0) return true;
  }
  return false;
}

bool any_raked(const Group& group) {
  for (int32_t p = 1; p <= group.model->run.PNUM; ++p) {
    const double ax = group.model->piles.AGL(p, 1);
    const double ay = group.model->piles.AGL(p, 2);
    if (std::hypot(ax, ay) > 1e-6) return true;  // as write_pile draws a rake
  }
  return false;
}

// The piles the plan leaves unnumbered, a line of text for every twenty of them.
void add_unnumbered(std::vector<LegendLine>& lines, const std::vector<int32_t>& left_out) {
  if (left_out.empty()) return;
  lines.push_back({"",
                   "Not numbered for want of room (their tops are in the table Piles of the "
                   "page, x and y):"});
  for (size_t i = 0; i < left_out.size(); i += 20) {
    std::string list = "  piles";
    for (size_t j = i; j < std::min(left_out.size(), i + 20); ++j) {
      list.append(" ").append(std::to_string(left_out[j]));
    }
    lines.push_back({"", list});
  }
}

std::vector<LegendLine> legend_lines(const Group& group, const std::vector<int32_t>& unnumbered,
                                     const std::vector<std::string>& unlabelled, ForceUnit force,
                                     const PlanExtras& extras) {
  const RunValues& run = group.model->run;
  std::vector<LegendLine> lines = {
      {"axis", "x, y: the cap axes through the cap centre O, seen from above"},
      {"pile", "Pile top, to scale, with its number"}};
  if (any_square(group)) lines.push_back({"square", "A pile of square section (KSH not 0)"});
  for (const PlanKey& key : extras.key) {
    lines.push_back({key.fill.empty() ? "" : "fill " + key.fill, key.text});
  }
  add_unnumbered(lines, unnumbered);
  // The labels left out, on lines of at most LEGEND_CHARACTERS.
  std::string line = "Labels left out for want of room:";
  for (size_t i = 0; i < unlabelled.size(); ++i) {
    if (line.size() + unlabelled[i].size() + 2 > LEGEND_CHARACTERS) {
      lines.push_back({"", line});
      line = " ";
    }
    line.append(" ").append(unlabelled[i]).append(i + 1 < unlabelled.size() ? "," : "");
  }
  if (!unlabelled.empty()) lines.push_back({"", line});
  if (any_raked(group)) {
    lines.push_back({"rake",
                     "Direction of a raked pile's axis in plan, with its batter "
                     "(vertical:horizontal)"});
  }
  if (run.SNUM > 0)
    lines.push_back({"simulated", "S1, S2, ...: simulated piles (given stiffness)"});
  lines.push_back({"cap-centre", "O: the cap centre"});
  if (extras.loads) {
    // The points' cases are listed beside the plan by its page: a key of many points would make
    // the plan taller than a printed sheet.
    if (!extras.loads->empty()) {
      lines.push_back(
          {"load", "L1, L2, ...: load points (the table Load points names their cases)"});
    }
    return lines;
  }
  if (run.JCTR != 1) {
    lines.push_back({"", "No loads: the control code is " + std::to_string(run.JCTR) + "."});
    return lines;
  }
  const LoadPoints& loads = group.loads;
  bool horizontal = false;
  for (int32_t k = 1; k <= loads.NACT; ++k) {
    horizontal |= loads.ACT(k, 1) != 0.0f || loads.ACT(k, 2) != 0.0f;
  }
  lines.push_back({"load", "L1, L2, ...: load points"});
  if (horizontal)
    lines.push_back({"load-force", "Horizontal force (Fx, Fy) of a load point, to scale"});
  if (run.FORCE(1) != 0.0f || run.FORCE(2) != 0.0f) {
    lines.push_back(
        {"resultant", "Horizontal force of the resultant at O, to the same scale (dashed)"});
  }
  for (int32_t k = 1; k <= loads.NACT; ++k) {
    const float act[6] = {loads.ACT(k, 1), loads.ACT(k, 2), loads.ACT(k, 3),
                          loads.ACT(k, 4), loads.ACT(k, 5), loads.ACT(k, 6)};
    lines.push_back({"", std::string("L") + std::to_string(k) + " at (" +
                             fixed(loads.AXY(k, 1), 2) + ", " + fixed(loads.AXY(k, 2), 2) +
                             "): " + six_values(act, force)});
  }
  const float resultant[6] = {run.FORCE(1), run.FORCE(2), run.FORCE(3),
                              run.FORCE(4), run.FORCE(5), run.FORCE(6)};
  lines.push_back({"", "Resultant at the cap centre O: " + six_values(resultant, force)});
  return lines;
}

// The sample of a legend line, centred at (x, y), drawn as the plan draws what it explains.
std::string legend_sample(const std::string& key, double x, double y) {
  if (key.starts_with("fill ")) {
    return "<circle cx=\"" + fixed(x, 2) + "\" cy=\"" + fixed(y, 2) + "\" r=\"7\" fill=\"" +
           key.substr(5) + "\" stroke=\"" + PILE_COLOUR + "\" stroke-width=\"1.5\"/>\n";
  }
  if (key == "axis") return arrow("", x - 12.0, y, x + 12.0, y, AXIS_COLOUR, "arrow-grey", "");
  if (key == "pile") {
    return "<circle cx=\"" + fixed(x, 2) + "\" cy=\"" + fixed(y, 2) +
           "\" r=\"7\" fill=\"#e8e8e8\" stroke=\"" + PILE_COLOUR + "\" stroke-width=\"1.5\"/>\n";
  }
  if (key == "square") {
    return "<rect x=\"" + fixed(x - 7.0, 2) + "\" y=\"" + fixed(y - 7.0, 2) +
           "\" width=\"14\" height=\"14\" fill=\"#e8e8e8\" stroke=\"" + PILE_COLOUR +
           "\" stroke-width=\"1.5\"/>\n";
  }
  if (key == "rake") return arrow("", x - 12.0, y, x + 12.0, y, PILE_COLOUR, "arrow-black", "");
  if (key == "simulated") {
    return "<path d=\"M" + fixed(x, 2) + "," + fixed(y - 7.0, 2) +
           " l7,7 l-7,7 l-7,-7 z\" fill=\"#fff1c2\" stroke=\"" + SIMULATED_COLOUR +
           "\" stroke-width=\"1.5\"/>\n";
  }
  if (key == "cap-centre") {
    return "<circle cx=\"" + fixed(x, 2) + "\" cy=\"" + fixed(y, 2) +
           "\" r=\"4\" fill=\"none\" stroke=\"" + RESULTANT_COLOUR + "\" stroke-width=\"2\"/>\n";
  }
  if (key == "load") {
    return "<path d=\"M" + fixed(x - 6.0, 2) + "," + fixed(y - 6.0, 2) +
           " l12,12 m0,-12 l-12,12\" stroke=\"" + LOAD_COLOUR + "\" stroke-width=\"2.5\"/>\n";
  }
  if (key == "load-force")
    return arrow("", x - 12.0, y, x + 12.0, y, LOAD_COLOUR, "arrow-green", "");
  if (key == "resultant") {
    return arrow("", x - 12.0, y, x + 12.0, y, RESULTANT_COLOUR, "arrow-orange",
                 "stroke-dasharray=\"7,4\"");
  }
  return "";
}

void write_legend(std::string& svg, const std::vector<LegendLine>& legend, double top) {
  const double left = BOX_LEFT - 40.0;
  for (size_t i = 0; i < legend.size(); ++i) {
    const double y = top + LEGEND_LINE * static_cast<double>(i);
    const LegendLine& line = legend[i];
    svg += "<g class=\"legend\"" +
           (line.key.empty() ? std::string() : " data-legend=\"" + line.key + "\"") + ">\n" +
           legend_sample(line.key, left + 14.0, y - 4.0) +
           label(line.key.empty() ? left : left + 36.0, y, "start", "#000000",
                 escape_xml(line.text), 12) +
           "</g>\n";
  }
}

}  // namespace

std::string plan_svg(const Group& group, ForceUnit force, const PlanExtras& extras) {
  const PlanScale scale = plan_scale(group, extras);
  const PileNumbers numbers = pile_numbers(group, scale);
  Plan plan;
  write_axes(plan, scale);
  for (int32_t p = 1; p <= group.model->run.PNUM; ++p) {
    write_pile(plan, group.model->piles, p, scale,
               extras.piles.empty() ? nullptr : &extras.piles[static_cast<size_t>(p - 1)]);
  }
  for (int32_t j = 1; j <= group.model->run.SNUM; ++j) {
    write_simulated(plan, group.model->piles, j, scale);
  }
  write_loads(plan, group, scale, extras);
  write_pile_numbers(plan, numbers);
  // The labels last, in the order of their importance: O and the loads before the rakes and axes.
  std::stable_sort(plan.labels.begin(), plan.labels.end(),
                   [](const PendingLabel& a, const PendingLabel& b) { return a.rank < b.rank; });
  const std::vector<std::string> unlabelled =
      place_labels(plan, {BOX_LEFT, BOX_TOP, BOX_LEFT + BOX_WIDTH, BOX_TOP + scale.height});
  // Piles labelled all or none: a group too crowded for every label is drawn again without them.
  for (const PlanPileMark& mark : extras.piles) {
    if (mark.label.empty() ||
        std::find(unlabelled.begin(), unlabelled.end(), mark.label) == unlabelled.end()) {
      continue;
    }
    PlanExtras unlabelled_piles = extras;
    for (PlanPileMark& m : unlabelled_piles.piles) m.label.clear();
    unlabelled_piles.key.push_back({"", extras.crowded});
    return plan_svg(group, force, unlabelled_piles);
  }

  const std::vector<LegendLine> legend =
      legend_lines(group, numbers.left_out, unlabelled, force, extras);
  const double legend_top = BOX_TOP + scale.height + 56.0;
  const double height = legend_top + LEGEND_LINE * static_cast<double>(legend.size()) + 10.0;
  std::string svg =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
      fixed(WIDTH, 0) + "\" height=\"" + fixed(height, 0) + "\" viewBox=\"0 0 " + fixed(WIDTH, 0) +
      " " + fixed(height, 0) +
      "\" font-family=\"DejaVu Sans, Arial, sans-serif\">\n<title>Plan of the pile "
      "group</title>\n" +
      "<defs>\n" + arrow_marker("arrow-black", PILE_COLOUR) +
      arrow_marker("arrow-grey", AXIS_COLOUR) + arrow_marker("arrow-green", LOAD_COLOUR) +
      arrow_marker("arrow-orange", RESULTANT_COLOUR) +
      "</defs>\n<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n" +
      label(BOX_LEFT, 32.0, "start", "#000000",
            "Plan of the group: " + counted(group.model->run.PNUM, "pile") +
                (group.model->run.SNUM > 0
                     ? ", " + std::to_string(group.model->run.SNUM) + " simulated"
                     : std::string()) +
                " (x, y in m, cap centre O)",
            18) +
      "<rect x=\"" + fixed(BOX_LEFT, 2) + "\" y=\"" + fixed(BOX_TOP, 2) + "\" width=\"" +
      fixed(BOX_WIDTH, 2) + "\" height=\"" + fixed(scale.height, 2) +
      "\" fill=\"none\" stroke=\"#cccccc\"/>\n" + plan.svg;
  write_legend(svg, legend, legend_top);
  svg += "</svg>\n";
  return svg;
}

}  // namespace kelmarino
