// The rotation between pile axes and cap axes, and the offset between the cap centre and a point.
#include <cmath>

#include "foundation/foundation.hpp"

namespace kelmarino {

void axis_rotation(float a, float b, float c, Matrix6& T) {
  const float t = std::sqrt(real_power(c, 2.0f) + real_power(b, 2.0f));
  float R[3][3] = {{t, 0.0f, a}, {-(a * b) / t, c / t, b}, {-(a * c) / t, -b / t, c}};
  T = Matrix6{};
  for (int32_t i = 1; i <= 3; ++i) {
    for (int32_t j = 1; j <= 3; ++j) {
      T(i, j) = R[i - 1][j - 1];
      T(i + 3, j + 3) = R[i - 1][j - 1];
    }
  }
}

void offset_matrix(float x, float y, Matrix6& D) {
  D = Matrix6{};
  for (int32_t i = 1; i <= 6; ++i) D(i, i) = 1.0f;
  D(1, 6) = -y;
  D(2, 6) = x;
  D(3, 4) = y;
  D(3, 5) = -x;
}

}  // namespace kelmarino
