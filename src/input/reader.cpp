// The data-file reader.
#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/foundation.hpp"
#include "input/input.hpp"
#include "numeric/numeric.hpp"

namespace kelmarino {
namespace {

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
  int32_t section_line = 0, above_line = 0, below_line = 0;  // where the reads ended
};

// The data-file lines that last set the checked values of a pile (0: no block set them).
struct PileSource {
  int32_t KSH = 0, KSU = 0, AGL = 0, NFR = 0, NBL = 0;
  int32_t steps = 0;  // the last change of a segment count or a step count
};

// Working storage of the reader.
struct Reader {
  InChannel& data;
  OutChannel& console;
  PileData& piles;
  int32_t PNUM = 0;
  int32_t SNUM = 0;
  TypeBlock block;
  PileSource source[MAX_PILES];
};

// The keys of a keyword block, in the order of KEYS.
enum Key { KSH, KSU, AGL, NFR, HFR, DOF, NSF, NBL, HBL, DOB, PMT, PFI, NSG, PMB, PEH, PKE };

[[noreturn]] void refuse(const InChannel& data, int32_t line, const std::string& what) {
  const std::string where = line > 0 ? ", line " + std::to_string(line) : "";
  throw RunError("run-time error in " + data.name + where + ": " + what);
}

void check_range(const InChannel& data, const char* name, int32_t value, int32_t low,
                 int32_t high) {
  if (value < low || value > high) {
    refuse(data, data.line_number,
           std::string(name) + " = " + std::to_string(value) + " is outside the range " +
               std::to_string(low) + " to " + std::to_string(high));
  }
}

void read_heading(InChannel& data) {
  char heading[9];
  line_read(data, "(A9)", {text_target(heading, 9)});
}

void read_end(InChannel& data) {
  char end[4];
  line_read(data, "(A4)", {text_target(end, 4)});
}

// The tag line of a block: columns 2 and 3 hold the type number K.
int32_t read_tag(InChannel& data) {
  char open[1];
  char close[1];
  int32_t K = 0;
  line_read(data, "(A1,I2,A1)", {text_target(open, 1), integer_target(K), text_target(close, 1)});
  return K;
}

void stop_with_type_error(Reader& reader, int32_t K) {
  write(reader.console, "('Error: <',I2,'>')", {K});
  throw RunStop{1};
}

// Reads n pairs x, y of one free read into a (.., 2) table.
template <int32_t N>
void read_points(InChannel& data, int32_t n, Table<float, N, 2>& xy) {
  Target targets[2 * N];
  for (int32_t i = 1; i <= n; ++i) {
    targets[2 * i - 2] = real_target(xy(i, 1));
    targets[2 * i - 1] = real_target(xy(i, 2));
  }
  free_read(data, std::span<const Target>(targets, static_cast<size_t>(2 * n)));
}

// A type block: four free reads. The segment lists are a count followed by the values of each
// segment in the same read; segments beyond the capacity are read into scratch values, which no
// pile receives (a pile given such a count is refused).
void read_type_block(InChannel& data, TypeBlock& b) {
  free_read(data, {integer_target(b.KSH), integer_target(b.KSU), real_target(b.AGL[0]),
                   real_target(b.AGL[1]), real_target(b.AGL[2])});
  b.section_line = data.line_number;

  float scratch_real[4];
  int32_t scratch_integer = 0;
  FreeRead read;
  start_free_read(data, read);
  read_values(read, {integer_target(b.NFR)});
  for (int32_t s = 1; s <= b.NFR && !read.ended; ++s) {
    const bool kept = s <= MAX_SEGMENTS;
    read_values(read, {real_target(kept ? b.HFR[s - 1] : scratch_real[0]),
                       real_target(kept ? b.DOF[s - 1] : scratch_real[1]),
                       integer_target(kept ? b.NSF[s - 1] : scratch_integer)});
  }
  b.above_line = data.line_number;

  start_free_read(data, read);
  read_values(read, {integer_target(b.NBL)});
  for (int32_t s = 1; s <= b.NBL && !read.ended; ++s) {
    const bool kept = s <= MAX_SEGMENTS;
    read_values(read, {real_target(kept ? b.HBL[s - 1] : scratch_real[0]),
                       real_target(kept ? b.DOB[s - 1] : scratch_real[1]),
                       real_target(kept ? b.PMT[s - 1] : scratch_real[2]),
                       real_target(kept ? b.PFI[s - 1] : scratch_real[3]),
                       integer_target(kept ? b.NSG[s - 1] : scratch_integer)});
  }
  b.below_line = data.line_number;

  free_read(data, {real_target(b.PMB), real_target(b.PEH), real_target(b.PKE)});
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
  reader.source[p - 1] = {b.section_line, b.section_line, b.section_line,
                          b.above_line,   b.below_line,   b.below_line};
}

// TYPE_BLOCK: reads one type block and gives it to every pile whose type it matches.
void TYPE_BLOCK(Reader& reader, int32_t K) {
  read_type_block(reader.data, reader.block);
  for (int32_t p = 1; p <= reader.PNUM; ++p) {
    if (TYPE_MATCH(K, reader.piles.PTYPE(p))) apply_type_block(reader, p);
  }
}

// One key line of a keyword block as read.
struct KeyLine {
  char key[4];
  int32_t index;
  float value;
  int32_t line;
};

// The value of a key line stored as an integer: truncated toward zero.
int32_t key_integer(const Reader& reader, const KeyLine& k) {
  if (!(k.value > -2147483904.0f && k.value < 2147483648.0f)) {
    char shown[32];
    std::snprintf(shown, sizeof shown, "%g", static_cast<double>(k.value));
    refuse(reader.data, k.line,
           "the value " + std::string(shown) + " of " + std::string(k.key, 4) +
               " does not fit an integer");
  }
  return static_cast<int32_t>(k.value);
}

// Sets the value of one key line for pile p.
void apply_key(Reader& reader, Key key, const KeyLine& k, int32_t p) {
  PileData& piles = reader.piles;
  PileSource& source = reader.source[p - 1];
  const int32_t i = k.index;
  switch (key) {
    case KSH:
      piles.KSH(p) = key_integer(reader, k);
      source.KSH = k.line;
      break;
    case KSU:
      piles.KSU(p) = key_integer(reader, k);
      source.KSU = k.line;
      break;
    case AGL:
      piles.AGL(p, i) = k.value;
      source.AGL = k.line;
      break;
    case NFR:
      piles.NFR(p) = key_integer(reader, k);
      source.NFR = source.steps = k.line;
      break;
    case HFR:
      piles.HFR(p, i) = k.value;
      break;
    case DOF:
      piles.DOF(p, i) = k.value;
      break;
    case NSF:
      piles.NSF(p, i) = key_integer(reader, k);
      source.steps = k.line;
      break;
    case NBL:
      piles.NBL(p) = key_integer(reader, k);
      source.NBL = source.steps = k.line;
      break;
    case HBL:
      piles.HBL(p, i) = k.value;
      break;
    case DOB:
      piles.DOB(p, i) = k.value;
      break;
    case PMT:
      piles.PMT(p, i) = k.value;
      break;
    case PFI:
      piles.PFI(p, i) = k.value;
      break;
    case NSG:
      piles.NSG(p, i) = key_integer(reader, k);
      source.steps = k.line;
      break;
    case PMB:
      piles.PMB(p) = k.value;
      break;
    case PEH:
      piles.PEH(p) = k.value;
      break;
    case PKE:
      piles.PKE(p) = k.value;
      break;
  }
}

// KEY_BLOCK: applies the key lines of a negative type K to every pile of that type, in file
// order; later lines override earlier ones.
void KEY_BLOCK(Reader& reader, int32_t K, int32_t NKEY, const KeyLine* lines) {
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
      refuse(reader.data, k.line,
             "the index " + std::to_string(k.index) + " of " + std::string(k.key, 4) +
                 " is outside the range 1 to " + std::to_string(limit));
    }
    for (int32_t m = 0; m < count; ++m) apply_key(reader, static_cast<Key>(key), k, members[m]);
  }
}

void read_key_block(Reader& reader, int32_t K) {
  InChannel& data = reader.data;
  int32_t NKEY = 0;
  free_read(data, {integer_target(NKEY)});
  check_range(data, "NKEY", NKEY, 0, MAX_KEY_LINES);
  KeyLine lines[MAX_KEY_LINES];
  for (int32_t n = 0; n < NKEY; ++n) {
    KeyLine& k = lines[n];
    k = KeyLine{{' ', ' ', ' ', ' '}, 0, 0.0f, 0};
    free_read(data, {text_target(k.key, 4), integer_target(k.index), real_target(k.value)});
    k.line = data.line_number;
  }
  KEY_BLOCK(reader, K, NKEY, lines);
}

// SIM_BLOCK: reads one simulated-pile block (a diagonal for K < 0, a full matrix row by row for
// K > 0) and writes it into the ESP rows of every simulated pile j of type K, which are the rows
// 6(PNUM+j-1)+1 .. 6(PNUM+j) the foundation assembly takes for simulated pile j.
void SIM_BLOCK(Reader& reader, int32_t K) {
  if (K == 0) return;
  float S[6][6] = {};
  Target targets[36];
  if (K < 0) {
    for (int32_t i = 0; i < 6; ++i) targets[i] = real_target(S[i][i]);
    free_read(reader.data, std::span<const Target>(targets, 6));
  } else {
    for (int32_t i = 0; i < 36; ++i) targets[i] = real_target(S[i / 6][i % 6]);
    free_read(reader.data, std::span<const Target>(targets, 36));
  }
  PileData& piles = reader.piles;
  for (int32_t j = 1; j <= reader.SNUM; ++j) {
    if (piles.STYPE(j) != K) continue;
    for (int32_t i = 1; i <= 6; ++i) {
      const int32_t r = 6 * (reader.PNUM + j - 1) + i;
      for (int32_t c = 1; c <= 6; ++c) piles.ESP(r, c) = S[i - 1][c - 1];
    }
  }
}

// Refuses pile values that no analysis is defined for, or that exceed the capacities.
void check_pile(const Reader& reader, int32_t p) {
  const PileData& piles = reader.piles;
  const PileSource& source = reader.source[p - 1];
  const std::string pile =
      "pile " + std::to_string(p) + " (type " + std::to_string(piles.PTYPE(p)) + ")";
  auto limit = [&](int32_t line, const char* name, int32_t value, int32_t low, int32_t high) {
    if (value < low || value > high) {
      refuse(reader.data, line,
             pile + " has " + name + " = " + std::to_string(value) + ", outside the range " +
                 std::to_string(low) + " to " + std::to_string(high));
    }
  };
  if (source.KSU == 0) {  // the <0> block gives every pile of type 0 or below its values
    char tag[16];
    std::snprintf(tag, sizeof tag, "<%2d>", static_cast<int>(piles.PTYPE(p)));
    refuse(reader.data, 0,
           pile + " received no properties: the type section has no block tagged " + tag);
  }
  limit(source.NFR, "NFR", piles.NFR(p), 0, MAX_SEGMENTS);
  limit(source.NBL, "NBL", piles.NBL(p), 0, MAX_SEGMENTS);
  if (piles.KSH(p) != 0 && piles.KSH(p) != 1) {
    refuse(reader.data, source.KSH,
           pile + " has KSH = " + std::to_string(piles.KSH(p)) +
               "; the section code must be 0 (circular) or 1 (square)");
  }
  if (piles.KSU(p) < 1) {
    refuse(reader.data, source.KSU,
           pile + " has KSU = " + std::to_string(piles.KSU(p)) +
               "; the bottom support code must be 1 or more");
  }
  if (piles.AGL(p, 2) == 0.0f && piles.AGL(p, 3) == 0.0f) {
    refuse(reader.data, source.AGL,
           pile + " has AGL(2) = AGL(3) = 0: a pile along the x axis has no pile axes");
  }
  const int64_t stations = pile_stations(piles, p).NSTA;
  if (stations > MAX_STATIONS) {
    refuse(reader.data, source.steps,
           pile + " has " + std::to_string(stations) +
               " stations (1 + the steps NSF and NSG); at most " + std::to_string(MAX_STATIONS) +
               " are allowed");
  }
}

void read_control_section(Reader& reader, int32_t& JCTR, int32_t& INO, int32_t& INO_line,
                          Vec<float, 6>& FORCE, LoadPoints& loads) {
  InChannel& data = reader.data;
  read_heading(data);
  free_read(data, {integer_target(JCTR)});
  if (JCTR == 1) {
    free_read(data, {integer_target(loads.NACT)});
    check_range(data, "NACT", loads.NACT, 0, MAX_LOAD_POINTS);
    for (int32_t k = 1; k <= loads.NACT; ++k) {
      free_read(data, {real_target(loads.AXY(k, 1)), real_target(loads.AXY(k, 2))});
      free_read(data, {real_target(loads.ACT(k, 1)), real_target(loads.ACT(k, 2)),
                       real_target(loads.ACT(k, 3)), real_target(loads.ACT(k, 4)),
                       real_target(loads.ACT(k, 5)), real_target(loads.ACT(k, 6))});
    }
    fault_context().stage = "reduction of the loads to the cap centre";
    REDUCE_LOADS(loads.NACT, loads.AXY, loads.ACT, FORCE);
    fault_context().stage = "input";
  } else if (JCTR == 3) {
    free_read(data, {integer_target(INO)});
    INO_line = data.line_number;
  }
  read_end(data);
}

void read_arrangement_section(Reader& reader, int32_t& PNUM, int32_t& SNUM) {
  InChannel& data = reader.data;
  PileData& piles = reader.piles;
  read_heading(data);
  free_read(data, {integer_target(PNUM), integer_target(SNUM)});
  check_range(data, "PNUM", PNUM, 1, MAX_PILES);
  check_range(data, "SNUM", SNUM, 0, MAX_SIMULATED);
  check_range(data, "PNUM + SNUM", PNUM + SNUM, 1, MAX_BLOCKS);
  reader.PNUM = PNUM;
  reader.SNUM = SNUM;
  read_points(data, PNUM, piles.PXY);
  if (SNUM > 0) read_points(data, SNUM, piles.SXY);
  read_end(data);
}

void read_type_section(Reader& reader) {
  InChannel& data = reader.data;
  PileData& piles = reader.piles;
  read_heading(data);
  Target targets[MAX_PILES];
  for (int32_t p = 1; p <= reader.PNUM; ++p) targets[p - 1] = integer_target(piles.PTYPE(p));
  free_read(data, std::span<const Target>(targets, static_cast<size_t>(reader.PNUM)));
  char check[3];
  line_read(data, "(A3)", {text_target(check, 3)});
  if (std::memcmp(check, "<0>", 3) != 0) {
    write(reader.console, "(/,/,/,'Error:<0>',/)");
    throw RunStop{1};
  }
  TYPE_BLOCK(reader, 0);
  const int32_t blocks = COUNT_TYPES(reader.PNUM, piles.PTYPE.data()) - 1;
  for (int32_t b = 1; b <= blocks; ++b) {
    const int32_t K = read_tag(data);
    if (K > 0) {
      TYPE_BLOCK(reader, K);
    } else if (K < 0) {
      read_key_block(reader, K);
    }
  }
  read_end(data);
  for (int32_t p = 1; p <= reader.PNUM; ++p) check_pile(reader, p);
}

void read_simulated_section(Reader& reader) {
  InChannel& data = reader.data;
  PileData& piles = reader.piles;
  read_heading(data);
  if (reader.SNUM != 0) {
    Target targets[MAX_SIMULATED];
    for (int32_t j = 1; j <= reader.SNUM; ++j) targets[j - 1] = integer_target(piles.STYPE(j));
    free_read(data, std::span<const Target>(targets, static_cast<size_t>(reader.SNUM)));
    const int32_t blocks = COUNT_TYPES(reader.SNUM, piles.STYPE.data());
    for (int32_t b = 1; b <= blocks; ++b) SIM_BLOCK(reader, read_tag(data));
  }
  read_end(data);
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

int32_t COUNT_TYPES(int32_t n, const int32_t* a) {
  int32_t count = 1;
  for (int32_t i = 2; i <= n; ++i) {
    bool seen = false;
    for (int32_t k = 1; k < i && !seen; ++k) seen = a[k - 1] == a[i - 1];
    if (!seen) ++count;
  }
  return count;
}

bool TYPE_MATCH(int32_t K, int32_t t) { return (K == 0 && t <= 0) || (K >= 0 && t == K); }

void reduce_load_point(float x, float y, const float* T, Vec<float, 6>& FORCE) {
  Matrix6 D, Dt;
  float R[6];
  OFFSET_MATRIX(x, y, D);
  TRANSPOSE(6, 6, D.data(), Dt.data());
  MATMUL(6, 6, 1, Dt.data(), T, R);
  for (int32_t i = 1; i <= 6; ++i) FORCE(i) = FORCE(i) + R[i - 1];
}

void REDUCE_LOADS(int32_t NACT, const Table<float, MAX_LOAD_POINTS, 2>& AXY,
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

void READ_INPUT(InChannel& data, OutChannel& console, int32_t& JCTR, int32_t& INO, int32_t& PNUM,
                int32_t& SNUM, Vec<float, 6>& FORCE, PileReals& ZFR, PileReals& ZBL,
                PileData& piles) {
  LoadPoints loads;
  READ_INPUT(data, console, JCTR, INO, PNUM, SNUM, FORCE, ZFR, ZBL, piles, loads);
}

void READ_INPUT(InChannel& data, OutChannel& console, int32_t& JCTR, int32_t& INO, int32_t& PNUM,
                int32_t& SNUM, Vec<float, 6>& FORCE, PileReals& ZFR, PileReals& ZBL,
                PileData& piles, LoadPoints& loads) {
  Reader reader{data, console, piles};
  int32_t INO_line = 0;
  read_control_section(reader, JCTR, INO, INO_line, FORCE, loads);
  read_arrangement_section(reader, PNUM, SNUM);
  if (JCTR == 3 && (INO < 1 || INO > PNUM + SNUM)) {
    refuse(data, INO_line,
           "INO = " + std::to_string(INO) + " names no pile: the piles are numbered 1 to " +
               std::to_string(PNUM + SNUM));
  }
  read_type_section(reader);
  read_simulated_section(reader);
  for (int32_t p = 1; p <= PNUM; ++p) {
    fault_context().pile = p;
    ZFR(p) = 0.0f;
    for (int32_t s = 1; s <= piles.NFR(p); ++s) ZFR(p) = ZFR(p) + piles.HFR(p, s);
    ZBL(p) = 0.0f;
    for (int32_t s = 1; s <= piles.NBL(p); ++s) ZBL(p) = ZBL(p) + piles.HBL(p, s);
  }
  fault_context().pile = 0;
}

}  // namespace kelmarino
