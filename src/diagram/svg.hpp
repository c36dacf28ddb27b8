#pragma once
// Text helpers shared by the diagrams: numbers written into SVG and HTML, escaped text, and the
// "nice" axes (ticks at 1, 2 or 5 times a power of ten) of every diagram.
#include <cstdint>
#include <string>
#include <string_view>

#include "diagram/quantities.hpp"  // the colours of the planes

namespace kelmarino {

// The colour of a station quantity named as the report heads its column ("UX", "MY", "PSX", ...).
const char* plane_colour(std::string_view quantity);

// An axis from lo to hi with ticks at i * step for i = first .. last. Tick labels show the tick
// value divided by 10^exponent with `decimals` digits after the point.
struct Axis {
  double step = 1.0;
  int32_t first = 0;
  int32_t last = 1;
  int32_t exponent = 0;
  int32_t decimals = 0;
  double lo() const { return first * step; }
  double hi() const { return last * step; }
};

// nice_axis: the axis that holds vmin, vmax and zero with about `ticks` intervals of a nice step;
// all-zero values get the axis -1 .. 1.
Axis nice_axis(double vmin, double vmax, int32_t ticks);

// The label of tick i ("-0.4", "0", "1.5").
std::string tick_label(const Axis& axis, int32_t i);

// The scale note of an axis with an exponent ("×1E-4 "), empty without one.
std::string scale_note(const Axis& axis);

// Numbers: fixed decimals for coordinates, and the shortest text that reads back as the same
// single-precision value for the data attributes. Labels a reader sees are written by `readable`.
std::string fixed(double value, int32_t decimals);
std::string exact(float value);

// A rectangle of a drawing from (x0, y0) to (x1, y1): the room a label takes or must keep off.
struct Box {
  double x0, y0, x1, y1;
  bool overlaps(const Box& b) const { return x0 < b.x1 && b.x0 < x1 && y0 < b.y1 && b.y0 < y1; }
};

// Text with the XML special characters escaped.
std::string escape_xml(const std::string& text);

}  // namespace kelmarino
