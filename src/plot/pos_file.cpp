// The post-processing file reader: record groups read field by field.
#include "plot/pos_file.hpp"

#include <charconv>
#include <string_view>

#include "layout/layout.hpp"

namespace kelmarino {
namespace {

constexpr int32_t INTEGER_WIDTH = 5;   // I5
constexpr int32_t REAL_WIDTH = 14;     // E14.4
constexpr int32_t REALS_PER_LINE = 6;  // "(6e14.4)"

// The lines of the file not yet taken, and how many the records have taken.
struct Records {
  std::string name;
  std::string_view rest;
  size_t taken = 0;  // the current line is line number `taken`
};

// The first line of a text, without its line end, passed over.
std::string_view first_line(std::string_view& text) {
  const size_t end = text.find('\n');
  std::string_view line = text.substr(0, end);
  text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// Refuses the first line longer than MAX_LINE_BYTES, before anything is read.
void check_line_lengths(std::string_view text, const std::string& name) {
  for (size_t number = 1; !text.empty(); ++number) {
    if (first_line(text).size() > MAX_LINE_BYTES) {
      throw RunError(name + ", line " + std::to_string(number) + ": the line is longer than " +
                     std::to_string(MAX_LINE_BYTES) + " characters, the most a line may hold");
    }
  }
}

[[noreturn]] void refuse(const Records& r, const std::string& what) {
  throw RunError(r.name + ", line " + std::to_string(r.taken) + ": " + what);
}

// Every record starts on a new line.
std::string_view next_line(Records& r, const std::string& record) {
  if (r.rest.empty()) {
    throw RunError(r.name + ": the file ends after line " + std::to_string(r.taken) + ", before " +
                   record);
  }
  ++r.taken;
  return first_line(r.rest);
}

// Field `i` (from 0) of the given width on the current line. Fields are right-justified, so a
// line that ends inside one is damaged, whatever the length of the lines around it.
std::string field_text(const Records& r, std::string_view line, int32_t i, int32_t width,
                       const std::string& record) {
  const size_t first = static_cast<size_t>(i * width);
  const size_t end = first + static_cast<size_t>(width);
  if (line.size() < end) {
    refuse(r, "the line ends at column " + std::to_string(line.size()) + ", within " + record +
                  " (field of columns " + std::to_string(first + 1) + " to " + std::to_string(end) +
                  ")");
  }
  return std::string(line.substr(first, static_cast<size_t>(width)));
}

std::string trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

[[noreturn]] void refuse_field(const Records& r, int32_t i, int32_t width, const std::string& text,
                               const char* kind, const std::string& record) {
  refuse(r, "columns " + std::to_string(i * width + 1) + " to " + std::to_string((i + 1) * width) +
                ": cannot read \"" + printable_text(text, 40) + "\" as " + kind + " in " + record);
}

float real_field(const Records& r, std::string_view line, int32_t i, const std::string& record) {
  const std::string text = field_text(r, line, i, REAL_WIDTH, record);
  const std::string number = trimmed(text);
  const bool plain =
      !number.empty() && number.find_first_not_of("0123456789.+-Ee") == std::string::npos;
  float value = 0.0f;
  if (!plain || !e_value(number, value)) {
    refuse_field(r, i, REAL_WIDTH, text, "a real number", record);
  }
  return value;
}

int32_t integer_field(const Records& r, std::string_view line, int32_t i,
                      const std::string& record) {
  const std::string text = field_text(r, line, i, INTEGER_WIDTH, record);
  std::string number = trimmed(text);
  if (!number.empty() && number[0] == '+') number.erase(0, 1);
  int32_t value = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (number.empty() || error != std::errc() || end != number.data() + number.size()) {
    refuse_field(r, i, INTEGER_WIDTH, text, "an integer", record);
  }
  return value;
}

// Refuses text after the fields of a line, the first `fields` of the given width: a value more
// than the record holds, or a damaged line.
void check_line_end(const Records& r, std::string_view line, int32_t fields, int32_t width,
                    const std::string& record) {
  const size_t end = static_cast<size_t>(fields * width);
  if (line.find_first_not_of(" \t", end) != std::string_view::npos) {
    refuse(r, "text follows column " + std::to_string(end) + ", the end of " + record +
                  " on this line: \"" + printable_text(std::string(line.substr(end)), 40) + "\"");
  }
}

// A record of n reals written six to a line: it starts on a new line, and only the value count
// says where it ends.
void read_reals(Records& r, int32_t n, const std::string& record, std::vector<float>& values) {
  values.clear();
  std::string_view line;
  for (int32_t i = 0; i < n; ++i) {
    if (i % REALS_PER_LINE == 0) line = next_line(r, record);
    values.push_back(real_field(r, line, i % REALS_PER_LINE, record));
    if (i % REALS_PER_LINE == REALS_PER_LINE - 1 || i == n - 1) {
      check_line_end(r, line, i % REALS_PER_LINE + 1, REAL_WIDTH, record);
    }
  }
}

// P4 and P5: four values per station, station by station, running across line ends.
void read_plane(Records& r, int32_t NSTA, const std::string& record, PosPile& pile,
                const StationQuantity (&order)[4]) {
  std::vector<float> all;
  read_reals(r, 4 * NSTA, record, all);
  for (const StationQuantity q : order) pile.values[q].clear();
  for (int32_t k = 1; k <= NSTA; ++k) {
    for (int32_t c = 0; c < 4; ++c) {
      pile.values[order[c]].push_back(all[static_cast<size_t>(4 * (k - 1) + c)]);
    }
  }
}

void read_header(Records& r, PosFile& pos) {
  const std::string record = "the pile count";
  const std::string_view line = next_line(r, record);
  pos.PNUM = integer_field(r, line, 0, record);
  check_line_end(r, line, 1, INTEGER_WIDTH, record);
  if (pos.PNUM < 1) refuse(r, "the pile count " + std::to_string(pos.PNUM) + " is not positive");
  read_reals(r, 2 * pos.PNUM, "the pile-top coordinates", pos.PXY);
}

void read_pile(Records& r, int32_t g, PosPile& pile) {
  const std::string of_pile = " of pile " + std::to_string(g);
  const std::string counts = "the number and station count" + of_pile;
  const std::string_view first = next_line(r, counts);
  pile.g = integer_field(r, first, 0, counts);
  pile.NSTA = integer_field(r, first, 1, counts);
  check_line_end(r, first, 2, INTEGER_WIDTH, counts);
  if (pile.g != g) {
    refuse(r, "the records of pile " + std::to_string(g) + " were expected, not of pile " +
                  std::to_string(pile.g));
  }
  if (pile.NSTA < 1) {
    refuse(r, "the station count " + std::to_string(pile.NSTA) + of_pile + " is not positive");
  }
  const std::string top = "the top coordinates" + of_pile;
  const std::string_view second = next_line(r, top);
  pile.x = real_field(r, second, 0, top);
  pile.y = real_field(r, second, 1, top);
  check_line_end(r, second, 2, REAL_WIDTH, top);
  read_reals(r, pile.NSTA, "the station depths ZH" + of_pile, pile.ZH);
  read_plane(r, pile.NSTA, "UX, SY, NX, MY" + of_pile, pile, {UX, SY, NX, MY});
  read_plane(r, pile.NSTA, "UY, SX, NY, MX" + of_pile, pile, {UY, SX, NY, MX});
  for (const StationQuantity q : {NZ, PSX, PSY}) {
    read_reals(r, pile.NSTA, QUANTITY_WORDS[q].name + of_pile, pile.values[q]);
  }
}

}  // namespace

PosFile read_pos(const std::string& text, const std::string& name) {
  check_line_lengths(text, name);
  Records r{name, text};
  if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
    throw RunError(name + " is empty: it holds no pile records");
  }
  PosFile pos;
  read_header(r, pos);
  for (int32_t g = 1; g <= pos.PNUM; ++g) {
    pos.piles.emplace_back();
    read_pile(r, g, pos.piles.back());
  }
  while (!r.rest.empty()) {
    const std::string_view line = next_line(r, "");
    if (line.find_first_not_of(" \t") != std::string::npos) {
      refuse(r,
             "text follows the records of the last pile (pile " + std::to_string(pos.PNUM) + ")");
    }
  }
  return pos;
}

}  // namespace kelmarino
