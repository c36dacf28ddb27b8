// The data-file reader.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "foundation/foundation.hpp"
#include "input/input.hpp"
#include "numeric/numeric.hpp"

namespace kelmarino {
namespace {

// Where the checked values of a pile, or of the type block being read, were set in the data
// file; a place without a line: no line set the value.
struct Places {
  Place KSH, KSU, NFR, NBL, PMB, PEH, PKE;
  Place XY;     // the pile's position
  Place AGL;    // the last component set (in a type block: AGL(2))
  Place steps;  // the last change of a segment count or a step count
  Place HFR[MAX_SEGMENTS], DOF[MAX_SEGMENTS], NSF[MAX_SEGMENTS];
  Place HBL[MAX_SEGMENTS], DOB[MAX_SEGMENTS], PMT[MAX_SEGMENTS], PFI[MAX_SEGMENTS],
      NSG[MAX_SEGMENTS];
};

// One type block as read. It stays between blocks: an empty value keeps the earlier block's.
struct TypeBlock {
  int32_t KSH = 0, KSU = 0;
  float AGL[3] = {};
  int32_t NFR = 0;
  float HFR[MAX_SEGMENTS] = {}, DOF[MAX_SEGMENTS] = {};
  int32_t NSF[MAX_SEGMENTS] = {};
  int32_t NBL = 0;
  float HBL[MAX_SEGMENTS] = {}, DOB[MAX_SEGMENTS] = {}, PMT[MAX_SEGMENTS] = {},
        PFI[MAX_SEGMENTS] = {};
  int32_t NSG[MAX_SEGMENTS] = {};
  float PMB = 0.0f, PEH = 0.0f, PKE = 0.0f;
  Places at;
};

// The places of every pile's values. They stay on the stack, so that a refused file leaves no
// heap, and only the first PNUM are set up (new_piles): the whole table is large beside a file.
union PileSources {
  PileSources() {}
  Places at[MAX_PILES];
  void new_piles(int32_t PNUM) {
    for (int32_t p = 0; p < PNUM; ++p) at[p] = Places{};
  }
};

// Working storage of the reader.
struct Reader {
  // A constructor, not a brace list, so that the table of places is not zeroed first.
  Reader(InChannel& data_, OutChannel& console_, PileData& piles_)
      : data(data_), console(console_), piles(piles_) {}
  InChannel& data;
  OutChannel& console;
  PileData& piles;
  int32_t JCTR = 0;
  int32_t PNUM = 0;
  int32_t SNUM = 0;
  TypeBlock block;
  PileSources source;
  Places& source_of(int32_t p) { return source.at[p - 1]; }
  Place load_at[MAX_LOAD_POINTS];                // the position of each load point
  std::set<std::pair<int64_t, int32_t>> warned;  // the places already warned of
  bool stiffness_given[MAX_SIMULATED] = {};      // per simulated pile: a block of its type was read
  int32_t section = 0;                           // the section being read, an index of SECTIONS
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
void read_heading(Reader& reader, int32_t section) {
  InChannel& data = reader.data;
  reader.section = section;
  char heading[9];
  line_read(data, "the heading line" + of_section(section), "(A9)", {text_target(heading, 9)});
  if (reader.numbered_heading < 0 && holds_only_numbers(data.line)) {
    reader.numbered_heading = section;
    reader.numbered_heading_at = {data.line_number, 0};
  }
}

void read_end(Reader& reader) {
  char end[4];
  line_read(reader.data, "the end line" + of_section(reader.section), "(A4)",
            {text_target(end, 4)});
}

// Whether a line reads as a block tag: "<", a type number in columns 2 and 3, ">".
bool is_tag_line(const std::string& line) {
  if (line.size() < 4 || line[0] != '<' || line[3] != '>') return false;
  const std::string number = line.substr(1, 2);
  const size_t first = number.find_first_not_of(' ');
  if (first == std::string::npos) return false;
  char* end = nullptr;
  std::strtol(number.c_str() + first, &end, 10);
  return end == number.c_str() + number.size() && end != number.c_str() + first;
}

// The end line of a section of blocks. A block tag there is a block the section does not read:
// its data would be lost without a word, so the file is refused. `rule` says how many blocks
// the section reads.
void read_blocks_end(Reader& reader, const std::string& rule) {
  InChannel& data = reader.data;
  read_end(reader);
  if (is_tag_line(data.line)) {
    refuse_at(data, {data.line_number, 0},
              "the block tagged " + data.line.substr(0, 4) +
                  " is one more than the section reads: " + rule + ", and they have all been read");
  }
}

// "1 block", "3 blocks"; "1 distinct type number", "2 distinct type numbers".
std::string counted(int32_t n, const char* thing) {
  return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

// Refuses a type number that no tag line can name (two columns: -9 to 99).
void check_type_number(InChannel& data, const std::string& pile, int32_t type) {
  if (type < -9 || type > 99) {
    refuse_at(data, {data.line_number, 0},
              pile + " has the type number " + std::to_string(type) +
                  ", which no block tag can name: type numbers are -9 to 99");
  }
}

// The tag line of block b of the section's `blocks`: columns 2 and 3 hold the type number K.
int32_t read_tag(Reader& reader, int32_t b, int32_t blocks) {
  char open[1];
  char close[1];
  int32_t K = 0;
  const std::string what =
      "the tag line of block " + std::to_string(b) + " of " + std::to_string(blocks) +
      (reader.section == 2 ? " after the <0> block" : "") + of_section(reader.section);
  line_read(reader.data, what, "(A1,I2,A1)",
            {text_target(open, 1), integer_target(K), text_target(close, 1)});
  return K;
}

// Ends the read on an input error of the console: its lines are written on the reader's console
// and kept in the error, whose message is the error line.
[[noreturn]] void stop_on_console(Reader& reader, std::string_view layout,
                                  std::initializer_list<Item> items = {}) {
  std::string lines;
  write_text(lines, layout, items);
  write(reader.console, layout, items);
  const InChannel& data = reader.data;
  const size_t start = lines.find_first_not_of('\n');
  const std::string message = lines.substr(start, lines.find('\n', start) - start);
  InputError error(
      "in " + data.name + ", line " + std::to_string(data.line_number) + ": " + message, data.name,
      data.line_number, 0, message, data.line);
  error.console = lines;
  throw error;
}

[[noreturn]] void stop_with_type_error(Reader& reader, int32_t K) {
  stop_on_console(reader, "('Error: <',I2,'>')", {K});
}

// Reads n pairs x, y of one free read into a (.., 2) table, noting where each pair begins when
// `at` is given.
template <int32_t N>
void read_points(InChannel& data, const char* what, int32_t n, Table<float, N, 2>& xy,
                 const std::function<Place&(int32_t)>& at = {}) {
  Target targets[2 * N];
  for (int32_t i = 1; i <= n; ++i) {
    targets[2 * i - 2] = real_target(xy(i, 1));
    if (at) targets[2 * i - 2] = noting_place(targets[2 * i - 2], at(i));
    targets[2 * i - 1] = real_target(xy(i, 2));
  }
  free_read(data, what, std::span<const Target>(targets, static_cast<size_t>(2 * n)));
}

// The count of values of a segment list: the segment count and `per_segment` values for each of
// its segments (a count below 0 gives none).
int32_t list_length(int32_t segments, int32_t per_segment) {
  const int64_t length = 1 + int64_t{per_segment} * (segments > 0 ? segments : 0);
  return length < INT32_MAX ? static_cast<int32_t>(length) : INT32_MAX;
}

// A type block: four free reads. The segment lists are a count followed by the values of each
// segment in the same read; segments beyond the capacity are read into scratch values, which no
// pile receives (a pile given such a count is refused).
void read_type_block(InChannel& data, TypeBlock& b, int32_t K) {
  const std::string of_block = " of the block " + block_tag(K);
  Places& at = b.at;
  Place scratch_place;
  free_read(
      data, "values, KSH KSU AGL(1) AGL(2) AGL(3)" + of_block,
      {noting_place(integer_target(b.KSH), at.KSH), noting_place(integer_target(b.KSU), at.KSU),
       real_target(b.AGL[0]), noting_place(real_target(b.AGL[1]), at.AGL), real_target(b.AGL[2])});

  float scratch_real[4];
  int32_t scratch_integer = 0;
  FreeRead read;
  start_free_read(data, read, "value, NFR" + of_block, 1);
  read_values(read, {noting_place(integer_target(b.NFR), at.NFR)});
  read.what = "values, NFR and HFR DOF NSF of each above-ground segment" + of_block;
  read.expected = list_length(b.NFR, 3);
  for (int32_t s = 1; s <= b.NFR && !read.ended; ++s) {
    const bool kept = s <= MAX_SEGMENTS;
    const auto place = [&](Place* list) -> Place& { return kept ? list[s - 1] : scratch_place; };
    read_values(
        read, {noting_place(real_target(kept ? b.HFR[s - 1] : scratch_real[0]), place(at.HFR)),
               noting_place(real_target(kept ? b.DOF[s - 1] : scratch_real[1]), place(at.DOF)),
               noting_place(integer_target(kept ? b.NSF[s - 1] : scratch_integer), place(at.NSF))});
  }
  finish_free_read(read);

  start_free_read(data, read, "value, NBL" + of_block, 1);
  read_values(read, {noting_place(integer_target(b.NBL), at.NBL)});
  read.what = "values, NBL and HBL DOB PMT PFI NSG of each below-ground segment" + of_block;
  read.expected = list_length(b.NBL, 5);
  for (int32_t s = 1; s <= b.NBL && !read.ended; ++s) {
    const bool kept = s <= MAX_SEGMENTS;
    const auto place = [&](Place* list) -> Place& { return kept ? list[s - 1] : scratch_place; };
    read_values(
        read, {noting_place(real_target(kept ? b.HBL[s - 1] : scratch_real[0]), place(at.HBL)),
               noting_place(real_target(kept ? b.DOB[s - 1] : scratch_real[1]), place(at.DOB)),
               noting_place(real_target(kept ? b.PMT[s - 1] : scratch_real[2]), place(at.PMT)),
               noting_place(real_target(kept ? b.PFI[s - 1] : scratch_real[3]), place(at.PFI)),
               noting_place(integer_target(kept ? b.NSG[s - 1] : scratch_integer), place(at.NSG))});
  }
  finish_free_read(read);
  at.steps = read.last;

  free_read(data, "values, PMB PEH PKE" + of_block,
            {noting_place(real_target(b.PMB), at.PMB), noting_place(real_target(b.PEH), at.PEH),
             noting_place(real_target(b.PKE), at.PKE)});
}

// Gives pile p the values of the working type block.
void apply_type_block(Reader& reader, int32_t p) {
  const TypeBlock& b = reader.block;
  PileData& piles = reader.piles;
  piles.KSH(p) = b.KSH;
  piles.KSU(p) = b.KSU;
  for (int32_t i = 1; i <= 3; ++i) piles.AGL(p, i) = b.AGL[i - 1];
  piles.NFR(p) = b.NFR;
  for (int32_t s = 1; s <= b.NFR && s <= MAX_SEGMENTS; ++s) {
    piles.HFR(p, s) = b.HFR[s - 1];
    piles.DOF(p, s) = b.DOF[s - 1];
    piles.NSF(p, s) = b.NSF[s - 1];
  }
  piles.NBL(p) = b.NBL;
  for (int32_t s = 1; s <= b.NBL && s <= MAX_SEGMENTS; ++s) {
    piles.HBL(p, s) = b.HBL[s - 1];
    piles.DOB(p, s) = b.DOB[s - 1];
    piles.PMT(p, s) = b.PMT[s - 1];
    piles.PFI(p, s) = b.PFI[s - 1];
    piles.NSG(p, s) = b.NSG[s - 1];
  }
  piles.PMB(p) = b.PMB;
  piles.PEH(p) = b.PEH;
  piles.PKE(p) = b.PKE;

  // The places of the values follow the values.
  Places& at = reader.source_of(p);
  at.KSH = b.at.KSH;
  at.KSU = b.at.KSU;
  at.AGL = b.at.AGL;
  at.NFR = b.at.NFR;
  for (int32_t s = 1; s <= b.NFR && s <= MAX_SEGMENTS; ++s) {
    at.HFR[s - 1] = b.at.HFR[s - 1];
    at.DOF[s - 1] = b.at.DOF[s - 1];
    at.NSF[s - 1] = b.at.NSF[s - 1];
  }
  at.NBL = b.at.NBL;
  for (int32_t s = 1; s <= b.NBL && s <= MAX_SEGMENTS; ++s) {
    at.HBL[s - 1] = b.at.HBL[s - 1];
    at.DOB[s - 1] = b.at.DOB[s - 1];
    at.PMT[s - 1] = b.at.PMT[s - 1];
    at.PFI[s - 1] = b.at.PFI[s - 1];
    at.NSG[s - 1] = b.at.NSG[s - 1];
  }
  at.PMB = b.at.PMB;
  at.PEH = b.at.PEH;
  at.PKE = b.at.PKE;
  at.steps = b.at.steps;
}

// take_type_block: reads one type block and gives it to every pile whose type it matches.
void take_type_block(Reader& reader, int32_t K) {
  read_type_block(reader.data, reader.block, K);
  for (int32_t p = 1; p <= reader.PNUM; ++p) {
    if (type_block_applies(K, reader.piles.PTYPE(p))) apply_type_block(reader, p);
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
int32_t key_integer(Reader& reader, const KeyLine& k) {
  if (!(k.value > -2147483904.0f && k.value < 2147483648.0f)) {
    char shown[32];
    std::snprintf(shown, sizeof shown, "%g", static_cast<double>(k.value));
    refuse_at(reader.data, k.value_at,
              "the value " + std::string(shown) + " of " + std::string(k.key, 4) +
                  " does not fit an integer");
  }
  return static_cast<int32_t>(k.value);
}

// Sets the value of one key line for pile p.
void apply_key(Reader& reader, Key key, const KeyLine& k, int32_t p) {
  PileData& piles = reader.piles;
  Places& at = reader.source_of(p);
  const int32_t i = k.index;
  switch (key) {
    case KSH:
      piles.KSH(p) = key_integer(reader, k);
      at.KSH = k.value_at;
      break;
    case KSU:
      piles.KSU(p) = key_integer(reader, k);
      at.KSU = k.value_at;
      break;
    case AGL:
      piles.AGL(p, i) = k.value;
      at.AGL = k.value_at;
      break;
    case NFR:
      piles.NFR(p) = key_integer(reader, k);
      at.NFR = at.steps = k.value_at;
      break;
    case HFR:
      piles.HFR(p, i) = k.value;
      at.HFR[i - 1] = k.value_at;
      break;
    case DOF:
      piles.DOF(p, i) = k.value;
      at.DOF[i - 1] = k.value_at;
      break;
    case NSF:
      piles.NSF(p, i) = key_integer(reader, k);
      at.NSF[i - 1] = at.steps = k.value_at;
      break;
    case NBL:
      piles.NBL(p) = key_integer(reader, k);
      at.NBL = at.steps = k.value_at;
      break;
    case HBL:
      piles.HBL(p, i) = k.value;
      at.HBL[i - 1] = k.value_at;
      break;
    case DOB:
      piles.DOB(p, i) = k.value;
      at.DOB[i - 1] = k.value_at;
      break;
    case PMT:
      piles.PMT(p, i) = k.value;
      at.PMT[i - 1] = k.value_at;
      break;
    case PFI:
      piles.PFI(p, i) = k.value;
      at.PFI[i - 1] = k.value_at;
      break;
    case NSG:
      piles.NSG(p, i) = key_integer(reader, k);
      at.NSG[i - 1] = at.steps = k.value_at;
      break;
    case PMB:
      piles.PMB(p) = k.value;
      at.PMB = k.value_at;
      break;
    case PEH:
      piles.PEH(p) = k.value;
      at.PEH = k.value_at;
      break;
    case PKE:
      piles.PKE(p) = k.value;
      at.PKE = k.value_at;
      break;
  }
}

// apply_key_lines: applies the key lines of a negative type K to every pile of that type, in file
// order; later lines override earlier ones.
void apply_key_lines(Reader& reader, int32_t K, int32_t NKEY, const KeyLine* lines) {
  int32_t members[MAX_PILES];
  int32_t count = 0;
  for (int32_t p = 1; p <= reader.PNUM; ++p) {
    if (reader.piles.PTYPE(p) == K) members[count++] = p;
  }
  if (count == 0) stop_with_type_error(reader, K);
  for (int32_t n = 0; n < NKEY; ++n) {
    const KeyLine& k = lines[n];
    int32_t key = 0;
    while (key < KEY_COUNT && std::memcmp(k.key, KEYS[key].text, 4) != 0) ++key;
    if (key == KEY_COUNT) stop_with_type_error(reader, K);
    const int32_t limit = KEYS[key].index_limit;
    if (limit > 0 && (k.index < 1 || k.index > limit)) {
      refuse_at(reader.data, k.index_at,
                "the index " + std::to_string(k.index) + " of " + std::string(k.key, 4) +
                    " is outside the range 1 to " + std::to_string(limit));
    }
    for (int32_t m = 0; m < count; ++m) apply_key(reader, static_cast<Key>(key), k, members[m]);
  }
}

void read_key_block(Reader& reader, int32_t K) {
  InChannel& data = reader.data;
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
  apply_key_lines(reader, K, NKEY, lines);
}

// read_simulated_block: reads one simulated-pile block (a diagonal for K < 0, a full matrix row by
// row for K > 0) and writes it into the ESP rows of every simulated pile j of type K, which are the
// rows 6(PNUM+j-1)+1 .. 6(PNUM+j) the foundation assembly takes for simulated pile j.
void read_simulated_block(Reader& reader, int32_t K) {
  if (K == 0) return;
  float S[6][6] = {};
  Target targets[36];
  Place at[6][6];
  const auto term = [&](int32_t i, int32_t j) {
    return noting_place(real_target(S[i][j]), at[i][j]);
  };
  if (K < 0) {
    for (int32_t i = 0; i < 6; ++i) targets[i] = term(i, i);
    free_read(reader.data, "values, the diagonal stiffness of the block " + block_tag(K),
              std::span<const Target>(targets, 6));
  } else {
    for (int32_t i = 0; i < 36; ++i) targets[i] = term(i / 6, i % 6);
    free_read(reader.data,
              "values, the stiffness matrix of the block " + block_tag(K) + ", row by row",
              std::span<const Target>(targets, 36));
  }
  for (int32_t i = 0; i < 36; ++i) {
    const float value = S[i / 6][i % 6];
    if (!(std::abs(value) <= LARGEST_STIFFNESS)) {
      refuse_at(reader.data, at[i / 6][i % 6],
                "the block " + block_tag(K) + " has the stiffness " + shortest(value) + " in row " +
                    std::to_string(i / 6 + 1) + ", column " + std::to_string(i % 6 + 1) + "; " +
                    STIFFNESS_RULE);
    }
  }
  PileData& piles = reader.piles;
  for (int32_t j = 1; j <= reader.SNUM; ++j) {
    if (piles.STYPE(j) != K) continue;
    reader.stiffness_given[j - 1] = true;
    for (int32_t i = 1; i <= 6; ++i) {
      const int32_t r = 6 * (reader.PNUM + j - 1) + i;
      for (int32_t c = 1; c <= 6; ++c) piles.ESP(r, c) = S[i - 1][c - 1];
    }
  }
}

// The checks of one pile's values after the whole file is read. Each refusal names the pile, its
// type, the value, its segment and the line that set it, and echoes that line.
struct PileCheck {
  Reader& reader;
  int32_t p;
  const PileData& piles = reader.piles;
  const Places& at = reader.source_of(p);

  [[noreturn]] void refuse(Place where, const std::string& what) const {
    refuse_at(
        reader.data, where,
        "pile " + std::to_string(p) + " (type " + std::to_string(piles.PTYPE(p)) + ") " + what);
  }

  void limit(Place where, const char* name, int32_t value, int32_t low, int32_t high) const {
    if (value < low || value > high) {
      refuse(where, "has " + std::string(name) + " = " + std::to_string(value) +
                        ", outside the range " + std::to_string(low) + " to " +
                        std::to_string(high));
    }
  }

  // A value outside its range, named with its segment (0: a value of the whole pile) and the
  // line that set it; a segment that a raised count added and no line filled holds zeros.
  [[noreturn]] void outside(Place where, const char* name, const std::string& value,
                            const char* ground, int32_t s, const char* range) const {
    const std::string segment =
        s > 0 ? " in " + std::string(ground) + " segment " + std::to_string(s) : "";
    refuse(where, "has " + std::string(name) + " = " + value + segment +
                      (where.line > 0 ? "" : ", set by no line of the file") + "; " + range);
  }

  // A real value that must keep its rule.
  void real(Place where, const char* name, float value, const char* ground, int32_t s,
            const RealRule& rule) const {
    if (!rule.keeps(value)) outside(where, name, shortest(value), ground, s, rule.text);
  }

  // The block that gave the pile its values, its segment counts and its codes.
  void codes() const {
    if (at.KSU.line == 0) {  // the <0> block gives every pile of type 0 or below its values
      refuse({}, "received no properties: the type section has no block tagged " +
                     block_tag(piles.PTYPE(p)));
    }
    limit(at.NFR, "NFR", piles.NFR(p), 0, MAX_SEGMENTS);
    limit(at.NBL, "NBL", piles.NBL(p), 0, MAX_SEGMENTS);
    if (!keeps_section_rule(piles.KSH(p))) {
      refuse(at.KSH, "has KSH = " + std::to_string(piles.KSH(p)) + "; " + SECTION_RULE);
    }
    if (!keeps_support_rule(piles.KSU(p))) {
      refuse(at.KSU, "has KSU = " + std::to_string(piles.KSU(p)) + "; " + SUPPORT_RULE);
    }
    const AxisCheck axis = check_axis(piles.AGL(p, 1), piles.AGL(p, 2), piles.AGL(p, 3));
    const std::string given = "has AGL = " + axis.given;
    switch (axis.fault) {
      case AxisCheck::Fault::none:
        break;
      case AxisCheck::Fault::along_x:
        refuse(at.AGL, "has AGL(2) = AGL(3) = 0: " + std::string(ALONG_X_RULE));
      case AxisCheck::Fault::upward:
        refuse(at.AGL, given + "; " + DOWNWARD_RULE + ": AGL(3) must be greater than 0");
      case AxisCheck::Fault::not_unit:
        refuse(at.AGL, given + " of length " + axis.length + "; " + UNIT_RULE +
                           ": write it normalised, " + axis.normalised);
    }
  }

  // Lengths, diameters, soil values and step counts of every segment. A run that stops at a
  // stiffness print (`stepped` false) never divides a segment into its steps.
  void segments(bool stepped) const {
    const char* const above = "above-ground";
    for (int32_t s = 1; s <= piles.NFR(p); ++s) {
      const float HFR = piles.HFR(p, s);
      const float DOF = piles.DOF(p, s);
      const int32_t NSF = piles.NSF(p, s);
      real(at.HFR[s - 1], "HFR", HFR, above, s, LENGTH_RULE);
      real(at.DOF[s - 1], "DOF", DOF, above, s, DIAMETER_RULE);
      real(at.DOF[s - 1], "DOF", DOF, above, s, PILE_DIAMETER_RULE);
      if (stepped && NSF < 1) {
        outside(at.NSF[s - 1], "NSF", std::to_string(NSF), above, s, STEPS_RULE);
      }
    }
    const char* const below = "below-ground";
    for (int32_t s = 1; s <= piles.NBL(p); ++s) {
      const int32_t NSG = piles.NSG(p, s);
      real(at.HBL[s - 1], "HBL", piles.HBL(p, s), below, s, LENGTH_RULE);
      real(at.DOB[s - 1], "DOB", piles.DOB(p, s), below, s, DIAMETER_RULE);
      real(at.DOB[s - 1], "DOB", piles.DOB(p, s), below, s, PILE_DIAMETER_RULE);
      real(at.PMT[s - 1], "PMT", piles.PMT(p, s), below, s, SOIL_RULE);
      real(at.PFI[s - 1], "PFI", piles.PFI(p, s), below, s, FRICTION_RULE);
      if (stepped && NSG < 1) {
        outside(at.NSG[s - 1], "NSG", std::to_string(NSG), below, s, STEPS_RULE);
      }
    }
  }

  // What the bottom bears with: the soil along a length below the ground line, or a section.
  void bearing() const {
    const int32_t NBL = piles.NBL(p);
    bool embedded = false;
    for (int32_t s = 1; s <= NBL; ++s) embedded = embedded || piles.HBL(p, s) > 0.0f;
    if (piles.KSU(p) <= 2 && !embedded) {
      refuse(NBL == 0 ? at.NBL : at.HBL[0],
             "has KSU = " + std::to_string(piles.KSU(p)) + " and no length below the ground line " +
                 (NBL == 0 ? "(NBL = 0)" : "(every HBL is 0)") + "; " + SOIL_LENGTH_RULE);
    }
    if (NBL == 0 && piles.NFR(p) == 0)
      refuse(at.NFR, "has no segment; " + std::string(NO_SEGMENT_RULE));
  }

  // Values that are allowed but unusual, each warned of once for the line that set it.
  void unusual() const {
    if (piles.KSU(p) > 4) {
      warn(at.KSU,
           "has KSU = " + std::to_string(piles.KSU(p)) + ", which acts as 3; usual: 1 to 4");
    }
    unusual(at.PKE, "PKE", piles.PKE(p), "", 0, PKE_USUAL);
    unusual(at.PEH, "PEH", piles.PEH(p), "", 0, PEH_USUAL);
    for (int32_t s = 1; s <= piles.NFR(p); ++s) {
      unusual(at.DOF[s - 1], "DOF", piles.DOF(p, s), "above-ground", s, DIAMETER_USUAL);
    }
    for (int32_t s = 1; s <= piles.NBL(p); ++s) {
      unusual(at.DOB[s - 1], "DOB", piles.DOB(p, s), "below-ground", s, DIAMETER_USUAL);
      unusual(at.PMT[s - 1], "PMT", piles.PMT(p, s), "below-ground", s, SOIL_USUAL);
      unusual(at.PFI[s - 1], "PFI", piles.PFI(p, s), "below-ground", s,
              piles.PFI(p, s) <= 1.571f ? RADIANS_USUAL : FRICTION_USUAL);
    }
  }

  void unusual(Place where, const char* name, float value, const char* ground, int32_t s,
               const UsualRange& usual) const {
    if (value >= usual.low && value <= usual.high) return;
    const std::string segment =
        s > 0 ? " in " + std::string(ground) + " segment " + std::to_string(s) : "";
    warn(where, "has " + std::string(name) + " = " + shortest(value) + segment + "; " + usual.text);
  }

  void warn(Place where, const std::string& what) const {
    if (!reader.warned.insert({where.line, where.column}).second) return;
    warn_at(reader.data, where,
            "pile " + std::to_string(p) + " (type " + std::to_string(piles.PTYPE(p)) + ") " + what);
  }

  // The values of the whole pile, and its station count.
  void pile_values() const {
    real(at.PMB, "PMB", piles.PMB(p), "", 0, BOTTOM_SOIL_RULE);
    real(at.PEH, "PEH", piles.PEH(p), "", 0, MODULUS_RULE);
    real(at.PKE, "PKE", piles.PKE(p), "", 0, REDUCTION_RULE);
    const int64_t stations = pile_stations(piles, p).NSTA;
    if (stations > MAX_STATIONS) {
      refuse(at.steps, "has " + std::to_string(stations) +
                           " stations (1 + the steps NSF and NSG); at most " +
                           std::to_string(MAX_STATIONS) + " are allowed");
    }
  }
};

// Refuses pile values that no analysis is defined for, or that exceed the capacities: a
// negative length would move the cap against its load, a zero or negative diameter, soil
// coefficient or modulus divides by zero or gives the results of another section.
void check_pile(Reader& reader, int32_t p) {
  const PileCheck check{reader, p};
  check.codes();
  check.segments(reader.JCTR != 2 && reader.JCTR != 3);
  check.pile_values();
  check.bearing();
}

// "(x, y)" of a point of the plan.
std::string point_text(float x, float y) { return "(" + shortest(x) + ", " + shortest(y) + ")"; }

// Two piles at one point: refused with the same axis (their bottoms meet), else warned of.
void check_heads(Reader& reader) {
  const PileData& piles = reader.piles;
  for (int32_t p = 2; p <= reader.PNUM; ++p) {
    for (int32_t q = 1; q < p; ++q) {
      if (piles.PXY(p, 1) != piles.PXY(q, 1) || piles.PXY(p, 2) != piles.PXY(q, 2)) continue;
      const std::string both = "piles " + std::to_string(q) + " and " + std::to_string(p) +
                               " stand at " + point_text(piles.PXY(p, 1), piles.PXY(p, 2));
      const Place at = reader.source_of(p).XY;
      bool same_axis = true;
      for (int32_t i = 1; i <= 3; ++i) same_axis = same_axis && piles.AGL(p, i) == piles.AGL(q, i);
      if (same_axis) refuse_at(reader.data, at, both + " with the same axis; " + SAME_SPOT_RULE);
      warn_at(reader.data, at, both + "; usual: one pile head at a point (is a pile given twice?)");
      break;
    }
  }
}

// Pile heads far from the cap centre, and load points far outside the plan of the piles.
void check_plan(Reader& reader, const LoadPoints& loads) {
  const PileData& piles = reader.piles;
  float low[2] = {piles.PXY(1, 1), piles.PXY(1, 2)};
  float high[2] = {low[0], low[1]};
  for (int32_t p = 1; p <= reader.PNUM; ++p) {
    const float x = piles.PXY(p, 1), y = piles.PXY(p, 2);
    if (std::hypot(x, y) > FARTHEST_HEAD) {
      warn_at(reader.data, reader.source_of(p).XY,
              "pile " + std::to_string(p) + " stands at " + point_text(x, y) +
                  "; usual: within 200 m of the cap centre (are the coordinates in millimetres?)");
    }
    for (int32_t i = 0; i < 2; ++i) {
      low[i] = std::min(low[i], piles.PXY(p, i + 1));
      high[i] = std::max(high[i], piles.PXY(p, i + 1));
    }
  }
  const float margin = std::max({LOAD_MARGIN, high[0] - low[0], high[1] - low[1]});
  for (int32_t k = 1; k <= loads.NACT; ++k) {
    bool inside = true;
    for (int32_t i = 0; i < 2; ++i) {
      const float v = loads.AXY(k, i + 1);
      inside = inside && v >= low[i] - margin && v <= high[i] + margin;
    }
    if (inside) continue;
    warn_at(reader.data, reader.load_at[k - 1],
            "load point " + std::to_string(k) + " at " +
                point_text(loads.AXY(k, 1), loads.AXY(k, 2)) +
                " lies far outside the plan of the piles (x " + shortest(low[0]) + " to " +
                shortest(high[0]) + ", y " + shortest(low[1]) + " to " + shortest(high[1]) +
                "); usual: within it or beside it (is a value in cm or mm?)");
  }
}

void read_control_section(Reader& reader, int32_t& JCTR, int32_t& INO, Place& INO_at,
                          Vec<float, 6>& FORCE, LoadPoints& loads) {
  InChannel& data = reader.data;
  read_heading(reader, 0);
  free_read(data, "value, the run control code JCTR", {integer_target(JCTR)});
  reader.JCTR = JCTR;
  if (JCTR == 1) {
    Place NACT_at;
    free_read(data, "value, the number of load points NACT",
              {noting_place(integer_target(loads.NACT), NACT_at)});
    check_range(data, NACT_at, "NACT", loads.NACT, 0, MAX_LOAD_POINTS);
    for (int32_t k = 1; k <= loads.NACT; ++k) {
      const std::string point = " of load point " + std::to_string(k);
      free_read(data, "values, x y" + point,
                {noting_place(real_target(loads.AXY(k, 1)), reader.load_at[k - 1]),
                 real_target(loads.AXY(k, 2))});
      free_read(data, "values, the loads FX FY FZ MX MY MZ" + point,
                {real_target(loads.ACT(k, 1)), real_target(loads.ACT(k, 2)),
                 real_target(loads.ACT(k, 3)), real_target(loads.ACT(k, 4)),
                 real_target(loads.ACT(k, 5)), real_target(loads.ACT(k, 6))});
    }
    reduce_loads(loads, FORCE);
  } else if (JCTR == 3) {
    free_read(data, "value, the pile number INO", {noting_place(integer_target(INO), INO_at)});
  }
  read_end(reader);
}

void read_arrangement_section(Reader& reader, int32_t& PNUM, int32_t& SNUM) {
  InChannel& data = reader.data;
  PileData& piles = reader.piles;
  read_heading(reader, 1);
  Place PNUM_at, SNUM_at;
  free_read(
      data, "values, the pile counts PNUM SNUM",
      {noting_place(integer_target(PNUM), PNUM_at), noting_place(integer_target(SNUM), SNUM_at)});
  check_range(data, PNUM_at, "PNUM", PNUM, 1, MAX_PILES);
  check_range(data, SNUM_at, "SNUM", SNUM, 0, MAX_SIMULATED);
  check_range(data, SNUM_at, "PNUM + SNUM", PNUM + SNUM, 1, MAX_BLOCKS);
  reader.PNUM = PNUM;
  reader.source.new_piles(PNUM);
  reader.SNUM = SNUM;
  read_points(data, "values, x y of every pile", PNUM, piles.PXY,
              [&](int32_t p) -> Place& { return reader.source_of(p).XY; });
  if (SNUM > 0) read_points(data, "values, x y of every simulated pile", SNUM, piles.SXY);
  read_end(reader);
}

void read_type_section(Reader& reader) {
  InChannel& data = reader.data;
  PileData& piles = reader.piles;
  read_heading(reader, 2);
  Target targets[MAX_PILES];
  for (int32_t p = 1; p <= reader.PNUM; ++p) targets[p - 1] = integer_target(piles.PTYPE(p));
  free_read(data, "type numbers, one per pile",
            std::span<const Target>(targets, static_cast<size_t>(reader.PNUM)));
  for (int32_t p = 1; p <= reader.PNUM; ++p) {
    check_type_number(data, "pile " + std::to_string(p), piles.PTYPE(p));
  }
  char check[3];
  line_read(data, "the check line <0>" + of_section(2), "(A3)", {text_target(check, 3)});
  if (std::memcmp(check, "<0>", 3) != 0) {
    stop_on_console(reader, "(/,/,/,'Error:<0>',/)");
  }
  take_type_block(reader, 0);
  const int32_t blocks = count_types(reader.PNUM, piles.PTYPE.data()) - 1;
  for (int32_t b = 1; b <= blocks; ++b) {
    const int32_t K = read_tag(reader, b, blocks);
    if (K > 0) {
      take_type_block(reader, K);
    } else if (K < 0) {
      read_key_block(reader, K);
    }
  }
  read_blocks_end(reader, "the piles carry " + counted(blocks + 1, "distinct type number") +
                              ", which call for " + counted(blocks, "block") +
                              " after the <0> block (the <0> block counts as the first)");
}

void read_simulated_section(Reader& reader) {
  InChannel& data = reader.data;
  PileData& piles = reader.piles;
  read_heading(reader, 3);
  if (reader.SNUM != 0) {
    Target targets[MAX_SIMULATED];
    for (int32_t j = 1; j <= reader.SNUM; ++j) targets[j - 1] = integer_target(piles.STYPE(j));
    free_read(data, "type numbers, one per simulated pile",
              std::span<const Target>(targets, static_cast<size_t>(reader.SNUM)));
    for (int32_t j = 1; j <= reader.SNUM; ++j) {
      check_type_number(data, "simulated pile " + std::to_string(j), piles.STYPE(j));
    }
    const int32_t blocks = count_types(reader.SNUM, piles.STYPE.data());
    for (int32_t b = 1; b <= blocks; ++b) read_simulated_block(reader, read_tag(reader, b, blocks));
    read_blocks_end(reader, "the simulated piles carry " + counted(blocks, "distinct type number") +
                                ", which call for " + counted(blocks, "block"));
    for (int32_t j = 1; j <= reader.SNUM; ++j) {
      if (piles.STYPE(j) != 0 && !reader.stiffness_given[j - 1]) {
        refuse_at(data, {0, 0},
                  "simulated pile " + std::to_string(j) + " (type " +
                      std::to_string(piles.STYPE(j)) +
                      ") received no stiffness: the simulated-pile section has no block tagged " +
                      block_tag(piles.STYPE(j)));
      }
    }
    return;
  }
  read_end(reader);
}

// The sections in their order. A failure in the section of a heading line that held only
// numbers, or in the section after it, is refused as that heading missing: the section's first
// values were taken for the heading and every read after them is one line out.
void read_sections(Reader& reader, int32_t& JCTR, int32_t& INO, Place& INO_at, Vec<float, 6>& FORCE,
                   LoadPoints& loads) {
  InChannel& data = reader.data;
  try {
    read_control_section(reader, JCTR, INO, INO_at, FORCE, loads);
    read_arrangement_section(reader, reader.PNUM, reader.SNUM);
    if (JCTR == 3 && (INO < 1 || INO > reader.PNUM + reader.SNUM)) {
      refuse_at(data, INO_at,
                "INO = " + std::to_string(INO) + " names no pile: the piles are numbered 1 to " +
                    std::to_string(reader.PNUM + reader.SNUM));
    }
    read_type_section(reader);
    read_simulated_section(reader);
  } catch (const RunError& error) {
    const int32_t section = reader.numbered_heading;
    if (section < 0 || reader.section > section + 1) throw;
    // The failure, as its message states it after the file's name.
    std::string failure = error.what();
    const std::string prefix = "run-time error in " + data.name + ", ";
    failure = failure.substr(failure.starts_with(prefix) ? prefix.size() : 0);
    failure = failure.substr(0, failure.find('\n'));
    refuse_at(data, reader.numbered_heading_at,
              "the heading line" + of_section(section) +
                  " is missing: this line of numbers was taken for it (and then, " + failure + ")");
  }
}

}  // namespace

const KeyName KEYS[KEY_COUNT] = {{"KSH=", 0},
                                 {"KSU=", 0},
                                 {"AGL=", 3},
                                 {"NFR=", 0},
                                 {"HFR=", MAX_SEGMENTS},
                                 {"DOF=", MAX_SEGMENTS},
                                 {"NSF=", MAX_SEGMENTS},
                                 {"NBL=", 0},
                                 {"HBL=", MAX_SEGMENTS},
                                 {"DOB=", MAX_SEGMENTS},
                                 {"PMT=", MAX_SEGMENTS},
                                 {"PFI=", MAX_SEGMENTS},
                                 {"NSG=", MAX_SEGMENTS},
                                 {"PMB=", 0},
                                 {"PEH=", 0},
                                 {"PKE=", 0}};

std::string data_base(std::string_view argument) {
  constexpr std::string_view extension = ".dat";
  if (argument.size() > extension.size() && argument.ends_with(extension)) {
    argument.remove_suffix(extension.size());
  }
  return std::string(argument);
}

int32_t count_types(int32_t n, const int32_t* a) {
  int32_t count = 1;
  for (int32_t i = 2; i <= n; ++i) {
    bool seen = false;
    for (int32_t k = 1; k < i && !seen; ++k) seen = a[k - 1] == a[i - 1];
    if (!seen) ++count;
  }
  return count;
}

bool type_block_applies(int32_t K, int32_t t) { return (K == 0 && t <= 0) || (K >= 0 && t == K); }

void reduce_load_point(float x, float y, const float* T, Vec<float, 6>& FORCE) {
  Matrix6 D;
  offset_matrix(x, y, D);
  // Component by component, so that an overflow is found before sums of its infinities. From
  // finite values only a fault gives a value that is not finite: the flags are read then.
  for (int32_t i = 1; i <= 6; ++i) {
    float column[6];
    for (int32_t k = 1; k <= 6; ++k) column[k - 1] = D(k, i);
    float R = 0.0f;
    matrix_product(1, 6, 1, column, T, &R);
    if (!std::isfinite(R)) check_faults();
    FORCE(i) = FORCE(i) + R;
    if (!std::isfinite(FORCE(i))) check_faults();
  }
}

void reduce_loads(int32_t NACT, const Table<float, MAX_LOAD_POINTS, 2>& AXY,
                  const Table<float, MAX_LOAD_POINTS, 6>& ACT, Vec<float, 6>& FORCE) {
  FORCE = Vec<float, 6>{};
  float T[6];
  for (int32_t k = 1; k <= NACT; ++k) {
    for (int32_t i = 1; i <= 6; ++i) T[i - 1] = ACT(k, i);
    reduce_load_point(AXY(k, 1), AXY(k, 2), T, FORCE);
  }
}

PileStations pile_stations(const PileData& piles, int32_t p) {
  PileStations stations;
  int64_t k = 1;
  auto steps = [](int32_t count) { return count > 0 ? int64_t{count} : int64_t{0}; };
  for (int32_t s = 1; s <= piles.NFR(p); ++s) stations.end[s - 1] = k += steps(piles.NSF(p, s));
  stations.KG = k;
  for (int32_t s = 1; s <= piles.NBL(p); ++s) {
    stations.end[piles.NFR(p) + s - 1] = k += steps(piles.NSG(p, s));
  }
  stations.NSTA = k;
  return stations;
}

std::vector<int32_t> segment_joints(const PileData& piles, int32_t p) {
  const PileStations stations = pile_stations(piles, p);
  std::vector<int32_t> joints;
  for (int32_t s = 1; s < piles.NFR(p) + piles.NBL(p); ++s) {
    if (s != piles.NFR(p)) joints.push_back(static_cast<int32_t>(stations.end[s - 1]));
  }
  return joints;
}

void read_input(InChannel& data, OutChannel& console, int32_t& JCTR, int32_t& INO, int32_t& PNUM,
                int32_t& SNUM, Vec<float, 6>& FORCE, PileReals& ZFR, PileReals& ZBL,
                PileData& piles) {
  LoadPoints loads;
  read_input(data, console, JCTR, INO, PNUM, SNUM, FORCE, ZFR, ZBL, piles, loads);
}

void read_input(InChannel& data, OutChannel& console, int32_t& JCTR, int32_t& INO, int32_t& PNUM,
                int32_t& SNUM, Vec<float, 6>& FORCE, PileReals& ZFR, PileReals& ZBL,
                PileData& piles, LoadPoints& loads) {
  Reader reader{data, console, piles};
  Place INO_at;
  read_sections(reader, JCTR, INO, INO_at, FORCE, loads);
  PNUM = reader.PNUM;
  SNUM = reader.SNUM;
  for (int32_t p = 1; p <= PNUM; ++p) check_pile(reader, p);
  check_heads(reader);
  for (int32_t p = 1; p <= PNUM; ++p) PileCheck{reader, p}.unusual();
  check_plan(reader, loads);
  segment_sums(PNUM, piles, ZFR, ZBL);
}

void reduce_loads(const LoadPoints& loads, Vec<float, 6>& FORCE) {
  at_stage("reduction of the loads to the cap centre");
  reduce_loads(loads.NACT, loads.AXY, loads.ACT, FORCE);
  at_stage("input");
}

void segment_sums(int32_t PNUM, const PileData& piles, PileReals& ZFR, PileReals& ZBL) {
  for (int32_t p = 1; p <= PNUM; ++p) {
    at_pile(p);
    ZFR(p) = 0.0f;
    for (int32_t s = 1; s <= piles.NFR(p); ++s) ZFR(p) = ZFR(p) + piles.HFR(p, s);
    ZBL(p) = 0.0f;
    for (int32_t s = 1; s <= piles.NBL(p); ++s) ZBL(p) = ZBL(p) + piles.HBL(p, s);
  }
  at_pile(0);
}

namespace {

// A value with four significant digits ("6.083", "-0.1644", "0").
std::string four_digits(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4g", value == 0.0 ? 0.0 : value);
  return text;
}

// "(x, y, z)", each component as `text` shows it.
template <typename Text>
std::string vector_text(const double (&v)[3], Text text) {
  std::string shown = "(";
  shown.append(text(v[0])).append(", ").append(text(v[1])).append(", ");
  return shown.append(text(v[2])).append(")");
}

}  // namespace

AxisCheck check_axis(float x, float y, float z) {
  AxisCheck check;
  const double a[3] = {static_cast<double>(x), static_cast<double>(y), static_cast<double>(z)};
  check.given = vector_text(a, [](double v) { return shortest(static_cast<float>(v)); });
  if (y == 0.0f && z == 0.0f) {
    check.fault = AxisCheck::Fault::along_x;
  } else if (!(a[2] > 0.0)) {
    check.fault = AxisCheck::Fault::upward;
  } else {
    const double length = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
    if (std::abs(length - 1.0) > 1e-3) {
      const double unit[3] = {a[0] / length, a[1] / length, a[2] / length};
      check.fault = AxisCheck::Fault::not_unit;
      check.length = four_digits(length);
      check.normalised = vector_text(unit, four_digits);
    }
  }
  return check;
}

}  // namespace kelmarino
