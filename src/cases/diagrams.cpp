// The envelope diagrams of a pile (six panels against the distance Z along the pile axis, the
// largest value of each quantity drawn solid and the smallest dashed) and the page that shows the
// tables and the diagrams of every pile.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string_view>

#include "cases/cases.hpp"
#include "diagram/panels.hpp"
#include "diagram/plan.hpp"
#include "diagram/svg.hpp"

namespace kelmarino::cases {
namespace {

// The quantity of the march named by a panel of the vocabulary.
int32_t march_quantity(const char* name) {
  const QuantityWord* word = quantity_word(name);
  return word != nullptr ? static_cast<int32_t>(word - QUANTITY_WORDS) : 0;
}

// A panel of envelopes: the largest value of each quantity solid and the smallest dashed; the
// largest and the smallest over the pile marked with the combination, unless they are rounding
// noise (below 1e-6 of the panel's largest magnitude) or on the wrong side of zero.
PanelContent envelope_panel(const PanelWords& words, const PileEnvelope& pile,
                            const CaseNames& names) {
  PanelContent panel;
  double largest = 0.0;
  for (int32_t i = 0; i < words.count; ++i) {
    const int32_t q = march_quantity(words.quantities[i]);
    largest =
        std::max({largest, std::fabs(static_cast<double>(pile_maximum(pile, q).extreme.value)),
                  std::fabs(static_cast<double>(pile_minimum(pile, q).extreme.value))});
  }
  for (int32_t i = 0; i < words.count; ++i) {
    const int32_t q = march_quantity(words.quantities[i]);
    for (const bool top : {true, false}) {
      PanelCurve curve{words.quantities[i],
                       {},
                       !top,
                       std::string("data-extreme=\"") + (top ? "max" : "min") + "\""};
      for (const StationEnvelope& station : pile.stations) {
        curve.values.push_back(top ? station.max[q].value : station.min[q].value);
      }
      panel.curves.push_back(std::move(curve));
    }
    for (const bool top : {true, false}) {
      const PileExtreme e = top ? pile_maximum(pile, q) : pile_minimum(pile, q);
      const double v = e.extreme.value;
      if (std::fabs(v) <= 1e-6 * largest || (top ? v < 0.0 : v > 0.0)) continue;
      const std::string combination =
          escape_xml(std::string(names.combinations[static_cast<size_t>(e.extreme.combination)]));
      panel.marks.push_back({words.quantities[i], e.k, e.extreme.value, combination,
                             std::string("data-extreme=\"") + (top ? "max" : "min") +
                                 "\" data-value=\"" + shortest(e.extreme.value) +
                                 "\" data-combination=\"" + combination + "\""});
    }
  }
  return panel;
}

std::string link(const std::string& file) {
  return "<a href=\"" + escape_html(file) + "\">" + escape_html(file) + "</a>";
}

}  // namespace

std::string envelope_svg(const PileEnvelope& pile, const CaseNames& names) {
  PileDiagram diagram;
  diagram.title = "Pile " + std::to_string(pile.g) + ": envelopes";
  diagram.root_data = "data-pile=\"" + std::to_string(pile.g) + "\"";
  diagram.ZH = pile.ZH;
  diagram.KG = pile.KG;
  diagram.joints = pile.joints;
  diagram.curve_class = "envelope";
  diagram.mark_class = "extreme";
  diagram.heading = {
      {"font-size=\"16\" font-weight=\"bold\"",
       "Pile " + std::to_string(pile.g) + " at (x, y) = (" +
           readable(static_cast<double>(pile.top_x)) + ", " +
           readable(static_cast<double>(pile.top_y)) + ") m, ground line at Z = " +
           readable(static_cast<double>(pile.ZH[static_cast<size_t>(pile.KG - 1)])) + " m"},
      {"font-size=\"12\"", "Envelopes over " + counted(names.combinations.size(), "combination") +
                               ": largest solid, smallest dashed; by colour: <tspan "
                               "fill=\"" +
                               X_PLANE_COLOUR + "\">x\u2013z plane</tspan>, <tspan fill=\"" +
                               Y_PLANE_COLOUR + "\">y\u2013z plane</tspan>."},
      {"font-size=\"12\"",
       "Z from the pile top along its axis; ground line brown, soil shaded, segment joints "
       "dashed;"},
      {"font-size=\"12\"", "dots: the extremes with their value, depth and combination."}};
  for (int32_t i = 0; i < 6; ++i) diagram.panels[i] = envelope_panel(PANEL_WORDS[i], pile, names);
  diagram.force = names.force;
  return pile_diagram_svg(diagram);
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

// The most distinct load points the plan draws: more are no longer readable, and placing their
// labels takes time that grows with the square of their count.
constexpr size_t PLAN_LOAD_POINTS = 100;

// The load points of every load case at their distinct positions, in the order first given, each
// named in the legend by its cases and their point numbers ("DL 1, LL 1"); none when there are
// more than PLAN_LOAD_POINTS.
std::vector<PlanPoint> case_load_points(const CaseNames& names) {
  std::vector<PlanPoint> points;
  for (const LoadCase& c : names.cases) {
    for (size_t k = 0; k < c.points.size(); ++k) {
      const LoadValues& v = c.points[k];
      auto at = std::find_if(points.begin(), points.end(),
                             [&](const PlanPoint& p) { return p.x == v.x && p.y == v.y; });
      if (at == points.end()) {
        if (points.size() == PLAN_LOAD_POINTS) return {};
        at = points.insert(points.end(), PlanPoint{v.x, v.y, ""});
      }
      at->legend += (at->legend.empty() ? "" : ", ") + c.name + " " + std::to_string(k + 1);
    }
  }
  return points;
}

// The plan of the group (plan_svg) with each pile top coloured by its governing axial force
// (compression blue, tension red, from pale for the smallest to full for the largest of its kind)
// and labelled with the value and the combination, a colour key, and the load points of every
// case (case_load_points).
std::string overview_svg(const Group& group, const CaseNames& names,
                         const std::vector<PileEnvelope>& piles,
                         const std::vector<PlanPoint>& load_points) {
  const ReaderUnit shown = shown_unit("t", names.force);
  // The range of the governing magnitudes of compression [0] and tension [1]: low and high.
  double low[2] = {1e30, 1e30}, high[2] = {0.0, 0.0};
  for (const PileEnvelope& p : piles) {
    const double v = governing_axial(p).value;
    const int pulled = v < 0.0 ? 1 : 0;
    low[pulled] = std::min(low[pulled], std::fabs(v));
    high[pulled] = std::max(high[pulled], std::fabs(v));
  }
  const int BLUE[3] = {0x1f, 0x4f, 0xd0};
  const int RED[3] = {0xd0, 0x30, 0x1f};
  PlanExtras extras;
  for (const PileEnvelope& p : piles) {
    const Extreme e = governing_axial(p);
    const bool pulled = e.value < 0.0f;
    const int kind = pulled ? 1 : 0;
    const double span = high[kind] - low[kind];
    const double magnitude = std::fabs(static_cast<double>(e.value));
    const double share = span > 0.0 ? (magnitude - low[kind]) / span : 1.0;
    const std::string combination(names.combinations[static_cast<size_t>(e.combination)]);
    extras.piles.push_back({shade(share, pulled ? RED : BLUE),
                            " data-nz=\"" + shortest(e.value) + "\" data-combination=\"" +
                                escape_xml(combination) + "\"",
                            readable(static_cast<double>(e.value) * shown.factor) + " " +
                                shown.unit + ", " + combination});
  }
  const char* kinds[2] = {"compression", "tension"};
  for (const int kind : {0, 1}) {
    if (high[kind] == 0.0) continue;
    const int(&full)[3] = kind == 1 ? RED : BLUE;
    const double sign = kind == 1 ? -1.0 : 1.0;
    if (high[kind] > low[kind]) {
      extras.key.push_back({shade(0.0, full), std::string("Governing ") + kinds[kind] +
                                                  " at the pile top, smallest: " +
                                                  readable(sign * low[kind] * shown.factor) + " " +
                                                  shown.unit});
    }
    extras.key.push_back(
        {shade(1.0, full), std::string("Governing ") + kinds[kind] + " at the pile top, largest: " +
                               readable(sign * high[kind] * shown.factor) + " " + shown.unit});
  }
  extras.loads = load_points;
  if (extras.loads->empty() && std::any_of(names.cases.begin(), names.cases.end(),
                                           [](const LoadCase& c) { return !c.points.empty(); })) {
    extras.key.push_back({"", "Load points left out: more than " +
                                  std::to_string(PLAN_LOAD_POINTS) +
                                  " places (see the table Load cases)"});
  }
  extras.crowded = "Values left out for want of room: the table Summary gives them per pile";

  const std::string svg = plan_svg(group, names.force, extras);
  return svg.substr(svg.find("<svg"));  // inline in the page, without the XML declaration
}

// The envelope table for a reader: the extremes in mm, mrad and the units of force of names.force
// (t, t*m and t/m2 or kN, kN*m and kPa), four digits, a value below 1e-6 of the largest magnitude
// of its quantity over the piles written 0.
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
      const ReaderUnit unit = reader_unit(QUANTITY_WORDS[q].unit, names.force);
      std::vector<std::string> row = {std::to_string(pile.g), QUANTITY_WORDS[q].name, unit.unit};
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

// The first ECHOED_LOAD_POINTS load points of the load cases, as given: x, y in m, forces and
// moments in the unit of force of the page.
ResultTable load_cases_table(const CaseNames& names) {
  ResultTable table;
  table.columns = {{"case", ""}, {"point", ""}, {"x", "m"}, {"y", "m"}};
  table.columns.insert(table.columns.end(), std::begin(LOAD_COLUMNS), std::end(LOAD_COLUMNS));
  const std::vector<double> factor = show_columns(table.columns, names.force);
  for (const LoadCase& c : names.cases) {
    for (size_t k = 0; k < c.points.size() && table.rows.size() < ECHOED_LOAD_POINTS; ++k) {
      const LoadValues& point = c.points[k];
      std::vector<std::string> row = {c.name, std::to_string(k + 1), as_read(point.x),
                                      as_read(point.y)};
      for (size_t i = 0; i < 6; ++i)
        row.push_back(as_read(shown_value(point.act[i], factor[i + 4])));
      table.rows.push_back(std::move(row));
    }
  }
  return table;
}

// The load points of the overview plan, L1, L2, ..., with the cases and points at each.
ResultTable load_points_table(const std::vector<PlanPoint>& points) {
  ResultTable table;
  table.columns = {{"point", ""}, {"x", "m"}, {"y", "m"}, {"cases and points", ""}};
  for (size_t k = 0; k < points.size(); ++k) {
    const PlanPoint& p = points[k];
    table.rows.push_back({"L" + std::to_string(k + 1), as_read(p.x), as_read(p.y), p.legend});
  }
  return table;
}

// The factor table without rows: a column per load case that some combination shown uses.
ResultTable factor_columns(const CaseNames& names) {
  ResultTable table;
  table.columns = {{"combination", ""}};
  const std::vector<size_t> column = factor_column_of(names);
  for (size_t k = 0; k < names.cases.size(); ++k) {
    if (column[k] != 0) table.columns.push_back({names.cases[k].name, ""});
  }
  return table;
}

// A table's HTML cut where its `rows` go: the text before them and the text after; kept on one
// printed sheet as html_table keeps a table of its own rows.
std::pair<std::string, std::string> cut_at_rows(const ResultTable& table, const std::string& id,
                                                size_t rows) {
  std::string html = html_table(table, id);
  if (prints_whole(rows)) html.insert(html.find('>'), " class=\"whole\"");
  const size_t rows_at = html.find("</tbody>");
  return {html.substr(0, rows_at), html.substr(rows_at)};
}

// The name of the input file of the title block whose name ends so ("pier.loads.csv"), without
// its folder; empty when none was read.
std::string input_file_named(const TitleBlock& block, std::string_view ending) {
  for (const auto& [name, sha256] : block.inputs) {
    if (name.ends_with(ending)) return std::filesystem::path(name).filename().string();
  }
  return {};
}

}  // namespace

PageParts index_html(const Group& group, const CaseNames& names,
                     const std::vector<PileEnvelope>& piles, const CapBalance& balance,
                     const std::string& method) {
  const std::string title = escape_html(names.title) + ": load combinations";
  std::string html =
      "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>\n"
      "<meta charset=\"utf-8\"/>\n<title>" +
      title +
      "</title>\n<style>body { font-family: sans-serif; margin: 2em; } "
      "table { border-collapse: collapse; margin-bottom: 1em; } "
      "th, td { border: 1px solid #bbbbbb; padding: 0.2em 0.6em; text-align: right; "
      "white-space: nowrap; } "
      "img { max-width: 100%; box-sizing: border-box; border: 1px solid #dddddd; } "
      "div.figure svg { max-width: 100%; height: auto; } "
      "table#title-block th, table#title-block td { text-align: left; } "
      "table#load-points td:last-child { white-space: normal; text-align: left; } @media print { " +
      print_css(names.title + ": load combinations", names.block) +
      "body { margin: 0; font-size: 9pt; } section.overview { break-inside: avoid; } }"
      "</style>\n</head>\n"
      "<body>\n<h1>" +
      title + "</h1>\n" + title_block_html(names.block);
  for (const std::string& warning : names.warnings) {
    // A warning of the reader shows its line with the caret under the value: in a fixed-width
    // font, its lines kept and a long one wrapped at the sheet's edge.
    const bool lines = warning.find('\n') != std::string::npos;
    html += std::string("<p class=\"warning\"") +
            (lines ? " style=\"white-space: pre-wrap; font-family: monospace\"" : "") +
            "><strong>" + escape_html(warning) + "</strong></p>\n";
  }
  if (const auto warning = balance_warning(names, balance)) {
    html += "<p class=\"warning\"><strong>" + escape_html(*warning) + "</strong></p>\n";
  }
  html += "<p>" + counted(names.combinations.size(), "combination") + " of " +
          counted(names.cases.size(), "load case") + ", " + counted(piles.size(), "pile") +
          ". Files: " + link("cap.csv") + ", " + link("heads.csv") + ", " + link("envelope.csv") +
          ", " + link("stations.csv") + ", " + link("design-sets.csv") + ", " + link("peaks.csv") +
          ", " + link("equilibrium.csv") +
          (balance.supports_count() > 0 ? ", " + link("supports.csv") : std::string()) + ", " +
          link("summary.txt") + ".</p>\n<p>Piles:";
  for (const PileEnvelope& pile : piles) {
    const std::string g = std::to_string(pile.g);
    html += " <a href=\"#pile-" + g + "\">" + g + "</a>";
  }
  const std::vector<PlanPoint> plan_points = case_load_points(names);
  html +=
      "</p>\n<section class=\"overview\">\n<h2>Overview</h2>\n<p>The plan of the group seen from "
      "above (x to the right, y "
      "down the page). Each pile is coloured by its governing axial force at the top: the "
      "largest tension where a combination pulls it (red), else the largest compression "
      "(blue); from pale for the smallest to full colour for the largest. Beside it: the value "
      "in " +
      shown_unit("t", names.force).unit +
      " and the combination. The load points are those of every load case.</p>\n"
      "<div class=\"figure\" id=\"overview\">" +
      overview_svg(group, names, piles, plan_points) + "</div>\n</section>\n";
  if (!plan_points.empty()) {
    html +=
        "<h3>Load points</h3>\n<p>The load points of the plan at their distinct positions, "
        "with the cases and the points of each case there.</p>\n" +
        html_table(load_points_table(plan_points), "load-points");
  }
  html += "<h2>Summary</h2>\n" + html_table(summary_table(names, piles), "summary");
  if (!names.combinations.empty()) {
    html +=
        "<h2>Equilibrium of the cap</h2>\n<p id=\"equilibrium\">Under every combination the "
        "forces on the pile heads (turned into cap axes) and on the simulated piles, moved to the "
        "cap centre, are summed against the applied loads there (equilibrium.csv). The largest "
        "residual, the largest difference of a component over the largest applied component, is " +
        readable(static_cast<double>(balance.largest)) + ", under combination " +
        escape_html(std::string(names.combinations[balance.largest_at])) +
        "; above 1e-4 a warning.</p>\n";
  }
  html +=
      "<h2>Design sets</h2>\n<p>Per pile, the combinations of the largest and the smallest axial "
      "force N and of the largest resultant moment M = &#8730;(MX&#178; + MY&#178;) at the pile "
      "top, "
      "and of the largest M from the ground line down (max_M_soil), each with the concurrent N, "
      "MX, MY, M and the resultant shear V = &#8730;(NX&#178; + NY&#178;) of its combination at "
      "its "
      "station, in pile axes (also in design-sets.csv).</p>\n" +
      html_table(design_sets_table(names, piles, true), "design-sets");
  html +=
      "<h2>True peaks</h2>\n<p>True peaks between stations: per pile and quantity, the largest "
      "absolute value of the exact solution between the stations and at them, over every "
      "combination, with its Z and combination; the soil stress on both sides of every layer "
      "boundary (also in "
      "peaks.csv). The envelopes take the stations only.</p>\n" +
      html_table(peaks_table(names, piles, true), "peaks");
  html += method;
  size_t points = 0;
  for (const LoadCase& c : names.cases) points += c.points.size();
  const std::string loads = input_file_named(names.block, ".loads.csv");
  const std::string combinations = input_file_named(names.block, ".combinations.csv");
  html +=
      "<h2>Load cases</h2>\n<p>The " +
      (points <= ECHOED_LOAD_POINTS ? std::string("load points of every load case")
                                    : "first " + std::to_string(ECHOED_LOAD_POINTS) + " of the " +
                                          std::to_string(points) + " load points") +
      " in the order read (" +
      (loads.empty() ? "the data file's own load points, the case data: no " +
                           escape_html(names.title) + ".loads.csv was read"
                     : escape_html(loads) +
                           "; the case data, where there is one, holds the data file's own "
                           "load points") +
      "), in the axes and signs of the data file's load points.</p>\n" +
      html_table(load_cases_table(names), "load-cases");
  const ResultTable factors = factor_columns(names);
  const auto [factors_before, factors_after] =
      cut_at_rows(factors, "factors", names.factors.size());
  const bool every = names.factors.size() == names.combinations.size();
  html += "<h2>Combinations</h2>\n<p>The factor of every load case in " +
          (every ? std::string("every combination")
                 : "the first " + std::to_string(names.factors.size()) + " of the " +
                       std::to_string(names.combinations.size()) + " combinations") +
          " (" +
          (combinations.empty() ? "each load case alone with factor 1: no " +
                                      escape_html(names.title) + ".combinations.csv was read"
                                : escape_html(combinations)) +
          "); an empty cell is 0" +
          (factors.columns.size() == names.cases.size() + 1
               ? std::string()
               : ", and a load case that none of them uses has no column") +
          ".</p>\n" + factors_before;
  std::string middle = factors_after;
  middle +=
      "<h2>Envelopes of the piles</h2>\n<p>The extremes of every quantity of every pile, with "
      "their combination and Z (also in envelope.csv).</p>\n" +
      html_table(envelope_page_table(names, piles), "envelope");
  ResultTable cap;
  cap.columns = {{"combination", ""}};
  for (const char* q : {"UX", "UY", "UZ"}) cap.columns.push_back({q, reader_unit("m").unit});
  for (const char* q : {"SX", "SY", "SZ"}) cap.columns.push_back({q, reader_unit("rad").unit});
  auto [cap_before, after] = cut_at_rows(cap, "cap", names.combinations.size());
  middle += "<h2>Displacements of the cap centre</h2>\n" + cap_before;
  for (const PileEnvelope& pile : piles) {
    const std::string g = std::to_string(pile.g);
    after += "<h2 id=\"pile-" + g + "\">Pile " + g + "</h2>\n<p><img src=\"" +
             pile_file_name(pile.g) + "\" alt=\"Envelopes of pile " + g + "\"/></p>\n";
  }
  return PageParts{html, middle, after + "</body>\n</html>\n"};
}

// The rows of the combinations first .. last - 1, in four digits in mm and mrad; a value below
// 1e-6 of its column's largest over every combination is written 0.
CapLevels cap_noise_levels(const std::vector<CapDisplacements>& caps) {
  CapLevels level{};
  std::vector<double> column(caps.size());
  for (size_t i = 0; i < 6; ++i) {
    for (size_t c = 0; c < caps.size(); ++c) column[c] = static_cast<double>(caps[c].U[i]);
    level[i] = noise_level(column);
  }
  return level;
}

std::vector<size_t> factor_column_of(const CaseNames& names) {
  std::vector<size_t> column(names.cases.size(), 0);
  for (size_t c = 0; c < names.factors.size(); ++c) {
    for (const Term& term : names.factors[c]) column[static_cast<size_t>(term.load_case)] = 1;
  }
  size_t next = 0;
  for (size_t& c : column) c = c != 0 ? ++next : 0;
  return column;
}

std::string factor_rows_html(const CaseNames& names, const std::vector<size_t>& column,
                             size_t first, size_t last) {
  const size_t columns = 1 + static_cast<size_t>(std::count_if(column.begin(), column.end(),
                                                               [](size_t c) { return c != 0; }));
  std::vector<std::vector<std::string>> rows;
  for (size_t c = first; c < last; ++c) {
    std::vector<std::string> row(columns);
    row[0] = names.combinations[c];
    for (const Term& term : names.factors[c]) {
      row[column[static_cast<size_t>(term.load_case)]] = as_read(term.factor);
    }
    rows.push_back(std::move(row));
  }
  return html_rows(rows);
}

std::string cap_rows_html(const CaseNames& names, const std::vector<CapDisplacements>& caps,
                          const CapLevels& level, size_t first, size_t last) {
  std::vector<std::vector<std::string>> rows;
  for (size_t c = first; c < last; ++c) {
    std::vector<std::string> row = {std::string(names.combinations[c])};
    for (int32_t i = 0; i < 6; ++i) {
      const ReaderUnit unit = reader_unit(i < 3 ? "m" : "rad");
      row.push_back(readable(static_cast<double>(caps[c].U[i]) * unit.factor,
                             level[static_cast<size_t>(i)] * unit.factor));
    }
    rows.push_back(std::move(row));
  }
  return html_rows(rows);
}

}  // namespace kelmarino::cases
