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

#include "layout/fields.hpp"
#include "layout/layout.hpp"

namespace kelmarino {
namespace {

__extension__ typedef unsigned __int128 uint128;

constexpr int32_t MAX_FAST_DIGITS = 9;  // digits, the rounding one included, of the scaling below
constexpr int32_t MAX_FIVE = 27;        // 5^27 < 2^63
constexpr int32_t MAX_TEN = 19;         // 10^19 < 2^64
constexpr int32_t MAX_WORD_FIVE = 17;   // 2^24 * 5^17 < 2^64

// Powers of five and ten as 64-bit integers.
struct Powers {
  uint64_t five[MAX_FIVE + 1];
  uint64_t ten[MAX_TEN + 1];
  constexpr Powers() : five{}, ten{} {
    five[0] = 1;
    for (int32_t i = 1; i <= MAX_FIVE; ++i) five[i] = five[i - 1] * 5;
    ten[0] = 1;
    for (int32_t i = 1; i <= MAX_TEN; ++i) ten[i] = ten[i - 1] * 10;
  }
};
constexpr Powers POWERS;

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

// floor(m * 2^q * 10^k), exactly, when one 64 x 64-bit product or one 64-bit quotient forms it
// and it is below 2^64. With k up to MAX_WORD_FIVE, the product is one word.
bool scaled_floor(uint32_t m, int32_t q, int32_t k, uint64_t& result) {
  if (k < 0) {  // floor(floor(m * 2^q) / 10^-k)
    if (-k > MAX_TEN || q > 39) return false;
    const uint64_t whole = q >= 0 ? uint64_t{m} << q : (q > -32 ? m >> -q : 0);
    result = whole / POWERS.ten[-k];
    return true;
  }
  const int32_t shift = q + k;
  if (k <= MAX_WORD_FIVE && shift <= 0) {
    const uint64_t n = m * POWERS.five[k];  // m * 10^k / 2^k
    result = shift > -64 ? n >> -shift : 0;
    return true;
  }
  if (k > MAX_FIVE) return false;
  const uint128 n = static_cast<uint128>(m) * POWERS.five[k];  // below 2^87
  if (shift > 40) return false;
  const uint128 scaled = shift >= 0 ? n << shift : (shift > -128 ? n >> -shift : 0);
  if (scaled >> 64 != 0) return false;
  result = static_cast<uint64_t>(scaled);
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

// The `count` decimal digits of n < 10^count, leading zeros kept. Four, the usual count, are
// two pairs found at once.
void put_digits(uint32_t n, int32_t count, char* digits) {
  if (count == 4) {
    const uint32_t high = n / 100;
    std::memcpy(digits, TWO_DIGITS.at + 2 * high, 2);
    std::memcpy(digits + 2, TWO_DIGITS.at + 2 * (n - 100 * high), 2);
    return;
  }
  int32_t i = count;
  for (; i >= 2; i -= 2) {
    std::memcpy(digits + i - 2, TWO_DIGITS.at + 2 * (n % 100), 2);
    n /= 100;
  }
  if (i == 1) digits[0] = static_cast<char>('0' + n);
}

// The d digits of a positive finite float rounded half up on digit d+1, written at `digits`, and
// the exponent of the form 0.d1 d2 ... x 10^exp10, by exact integer scaling: a carry out of the
// first digit raises the exponent. Refuses (returns false) for the values whose scaling the
// 64-bit forms above do not cover; the exact route decides them.
bool fast_rounded_digits(float value, int32_t d, char* digits, int32_t& exp10) {
  if (d + 1 > MAX_FAST_DIGITS) return false;
  uint32_t m = 0;
  int32_t q = 0;
  decompose(value, m, q);
  // 2^below <= value < 2^(below+1), so 10^e <= value < 2 x 10^(e+1) with e = floor(below log10 2),
  // which the shift forms exactly for |below| < 1651: value x 10^(d-e) has d+1 or d+2 digits.
  const int32_t below = q + 31 - std::countl_zero(m);
  const int32_t e = (below * 78913) >> 18;
  uint64_t scaled = 0;
  if (!scaled_floor(m, q, d - e, scaled)) return false;
  // Half up on digit d+1: 5 added there, then the digits after the d-th dropped.
  const bool longer = scaled >= POWERS.ten[d + 1];
  auto kept = static_cast<uint32_t>(longer ? (scaled + 50) / 100 : (scaled + 5) / 10);
  exp10 = e + (longer ? 2 : 1);
  if (kept == POWERS.ten[d]) {
    kept /= 10;
    ++exp10;
  }
  put_digits(kept, d, digits);
  return true;
}

// The same by the exact route, returning the exponent. Out of line: its digit buffer stays out of
// the fast route's frame.
[[gnu::noinline]] int32_t exact_rounded_digits(float value, int32_t d, char* digits) {
  char all[128];
  int32_t exp10 = 0;
  const int32_t n = exact_digits(value, all, exp10);
  for (int32_t i = n; i <= d; ++i) all[i] = '0';
  if (all[d] >= '5') {
    int32_t i = d - 1;
    while (i >= 0 && all[i] == '9') all[i--] = '0';
    if (i >= 0) {
      ++all[i];
    } else {
      all[0] = '1';
      ++exp10;
    }
  }
  std::memcpy(digits, all, static_cast<size_t>(d));
  return exp10;
}

char* asterisks(char* field, int32_t w) {
  std::memset(field, '*', static_cast<size_t>(w));
  return field + w;
}

}  // namespace

char* put_i(char* field, int32_t value, int32_t w) {
  char digits[16];
  const auto length =
      static_cast<int32_t>(std::to_chars(digits, digits + sizeof digits, value).ptr - digits);
  if (length > w) return asterisks(field, w);
  std::memcpy(field + w - length, digits, static_cast<size_t>(length));
  return field + w;
}

char* put_e(char* field, float value, int32_t w, int32_t d) {
  if (!std::isfinite(value) || d < 1 || d > 100) return asterisks(field, w);
  // A sign, the point, d digits, E and the exponent's sign and two digits: a float's decimal
  // exponent lies between -44 and 39.
  const int32_t negative = value < 0.0f ? 1 : 0;
  const int32_t length = negative + d + 5;
  if (length > w) return asterisks(field, w);
  // The sign is written always and passed only when negative: the point covers it otherwise.
  char* out = field + w - length;
  *out = '-';
  out += negative;
  *out++ = '.';
  int32_t exp10 = 0;
  if (value == 0.0f) {
    std::memset(out, '0', static_cast<size_t>(d));
  } else if (!fast_rounded_digits(std::fabs(value), d, out, exp10)) {
    exp10 = exact_rounded_digits(std::fabs(value), d, out);
  }
  out += d;
  *out++ = 'E';
  *out++ = exp10 < 0 ? '-' : '+';
  std::memcpy(out, TWO_DIGITS.at + 2 * (exp10 < 0 ? -exp10 : exp10), 2);
  return field + w;
}

void append_e(std::string& text, float value, int32_t w, int32_t d) {
  const size_t at = text.size();
  text.append(static_cast<size_t>(w), ' ');
  put_e(text.data() + at, value, w, d);
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

std::string counted(int64_t n, const std::string& thing) {
  return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

std::string shortest(float value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

}  // namespace kelmarino
