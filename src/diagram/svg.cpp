// Text helpers of the diagrams.
#include "diagram/svg.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tables/tables.hpp"

namespace kelmarino {

Axis nice_axis(double vmin, double vmax, int32_t ticks) {
  double lo = std::min(vmin, 0.0);
  double hi = std::max(vmax, 0.0);
  if (!(hi > lo)) {
    lo = -1.0;
    hi = 1.0;
  }
  const double raw = (hi - lo) / ticks;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  Axis axis;
  axis.step = 10.0 * magnitude;
  for (const double factor : {1.0, 2.0, 5.0}) {
    if (factor * magnitude >= raw * (1.0 - 1e-9)) {
      axis.step = factor * magnitude;
      break;
    }
  }
  // The small allowances keep a value that is a tick, up to rounding, from adding a tick.
  axis.first = static_cast<int32_t>(std::floor(lo / axis.step + 1e-9));
  axis.last = static_cast<int32_t>(std::ceil(hi / axis.step - 1e-9));
  const double largest = std::max(std::fabs(axis.lo()), std::fabs(axis.hi()));
  if (largest >= 1e4 || largest < 1e-2) {
    axis.exponent = static_cast<int32_t>(std::floor(std::log10(largest) + 1e-9));
  }
  const double scaled_step = axis.step / std::pow(10.0, axis.exponent);
  axis.decimals = std::max(0, static_cast<int32_t>(std::ceil(-std::log10(scaled_step) - 1e-9)));
  return axis;
}

std::string tick_label(const Axis& axis, int32_t i) {
  if (i == 0) return "0";
  return fixed(i * axis.step / std::pow(10.0, axis.exponent), axis.decimals);
}

std::string scale_note(const Axis& axis) {
  if (axis.exponent == 0) return "";
  return "\u00d71E" + std::to_string(axis.exponent) + " ";
}

std::string fixed(double value, int32_t decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  std::string result = text;
  if (result.find_first_not_of("-0.") == std::string::npos && result[0] == '-') {
    result.erase(0, 1);  // no "-0.00"
  }
  return result;
}

std::string exact(float value) { return shortest(value); }

const char* plane_colour(std::string_view quantity) {
  const QuantityWord* word = quantity_word(quantity);
  return word != nullptr ? word->colour : Y_PLANE_COLOUR;
}

std::string escape_xml(const std::string& text) { return escape_html(text); }

}  // namespace kelmarino
