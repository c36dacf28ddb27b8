// Ew.d and Iw fields: every float of the reference table, with its exact E12.4, E14.4 and E16.4
// fields, and an independent check of the digits on random floats.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>

#include "layout/layout.hpp"
#include "support/test_support.hpp"

namespace kelmarino {
namespace {

std::string field_e(float value, int32_t w, int32_t d) {
  std::string text;
  append_e(text, value, w, d);
  return text;
}

std::string field_i(int32_t value, int32_t w) {
  std::string text;
  append_i(text, value, w);
  return text;
}

TEST(EFormat, MatchesEveryFieldOfTheReferenceTable) {
  std::ifstream table(testing::test_data_path("eformat.tsv"));
  ASSERT_TRUE(table.good());
  std::string line;
  int32_t rows = 0;
  while (std::getline(table, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string bits, e12, e14, e16;
    std::getline(fields, bits, '\t');
    std::getline(fields, e12, '\t');
    std::getline(fields, e14, '\t');
    std::getline(fields, e16, '\t');
    const float value = std::bit_cast<float>(static_cast<uint32_t>(std::stoul(bits, nullptr, 16)));
    ASSERT_EQ(field_e(value, 12, 4), e12) << bits;
    ASSERT_EQ(field_e(value, 14, 4), e14) << bits;
    ASSERT_EQ(field_e(value, 16, 4), e16) << bits;
    ++rows;
  }
  EXPECT_EQ(rows, 12234);
}

TEST(EFormat, WrittenExamples) {
  struct Case {
    float value;
    int32_t w;
    const char* field;
  } cases[] = {
      {12.5f, 12, "   .1250E+02"},
      {-12.5f, 12, "  -.1250E+02"},
      {0.0f, 12, "   .0000E+00"},
      {-0.0f, 12, "   .0000E+00"},
      {0.000123456f, 12, "   .1235E-03"},
      {99999.9f, 12, "   .1000E+06"},
      {9.99996f, 12, "   .1000E+02"},
      {1.0625f, 12, "   .1063E+01"},
      {-1.0625f, 12, "  -.1063E+01"},
      {12.5f, 14, "     .1250E+02"},
      {-12.5f, 16, "      -.1250E+02"},
      {1.0f, 9, ".1000E+01"},
      {-1.0f, 9, "*********"},
  };
  for (const Case& c : cases) EXPECT_EQ(field_e(c.value, c.w, 4), c.field) << c.value;
}

// The value a field reads back as: rounded half up on the printed digits, the carry raising the
// exponent, no sign for zero, the rounded float maximum as the maximum, a subnormal kept.
TEST(EFormat, RoundedValueIsWhatThePrintedFieldReadsBackAs) {
  const float MAX = std::numeric_limits<float>::max();
  const struct {
    float value;
    int32_t d;
    float read;
  } cases[] = {
      {1.0625f, 4, 1.063f}, {-1.0625f, 4, -1.063f},
      {9.99996f, 4, 10.0f}, {0.000123456f, 4, 1.235e-4f},
      {-0.0f, 4, 0.0f},     {MAX, 4, MAX},
      {-MAX, 4, -MAX},      {1.00791e-39f, 4, 1.008e-39f},
      {1.0625f, 2, 1.1f},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(std::bit_cast<uint32_t>(e_rounded(c.value, c.d)), std::bit_cast<uint32_t>(c.read))
        << c.value << " to " << c.d << " digits";
  }
  EXPECT_TRUE(std::isinf(e_rounded(INFINITY, 4)));
}

TEST(IFormat, RightAlignedOrAsterisks) {
  EXPECT_EQ(field_i(3, 5), "    3");
  EXPECT_EQ(field_i(-12, 5), "  -12");
  EXPECT_EQ(field_i(0, 2), " 0");
  EXPECT_EQ(field_i(100, 2), "**");
  EXPECT_EQ(field_i(-10, 2), "**");
  EXPECT_EQ(field_i(-2, 2), "-2");
}

// Independent digits: glibc prints the exact binary value with enough digits; the first d+1
// of them decide the rounding half up. The field is w = d + 8 wide.
std::string expected_e(float value, int32_t d) {
  const auto D = static_cast<size_t>(d);
  char exact[256];
  std::snprintf(exact, sizeof exact, "%.120e", static_cast<double>(std::fabs(value)));
  std::string digits(1, exact[0]);
  digits.append(exact + 2, D);
  int exponent = value == 0.0f ? 0 : std::atoi(std::strchr(exact, 'e') + 1) + 1;
  std::string kept = digits.substr(0, D);
  if (digits[D] >= '5') {
    int32_t i = d - 1;
    while (i >= 0 && kept[static_cast<size_t>(i)] == '9') kept[static_cast<size_t>(i--)] = '0';
    if (i >= 0) {
      ++kept[static_cast<size_t>(i)];
    } else {
      kept.assign(D, '0');
      kept[0] = '1';
      ++exponent;
    }
  }
  char field[64];
  std::snprintf(field, sizeof field, "%s.%sE%c%02d", value < 0.0f ? "-" : "", kept.c_str(),
                exponent < 0 ? '-' : '+', std::abs(exponent));
  std::string text = field;
  return std::string(D + 8 - text.size(), ' ') + text;
}

// Every digit count the writers use and both ends of the fast path (d + 1 = 9 digits, and 10).
TEST(EFormat, AgreesWithExactDigitsOnRandomFloats) {
  std::mt19937 random(20261207);
  for (const int32_t d : {1, 4, 5, 6, 7, 8, 9, 12}) {
    for (int32_t n = 0; n < 50000; ++n) {
      const uint32_t bits = static_cast<uint32_t>(random());
      const float value = std::bit_cast<float>(bits);
      if (!std::isfinite(value)) continue;
      ASSERT_EQ(field_e(value, d + 8, d), expected_e(value, d)) << std::hex << bits << " " << d;
    }
    // Values with few significant digits, whose scaled form is an integer: the exact path
    // decides, and ties round up.
    for (int32_t n = -3000; n <= 3000; ++n) {
      const float value = static_cast<float>(n) / 16.0f;
      ASSERT_EQ(field_e(value, d + 8, d), expected_e(value, d)) << value << " " << d;
    }
  }
}

}  // namespace
}  // namespace kelmarino
