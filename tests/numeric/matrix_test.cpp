// Matrix kernels and section properties: products, transposes, the unpivoted inverse with its
// failure code, the pivoted inversion used when that one gives up, and the section of a segment.
// Expected values are worked by hand (small integer or power-of-two entries, exact in floats).
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "model/run_error.hpp"
#include "numeric/numeric.hpp"

namespace kelmarino {
namespace {

// An r x c matrix written row by row, stored column by column as the kernels take it.
std::vector<float> by_rows(int32_t r, int32_t c, std::initializer_list<float> values) {
  std::vector<float> m(static_cast<size_t>(r * c));
  auto it = values.begin();
  for (int32_t i = 0; i < r; ++i) {
    for (int32_t j = 0; j < c; ++j) m[static_cast<size_t>(j * r + i)] = *it++;
  }
  return m;
}

void expect_close(const std::vector<float>& actual, const std::vector<float>& expected,
                  double relative) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t e = 0; e < actual.size(); ++e) {
    const double want = static_cast<double>(expected[e]);
    EXPECT_NEAR(static_cast<double>(actual[e]), want, relative * std::fabs(want) + 1e-7)
        << "element " << e << " (column-major)";
  }
}

TEST(Matmul, FormsProductsOfEveryShapeInUse) {
  struct Case {
    const char* name;
    int32_t l, m, n;
    std::vector<float> A, B, C;
  } cases[] = {
      {"outer product of a column and a row", 3, 1, 2, by_rows(3, 1, {1, 2, 3}),
       by_rows(1, 2, {4, 5}), by_rows(3, 2, {4, 5, 8, 10, 12, 15})},
      {"matrix times vector", 2, 3, 1, by_rows(2, 3, {1, 2, 3, 4, 5, 6}), by_rows(3, 1, {1, 2, 3}),
       by_rows(2, 1, {14, 32})},
      {"2x2 by 2x2", 2, 2, 2, by_rows(2, 2, {1, 2, 3, 4}), by_rows(2, 2, {5, 6, 7, 8}),
       by_rows(2, 2, {19, 22, 43, 50})},
      {"2x3 by 3x2", 2, 3, 2, by_rows(2, 3, {1, 2, 3, 4, 5, 6}),
       by_rows(3, 2, {7, 8, 9, 10, 11, 12}), by_rows(2, 2, {58, 64, 139, 154})},
      // The running sum is stored after each product: 1 + 1e-8 rounds to 1, so the 1e-8 is lost.
      {"running sum rounded after every product", 1, 3, 1, by_rows(1, 3, {1, 1e-8f, -1}),
       by_rows(3, 1, {1, 1, 1}), by_rows(1, 1, {0})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<float> C(c.C.size(), -99.0f);
    MATMUL(c.l, c.m, c.n, c.A.data(), c.B.data(), C.data());
    EXPECT_EQ(C, c.C);
  }
}

TEST(Transpose, SwapsRowsAndColumnsOfARectangle) {
  const std::vector<float> A = by_rows(2, 3, {1, 2, 3, 4, 5, 6});
  std::vector<float> B(6, -99.0f);
  TRANSPOSE(2, 3, A.data(), B.data());
  EXPECT_EQ(B, by_rows(3, 2, {1, 4, 2, 5, 3, 6}));
}

TEST(Matinv, InvertsOrReportsASmallPivot) {
  const int32_t UNTOUCHED = -1;
  struct Case {
    const char* name;
    int32_t n;
    std::vector<float> A;
    int32_t error;  // UNTOUCHED: success leaves the caller's variable alone
    std::vector<float> B;
  } cases[] = {
      {"diagonal 2, 8 (mean diagonal 5)", 2, by_rows(2, 2, {2, 0, 0, 8}), UNTOUCHED,
       by_rows(2, 2, {0.5f, 0, 0, 0.125f})},
      {"full 2x2", 2, by_rows(2, 2, {2, 1, 1, 3}), UNTOUCHED,
       by_rows(2, 2, {0.6f, -0.2f, -0.2f, 0.4f})},
      // det 94; the inverse is the adjugate over 94.
      {"full 3x3", 3, by_rows(3, 3, {4, 1, 2, 1, 5, 1, 2, 1, 6}), UNTOUCHED,
       by_rows(3, 3,
               {29.0f / 94, -4.0f / 94, -9.0f / 94, -4.0f / 94, 20.0f / 94, -2.0f / 94, -9.0f / 94,
                -2.0f / 94, 19.0f / 94})},
      {"n = 1", 1, {4}, UNTOUCHED, {0.25f}},
      {"regular matrix with a zero first pivot", 2, by_rows(2, 2, {0, 1, 1, 1}), 100,
       by_rows(2, 2, {1, 0, 0, 1})},
      // Mean diagonal 1: the test is |pivot| / 1 against 1e-12.
      {"first pivot 1e-13 of the mean diagonal", 2, by_rows(2, 2, {1e-13f, 0, 0, 2}), 100,
       by_rows(2, 2, {1, 0, 0, 1})},
      {"first pivot twice the limit", 2, by_rows(2, 2, {2e-12f, 0, 0, 2}), UNTOUCHED,
       by_rows(2, 2, {5e11f, 0, 0, 0.5f})},
      {"negative first pivot twice the limit", 2, by_rows(2, 2, {-2e-12f, 0, 0, 2}), UNTOUCHED,
       by_rows(2, 2, {-5e11f, 0, 0, 0.5f})},
      // Mean diagonal 1000: the limit is relative, so 1e-10 fails and 2e-9 passes.
      {"pivot small against a large diagonal", 2, by_rows(2, 2, {1e-10f, 0, 0, 2000}), 100,
       by_rows(2, 2, {1, 0, 0, 1})},
      {"pivot twice the limit of a large diagonal", 2, by_rows(2, 2, {2e-9f, 0, 0, 2000}),
       UNTOUCHED, by_rows(2, 2, {5e8f, 0, 0, 5e-4f})},
      {"tiny last pivot is never tested", 2, by_rows(2, 2, {1, 0, 0, 1e-20f}), UNTOUCHED,
       by_rows(2, 2, {1, 0, 0, 1e20f})},
      // Step k = 1 subtracts row 1 from row 2, then the second pivot is zero: B keeps that step.
      {"failure at the second pivot", 3, by_rows(3, 3, {1, 1, 0, 1, 1, 1, 0, 1, 1}), 100,
       by_rows(3, 3, {1, 0, 0, -1, 1, 0, 0, 0, 1})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<float> A = c.A;
    std::vector<float> B(c.B.size(), -99.0f);
    int32_t error = UNTOUCHED;
    MATINV(A.data(), c.n, B.data(), error);
    EXPECT_EQ(error, c.error);
    expect_close(B, c.B, 1e-6);
  }
}

TEST(Matinv, LeavesTheReducedUpperTriangleInA) {
  std::vector<float> A = by_rows(2, 2, {2, 1, 1, 3});
  std::vector<float> B(4);
  int32_t error = 0;
  MATINV(A.data(), 2, B.data(), error);
  // Row 2 minus half of row 1: the pivots 2 and 2.5 stay on the diagonal, row 1 is unchanged.
  EXPECT_EQ(A[0], 2.0f);
  EXPECT_EQ(A[2], 1.0f);
  EXPECT_EQ(A[3], 2.5f);
}

// Inverses of the matrices that the unpivoted elimination cannot handle; all entries exact.
struct PivotedCase {
  const char* name;
  int32_t n;
  std::vector<float> A, B;
};

const std::vector<PivotedCase>& pivoted_cases() {
  static const std::vector<PivotedCase> cases = {
      {"zero first pivot", 2, by_rows(2, 2, {0, 1, 1, 1}), by_rows(2, 2, {-1, 1, 1, 0})},
      {"zero first pivot, rows of different size", 2, by_rows(2, 2, {0, 2, 4, 1}),
       by_rows(2, 2, {-0.125f, 0.25f, 0.5f, 0})},
      // det -1; the inverse is minus the adjugate.
      {"zero second pivot after elimination", 3, by_rows(3, 3, {1, 1, 0, 1, 1, 1, 0, 1, 1}),
       by_rows(3, 3, {0, 1, -1, 1, -1, 1, -1, 1, 0})},
      {"scaled reversal of order 4", 4,
       by_rows(4, 4, {0, 0, 0, 2, 0, 0, 4, 0, 0, 8, 0, 0, 0.5f, 0, 0, 0}),
       by_rows(4, 4, {0, 0, 0, 2, 0, 0, 0.125f, 0, 0, 0.25f, 0, 0, 0.5f, 0, 0, 0})},
  };
  return cases;
}

TEST(InvertWithPivoting, InvertsMatricesWithZeroPivots) {
  for (const PivotedCase& c : pivoted_cases()) {
    SCOPED_TRACE(c.name);
    std::vector<float> B(c.B.size(), -99.0f);
    EXPECT_TRUE(invert_with_pivoting(c.A.data(), c.n, B.data()));
    EXPECT_EQ(B, c.B);
  }
}

TEST(InvertWithPivoting, ReportsASingularMatrix) {
  const std::vector<float> cases[] = {by_rows(2, 2, {1, 2, 2, 4}), by_rows(2, 2, {0, 0, 0, 0}),
                                      by_rows(3, 3, {1, 2, 3, 2, 4, 6, 0, 1, 1})};
  for (const std::vector<float>& A : cases) {
    const int32_t n = A.size() == 4 ? 2 : 3;
    std::vector<float> B(A.size());
    EXPECT_FALSE(invert_with_pivoting(A.data(), n, B.data()));
  }
}

TEST(InvertBlock, RegularMatrixGivesTheUnpivotedInverseBitForBit) {
  const std::vector<float> A =
      by_rows(4, 4, {4, 1, 2, 0.5f, 1, 5, 1, 0.3f, 2, 1, 6, 0.7f, 0.1f, 0.2f, 0.3f, 3});
  std::vector<float> work = A;
  std::vector<float> expected(16);
  int32_t error = 0;
  MATINV(work.data(), 4, expected.data(), error);
  ASSERT_EQ(error, 0);

  std::vector<float> B(16, -99.0f);
  const std::vector<float> original = A;
  invert_block(A.data(), 4, B.data(), "test block");
  EXPECT_EQ(std::memcmp(B.data(), expected.data(), sizeof(float) * 16), 0);
  EXPECT_EQ(A, original);
}

TEST(InvertBlock, FallsBackToPivotingOnTheOriginalMatrix) {
  // The case failing at the second pivot shows that the fallback starts again from the matrix
  // as given, not from what the unpivoted elimination left.
  for (const PivotedCase& c : pivoted_cases()) {
    SCOPED_TRACE(c.name);
    std::vector<float> B(c.B.size(), -99.0f);
    invert_block(c.A.data(), c.n, B.data(), "test block");
    EXPECT_EQ(B, c.B);
  }
}

TEST(InvertBlock, SingularMatrixEndsTheRunNamingTheBlock) {
  // A zero first column: the unpivoted elimination gives up and no row offers a pivot either.
  const std::vector<float> A = by_rows(2, 2, {0, 1, 0, 2});
  std::vector<float> B(4);
  try {
    invert_block(A.data(), 2, B.data(), "singular test block");
    FAIL() << "no run-time error";
  } catch (const RunError& e) {
    const std::string message = e.what();
    EXPECT_EQ(message.rfind("run-time error ", 0), 0u) << message;
    EXPECT_NE(message.find("singular test block"), std::string::npos) << message;
  }
}

TEST(InvertBlock, InDoublePrecisionFallsBackAndRefusesASingularMatrixAlike) {
  const auto widened = [](const std::vector<float>& m) {
    std::vector<double> w;
    for (const float v : m) w.push_back(static_cast<double>(v));
    return w;
  };
  for (const PivotedCase& c : pivoted_cases()) {
    SCOPED_TRACE(c.name);
    std::vector<double> B(c.B.size(), -99.0);
    invert_block(widened(c.A).data(), c.n, B.data(), "test block");
    EXPECT_EQ(B, widened(c.B));
  }
  std::vector<double> B(4);
  EXPECT_THROW(invert_block(widened(by_rows(2, 2, {0, 1, 0, 2})).data(), 2, B.data(), "block"),
               RunError);
}

TEST(Secprop, GivesAreaAndReducedSecondMoment) {
  struct Case {
    int32_t KSH;
    float PKE, d, A, I;
  } cases[] = {
      {0, 1.0f, 1.0f, 0.7855f, 0.04909375f},  // 3.142 / 4 and 3.142 / 64
      {0, 0.8f, 2.0f, 3.142f, 0.6284f},       // 16 . 0.8 . 3.142 / 64
      {0, 0.0f, 1.0f, 0.7855f, 0.0f},         // the reduction factor never touches the area
      {1, 1.0f, 1.0f, 1.0f, 1.0f / 12},
      {1, 0.5f, 2.0f, 4.0f, 8.0f / 12},
      {1, 0.0f, 1.0f, 1.0f, 0.0f},
      {2, 1.0f, 1.0f, 1.0f, 1.0f / 12},  // every non-zero code is square
      {-3, 1.0f, 1.0f, 1.0f, 1.0f / 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "KSH " << c.KSH << ", PKE " << c.PKE << ", d " << c.d);
    float A = -1.0f;
    float I = -1.0f;
    SECPROP(c.KSH, c.PKE, c.d, A, I);
    EXPECT_FLOAT_EQ(A, c.A);
    EXPECT_FLOAT_EQ(I, c.I);
  }
}

TEST(RealPower, ExponentTwoIsTheProductExactly) {
  const float values[] = {0.0f, 1.0f, -1.0f, 0.1f, 0.3f, 1.7f, -2.3f, 3.14159f, 1e-3f, 123.456f};
  for (float x : values) {
    EXPECT_EQ(std::bit_cast<uint32_t>(real_power(x, 2.0f)), std::bit_cast<uint32_t>(x * x)) << x;
  }
  EXPECT_EQ(real_power(-2.0f, 3.0f), -8.0f);
  EXPECT_NEAR(static_cast<double>(real_power(32.0f, 0.2f)), 2.0, 1e-5);  // the fifth root
}

}  // namespace
}  // namespace kelmarino
