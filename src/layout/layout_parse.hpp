#pragma once
// The elements of a layout string, as the write calls and the line reads walk them.
#include <cstdint>
#include <string_view>

namespace kelmarino {

struct Element {
  enum class Kind { Literal, Skip, Slash, Integer, Real, Alpha };
  Kind kind;
  std::string_view text;  // Literal: the characters written
  int32_t w = 0;          // Skip: blanks; Integer, Real, Alpha: field width
  int32_t d = 0;          // Real: digits after the point
};

inline constexpr int32_t MAX_ELEMENTS = 64;

// A layout string taken apart, with repeat counts expanded ("6E12.4" is six Real elements).
struct Layout {
  Element elements[MAX_ELEMENTS];
  int32_t count = 0;
  bool has_data = false;  // holds an Integer, Real or Alpha element
};

// Parses "(...)"; a malformed layout is a fault of the program, not of its input.
void parse_layout(std::string_view text, Layout& layout);

}  // namespace kelmarino
