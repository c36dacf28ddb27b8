#include "layout/layout_parse.hpp"

#include <cctype>
#include <stdexcept>
#include <string>

namespace kelmarino {
namespace {

[[noreturn]] void malformed(std::string_view text) {
  throw std::logic_error("malformed layout string " + std::string(text));
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

int32_t read_number(std::string_view text, size_t& i) {
  if (i >= text.size() || !is_digit(text[i])) malformed(text);
  int32_t n = 0;
  while (i < text.size() && is_digit(text[i])) n = n * 10 + (text[i++] - '0');
  return n;
}

void add(Layout& layout, std::string_view text, const Element& element) {
  if (layout.count == MAX_ELEMENTS) malformed(text);
  layout.elements[layout.count++] = element;
}

}  // namespace

void parse_layout(std::string_view text, Layout& layout) {
  layout.count = 0;
  layout.has_data = false;
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i >= text.size() || text[i] != '(') malformed(text);
  ++i;
  for (;;) {
    if (i >= text.size()) malformed(text);
    const char c = text[i];
    if (c == ')') return;
    if (c == ',' || c == ' ') {
      ++i;
    } else if (c == '/') {
      add(layout, text, {Element::Kind::Slash, {}});
      ++i;
    } else if (c == '\'') {
      const size_t close = text.find('\'', i + 1);
      if (close == std::string_view::npos) malformed(text);
      add(layout, text, {Element::Kind::Literal, text.substr(i + 1, close - i - 1)});
      i = close + 1;
    } else {
      int32_t repeat = 1;
      if (is_digit(c)) repeat = read_number(text, i);
      if (i >= text.size()) malformed(text);
      const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i++])));
      if (letter == 'X') {
        add(layout, text, {Element::Kind::Skip, {}, repeat});
      } else if (letter == 'H') {
        if (i + static_cast<size_t>(repeat) > text.size()) malformed(text);
        add(layout, text, {Element::Kind::Literal, text.substr(i, static_cast<size_t>(repeat))});
        i += static_cast<size_t>(repeat);
      } else if (letter == 'I' || letter == 'A' || letter == 'E') {
        Element element{letter == 'I'   ? Element::Kind::Integer
                        : letter == 'A' ? Element::Kind::Alpha
                                        : Element::Kind::Real,
                        {}};
        element.w = read_number(text, i);
        if (letter == 'E') {
          if (i >= text.size() || text[i] != '.') malformed(text);
          ++i;
          element.d = read_number(text, i);
        }
        for (int32_t r = 0; r < repeat; ++r) add(layout, text, element);
        layout.has_data = true;
      } else {
        malformed(text);
      }
    }
  }
}

}  // namespace kelmarino
