// Ew.d and Iw fields: every float of the reference table, with its exact E12.4, E14.4 and E16.4
// fields, and an independent check of the digits on random floats and on whole binades.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <vector>

#include "layout/fields.hpp"
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
  std::string text(static_cast<size_t>(w), ' ');
  put_i(text.data(), value, w);
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
// of them decide the rounding half up. The field is w columns wide (d + 8 unless told).
std::string expected_e(float value, int32_t d, int32_t w = 0) {
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
  return std::string(static_cast<size_t>(w > 0 ? w : d + 8) - text.size(), ' ') + text;
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

// Every field the layouts use (E11.4 to E16.4), the longest digit count of the 64-bit scaling
// (d = 8) and the first beyond it (d = 9), on whole binades stepped by a prime stride: around
// 1e-3 to 1e3, where the station values lie, and at both ends of the 64-bit scaling; on powers of
// ten and their neighbours, ties, subnormals and the ends of the float range.
TEST(EFormat, AgreesWithExactDigitsOverWholeBinades) {
  const struct {
    const char* name;
    float first;
    float last;
    uint32_t stride;  // in units in the last place
  } ranges[] = {
      {"2^-10 to 2^10", 0x1p-10f, 0x1p10f, 7919},
      {"the small end of the 64-bit scaling", 0x1p-100f, 0x1p-60f, 104729},
      {"the large end of the 64-bit scaling", 0x1p55f, 0x1p85f, 104729},
      {"the smallest subnormals", std::bit_cast<float>(1u), std::bit_cast<float>(4000u), 1},
      {"subnormals to the smallest normal", 0x1p-140f, 0x1p-126f, 7919},
      {"the largest floats", 0x1p127f, std::numeric_limits<float>::max(), 7919},
  };
  std::vector<float> values;
  for (const auto& range : ranges) {
    const uint32_t last = std::bit_cast<uint32_t>(range.last);
    for (uint32_t bits = std::bit_cast<uint32_t>(range.first); bits <= last; bits += range.stride) {
      values.push_back(std::bit_cast<float>(bits));
    }
    values.push_back(range.last);
  }
  for (int32_t e = -45; e <= 38; ++e) {  // the floats nearest 10^e and their neighbours
    const auto power = static_cast<float>(std::pow(10.0L, e));
    values.insert(values.end(),
                  {std::nextafter(power, 0.0f), power, std::nextafter(power, INFINITY)});
  }
  for (int32_t j = 1; j <= 20; ++j) {  // n / 2^j ends in 5: ties at every digit count
    for (int32_t n = 1; n < 1000; n += 2) values.push_back(std::ldexp(static_cast<float>(n), -j));
  }
  for (const float value : values) {
    for (const float signed_value : {value, -value}) {
      for (const int32_t w : {11, 12, 14, 16}) {
        ASSERT_EQ(field_e(signed_value, w, 4), expected_e(signed_value, 4, w))
            << std::hexfloat << signed_value << " E" << w << ".4";
      }
      for (const int32_t d : {8, 9}) {
        ASSERT_EQ(field_e(signed_value, d + 8, d), expected_e(signed_value, d))
            << std::hexfloat << signed_value << " E" << d + 8 << "." << d;
      }
    }
  }
}

}  // namespace
}  // namespace kelmarino
