// The diagrams of one pile: six panels in two rows against the distance Z along the pile axis
// (displacements, rotations, shear forces, bending moments, axial force, soil stresses), with the
// ground line, the soil below it and the segment joints marked, each curve in the colour of its
// bending plane, and the largest magnitude above the ground line and below it labelled with its
// value and depth.
#include <algorithm>
#include <cmath>
#include <string_view>

#include "diagram/panels.hpp"
#include "diagram/svg.hpp"
#include "input/input.hpp"  // segment_joints
#include "plot/plot.hpp"

namespace kelmarino {
namespace {

// Values smaller than this part of the largest magnitude in their panel are rounding noise.
constexpr float NOISE = 1e-6f;

// Column c of the station rows of a pile, station by station.
std::vector<float> column(std::span<const StationRow> stations, size_t c) {
  std::vector<float> values;
  values.reserve(stations.size());
  for (const StationRow& row : stations) values.push_back(row[c]);
  return values;
}

// The values of quantity i of a panel of the vocabulary at every station.
std::vector<float> panel_values(const PanelWords& words, int32_t i,
                                std::span<const StationRow> stations) {
  const QuantityWord* word = quantity_word(words.quantities[i]);
  return column(stations, column_of(static_cast<StationQuantity>(word - QUANTITY_WORDS)));
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

// The marks of one curve: the largest magnitude of the stations above the ground line
// (1 ... KG - 1) and of those from the ground line down (KG ... NSTA), the first station of equal
// magnitudes; a part whose values are all zero gets no mark.
void add_marks(std::vector<PanelMark>& marks, int32_t KG, const char* quantity,
               const std::vector<float>& v) {
  const int32_t NSTA = static_cast<int32_t>(v.size());
  const int32_t parts[2][2] = {{1, KG - 1}, {KG, NSTA}};
  for (const auto& part : parts) {
    int32_t peak = 0;
    for (int32_t k = part[0]; k <= part[1]; ++k) {
      const float value = v[static_cast<size_t>(k - 1)];
      if (value != 0.0f &&
          (peak == 0 || std::fabs(value) > std::fabs(v[static_cast<size_t>(peak - 1)]))) {
        peak = k;
      }
    }
    if (peak != 0) marks.push_back({quantity, peak, v[static_cast<size_t>(peak - 1)], "", ""});
  }
}

// A panel of a run: the curves through the drawn values, the smallest and largest printed value
// riding along as data, and the marks.
PanelContent run_panel(const PanelWords& words, std::span<const StationRow> stations, int32_t KG) {
  std::vector<float> values[2];
  float reference = 0.0f;
  for (int32_t i = 0; i < words.count; ++i) {
    values[i] = panel_values(words, i, stations);
    reference = std::max(reference, largest_magnitude(values[i]));
  }
  PanelContent panel;
  for (int32_t i = 0; i < words.count; ++i) {
    const std::vector<float>& v = values[i];
    const auto [low, high] = std::minmax_element(v.begin(), v.end());
    // The y-z plane dashed: the planes stay apart in grey.
    const QuantityWord* word = quantity_word(words.quantities[i]);
    const bool dashed = word != nullptr && word->plane == Plane::YZ;
    panel.curves.push_back({words.quantities[i], drawn_values(v, reference), dashed,
                            "data-min=\"" + exact(*low) + "\" data-max=\"" + exact(*high) + "\""});
    add_marks(panel.marks, KG, words.quantities[i], panel.curves.back().values);
  }
  return panel;
}

}  // namespace

std::string pile_svg(const PileData& piles, int32_t p, const Result& result, ForceUnit force) {
  const PileResult& pile = result.piles[static_cast<size_t>(p - 1)];
  const std::span<const StationRow> stations = result.stations_of(pile);
  PileDiagram diagram;
  diagram.title = "Pile " + std::to_string(p);
  diagram.root_data = "data-pile=\"" + std::to_string(p) + "\"";
  diagram.ZH = column(stations, Z_COLUMN);
  diagram.KG = pile.KG;
  diagram.force = force;
  diagram.joints = segment_joints(piles, p);
  const float ground_z = diagram.ZH[static_cast<size_t>(diagram.KG - 1)];
  diagram.heading = {
      {"font-size=\"20\" font-weight=\"bold\"",
       "Pile " + std::to_string(p) + ": top at (x, y) = (" + fixed(as_printed(piles.PXY(p, 1)), 3) +
           ", " + fixed(as_printed(piles.PXY(p, 2)), 3) + ") m"},
      {"font-size=\"12\"",
       std::to_string(stations.size()) +
           " stations; Z along the pile axis from its top; ground line at Z = " +
           fixed(ground_z, 3) + " m (station " + std::to_string(diagram.KG) + ")"},
      {"class=\"plane-legend\" font-size=\"12\"",
       std::string("<tspan fill=\"") + X_PLANE_COLOUR +
           "\">x\u2013z plane (UX, SY, NX, MY, PSX) solid</tspan>, <tspan fill=\"" +
           Y_PLANE_COLOUR +
           "\">y\u2013z plane (UY, SX, NY, MX, PSY) dashed</tspan>, <tspan fill=\"" + AXIAL_COLOUR +
           "\">axial force NZ</tspan>"},
      {"font-size=\"12\"",
       "Soil shaded, segment joints dashed; dots: the largest values above the ground line and "
       "below it"}};
  for (int32_t i = 0; i < 6; ++i) {
    diagram.panels[i] = run_panel(PANEL_WORDS[i], stations, diagram.KG);
  }
  return pile_diagram_svg(diagram);
}

}  // namespace kelmarino
