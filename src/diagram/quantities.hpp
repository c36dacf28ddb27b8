#pragma once
// The one vocabulary of the station quantities: name, unit, bending plane and colour, used by
// the tables, the run diagrams, the envelope diagrams and the combinations; and the six panels
// that the diagrams of a pile show.
#include <cstdint>
#include <string_view>

namespace kelmarino {

// Bending in the x-z plane (UX, SY, NX, MY, PSX), in the y-z plane (UY, SX, NY, MX, PSY), or
// the axial force NZ; the diagrams colour a curve by its plane.
enum class Plane { XZ, YZ, Axial };

struct QuantityWord {
  const char* name;
  const char* unit;
  Plane plane;
  const char* colour;
};

inline constexpr const char* X_PLANE_COLOUR = "#1f4fd0";
inline constexpr const char* Y_PLANE_COLOUR = "#d0301f";
inline constexpr const char* AXIAL_COLOUR = "#1b7a3a";

// Indexed by the kernel's StationQuantity: the order of a result's station values and of the
// columns of stations.csv.
inline constexpr int32_t QUANTITY_COUNT = 11;
inline constexpr QuantityWord QUANTITY_WORDS[QUANTITY_COUNT] = {
    {"UX", "m", Plane::XZ, X_PLANE_COLOUR},    {"UY", "m", Plane::YZ, Y_PLANE_COLOUR},
    {"SX", "rad", Plane::YZ, Y_PLANE_COLOUR},  {"SY", "rad", Plane::XZ, X_PLANE_COLOUR},
    {"NX", "t", Plane::XZ, X_PLANE_COLOUR},    {"NY", "t", Plane::YZ, Y_PLANE_COLOUR},
    {"NZ", "t", Plane::Axial, AXIAL_COLOUR},   {"MX", "t*m", Plane::YZ, Y_PLANE_COLOUR},
    {"MY", "t*m", Plane::XZ, X_PLANE_COLOUR},  {"PSX", "t/m2", Plane::XZ, X_PLANE_COLOUR},
    {"PSY", "t/m2", Plane::YZ, Y_PLANE_COLOUR}};

// The word of a quantity named as the report heads its column; nullptr for another name.
constexpr const QuantityWord* quantity_word(std::string_view name) {
  for (const QuantityWord& word : QUANTITY_WORDS) {
    if (name == word.name) return &word;
  }
  return nullptr;
}

// The six panels of the diagrams of a pile, of one run or of the envelopes: the title, the unit
// and the one or two quantities drawn.
struct PanelWords {
  const char* title;
  const char* unit;
  int32_t count;
  const char* quantities[2];
};
inline constexpr PanelWords PANEL_WORDS[6] = {
    {"Displacement", "m", 2, {"UX", "UY"}}, {"Rotation", "rad", 2, {"SX", "SY"}},
    {"Shear force", "t", 2, {"NX", "NY"}},  {"Bending moment", "t*m", 2, {"MX", "MY"}},
    {"Axial force", "t", 1, {"NZ", "NZ"}},  {"Soil stress", "t/m2", 2, {"PSX", "PSY"}}};

}  // namespace kelmarino
