// The rotation between pile axes and cap axes, and the offset between the cap centre and a point.
#include <algorithm>
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

std::vector<CapPoint> cap_points(int32_t PNUM, int32_t SNUM, const PileData& piles) {
  std::vector<CapPoint> points(static_cast<size_t>(PNUM + SNUM));
  Matrix6 T;
  for (int32_t g = 1; g <= PNUM; ++g) {
    CapPoint& at = points[static_cast<size_t>(g - 1)];
    at.x = piles.PXY(g, 1);
    at.y = piles.PXY(g, 2);
    axis_rotation(piles.AGL(g, 1), piles.AGL(g, 2), piles.AGL(g, 3), T);
    for (int32_t i = 0; i < 3; ++i) {
      for (int32_t j = 0; j < 3; ++j) at.R[i][j] = T(i + 1, j + 1);
    }
  }
  for (int32_t j = 1; j <= SNUM; ++j) {
    CapPoint& at = points[static_cast<size_t>(PNUM + j - 1)];
    at.x = piles.SXY(j, 1);
    at.y = piles.SXY(j, 2);
  }
  return points;
}

Equilibrium cap_equilibrium(std::span<const CapPoint> points, std::span<const float* const> forces,
                            const float (&applied)[6]) {
  double sum[6] = {};
  for (size_t p = 0; p < points.size(); ++p) {
    const CapPoint& at = points[p];
    const float* F = forces[p];
    double f[6] = {};  // in cap axes at the point
    for (int32_t i = 0; i < 3; ++i) {
      for (int32_t j = 0; j < 3; ++j) {
        const auto r = static_cast<double>(at.R[i][j]);
        f[i] += r * static_cast<double>(F[j]);
        f[i + 3] += r * static_cast<double>(F[j + 3]);
      }
    }
    // Moved from (x, y, 0) to the centre: the transpose of offset_matrix.
    const auto x = static_cast<double>(at.x);
    const auto y = static_cast<double>(at.y);
    sum[0] += f[0];
    sum[1] += f[1];
    sum[2] += f[2];
    sum[3] += f[3] + y * f[2];
    sum[4] += f[4] - x * f[2];
    sum[5] += f[5] - y * f[0] + x * f[1];
  }
  Equilibrium e;
  double largest = 0.0;
  double difference = 0.0;
  for (int32_t i = 0; i < 6; ++i) {
    e.applied[i] = applied[i];
    e.resisted[i] = static_cast<float>(sum[i]);
    largest = std::max(largest, std::fabs(static_cast<double>(applied[i])));
    difference = std::max(difference, std::fabs(static_cast<double>(applied[i]) - sum[i]));
  }
  e.residual = static_cast<float>(largest > 0.0 ? difference / largest : difference);
  return e;
}

}  // namespace kelmarino
