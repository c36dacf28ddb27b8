// Matrix kernels. Element (i, j) of an r-row matrix is at (j-1)*r + (i-1) of its run. The
// kernels are written once for the working precision Real: float for the design's procedures,
// double for the below-ground transfer matrices, whose intermediates are held at higher precision.
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
void exchange_rows(Real* M, int32_t n, int32_t r1, int32_t r2) {
  for (int32_t j = 1; j <= n; ++j) {
    const Real t = at(M, n, r1, j);
    at(M, n, r1, j) = at(M, n, r2, j);
    at(M, n, r2, j) = t;
  }
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

// MATINV's scale, identity and forward elimination; false (with error = 100) on a small pivot.
template <typename Real>
bool eliminate(Real* A, int32_t n, Real* B, int32_t& error) {
  const Real small_pivot = static_cast<Real>(1e-12);  // 1e-12f in single precision
  Real s = Real(0);
  for (int32_t i = 1; i <= n; ++i) {
    s = s + std::fabs(at(A, n, i, i));
    for (int32_t j = 1; j <= n; ++j) at(B, n, i, j) = Real(0);
    at(B, n, i, i) = Real(1);
  }
  s = s / static_cast<Real>(n);
  for (int32_t k = 1; k <= n - 1; ++k) {
    for (int32_t i = k + 1; i <= n; ++i) {
      if (!(std::fabs(at(A, n, k, k) / s) >= small_pivot)) {
        error = 100;
        return false;
      }
      const Real f = at(A, n, i, k) / at(A, n, k, k);
      for (int32_t j = k; j <= n; ++j) at(A, n, i, j) = at(A, n, i, j) - at(A, n, k, j) * f;
      for (int32_t j = 1; j <= n; ++j) at(B, n, i, j) = at(B, n, i, j) - at(B, n, k, j) * f;
    }
  }
  return true;
}

// MATINV's back substitution on the reduced A.
template <typename Real>
void back_substitute(const Real* A, int32_t n, Real* B) {
  for (int32_t j = 1; j <= n; ++j) at(B, n, n, j) = at(B, n, n, j) / at(A, n, n, n);
  for (int32_t k = n; k >= 2; --k) {
    for (int32_t j = 1; j <= n; ++j) {
      for (int32_t i = 1; i <= k - 1; ++i) {
        at(B, n, i, j) = at(B, n, i, j) - at(A, n, i, k) * at(B, n, k, j);
      }
      at(B, n, k - 1, j) = at(B, n, k - 1, j) / at(A, n, k - 1, k - 1);
    }
  }
}

// Gauss-Jordan inversion with partial pivoting; false when a pivot column holds only zeros.
template <typename Real>
bool pivoted_inverse(const Real* A_in, int32_t n, Real* B) {
  Real A[36];
  for (int32_t e = 0; e < n * n; ++e) A[e] = A_in[e];
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t j = 1; j <= n; ++j) at(B, n, i, j) = i == j ? Real(1) : Real(0);
  }
  for (int32_t k = 1; k <= n; ++k) {
    int32_t p = k;
    for (int32_t i = k + 1; i <= n; ++i) {
      if (std::fabs(at(A, n, i, k)) > std::fabs(at(A, n, p, k))) p = i;
    }
    if (at(A, n, p, k) == Real(0)) return false;
    exchange_rows(A, n, k, p);
    exchange_rows(B, n, k, p);
    const Real pivot = at(A, n, k, k);
    for (int32_t j = 1; j <= n; ++j) {
      at(A, n, k, j) = at(A, n, k, j) / pivot;
      at(B, n, k, j) = at(B, n, k, j) / pivot;
    }
    for (int32_t i = 1; i <= n; ++i) {
      if (i == k) continue;
      const Real f = at(A, n, i, k);
      for (int32_t j = 1; j <= n; ++j) {
        at(A, n, i, j) = at(A, n, i, j) - f * at(A, n, k, j);
        at(B, n, i, j) = at(B, n, i, j) - f * at(B, n, k, j);
      }
    }
  }
  return true;
}

template <typename Real>
void checked_inverse(const Real* A, int32_t n, Real* B, const char* what) {
  // A matrix of zeros would end in MATINV's 0/0 of a zero scale; name it for what it is.
  bool all_zero = true;
  for (int32_t e = 0; e < n * n; ++e) all_zero = all_zero && A[e] == Real(0);
  if (all_zero) raise_fault(what);
  // MATINV first, on a copy. When its pivot test gives up, or when the last pivot, which it
  // never tests, is zero, the original matrix is inverted again with row exchanges.
  Real work[36];
  for (int32_t e = 0; e < n * n; ++e) work[e] = A[e];
  int32_t error = 0;
  if (eliminate(work, n, B, error) && work[n * n - 1] != Real(0)) {
    back_substitute(work, n, B);
    return;
  }
  if (!pivoted_inverse(A, n, B)) raise_fault(what);
}

}  // namespace

void MATMUL(int32_t l, int32_t m, int32_t n, const float* A, const float* B, float* C) {
  multiply_any(l, m, n, A, B, C);
}

void MATMUL(int32_t l, int32_t m, int32_t n, const double* A, const double* B, double* C) {
  multiply_any(l, m, n, A, B, C);
}

void TRANSPOSE(int32_t m, int32_t n, const float* A, float* B) {
  for (int32_t i = 1; i <= m; ++i) {
    for (int32_t j = 1; j <= n; ++j) at(B, n, j, i) = at(A, m, i, j);
  }
}

void MATINV(float* A, int32_t n, float* B, int32_t& error) {
  if (eliminate(A, n, B, error)) back_substitute(A, n, B);
}

bool invert_with_pivoting(const float* A, int32_t n, float* B) { return pivoted_inverse(A, n, B); }

void invert_block(const float* A, int32_t n, float* B, const char* what) {
  checked_inverse(A, n, B, what);
}

void invert_block(const double* A, int32_t n, double* B, const char* what) {
  checked_inverse(A, n, B, what);
}

}  // namespace kelmarino
