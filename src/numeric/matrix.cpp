// Matrix kernels. Element (i, j) of an r-row matrix is at (j-1)*r + (i-1) of its run.
#include <cmath>

#include "numeric/numeric.hpp"

namespace kelmarino {
namespace {

template <typename Real>
inline Real& at(Real* M, int32_t rows, int32_t i, int32_t j) {
  return M[(j - 1) * rows + (i - 1)];
}
template <typename Real>
inline Real at(const Real* M, int32_t rows, int32_t i, int32_t j) {
  return M[(j - 1) * rows + (i - 1)];
}

template <typename Real>
void multiply(int32_t l, int32_t m, int32_t n, const Real* A, const Real* B, Real* C) {
  for (int32_t i = 1; i <= l; ++i) {
    for (int32_t j = 1; j <= n; ++j) {
      Real sum = Real(0);  // summed in a register, in the same order as in C itself
      for (int32_t k = 1; k <= m; ++k) sum = sum + at(A, l, i, k) * at(B, m, k, j);
      at(C, l, i, j) = sum;
    }
  }
}

// multiply for sizes known when compiled: the column j of C is summed for all its rows side by
// side, each element over k in the same order as above.
template <int32_t l, int32_t m, int32_t n, typename Real>
void multiply_sized(const Real* A, const Real* B, Real* C) {
  for (int32_t j = 1; j <= n; ++j) {
    Real sum[l] = {};
    for (int32_t k = 1; k <= m; ++k) {
      for (int32_t i = 1; i <= l; ++i) sum[i - 1] = sum[i - 1] + at(A, l, i, k) * at(B, m, k, j);
    }
    for (int32_t i = 1; i <= l; ++i) at(C, l, i, j) = sum[i - 1];
  }
}

// The products of 6x6 matrices and of a 6x6 matrix and a vector, the sizes of the cap's
// transformations, take the sized multiply.
template <typename Real>
void multiply_any(int32_t l, int32_t m, int32_t n, const Real* A, const Real* B, Real* C) {
  if (l == 6 && m == 6 && n == 6) return multiply_sized<6, 6, 6>(A, B, C);
  if (l == 6 && m == 6 && n == 1) return multiply_sized<6, 6, 1>(A, B, C);
  multiply(l, m, n, A, B, C);
}

}  // namespace

void matrix_product(int32_t l, int32_t m, int32_t n, const float* A, const float* B, float* C) {
  multiply_any(l, m, n, A, B, C);
}

void transpose(int32_t m, int32_t n, const float* A, float* B) {
  for (int32_t i = 1; i <= m; ++i) {
    for (int32_t j = 1; j <= n; ++j) at(B, n, j, i) = at(A, m, i, j);
  }
}

}  // namespace kelmarino
