#pragma once
// Numerical kernels: small dense matrices (column-major single-precision runs with their exact
// shape passed alongside), the real power, and the section properties of a pile segment.
#include <cmath>
#include <cstdint>

#include "faults/faults.hpp"
#include "model/model.hpp"

namespace kelmarino {

// A matrix of R rows and C columns, indexed from 1, stored column by column.
template <int32_t R, int32_t C>
using Matrix = Table<float, R, C>;
using Matrix2 = Matrix<2, 2>;
using Matrix4 = Matrix<4, 4>;
using Matrix6 = Matrix<6, 6>;

// matrix_product: C (l x n) = A (l x m) . B (m x n); each element summed over k in order from 1.
void matrix_product(int32_t l, int32_t m, int32_t n, const float* A, const float* B, float* C);
// transpose: B (n x m) = the transpose of A (m x n).
void transpose(int32_t m, int32_t n, const float* A, float* B);

// A double rounded once to single precision. A value beyond the single-precision range ends in the
// overflow of a single-precision product, so that it is flagged as every overflow is.
inline float rounded(double value) {
  constexpr double LARGEST = 3.4028234663852886e38;  // the largest single-precision real
  if (std::fabs(value) <= LARGEST) return static_cast<float>(value);
  return static_cast<float>(std::copysign(LARGEST, value)) * 2.0f;
}

// x raised to a real exponent: x*x for the exponent 2, the library power otherwise.
float real_power(float x, float exponent);

// section_properties: area A and reduced second moment of area I of a circular (KSH = 0) or square
// (any other KSH) segment of diameter or side d, with pi taken as 3.142.
void section_properties(int32_t KSH, float PKE, float d, float& A, float& I);

// A real truncated toward zero; a value outside the integers is an invalid operation.
int32_t truncate_to_integer(float value);

}  // namespace kelmarino
