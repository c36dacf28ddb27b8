// The data-file parser: the values of a data file and where each stood.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "input/input.hpp"

namespace kelmarino {
namespace {

// The values of one type as the blocks leave them, with their places and segment counts (in
// `at`). Its lists hold MAX_SEGMENTS segments whatever the counts: a key line may set a segment
// before a count takes it in. A type block stays between blocks (an empty value keeps the earlier
// block's); each type number the piles carry keeps one, which its blocks and key lines set.
struct TypeBlock {
  TypeValues v{0,
               0,
               {},
               std::vector<AboveValues>(MAX_SEGMENTS, {0.0f, 0.0f, 0}),
               std::vector<BelowValues>(MAX_SEGMENTS, {0.0f, 0.0f, 0.0f, 0.0f, 0})};
  TypePlaces at;
};

// Working storage of the parser.
struct Parser {
  InChannel& data;
  OutChannel& console;
  GroupValues& values;
  GroupPlaces& places;
  int32_t JCTR = 0;
  int32_t PNUM = 0;
  int32_t SNUM = 0;
  std::vector<int32_t> PTYPE;  // the type number of each pile
  TypeBlock block;
  std::vector<TypeBlock> types;       // of each type number the piles carry, as in values.types
  std::vector<bool> stiffness_given;  // per simulated pile: a block of its type was read
  int32_t section = 0;                // the section being read, an index of SECTIONS
  // The first heading line that holds only numbers (its section; -1: none): most likely the
  // section's first values, its heading left out.
  int32_t numbered_heading = -1;
  Place numbered_heading_at;
};

// The sections of the data file, as the messages name them.
const char* const SECTIONS[] = {"control", "arrangement", "type", "simulated-pile"};

std::string of_section(int32_t section) {
  return " of the " + std::string(SECTIONS[section]) + " section";
}

// The keys of a keyword block, in the order of KEYS.
enum Key { KSH, KSU, AGL, NFR, HFR, DOF, NSF, NBL, HBL, DOB, PMT, PFI, NSG, PMB, PEH, PKE };

void check_range(InChannel& data, Place where, const char* name, int32_t value, int32_t low,
                 int32_t high) {
  if (value < low || value > high) {
    refuse_at(data, where,
              std::string(name) + " = " + std::to_string(value) + " is outside the range " +
                  std::to_string(low) + " to " + std::to_string(high));
  }
}

// Whether a line holds numbers and nothing else (blanks, commas and the characters of numbers).
bool holds_only_numbers(const std::string& line) {
  const size_t first = line.find_first_not_of(" \t,");
  if (first == std::string::npos || line.find_first_of("0123456789") == std::string::npos) {
    return false;
  }
  return std::strchr("0123456789+-.", line[first]) != nullptr &&
         line.find_first_not_of("0123456789+-.eEdD*/ \t,") == std::string::npos;
}

// The heading line of a section; its text is not looked at, but a line of numbers there is
// noted: a read of the section that then fails is refused as a missing heading.
void read_heading(Parser& parser, int32_t section) {
  InChannel& data = parser.data;
  parser.section = section;
  char heading[9];
  line_read(data, "the heading line" + of_section(section), "(A9)", {text_target(heading, 9)});
  if (parser.numbered_heading < 0 && holds_only_numbers(data.line)) {
    parser.numbered_heading = section;
    parser.numbered_heading_at = {data.line_number, 0};
  }
}

// Whether a line holds two values or more and nothing else. One number alone may be an end line
// as a user writes one ("0"); two are the values of a read.
bool holds_values(const std::string& line) {
  int32_t count = 0;
  for (size_t pos = line.find_first_not_of(" \t,"); pos != std::string::npos;
       pos = line.find_first_not_of(" \t,", pos)) {
    const size_t end = std::min(line.find_first_of(" \t,", pos), line.size());
    float value = 0.0f;
    if (!read_real(std::string_view(line).substr(pos, end - pos), value)) return false;
    ++count;
    pos = end;
  }
  return count >= 2;
}

// The end line of a section. Values there are values that the counts of the section did not
// read, lost without a word: the file is refused. `rule` says what the section reads where its
// counts alone do not.
void read_end(Parser& parser, const std::string& rule = "") {
  InChannel& data = parser.data;
  char end[4];
  const std::string what = "the end line" + of_section(parser.section);
  line_read(data, what, "(A4)", {text_target(end, 4)});
  if (holds_values(data.line)) {
    const size_t first = data.line.find_first_not_of(" \t,");
    refuse_at(data, {data.line_number, static_cast<int32_t>(first)},
              "values stand where " + what +
                  " belongs: the lines before it hold more values than their counts read" + rule);
  }
}

// The type number of a line that reads as a block tag: "<", then the number in columns 2 and 3
// as read_tag reads it (blanks around it are nothing: "<1 >" and "< 1 >" are type 1); read_tag
// does not look at column 4. None for any other line.
std::optional<int32_t> tag_number(const std::string& line) {
  if (line.size() < 3 || line[0] != '<') return std::nullopt;
  std::string number = line.substr(1, 2);
  number.erase(number.find_last_not_of(' ') + 1);
  const size_t first = number.find_first_not_of(' ');
  if (first == std::string::npos) return std::nullopt;
  char* end = nullptr;
  const long K = std::strtol(number.c_str() + first, &end, 10);
  if (end != number.c_str() + number.size() || end == number.c_str() + first) return std::nullopt;
  return static_cast<int32_t>(K);
}

// The end line of a section of blocks. A block tag there is a block the section does not read:
// its data would be lost without a word, so the file is refused. `rule` says how many blocks
// the section reads.
void read_blocks_end(Parser& parser, const std::string& rule) {
  InChannel& data = parser.data;
  read_end(parser);
  if (const std::optional<int32_t> K = tag_number(data.line)) {
    refuse_at(data, {data.line_number, 0},
              "the block tagged " + block_tag(*K) + " is one more than the section reads: " + rule +
                  ", and they have all been read");
  }
}

// Reads the type numbers of `numbers` (`pile` names one: "pile", "simulated pile") and refuses
// one that no tag line can name (two columns: -9 to 99) where it was read.
void read_type_numbers_of(InChannel& data, const std::string& pile, std::vector<int32_t>& numbers) {
  std::vector<Place> at(numbers.size());
  std::vector<Target> targets;
  for (size_t p = 0; p < at.size(); ++p) {
    targets.push_back(noting_place(integer_target(numbers[p]), at[p]));
  }
  free_read(data, (at.size() == 1 ? "type number, one per " : "type numbers, one per ") + pile,
            targets);
  for (size_t p = 0; p < at.size(); ++p) {
    if (numbers[p] < -9 || numbers[p] > 99) {
      refuse_at(data, at[p],
                pile + " " + std::to_string(p + 1) + " has the type number " +
                    std::to_string(numbers[p]) +
                    ", which no block tag can name: type numbers are -9 to 99");
    }
  }
}

// The tag line of block b of the section's `blocks`: columns 2 and 3 hold the type number K.
int32_t read_tag(Parser& parser, int32_t b, int32_t blocks) {
  char open[1];
  char close[1];
  int32_t K = 0;
  const std::string what =
      "the tag line of block " + std::to_string(b) + " of " + std::to_string(blocks) +
      (parser.section == 2 ? " after the <0> block" : "") + of_section(parser.section);
  line_read(parser.data, what, "(A1,I2,A1)",
            {text_target(open, 1), integer_target(K), text_target(close, 1)});
  // Nothing in columns 2 and 3 reads as 0: the line is no tag, a tag line left out.
  const std::string& line = parser.data.line;
  if (line.size() < 2 || line.substr(1, 2).find_first_not_of(' ') == std::string::npos) {
    refuse_at(parser.data, {parser.data.line_number, 0},
              what +
                  " holds no type number in its columns 2 and 3 (type 0 is written < 0>): is "
                  "the tag line left out?");
  }
  return K;
}

// Ends the read on an input error of the console: its lines are written on the parser's console
// and kept in the error, whose message is the error line.
[[noreturn]] void stop_on_console(Parser& parser, std::string_view layout,
                                  std::initializer_list<Item> items = {}) {
  std::string lines;
  write_text(lines, layout, items);
  write(parser.console, layout, items);
  const InChannel& data = parser.data;
  const size_t start = lines.find_first_not_of('\n');
  const std::string message = lines.substr(start, lines.find('\n', start) - start);
  InputError error(
      "in " + data.name + ", line " + std::to_string(data.line_number) + ": " + message, data.name,
      data.line_number, 0, message, data.line);
  error.console = lines;
  throw error;
}

[[noreturn]] void stop_with_type_error(Parser& parser, int32_t K) {
  stop_on_console(parser, "('Error: <',I2,'>')", {K});
}

// Reads the points x, y of one free read, noting where each x stood when `at` is given.
template <typename Point>
void read_points(InChannel& data, const char* what, std::vector<Point>& points,
                 std::vector<Place>* at) {
  std::vector<Target> targets;
  targets.reserve(2 * points.size());
  if (at != nullptr) at->resize(points.size());
  for (size_t i = 0; i < points.size(); ++i) {
    const Target x = real_target(points[i].x);
    targets.push_back(at != nullptr ? noting_place(x, (*at)[i]) : x);
    targets.push_back(real_target(points[i].y));
  }
  free_read(data, what, targets);
}

// The count of values of a segment list: the segment count and `per_segment` values for each of
// its segments (a count below 0 gives none).
int32_t list_length(int32_t segments, int32_t per_segment) {
  const int64_t length = 1 + int64_t{per_segment} * (segments > 0 ? segments : 0);
  return length < INT32_MAX ? static_cast<int32_t>(length) : INT32_MAX;
}

// A type block: four free reads. The segment lists are a count followed by the values of each
// segment in the same read; segments beyond the capacity are read into scratch values, which no
// pile receives (a pile given such a count is refused), those that repeat one value passed over
// at once.
void read_type_block(InChannel& data, TypeBlock& b, int32_t K) {
  const std::string of_block = " of the block " + block_tag(K);
  TypeValues& t = b.v;
  TypePlaces& at = b.at;
  free_read(data, "values, KSH KSU AGL(1) AGL(2) AGL(3)" + of_block,
            {noting_place(integer_target(t.shape), at.at_KSH),
             noting_place(integer_target(t.tip), at.at_KSU), real_target(t.axis[0]),
             noting_place(real_target(t.axis[1]), at.at_AGL), real_target(t.axis[2])});

  AboveValues scratch_above;
  BelowValues scratch_below;
  Place scratch_place;
  FreeRead read;
  start_free_read(data, read, "value, NFR" + of_block, 1);
  read_values(read, {noting_place(integer_target(at.NFR), at.at_NFR)});
  read.what = "values, NFR and HFR DOF NSF of each above-ground segment" + of_block;
  read.expected = list_length(at.NFR, 3);
  for (int64_t s = 1; s <= at.NFR && !read.ended; ++s) {  // 64 bits: NFR may be INT32_MAX
    const bool kept = s <= MAX_SEGMENTS;
    AboveValues& v = kept ? t.above[static_cast<size_t>(s - 1)] : scratch_above;
    const auto place = [&](Place* list) -> Place& { return kept ? list[s - 1] : scratch_place; };
    const int32_t copies = read.copies_left;
    read_values(read, {noting_place(real_target(v.length), place(at.at_HFR)),
                       noting_place(real_target(v.diameter), place(at.at_DOF)),
                       noting_place(integer_target(v.steps), place(at.at_NSF))});
    if (!kept) s += pass_repeated_lists(read, copies, 3, static_cast<int32_t>(at.NFR - s));
  }
  finish_free_read(read);

  start_free_read(data, read, "value, NBL" + of_block, 1);
  read_values(read, {noting_place(integer_target(at.NBL), at.at_NBL)});
  read.what = "values, NBL and HBL DOB PMT PFI NSG of each below-ground segment" + of_block;
  read.expected = list_length(at.NBL, 5);
  for (int64_t s = 1; s <= at.NBL && !read.ended; ++s) {
    const bool kept = s <= MAX_SEGMENTS;
    BelowValues& v = kept ? t.below[static_cast<size_t>(s - 1)] : scratch_below;
    const auto place = [&](Place* list) -> Place& { return kept ? list[s - 1] : scratch_place; };
    const int32_t copies = read.copies_left;
    read_values(read, {noting_place(real_target(v.length), place(at.at_HBL)),
                       noting_place(real_target(v.diameter), place(at.at_DOB)),
                       noting_place(real_target(v.m), place(at.at_PMT)),
                       noting_place(real_target(v.friction), place(at.at_PFI)),
                       noting_place(integer_target(v.steps), place(at.at_NSG))});
    if (!kept) s += pass_repeated_lists(read, copies, 5, static_cast<int32_t>(at.NBL - s));
  }
  finish_free_read(read);
  at.at_steps = read.last;

  free_read(
      data, "values, PMB PEH PKE" + of_block,
      {noting_place(real_target(t.PMB), at.at_PMB), noting_place(real_target(t.PEH), at.at_PEH),
       noting_place(real_target(t.PKE), at.at_PKE)});
}

// take_type_block: reads one type block and gives it to every type it applies to.
void take_type_block(Parser& parser, int32_t K) {
  read_type_block(parser.data, parser.block, K);
  for (TypeBlock& type : parser.types) {
    if (type_block_applies(K, type.at.number)) {
      const int32_t number = type.at.number;
      type = parser.block;
      type.at.number = number;
    }
  }
}

// One key line of a keyword block as read.
struct KeyLine {
  char key[4];
  int32_t index;
  float value;
  Place index_at, value_at;
};

// The value of a key line stored as an integer: truncated toward zero.
int32_t key_integer(Parser& parser, const KeyLine& k) {
  if (!(k.value > -2147483904.0f && k.value < 2147483648.0f)) {
    char shown[32];
    std::snprintf(shown, sizeof shown, "%g", static_cast<double>(k.value));
    refuse_at(parser.data, k.value_at,
              "the value " + std::string(shown) + " of " + std::string(k.key, 4) +
                  " does not fit an integer");
  }
  return static_cast<int32_t>(k.value);
}

// Sets the value of one key line for a type. A count or step count changed is the last change of
// the station count.
void apply_key(Parser& parser, Key key, const KeyLine& k, TypeBlock& b) {
  const auto i = static_cast<size_t>(KEYS[key].index_limit > 0 ? k.index - 1 : 0);
  TypeValues& t = b.v;
  TypePlaces& at = b.at;
  AboveValues& above = t.above[i];
  BelowValues& below = t.below[i];
  int32_t* const integers[KEY_COUNT] = {&t.shape,     &t.tip,  nullptr, &at.NFR, nullptr, nullptr,
                                        &above.steps, &at.NBL, nullptr, nullptr, nullptr, nullptr,
                                        &below.steps, nullptr, nullptr, nullptr};
  float* const reals[KEY_COUNT] = {nullptr,         nullptr,       &t.axis[std::min<size_t>(i, 2)],
                                   nullptr,         &above.length, &above.diameter,
                                   nullptr,         nullptr,       &below.length,
                                   &below.diameter, &below.m,      &below.friction,
                                   nullptr,         &t.PMB,        &t.PEH,
                                   &t.PKE};
  Place* const places[KEY_COUNT] = {&at.at_KSH,    &at.at_KSU,    &at.at_AGL,    &at.at_NFR,
                                    &at.at_HFR[i], &at.at_DOF[i], &at.at_NSF[i], &at.at_NBL,
                                    &at.at_HBL[i], &at.at_DOB[i], &at.at_PMT[i], &at.at_PFI[i],
                                    &at.at_NSG[i], &at.at_PMB,    &at.at_PEH,    &at.at_PKE};
  if (integers[key] != nullptr) {
    *integers[key] = key_integer(parser, k);
    if (key != KSH && key != KSU) at.at_steps = k.value_at;
  } else {
    *reals[key] = k.value;
  }
  *places[key] = k.value_at;
}

// A key line of a segment beyond the type's count of such segments once every line is applied
// sets a value that is never used: warned about.
void warn_if_beyond_count(Parser& parser, int32_t K, Key key, const KeyLine& k,
                          const TypeBlock& type) {
  const bool above = key == HFR || key == DOF || key == NSF;
  if (!above && (key < HBL || key > NSG)) return;
  const int32_t count = above ? type.at.NFR : type.at.NBL;
  if (k.index <= count) return;
  warn_at(parser.data, k.index_at,
          "the key line " + std::string(k.key, 4) + " " + std::to_string(k.index) +
              " of the block " + block_tag(K) + " sets a segment its type does not have (" +
              (above ? "NFR = " : "NBL = ") + std::to_string(count) + "): its value is not used");
}

// The key lines of a negative type K, applied to its values in file order; later lines override
// earlier ones.
void apply_key_lines(Parser& parser, int32_t K, int32_t NKEY, const KeyLine* lines) {
  TypeBlock* type = nullptr;
  for (TypeBlock& t : parser.types) {
    if (t.at.number == K) type = &t;
  }
  if (type == nullptr) stop_with_type_error(parser, K);
  Key keys[MAX_KEY_LINES];
  for (int32_t n = 0; n < NKEY; ++n) {
    const KeyLine& k = lines[n];
    int32_t key = 0;
    while (key < KEY_COUNT && std::memcmp(k.key, KEYS[key].text, 4) != 0) ++key;
    if (key == KEY_COUNT) stop_with_type_error(parser, K);
    const int32_t limit = KEYS[key].index_limit;
    if (limit > 0 && (k.index < 1 || k.index > limit)) {
      refuse_at(parser.data, k.index_at,
                "the index " + std::to_string(k.index) + " of " + std::string(k.key, 4) +
                    " is outside the range 1 to " + std::to_string(limit));
    }
    apply_key(parser, static_cast<Key>(key), k, *type);
    keys[n] = static_cast<Key>(key);
  }
  for (int32_t n = 0; n < NKEY; ++n) warn_if_beyond_count(parser, K, keys[n], lines[n], *type);
}

void read_key_block(Parser& parser, int32_t K) {
  InChannel& data = parser.data;
  const std::string of_block = " of the block " + block_tag(K);
  int32_t NKEY = 0;
  Place NKEY_at;
  free_read(data, "value, the number of key lines NKEY" + of_block,
            {noting_place(integer_target(NKEY), NKEY_at)});
  check_range(data, NKEY_at, "NKEY", NKEY, 0, MAX_KEY_LINES);
  KeyLine lines[MAX_KEY_LINES];
  for (int32_t n = 0; n < NKEY; ++n) {
    KeyLine& k = lines[n];
    k = KeyLine{{' ', ' ', ' ', ' '}, 0, 0.0f, {}, {}};
    // An index or value left out is named by the line of the key.
    Place key_at;
    free_read(data, "values, key index value of key line " + std::to_string(n + 1) + of_block,
              {noting_place(text_target(k.key, 4), key_at),
               noting_place(integer_target(k.index), k.index_at),
               noting_place(real_target(k.value), k.value_at)});
    if (k.index_at.line == 0) k.index_at = key_at;
    if (k.value_at.line == 0) k.value_at = key_at;
  }
  apply_key_lines(parser, K, NKEY, lines);
}

// read_simulated_block: reads one simulated-pile block (a diagonal for K < 0, a full matrix row
// by row for K > 0) and gives it to every simulated pile of type K.
void read_simulated_block(Parser& parser, int32_t K) {
  if (K == 0) return;
  float S[36] = {};
  Target targets[36];
  Place at[36];
  const auto term = [&](int32_t i) { return noting_place(real_target(S[i]), at[i]); };
  if (K < 0) {
    for (int32_t i = 0; i < 6; ++i) targets[i] = term(7 * i);
    free_read(parser.data, "values, the diagonal stiffness of the block " + block_tag(K),
              std::span<const Target>(targets, 6));
  } else {
    for (int32_t i = 0; i < 36; ++i) targets[i] = term(i);
    free_read(parser.data,
              "values, the stiffness matrix of the block " + block_tag(K) + ", row by row",
              std::span<const Target>(targets, 36));
  }
  for (int32_t i = 0; i < 36; ++i) {
    if (!(std::abs(S[i]) <= LARGEST_STIFFNESS)) {
      refuse_at(parser.data, at[i],
                "the block " + block_tag(K) + " has the stiffness " + shortest(S[i]) + " in row " +
                    std::to_string(i / 6 + 1) + ", column " + std::to_string(i % 6 + 1) + "; " +
                    STIFFNESS_RULE);
    }
  }
  for (int32_t j = 0; j < parser.SNUM; ++j) {
    if (parser.places.supports[static_cast<size_t>(j)] != K) continue;
    parser.stiffness_given[static_cast<size_t>(j)] = true;
    std::memcpy(parser.values.supports[static_cast<size_t>(j)].stiffness, S, sizeof S);
  }
}

void read_control_section(Parser& parser, Place& INO_at) {
  InChannel& data = parser.data;
  GroupValues& values = parser.values;
  read_heading(parser, 0);
  free_read(data, "value, the run control code JCTR", {integer_target(values.JCTR)});
  parser.JCTR = values.JCTR;
  if (parser.JCTR == 1) {
    int32_t NACT = 0;
    Place NACT_at;
    free_read(data, "value, the number of load points NACT",
              {noting_place(integer_target(NACT), NACT_at)});
    check_range(data, NACT_at, "NACT", NACT, 0, MAX_LOAD_POINTS);
    values.loads.resize(static_cast<size_t>(NACT));
    parser.places.loads.resize(static_cast<size_t>(NACT));
    for (int32_t k = 1; k <= NACT; ++k) {
      LoadValues& load = values.loads[static_cast<size_t>(k - 1)];
      const std::string point = " of load point " + std::to_string(k);
      free_read(data, "values, x y" + point,
                {noting_place(real_target(load.x), parser.places.loads[static_cast<size_t>(k - 1)]),
                 real_target(load.y)});
      float* a = load.act;
      free_read(data, "values, the loads FX FY FZ MX MY MZ" + point,
                {real_target(a[0]), real_target(a[1]), real_target(a[2]), real_target(a[3]),
                 real_target(a[4]), real_target(a[5])});
    }
    Vec<float, 6> FORCE;
    reduce_loads(values.loads, FORCE);
  } else if (parser.JCTR == 3) {
    free_read(data, "value, the pile number INO",
              {noting_place(integer_target(values.INO), INO_at)});
  }
  const std::string JCTR = " (JCTR = " + std::to_string(parser.JCTR);
  read_end(parser, parser.JCTR == 1   ? " (NACT = " + std::to_string(values.loads.size()) + ")"
                   : parser.JCTR == 3 ? JCTR + ": the section ends after INO)"
                                      : JCTR + ": the section ends after JCTR)");
}

void read_arrangement_section(Parser& parser) {
  InChannel& data = parser.data;
  read_heading(parser, 1);
  Place PNUM_at, SNUM_at;
  free_read(data, "values, the pile counts PNUM SNUM",
            {noting_place(integer_target(parser.PNUM), PNUM_at),
             noting_place(integer_target(parser.SNUM), SNUM_at)});
  check_range(data, PNUM_at, "PNUM", parser.PNUM, 1, MAX_PILES);
  check_range(data, SNUM_at, "SNUM", parser.SNUM, 0, MAX_SIMULATED);
  check_range(data, SNUM_at, "PNUM + SNUM", parser.PNUM + parser.SNUM, 1, MAX_BLOCKS);
  parser.values.piles.resize(static_cast<size_t>(parser.PNUM));
  parser.values.supports.resize(static_cast<size_t>(parser.SNUM));
  read_points(data, "values, x y of every pile", parser.values.piles, &parser.places.piles);
  if (parser.SNUM > 0) {
    read_points(data, "values, x y of every simulated pile", parser.values.supports, nullptr);
  }
  read_end(parser);
}

// The type numbers of the piles; each distinct one gets a type, in the order of its first pile.
void read_type_numbers(Parser& parser) {
  InChannel& data = parser.data;
  parser.PTYPE.resize(static_cast<size_t>(parser.PNUM));
  read_type_numbers_of(data, "pile", parser.PTYPE);
  for (size_t p = 0; p < parser.PTYPE.size(); ++p) {
    size_t t = 0;
    while (t < parser.types.size() && parser.types[t].at.number != parser.PTYPE[p]) ++t;
    if (t == parser.types.size()) parser.types.emplace_back().at.number = parser.PTYPE[p];
    parser.values.piles[p].type = static_cast<int32_t>(t);
  }
}

void read_type_section(Parser& parser) {
  InChannel& data = parser.data;
  read_heading(parser, 2);
  read_type_numbers(parser);
  char check[3];
  line_read(data, "the check line <0>" + of_section(2), "(A3)", {text_target(check, 3)});
  if (std::memcmp(check, "<0>", 3) != 0) {
    stop_on_console(parser, "(/,/,/,'Error:<0>',/)");
  }
  take_type_block(parser, 0);
  const int32_t blocks = count_types(parser.PNUM, parser.PTYPE.data()) - 1;
  std::vector<int32_t> tagged{0};  // the <0> block, then the tag of every block read
  for (int32_t b = 1; b <= blocks; ++b) {
    const int32_t K = read_tag(parser, b, blocks);
    // Either takes the place of a block the piles call for, which is then not read.
    if (std::find(tagged.begin(), tagged.end(), K) != tagged.end()) {
      warn_at(data, {data.line_number, 0},
              "the block tagged " + block_tag(K) + " is a second block for the type " +
                  std::to_string(K) + ": it " +
                  (K == 0 ? "reads nothing" : "is read for that type again") +
                  " and takes the place of a block the piles call for, which is then not read");
    } else if (K > 0 &&
               std::find(parser.PTYPE.begin(), parser.PTYPE.end(), K) == parser.PTYPE.end()) {
      warn_at(data, {data.line_number, 0},
              "the block tagged " + block_tag(K) + " is for the type " + std::to_string(K) +
                  ", which no pile has: it is read and not used");
    }
    tagged.push_back(K);
    if (K > 0) {
      take_type_block(parser, K);
    } else if (K < 0) {
      read_key_block(parser, K);
    }
  }
  read_blocks_end(parser, "the piles carry " + counted(blocks + 1, "distinct type number") +
                              ", which call for " + counted(blocks, "block") +
                              " after the <0> block (the <0> block counts as the first)");
  // After a keyword block, a key line there (a key first, blanks, tabs or a quote before it) is
  // one more than the block counts: it would be lost.
  const std::string& end = data.line;
  size_t first = std::min(end.find_first_not_of(" \t"), end.size());
  if (first < end.size() && (end[first] == '\'' || end[first] == '"')) ++first;
  if (tagged.back() < 0 && std::any_of(std::begin(KEYS), std::end(KEYS), [&](const KeyName& key) {
        return end.compare(first, 4, key.text, 4) == 0;
      })) {
    refuse_at(data, {data.line_number, static_cast<int32_t>(first)},
              "the key line " + end.substr(first, 4) +
                  " stands where the end line of the type section belongs: the keyword block "
                  "before it holds more key lines than its NKEY counts");
  }
}

void read_simulated_section(Parser& parser) {
  InChannel& data = parser.data;
  read_heading(parser, 3);
  std::vector<int32_t>& STYPE = parser.places.supports;
  STYPE.resize(static_cast<size_t>(parser.SNUM));
  if (parser.SNUM == 0) {
    read_end(parser, " (SNUM = 0: the section reads no values)");
    if (tag_number(data.line)) {  // a simulated pile that SNUM left out
      refuse_at(data, {data.line_number, 0},
                "SNUM = 0, yet a block stands where the end line of the simulated-pile section "
                "belongs: no simulated pile would take it");
    }
    return;
  }
  read_type_numbers_of(data, "simulated pile", STYPE);
  parser.stiffness_given.assign(STYPE.size(), false);
  const int32_t blocks = count_types(parser.SNUM, STYPE.data());
  for (int32_t b = 1; b <= blocks; ++b) read_simulated_block(parser, read_tag(parser, b, blocks));
  read_blocks_end(parser, "the simulated piles carry " + counted(blocks, "distinct type number") +
                              ", which call for " + counted(blocks, "block"));
  for (size_t j = 0; j < STYPE.size(); ++j) {
    if (STYPE[j] != 0 && !parser.stiffness_given[j]) {
      refuse_at(data, {0, 0},
                "simulated pile " + std::to_string(j + 1) + " (type " + std::to_string(STYPE[j]) +
                    ") received no stiffness: the simulated-pile section has no block tagged " +
                    block_tag(STYPE[j]));
    }
  }
}

// The sections in their order. A failure in the section of a heading line that held only
// numbers, or in the section after it, is refused as that heading missing: the section's first
// values were taken for the heading and every read after them is one line out.
void read_sections(Parser& parser) {
  InChannel& data = parser.data;
  try {
    Place INO_at;
    read_control_section(parser, INO_at);
    read_arrangement_section(parser);
    const int32_t INO = parser.values.INO;
    if (parser.JCTR == 3 && (INO < 1 || INO > parser.PNUM + parser.SNUM)) {
      refuse_at(data, INO_at,
                "INO = " + std::to_string(INO) + " names no pile: the piles are numbered 1 to " +
                    std::to_string(parser.PNUM + parser.SNUM));
    }
    read_type_section(parser);
    read_simulated_section(parser);
  } catch (const RunError& error) {
    const int32_t section = parser.numbered_heading;
    if (section < 0 || parser.section > section + 1) throw;
    // The failure, as its message states it after the file's name.
    std::string failure = error.what();
    const std::string prefix = "run-time error in " + data.name + ", ";
    failure = failure.substr(failure.starts_with(prefix) ? prefix.size() : 0);
    failure = failure.substr(0, failure.find('\n'));
    refuse_at(data, parser.numbered_heading_at,
              "the heading line" + of_section(section) +
                  " is missing: this line of numbers was taken for it (and then, " + failure + ")");
  }
}

// The values of a type as its blocks left them: its lists cut to its counts.
TypeValues type_values(const TypeBlock& b) {
  TypeValues t = b.v;
  t.above.resize(static_cast<size_t>(std::clamp(b.at.NFR, 0, MAX_SEGMENTS)));
  t.below.resize(static_cast<size_t>(std::clamp(b.at.NBL, 0, MAX_SEGMENTS)));
  return t;
}

}  // namespace

std::string block_tag(int32_t K) {
  char tag[16];
  std::snprintf(tag, sizeof tag, K == 0 ? "<%d>" : "<%2d>", static_cast<int>(K));
  return tag;
}

void parse_data(InChannel& data, OutChannel& console, GroupValues& values, GroupPlaces& places) {
  values = GroupValues{};
  values.name = data.name;
  values.JCTR = 0;
  places = GroupPlaces{};
  Parser parser{data, console, values, places};
  read_sections(parser);
  for (const TypeBlock& type : parser.types) {
    values.types.push_back(type_values(type));
    places.types.push_back(type.at);
  }
}

}  // namespace kelmarino
