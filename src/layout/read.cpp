// Line reads and free reads, and the input errors they end the run with.
#include <algorithm>
#include <cerrno>
#include <cfenv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "layout/layout.hpp"
#include "layout/layout_parse.hpp"
#include "model/run_error.hpp"

namespace kelmarino {
namespace {

constexpr size_t ECHO_WIDTH = 200;  // characters of the offending line shown around the caret
constexpr size_t TOKEN_WIDTH = 40;  // characters of the offending text shown in the message

// One character as a message shows it: printable ASCII as itself, a tab as a blank, any other
// byte escaped ("\0", "\r", "\x1b"), so that no control character reaches the terminal.
std::string shown_character(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte >= 32 && byte < 127) return std::string(1, c);
  if (c == '\t') return " ";
  if (c == '\0') return "\\0";
  if (c == '\r') return "\\r";
  constexpr char HEX[] = "0123456789abcdef";
  return {'\\', 'x', HEX[byte >> 4], HEX[byte & 15]};
}

// The width of text as shown.
size_t shown_width(std::string_view text) {
  size_t width = 0;
  for (const char c : text) width += shown_character(c).size();
  return width;
}

// The line being read, with a caret under the given column (0-based): a window of at most
// ECHO_WIDTH characters as shown, the column at most halfway into it.
std::string echo(const std::string& line, size_t column) {
  size_t first = std::min(column, line.size());
  for (size_t before = 0; first > 0;) {
    before += shown_character(line[first - 1]).size();
    if (before > ECHO_WIDTH / 2) break;
    --first;
  }
  const std::string prefix = first > 0 ? "..." : "";
  const std::string_view rest = std::string_view(line).substr(first);
  const size_t caret = prefix.size() + shown_width(rest.substr(0, column - first));
  return "\n  " + prefix + printable_text(rest, ECHO_WIDTH) + "\n  " + std::string(caret, ' ') +
         "^";
}

// Collects line `number` (from 1) of the characters that `next` hands out (EOF at their end):
// whether the text has that line.
template <typename Next>
bool scan_line(Next next, int64_t number, std::string& line) {
  line.clear();
  int64_t current = 1;
  for (int c = next(); c != EOF; c = next()) {
    if (c == '\n' && ++current > number) break;
    if (c != '\n' && current == number) line.push_back(static_cast<char>(c));
  }
  const bool found = current > number || (current == number && !line.empty());
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return found;
}

// Line `number` of the channel, read again from its text or file when it is not the last line
// taken; false when the file cannot be read again (a pipe) or has no such line.
bool line_of(InChannel& channel, int64_t number, std::string& line) {
  if (number == channel.line_number) {
    line = channel.line;
    return true;
  }
  std::FILE* const file = channel.file;
  if (file == nullptr) {
    size_t at = 0;
    const std::string_view text = channel.text;
    const auto next = [&text, &at] {
      return at < text.size() ? static_cast<unsigned char>(text[at++]) : EOF;
    };
    return scan_line(next, number, line);
  }
  const long position = std::ftell(file);
  if (position < 0 || std::fseek(file, 0, SEEK_SET) != 0) return false;
  const bool found = scan_line([file] { return std::getc(file); }, number, line);
  std::clearerr(file);
  std::fseek(file, position, SEEK_SET);
  return found;
}

// "in NAME, line N: WHAT" with the line echoed and a caret under the column; "in NAME: WHAT"
// without a line.
std::string located(InChannel& channel, Place where, const std::string& what) {
  if (where.line <= 0) return "in " + channel.name + ": " + what;
  std::string text = "in " + channel.name + ", line " + std::to_string(where.line) + ": " + what;
  std::string line;
  if (line_of(channel, where.line, line)) text += echo(line, static_cast<size_t>(where.column));
  return text;
}

Place current_place(const InChannel& channel, size_t column) {
  return {channel.line_number, static_cast<int32_t>(std::min<size_t>(column, INT32_MAX))};
}

[[noreturn]] void cannot_read(InChannel& channel, size_t column, std::string_view text,
                              const char* as_what) {
  refuse_at(channel, current_place(channel, column),
            "cannot read \"" + printable_text(text, TOKEN_WIDTH) + "\" as " + as_what);
}

// The place just past the last line: where the end of the file was met.
Place end_place(const InChannel& channel) { return {channel.line_number + 1, 0}; }

[[noreturn]] void end_of_file(InChannel& channel, std::string_view expected) {
  refuse_at(channel, end_place(channel),
            "end of file where " + std::string(expected) + " was expected");
}

// Takes the next line of the channel's file into its line, without its line end; false at the
// end of the file.
bool take_file_line(InChannel& channel) {
  channel.line.clear();
  int c = getc_unlocked(channel.file);  // the channel is read by one thread
  while (c != EOF && c != '\n' && channel.line.size() <= MAX_LINE_BYTES + 1) {
    channel.line.push_back(static_cast<char>(c));
    c = getc_unlocked(channel.file);
  }
  if (std::ferror(channel.file)) {
    throw RunError("run-time error reading " + channel.name + ": " + std::strerror(errno));
  }
  return c != EOF || !channel.line.empty();
}

// Whether the channel has text after the line last taken (which an LF then ended).
bool more_to_read(InChannel& channel) {
  if (channel.file == nullptr) return channel.next < channel.text.size();
  const int c = getc_unlocked(channel.file);
  if (c != EOF) ungetc(c, channel.file);
  return c != EOF;
}

// Takes the next line of the channel; a line ended by CR LF reads like one ended by LF. A CR
// inside a line is refused: the file's lines end with CR alone, and it would read as one line. A
// line longer than MAX_LINE_BYTES is refused once that much of it is taken.
bool take_line(InChannel& channel) {
  if (channel.file == nullptr) {
    const std::string_view text = channel.text;
    channel.line.clear();
    if (channel.next >= text.size()) return false;
    const size_t end = std::min(text.find('\n', channel.next), text.size());
    channel.line.assign(
        text.substr(channel.next, std::min(end - channel.next, MAX_LINE_BYTES + 2)));
    channel.next = end + 1;
  } else if (!take_file_line(channel)) {
    return false;
  }
  if (!channel.line.empty() && channel.line.back() == '\r') channel.line.pop_back();
  ++channel.line_number;
  if (channel.line.size() > MAX_LINE_BYTES) {
    refuse_at(channel, current_place(channel, MAX_LINE_BYTES),
              "the line is longer than " + std::to_string(MAX_LINE_BYTES) +
                  " characters, the most a line may hold");
  }
  const size_t cr = channel.line.find('\r');
  if (cr != std::string::npos) {
    refuse_at(channel, current_place(channel, cr),
              stray_carriage_return(channel.line_number > 1 || more_to_read(channel)));
  }
  return true;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// An optional sign and digits, with nothing else.
bool parse_integer(std::string_view text, int32_t& value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    if (!is_digit(text[i])) return false;
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > int64_t{std::numeric_limits<int32_t>::max()} + 1) return false;
  }
  const int64_t signed_value = negative ? -magnitude : magnitude;
  if (signed_value > std::numeric_limits<int32_t>::max()) return false;
  value = static_cast<int32_t>(signed_value);
  return true;
}

// The exponent of a real's text (an optional sign and digits), or nothing when it has more
// digits than any exponent within the range of single-precision reals needs.
std::optional<int32_t> short_exponent(std::string_view text) {
  size_t i = 0;
  const bool negative = text[i] == '-';
  if (text[i] == '+' || text[i] == '-') ++i;
  if (text.size() - i > 4) return std::nullopt;
  int32_t exponent = 0;
  for (; i < text.size(); ++i) exponent = exponent * 10 + (text[i] - '0');
  return negative ? -exponent : exponent;
}

// The nearest single-precision value of a real's text (with E for its exponent letter), or
// nothing when it lies beyond their range. The text's value is below 10^scale. Below 10^38 the
// conversion cannot overflow and is called as it is; beyond, its overflow flag is judged here,
// not as an arithmetic fault.
std::optional<float> converted_real(const std::string& number, int64_t scale) {
  if (scale <= 38) return std::strtof(number.c_str(), nullptr);
  fenv_t environment;
  std::feholdexcept(&environment);
  const float converted = std::strtof(number.c_str(), nullptr);
  std::fesetenv(&environment);
  if (converted == std::numeric_limits<float>::infinity() ||
      converted == -std::numeric_limits<float>::infinity()) {
    return std::nullopt;
  }
  return converted;
}

}  // namespace

RealText read_real_text(std::string_view text, float& value) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  const size_t whole_start = i;
  while (i < text.size() && is_digit(text[i])) ++i;
  const size_t whole_digits = i - whole_start;
  size_t mantissa_digits = whole_digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && is_digit(text[i])) ++i, ++mantissa_digits;
  }
  if (mantissa_digits == 0) return RealText::not_a_real;
  std::string number(text.substr(0, i));
  // The value is below 10^scale: whole_digits digits before the point, times 10^exponent.
  int64_t scale = static_cast<int64_t>(whole_digits);
  if (i < text.size()) {
    const char letter = text[i];
    if (letter != 'E' && letter != 'e' && letter != 'D' && letter != 'd')
      return RealText::not_a_real;
    ++i;
    const size_t exponent_start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (i == text.size()) return RealText::not_a_real;
    while (i < text.size() && is_digit(text[i])) ++i;
    if (i != text.size()) return RealText::not_a_real;
    number += 'E';
    number += text.substr(exponent_start);
    const std::optional<int32_t> exponent = short_exponent(text.substr(exponent_start));
    scale = exponent ? scale + *exponent : std::numeric_limits<int64_t>::max();
  }
  const std::optional<float> converted = converted_real(number, scale);
  if (!converted) return RealText::beyond_range;
  value = *converted;
  return RealText::read;
}

namespace {

void store_text(const Target& target, std::string_view text) {
  char* place = static_cast<char*>(target.place);
  for (int32_t i = 0; i < target.length; ++i) {
    place[i] = static_cast<size_t>(i) < text.size() ? text[static_cast<size_t>(i)] : ' ';
  }
}

// Stores a real of a free read. One beyond the range is refused as such; one below it, which
// reads as 0, is warned about when `warn` (once for the copies of an r*v value).
void store_real(InChannel& channel, float& value, std::string_view text, size_t column, bool quoted,
                bool warn) {
  const RealText read = quoted ? RealText::not_a_real : read_real_text(text, value);
  if (read == RealText::beyond_range) {
    cannot_read(channel, column, text, ("a real number: " + std::string(BEYOND_RANGE)).c_str());
  }
  if (read != RealText::read) cannot_read(channel, column, text, "a real number");
  if (!warn || value != 0.0f) return;
  const std::string_view mantissa = text.substr(0, text.find_first_of("EeDd"));
  if (mantissa.find_first_of("123456789") == std::string_view::npos) return;  // a zero as written
  std::string what = "\"";
  what.append(printable_text(text, TOKEN_WIDTH));
  what.append("\" reads as 0: it lies below the smallest single-precision real (about 1.4E-45)");
  warn_at(channel, current_place(channel, column), what);
}

// Stores one value of a free read; the text's column is used by the error message, `first`
// tells the first copy of a value.
void store_value(InChannel& channel, const Target& target, std::string_view text, size_t column,
                 bool quoted, bool first) {
  switch (target.kind) {
    case Target::Kind::Integer:
      if (quoted || !parse_integer(text, *static_cast<int32_t*>(target.place))) {
        cannot_read(channel, column, text, "an integer");
      }
      break;
    case Target::Kind::Real:
      store_real(channel, *static_cast<float*>(target.place), text, column, quoted, first);
      break;
    case Target::Kind::Text:
      store_text(target, text);
      break;
  }
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool ends_bare_value(char c) { return is_blank(c) || c == ',' || c == '/'; }

// A quoted text value from the opening quote at `pos`; a doubled quote stands for one.
std::string quoted_value(const std::string& line, size_t& pos) {
  const char quote = line[pos++];
  std::string value;
  while (pos < line.size()) {
    if (line[pos] == quote) {
      if (pos + 1 < line.size() && line[pos + 1] == quote) {
        value.push_back(quote);
        pos += 2;
        continue;
      }
      ++pos;
      break;
    }
    value.push_back(line[pos++]);
  }
  return value;
}

// The repeat count r of a value written r*v; 1 when there is none.
int32_t repeat_count(std::string_view& text) {
  const size_t star = text.find('*');
  if (star == std::string_view::npos || star == 0) return 1;
  for (size_t i = 0; i < star; ++i) {
    if (!is_digit(text[i])) return 1;
  }
  int32_t count = 0;
  if (!parse_integer(text.substr(0, star), count) || count < 1) return 1;
  text.remove_prefix(star + 1);
  return count;
}

}  // namespace

void line_read(InChannel& channel, std::string_view what, std::string_view layout_string,
               std::span<const Target> targets) {
  Layout layout;
  parse_layout(layout_string, layout);
  if (!take_line(channel)) end_of_file(channel, what);
  const std::string& line = channel.line;
  size_t column = 0;
  size_t next = 0;
  for (int32_t e = 0; e < layout.count; ++e) {
    const Element& element = layout.elements[e];
    const auto width = static_cast<size_t>(element.w);
    const std::string_view field =
        column < line.size() ? std::string_view(line).substr(column, width) : std::string_view();
    if (element.kind == Element::Kind::Skip) {
      column += width;
      continue;
    }
    if (next == targets.size()) break;
    const Target& target = targets[next++];
    if (element.kind == Element::Kind::Alpha && target.kind == Target::Kind::Text) {
      store_text(target, field);
    } else if (element.kind == Element::Kind::Integer && target.kind == Target::Kind::Integer) {
      const size_t first = field.find_first_not_of(' ');
      const size_t last = field.find_last_not_of(' ');
      int32_t& value = *static_cast<int32_t*>(target.place);
      if (first == std::string_view::npos) {
        value = 0;
      } else if (!parse_integer(field.substr(first, last - first + 1), value)) {
        const size_t start = line.find_first_not_of(" \t");
        if (start != std::string::npos &&
            line[start] == '*') {  // a heading or an end line: a line of the file is missing
          refuse_at(channel, current_place(channel, start),
                    "expected " + std::string(what) + ", found the line \"" +
                        printable_text(line.substr(start), TOKEN_WIDTH) + "\"");
        }
        cannot_read(channel, column, field, "an integer");
      }
    } else {
      throw std::logic_error("layout does not match its targets: " + std::string(layout_string));
    }
    column += width;
  }
}

void line_read(InChannel& channel, std::string_view what, std::string_view layout,
               std::initializer_list<Target> targets) {
  line_read(channel, what, layout, std::span<const Target>(targets.begin(), targets.size()));
}

void line_read(InChannel& channel, std::string_view layout, std::initializer_list<Target> targets) {
  line_read(channel, "a line", layout, targets);
}

namespace {

bool is_quote(char c) { return c == '\'' || c == '"'; }

// Takes the value that starts at the read's position (quoted, bare, or r*v) and the separator
// after it; its copies are handed out to the targets that follow.
void take_value(FreeRead& read) {
  const std::string& line = read.channel->line;
  size_t& pos = read.pos;
  read.value_column = pos;
  read.value_quoted = is_quote(line[pos]);
  read.copies_left = 1;
  if (read.value_quoted) {
    read.value = quoted_value(line, pos);
  } else {
    const size_t start = pos;
    while (pos < line.size() && !ends_bare_value(line[pos])) ++pos;
    std::string_view text = std::string_view(line).substr(start, pos - start);
    read.copies_left = repeat_count(text);
    if (read.copies_left > 1 && !text.empty() && is_quote(text[0])) {
      pos = static_cast<size_t>(text.data() - line.data());
      read.value = quoted_value(line, pos);
      read.value_quoted = true;
    } else {
      read.value.assign(text);
    }
  }
  read.value_empty = read.value.empty() && !read.value_quoted;
  while (pos < line.size() && is_blank(line[pos])) ++pos;
  read.comma_may_follow = !(pos < line.size() && line[pos] == ',');
  if (!read.comma_may_follow) ++pos;
}

}  // namespace

InputError input_error_at(InChannel& channel, Place where, const std::string& what) {
  std::string line;
  if (where.line > 0 && !line_of(channel, where.line, line)) line.clear();
  return {"run-time error " + located(channel, where, what),
          channel.name,
          where.line,
          where.column,
          what,
          line};
}

void refuse_at(InChannel& channel, Place where, const std::string& what) {
  throw input_error_at(channel, where, what);
}

void warn_at(InChannel& channel, Place where, const std::string& what) {
  if (channel.warnings == nullptr) return;
  const std::string message = "warning " + located(channel, where, what) + "\n";
  std::fputs(message.c_str(), channel.warnings);
}

namespace {

// "9 type numbers, one per pile": the count of values of a read and what it names them.
std::string counted(const FreeRead& read, int32_t count) {
  const std::string what = read.what.empty() ? (count == 1 ? "value" : "values") : read.what;
  return std::to_string(count) + " " + what;
}

// The read met the end of the file, or a heading, end or tag line, before its last value.
[[noreturn]] void read_cut_short(FreeRead& read, bool at_end) {
  InChannel& channel = *read.channel;
  const std::string expected = "expected " +
                               counted(read, std::max(read.expected, read.found + 1)) + ", found " +
                               std::to_string(read.found) + " before ";
  if (at_end) refuse_at(channel, end_place(channel), expected + "the end of the file");
  const size_t first = channel.line.find_first_not_of(" \t");
  refuse_at(
      channel, current_place(channel, first),
      expected + "the line \"" + printable_text(channel.line.substr(first), TOKEN_WIDTH) + "\"");
}

// A heading, end or tag line: its first character that is not a blank is "*" or "<", which
// begins no number and no key.
bool opens_structure_line(const std::string& line, size_t pos) {
  return (line[pos] == '*' || line[pos] == '<') && line.find_first_not_of(" \t") == pos;
}

}  // namespace

void start_free_read(InChannel& channel, FreeRead& read, std::string what, int32_t expected) {
  read = FreeRead{};
  read.channel = &channel;
  read.what = std::move(what);
  read.expected = expected;
  if (!take_line(channel)) read_cut_short(read, true);
}

namespace {

// A count of values, kept at INT32_MAX once it reaches it.
int32_t counted_on(int32_t count, int64_t more) {
  return static_cast<int32_t>(std::min<int64_t>(INT32_MAX, count + more));
}

}  // namespace

void read_values(FreeRead& read, std::span<const Target> targets) {
  InChannel& channel = *read.channel;
  read.expected = std::max(read.expected, counted_on(read.found, std::ssize(targets)));
  size_t next = 0;
  while (next < targets.size() && !read.ended) {
    if (read.copies_left > 0) {
      --read.copies_left;
      const Target& target = targets[next++];
      read.found = counted_on(read.found, 1);
      if (!read.value_empty) {
        const Place at = current_place(channel, read.value_column);
        const bool first = at.line != read.last.line || at.column != read.last.column;
        store_value(channel, target, read.value, read.value_column, read.value_quoted, first);
        read.last = at;
        if (target.where != nullptr) *target.where = read.last;
      }
      continue;
    }
    const std::string& line = channel.line;
    size_t& pos = read.pos;
    while (pos < line.size() && is_blank(line[pos])) ++pos;
    if (pos == line.size()) {
      if (!take_line(channel)) read_cut_short(read, true);
      pos = 0;
      continue;
    }
    if (opens_structure_line(line, pos)) read_cut_short(read, false);
    if (line[pos] == '/') {
      read.ended = true;
      break;
    }
    if (line[pos] == ',' && read.comma_may_follow) {  // the last value's separator
      read.comma_may_follow = false;
      ++pos;
      continue;
    }
    if (line[pos] == ',') {  // an empty value: the target keeps what it holds
      ++next;
      read.found = counted_on(read.found, 1);
      ++pos;
      continue;
    }
    take_value(read);
  }
}

void read_values(FreeRead& read, std::initializer_list<Target> targets) {
  read_values(read, std::span<const Target>(targets.begin(), targets.size()));
}

int32_t pass_repeated_lists(FreeRead& read, int32_t copies_before, int32_t per_list,
                            int32_t lists) {
  if (copies_before < per_list || read.ended || per_list < 1 || lists < 1) return 0;
  const int32_t passed = std::min(read.copies_left / per_list, lists);
  read.copies_left -= passed * per_list;
  read.found = counted_on(read.found, int64_t{passed} * per_list);
  return passed;
}

namespace {

// Whether a line holds a comma between two digits, as a decimal comma writes one.
bool has_decimal_comma(const std::string& line) {
  for (size_t i = 1; i + 1 < line.size(); ++i) {
    if (line[i] == ',' && is_digit(line[i - 1]) && is_digit(line[i + 1])) return true;
  }
  return false;
}

}  // namespace

void finish_free_read(FreeRead& read) {
  InChannel& channel = *read.channel;
  if (channel.warnings == nullptr) return;
  const std::string& line = channel.line;
  size_t pos = read.ended ? read.pos + 1 : read.pos;  // after the slash that ended it
  while (pos < line.size() && (is_blank(line[pos]) || line[pos] == ',')) ++pos;
  size_t end = pos;
  while (end < line.size() && !ends_bare_value(line[end])) ++end;
  const std::string_view token = std::string_view(line).substr(pos, end - pos);
  std::string_view number = token;
  repeat_count(number);
  float value = 0.0f;
  if (number.empty() || !read_real(number, value)) return;  // a comment: no number
  warn_at(channel, current_place(channel, pos),
          "the rest of the line from \"" + printable_text(token, TOKEN_WIDTH) + "\" is not read: " +
              (read.ended ? "the slash before it ends the read"
                          : "the read of " + counted(read, read.expected) +
                                (read.what.empty() ? "" : ",") + " is complete before it") +
              (!read.ended && has_decimal_comma(line) ? " (a decimal comma splits a number in two)"
                                                      : ""));
}

void free_read(InChannel& channel, std::string_view what, std::span<const Target> targets) {
  FreeRead read;
  start_free_read(channel, read, std::string(what), static_cast<int32_t>(targets.size()));
  read_values(read, targets);
  finish_free_read(read);
}

void free_read(InChannel& channel, std::string_view what, std::initializer_list<Target> targets) {
  free_read(channel, what, std::span<const Target>(targets.begin(), targets.size()));
}

void free_read(InChannel& channel, std::span<const Target> targets) {
  free_read(channel, "", targets);
}

void free_read(InChannel& channel, std::initializer_list<Target> targets) {
  free_read(channel, "", std::span<const Target>(targets.begin(), targets.size()));
}

std::string stray_carriage_return(bool line_feeds) {
  return line_feeds ? "a carriage return (CR) inside the line, whose end is a line feed (LF): "
                      "remove the CR"
                    : "a carriage return (CR) inside the line: the lines of the file end with CR "
                      "alone; save it with LF or CR LF line ends";
}

std::string printable_text(std::string_view text, size_t width) {
  std::string shown;
  for (const char c : text) {
    const std::string character = shown_character(c);
    if (shown.size() + character.size() > width) return shown + "...";
    shown += character;
  }
  return shown;
}

}  // namespace kelmarino
