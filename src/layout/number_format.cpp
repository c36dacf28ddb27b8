// Iw and Ew.d fields. An Ew.d field shows the exact decimal value of a single-precision number,
// rounded half up on digit d+1: printf's rounding (to nearest, ties to even, on the exact value)
// is not used, so that ties such as 1.0625 give .1063E+01.
#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "layout/layout.hpp"

namespace kelmarino {
namespace {

__extension__ typedef unsigned __int128 uint128;

constexpr int32_t MAX_FAST_DIGITS = 9;     // leading digits that fit the integer scaling below
constexpr int32_t MAX_POWER_OF_FIVE = 55;  // 5^55 < 2^128

// Powers of five and ten as 128-bit integers.
struct Powers {
  uint128 five[MAX_POWER_OF_FIVE + 1];
  uint64_t ten[MAX_FAST_DIGITS + 1];
  constexpr Powers() : five{}, ten{} {
    five[0] = 1;
    for (int32_t i = 1; i <= MAX_POWER_OF_FIVE; ++i) five[i] = five[i - 1] * 5;
    ten[0] = 1;
    for (int32_t i = 1; i <= MAX_FAST_DIGITS; ++i) ten[i] = ten[i - 1] * 10;
  }
};
constexpr Powers POWERS;

// 10^e in double precision for e from -60 to 59: exact up to 10^22, close elsewhere; only a guess
// of a decimal exponent is taken from it.
struct DecimalScale {
  double at[120];
  constexpr DecimalScale() : at{} {
    at[60] = 1.0;
    for (int32_t e = 1; e < 60; ++e) at[60 + e] = at[59 + e] * 10.0;
    for (int32_t e = 1; e <= 60; ++e) at[60 - e] = at[61 - e] / 10.0;
  }
  double operator()(int32_t e) const { return at[60 + e]; }
};
constexpr DecimalScale DECIMAL_SCALE;

// "00" to "99", two characters each.
struct TwoDigits {
  char at[200];
  constexpr TwoDigits() : at{} {
    for (int32_t n = 0; n < 100; ++n) {
      at[2 * n] = static_cast<char>('0' + n / 10);
      at[2 * n + 1] = static_cast<char>('0' + n % 10);
    }
  }
};
constexpr TwoDigits TWO_DIGITS;

int32_t bit_length(uint128 n) {
  const auto high = static_cast<uint64_t>(n >> 64);
  if (high != 0) return 128 - std::countl_zero(high);
  return 64 - std::countl_zero(static_cast<uint64_t>(n));
}

// floor(m * 2^q * 10^k), exactly, when it can be formed in 128 bits.
bool scaled_floor(uint32_t m, int32_t q, int32_t k, uint128& result) {
  const Powers& p = POWERS;
  if (k >= 0) {  // m * 5^k * 2^(q+k)
    if (k > 44) return false;
    const uint128 n = static_cast<uint128>(m) * p.five[k];
    const int32_t shift = q + k;
    if (shift >= 0) {
      if (bit_length(n) + shift > 127) return false;
      result = n << shift;
    } else {
      result = -shift >= 128 ? 0 : n >> -shift;
    }
    return true;
  }
  const int32_t j = -k;  // m * 2^(q-j) / 5^j
  if (j > MAX_POWER_OF_FIVE) return false;
  const int32_t shift = q - j;
  if (shift >= 0) {
    if (32 + shift > 127) return false;
    const uint128 n = static_cast<uint128>(m) << shift;
    // A quotient of two 64-bit numbers in one machine division.
    if (n >> 64 == 0 && p.five[j] >> 64 == 0) {
      result = static_cast<uint64_t>(n) / static_cast<uint64_t>(p.five[j]);
    } else {
      result = n / p.five[j];
    }
  } else {
    if (bit_length(p.five[j]) - shift > 127) return false;
    result = static_cast<uint128>(m) / (p.five[j] << -shift);
  }
  return true;
}

// A positive finite float as m * 2^q with an integer m below 2^24.
void decompose(float value, uint32_t& m, int32_t& q) {
  const uint32_t bits = std::bit_cast<uint32_t>(value);
  const uint32_t biased = (bits >> 23) & 0xFFu;
  m = bits & 0x7FFFFFu;
  q = -149;
  if (biased != 0) {
    m |= 0x800000u;
    q = static_cast<int32_t>(biased) - 150;
  }
}

// All decimal digits of a positive finite float, exactly: value = 0.DIGITS x 10^exp10.
// The float is m * 2^q; for q < 0 it is m * 5^-q / 10^-q, formed in base 10^9 limbs.
int32_t exact_digits(float value, char* digits, int32_t& exp10) {
  uint32_t m = 0;
  int32_t q = 0;
  decompose(value, m, q);
  int32_t count = 0;
  if (q >= 0) {
    uint128 n = static_cast<uint128>(m) << q;
    char reversed[48];
    int32_t r = 0;
    while (n != 0) {
      reversed[r++] = static_cast<char>('0' + static_cast<int>(n % 10));
      n /= 10;
    }
    while (r > 0) digits[count++] = reversed[--r];
    exp10 = count;
    return count;
  }
  constexpr uint64_t BASE = 1000000000u;
  uint32_t limbs[16] = {m % static_cast<uint32_t>(BASE), m / static_cast<uint32_t>(BASE)};
  int32_t used = limbs[1] != 0 ? 2 : 1;
  for (int32_t left = -q; left > 0;) {
    const int32_t step = left < 13 ? left : 13;  // 5^13 < 2^32, limb * 5^13 < 2^64
    uint64_t factor = 1;
    for (int32_t i = 0; i < step; ++i) factor *= 5;
    uint64_t carry = 0;
    for (int32_t i = 0; i < used; ++i) {
      const uint64_t t = limbs[i] * factor + carry;
      limbs[i] = static_cast<uint32_t>(t % BASE);
      carry = t / BASE;
    }
    while (carry != 0) {
      limbs[used++] = static_cast<uint32_t>(carry % BASE);
      carry /= BASE;
    }
    left -= step;
  }
  char top[16];
  const auto top_end = std::to_chars(top, top + sizeof top, limbs[used - 1]).ptr;
  for (const char* c = top; c != top_end; ++c) digits[count++] = *c;
  for (int32_t i = used - 2; i >= 0; --i) {
    uint32_t limb = limbs[i];
    for (int32_t k = 8; k >= 0; --k) {
      digits[count + k] = static_cast<char>('0' + limb % 10);
      limb /= 10;
    }
    count += 9;
  }
  exp10 = count + q;
  return count;
}

// The first `count` digits of a positive finite float, truncated, by exact integer scaling:
// floor(value * 10^k) with k chosen so that it has `count` digits. Refuses (returns false) for
// the few values whose scaling does not fit 128 bits; the full expansion decides them.
bool fast_leading_digits(float value, int32_t count, char* digits, int32_t& exp10) {
  if (count > MAX_FAST_DIGITS) return false;
  uint32_t m = 0;
  int32_t q = 0;
  decompose(value, m, q);
  // 2^(top-1) <= value < 2^top: the decimal exponent is that of 2^(top-1) or one more, told by
  // a comparison with the power of ten between them; the exact test below corrects a wrong guess.
  const int32_t below = q + 31 - std::countl_zero(m);
  int32_t e10 = (below * 78913 - (below < 0 ? 262143 : 0)) / 262144 + 1;
  if (static_cast<double>(value) >= DECIMAL_SCALE(e10)) ++e10;
  const Powers& p = POWERS;
  for (int32_t tries = 0; tries < 3; ++tries) {
    uint128 lead = 0;
    if (!scaled_floor(m, q, count - e10, lead)) return false;
    if (lead >= p.ten[count]) {
      ++e10;
    } else if (lead < p.ten[count - 1]) {
      --e10;
    } else {
      auto rest = static_cast<uint32_t>(lead);  // below 10^9
      int32_t i = count;
      for (; i >= 2; i -= 2) {
        std::memcpy(digits + i - 2, TWO_DIGITS.at + 2 * (rest % 100), 2);
        rest /= 100;
      }
      if (i == 1) digits[0] = static_cast<char>('0' + rest);
      exp10 = e10;
      return true;
    }
  }
  return false;
}

// The first `count` significant digits of a positive finite float, truncated, and the exponent
// of the form 0.d1 d2 ... x 10^exp10.
void leading_digits(float value, int32_t count, char* digits, int32_t& exp10) {
  if (fast_leading_digits(value, count, digits, exp10)) return;
  char all[128];
  const int32_t n = exact_digits(value, all, exp10);
  for (int32_t i = 0; i < count; ++i) digits[i] = i < n ? all[i] : '0';
}

void append_right_aligned(std::string& text, const char* field, int32_t length, int32_t w) {
  if (length > w) {
    text.append(static_cast<size_t>(w), '*');
    return;
  }
  text.append(static_cast<size_t>(w - length), ' ');
  text.append(field, static_cast<size_t>(length));
}

}  // namespace

void append_i(std::string& text, int32_t value, int32_t w) {
  char field[16];
  const auto end = std::to_chars(field, field + sizeof field, value).ptr;
  append_right_aligned(text, field, static_cast<int32_t>(end - field), w);
}

void append_e(std::string& text, float value, int32_t w, int32_t d) {
  if (!std::isfinite(value) || d < 1 || d > 100) {
    text.append(static_cast<size_t>(w), '*');
    return;
  }
  char digits[128];
  int32_t exp10 = 0;
  if (value == 0.0f) {
    std::memset(digits, '0', static_cast<size_t>(d + 1));
  } else {
    leading_digits(std::fabs(value), d + 1, digits, exp10);
  }
  // Round half up on digit d+1; a carry out of the first digit raises the exponent.
  if (digits[d] >= '5') {
    int32_t i = d - 1;
    while (i >= 0 && digits[i] == '9') digits[i--] = '0';
    if (i >= 0) {
      ++digits[i];
    } else {
      digits[0] = '1';
      ++exp10;
    }
  }
  // The field is written in place behind its leading blanks: no copy of the digits.
  const int32_t magnitude = exp10 < 0 ? -exp10 : exp10;
  const int32_t length = (value < 0.0f ? 1 : 0) + d + (magnitude >= 100 ? 6 : 5);
  if (length > w) {
    text.append(static_cast<size_t>(w), '*');
    return;
  }
  const size_t at = text.size();
  text.append(static_cast<size_t>(w), ' ');
  char* field = text.data() + at + (w - length);
  if (value < 0.0f) *field++ = '-';
  *field++ = '.';
  for (int32_t i = 0; i < d; ++i) *field++ = digits[i];
  *field++ = 'E';
  *field++ = exp10 < 0 ? '-' : '+';
  if (magnitude >= 100) *field++ = static_cast<char>('0' + magnitude / 100);
  *field++ = static_cast<char>('0' + magnitude / 10 % 10);
  *field = static_cast<char>('0' + magnitude % 10);
}

bool e_value(const std::string& number, float& value) {
  // Read in double precision, where neither a subnormal float nor the rounded maximum is out of
  // range, then rounded once to single precision.
  constexpr double LARGEST_PRINTED = 0.3403e39;
  char* end = nullptr;
  const double read = std::strtod(number.c_str(), &end);
  if (number.empty() || end != number.c_str() + number.size() || !std::isfinite(read) ||
      std::fabs(read) > LARGEST_PRINTED) {
    return false;
  }
  constexpr double MAX = static_cast<double>(std::numeric_limits<float>::max());
  value = static_cast<float>(std::clamp(read, -MAX, MAX));
  return true;
}

float e_rounded(float value, int32_t d) {
  if (!std::isfinite(value)) return value;
  std::string field;
  append_e(field, value, d + 7, d);  // a sign, the point, d digits and the exponent
  float read = value;
  e_value(field.substr(field.find_first_not_of(' ')), read);
  return read;
}

std::string shortest(float value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

}  // namespace kelmarino
