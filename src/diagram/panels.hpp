#pragma once
// The diagrams of one pile, of a run or of the envelopes of the load combinations: six panels in
// two rows of three against the distance Z along the pile axis, each with its value axis in the
// unit a reader is shown (mm, mrad, t, ...), the soil below the ground line, the segment joints,
// its curves and its marked values with their labels. Sized to fill the width of an A4 sheet.
#include <cstdint>
#include <string>
#include <vector>

#include "diagram/quantities.hpp"
#include "tables/tables.hpp"  // ForceUnit

namespace kelmarino {

// A curve of a panel: one value per station, in the colour of its quantity's bending plane,
// solid or dashed; `data` holds the attributes it carries besides its quantity.
struct PanelCurve {
  const char* quantity = "";
  std::vector<float> values;
  bool dashed = false;
  std::string data;
};

// A marked value of a panel: a dot at station k and beside it a label with the quantity, its value
// in the unit of the panel's axis and its depth ("MX = −17.72 t*m at Z = 8 m"), then `note`
// (escaped text, may be empty); `data` holds the attributes of the dot and its label besides the
// quantity and the station.
struct PanelMark {
  const char* quantity = "";
  int32_t k = 1;
  float value = 0.0f;
  std::string note;
  std::string data;
};

struct PanelContent {
  std::vector<PanelCurve> curves;
  std::vector<PanelMark> marks;
};

// A line of the heading above the panels: its attributes and its content (SVG text, escaped).
struct HeadingLine {
  std::string attributes;
  std::string content;
};

// The diagrams of a pile: the document's title and the attributes of its root, the heading,
// the distance ZH of every station from the pile top (m; one value per station of every curve),
// the ground-line station KG, the stations that end a segment inside the pile (joints), the
// class of the curves and of the marks (a mark's label is of the class mark_class + "-label") and
// the panels of PANEL_WORDS in order, their values in the program's units and shown with forces
// in `force`.
struct PileDiagram {
  std::string title;
  std::string root_data;
  std::vector<HeadingLine> heading;
  std::vector<float> ZH;
  int32_t KG = 1;
  std::vector<int32_t> joints;
  std::string curve_class = "curve";
  std::string mark_class = "peak";
  PanelContent panels[6];
  ForceUnit force = ForceUnit::t;
};

// pile_diagram_svg: the SVG document of the diagrams. Every axis runs on nice ticks and is inset
// from its panel's frame, so that no curve touches a frame. The labels keep off each other and
// off the dots, within their panel and half the gap beside it. The root carries the depth axis's
// end (data-zmax); each panel (class "panel") the x of its axis's ends, its axis in the reader's
// unit and the y of Z = 0 and of the depth axis's end (data-left, data-right, data-vmin,
// data-vmax, data-step, data-top, data-bottom).
std::string pile_diagram_svg(const PileDiagram& diagram);

// The file name of the diagrams of pile g: pile-01.svg, ..., pile-100.svg.
std::string pile_file_name(int32_t g);

}  // namespace kelmarino
