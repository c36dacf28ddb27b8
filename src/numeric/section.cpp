// The real power, section properties and real-to-integer truncation.
#include <cmath>

#include "numeric/numeric.hpp"

namespace kelmarino {

float real_power(float x, float exponent) {
  if (exponent == 2.0f) return x * x;
  return std::pow(x, exponent);
}

void section_properties(int32_t KSH, float PKE, float d, float& A, float& I) {
  const float d2 = d * d;
  const float d4 = d2 * d2;
  if (KSH == 0) {
    A = d2 * 3.142f / 4.0f;
    I = d4 * PKE * 3.142f / 64.0f;
  } else {
    A = d2;
    I = d4 * PKE / 12.0f;
  }
}

int32_t truncate_to_integer(float value) {
  if (!(value > -2147483904.0f && value < 2147483648.0f)) {
    raise_fault("invalid operation (a real too large to be truncated to an integer)");
  }
  return static_cast<int32_t>(value);
}

}  // namespace kelmarino
