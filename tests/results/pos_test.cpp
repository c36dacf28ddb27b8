// The report sections and the post-processing file of complete runs of the program: the exact
// layout of every line, the line structure of the post-processing records, and a reader of that
// file that finds there the values the report shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "support/test_support.hpp"

namespace kelmarino {
namespace {

using testing::run_on_data;

const std::string WORKED = testing::worked_example();
// Piles 1 to 3: 4 steps above ground, 5 + 10 below; pile 4: 6 steps above ground.
const std::vector<std::pair<int, int>> WORKED_STATIONS = {{5, 20}, {5, 20}, {5, 20}, {7, 22}};

// One vertical pile off the centre, with the given above-ground and below-ground segment lines.
std::string one_pile(const std::string& above, const std::string& below) {
  return "* control\n1\n1\n0.0 0.0\n40.0 -25.0 800.0 10.0 -30.0 5.0\n*end\n* piles\n1 0\n"
         "0.5 -0.25\n*end\n* types\n0\n<0>\n0 1 0.0 0.0 1.0\n" +
         above + "\n" + below + "\n8000.0 2.6E6 1.0\n*end\n* springs\n*end\n";
}

std::string blanks(size_t n) { return std::string(n, ' '); }

std::string repeated(const std::string& text, int n) {
  std::string all;
  for (int i = 0; i < n; ++i) all += text;
  return all;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines = testing::split_lines(text);
  for (std::string& line : lines) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
  }
  return lines;
}

using testing::is_e_field;
using testing::is_i_field;

std::string without_blanks(const std::string& field) {
  const size_t first = field.find_first_not_of(' ');
  return first == std::string::npos ? "" : field.substr(first);
}

const char* const ZERO = ".0000E+00";

// Matches a line against a pattern of literal text and {w} fields, each an Ew.4 field of w
// columns; appends the fields' texts without their leading blanks.
bool scan(const std::string& line, const std::string& pattern, std::vector<std::string>& values) {
  size_t at = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '{') {
      const size_t close = pattern.find('}', i);
      const size_t w = std::stoul(pattern.substr(i + 1, close - i - 1));
      if (at + w > line.size() || !is_e_field(line.substr(at, w))) return false;
      values.push_back(without_blanks(line.substr(at, w)));
      at += w;
      i = close;
    } else {
      if (at >= line.size() || line[at] != pattern[i]) return false;
      ++at;
    }
  }
  return at == line.size();
}

std::vector<std::string> cap_patterns() {
  const std::string stars = blanks(7) + std::string(79, '*');
  return {stars,
          blanks(15) + "DISPLACEMENTS AT THE CAP CENTER OF PILE FOUNDATION",
          stars,
          "",
          blanks(16) + "Movement in the direction of X axis : UX={12} (m)",
          blanks(16) + "Movement in the direction of Y axis : UY={12} (m)",
          blanks(16) + "Movement in the direction of Z axis : UZ={12} (m)",
          blanks(16) + "Rotational angle  around X axis :     SX={12} (rad)",
          blanks(16) + "Rotational angle around Y axis :      SY={12} (rad)",
          blanks(16) + "Rotational angle around Z axis :      SZ={12} (rad)",
          "",
          ""};
}

std::vector<std::string> section_patterns(int g, int KG, int NSTA) {
  const std::string stars = blanks(7) + std::string(86, '*');
  const std::string percent = blanks(7) + std::string(101, '%');
  char number[16];
  std::snprintf(number, sizeof number, "%2d", g);
  std::vector<std::string> p = {
      stars,
      blanks(34) + "NO. " + number + " # PILE",
      stars,
      "",
      blanks(12) + "Coordinator of the pile: (x,y) = ({12} ,{12} )",
      "",
      blanks(12) + "Displacements and internal forces at the top of pile :",
      "",
      blanks(15) + "UX={12} (m)" + blanks(9) + "NX={12} (t)",
      blanks(15) + "UY={12} (m)" + blanks(9) + "NY={12} (t)",
      blanks(15) + "UZ={12} (m)" + blanks(9) + "NZ={12} (t)",
      blanks(15) + "SX={12} (rad)" + blanks(7) + "MX={12} (t*m)",
      blanks(15) + "SY={12} (rad)" + blanks(7) + "MY={12} (t*m)",
      blanks(15) + "SZ={12} (rad)" + blanks(7) + "MZ={12} (t*m)",
      "",
      "",
      percent,
      blanks(32) + "Displacements of the pile body and",
      blanks(30) + "Compression stresses of soil (PSX,PSY)",
      percent,
      "",
      "",
      blanks(15) + "Z" + blanks(12) + "UX" + blanks(12) + "UY" + blanks(12) + "SX" + blanks(12) +
          "SY" + blanks(12) + "PSX" + blanks(12) + "PSY",
      blanks(14) + "(m)" + blanks(11) + "(m)" + blanks(11) + "(m)" + blanks(10) + "(rad)" +
          blanks(9) + "(rad)" + blanks(9) + "(t/m2)" + blanks(9) + "(t/m2)",
      ""};
  if (KG == 1) p.push_back("");  // the write of the stations above ground, with no values
  for (int k = 1; k < KG; ++k) p.push_back(blanks(7) + repeated("{14}", 5));
  for (int k = KG; k <= NSTA; ++k) p.push_back(blanks(7) + repeated("{14}", 7));
  const std::vector<std::string> forces = {
      "",
      "",
      "",
      percent,
      blanks(32) + "Internal forces of the pile body",
      percent,
      "",
      "",
      blanks(18) + "Z" + blanks(14) + "NX" + blanks(14) + "NY" + blanks(14) + "NZ" + blanks(14) +
          "MX" + blanks(14) + "MY",
      blanks(17) + "(m)" + blanks(12) + "(t)" + blanks(13) + "(t)" + blanks(13) + "(t)" +
          blanks(12) + "(t*m)" + blanks(11) + "(t*m)",
      ""};
  p.insert(p.end(), forces.begin(), forces.end());
  for (int k = 1; k <= NSTA; ++k) p.push_back(blanks(7) + repeated("{16}", 6));
  return p;
}

struct Section {
  std::vector<std::string> xy;                   // pile-top coordinates
  std::vector<std::string> top;                  // UX, NX, UY, NY, UZ, NZ, SX, MX, SY, MY, SZ, MZ
  std::vector<std::vector<std::string>> body;    // Z, UX, UY, SX, SY (, PSX, PSY) per station
  std::vector<std::vector<std::string>> forces;  // Z, NX, NY, NZ, MX, MY per station
};

struct Report {
  std::vector<std::string> cap;  // UX, UY, UZ, SX, SY, SZ
  std::vector<Section> piles;
};

// Walks the report from the cap displacements to its end, line by line, with the ground-line
// station and the station count of every pile.
Report read_report(const std::string& text, const std::vector<std::pair<int, int>>& stations) {
  Report report;
  const std::vector<std::string> lines = lines_of(text);
  const std::string first = cap_patterns()[0];
  size_t at = static_cast<size_t>(std::find(lines.begin(), lines.end(), first) - lines.begin());
  for (const std::string& pattern : cap_patterns()) {
    std::vector<std::string> values;
    if (at >= lines.size() || !scan(lines[at], pattern, values)) {
      ADD_FAILURE() << "cap displacement line " << at + 1 << " is not \"" << pattern << "\"";
      return report;
    }
    report.cap.insert(report.cap.end(), values.begin(), values.end());
    ++at;
  }
  for (size_t i = 0; i < stations.size(); ++i) {
    const auto [KG, NSTA] = stations[i];
    const std::vector<std::string> patterns = section_patterns(static_cast<int>(i) + 1, KG, NSTA);
    std::vector<std::vector<std::string>> values;
    for (const std::string& pattern : patterns) {
      values.emplace_back();
      if (at >= lines.size() || !scan(lines[at], pattern, values.back())) {
        ADD_FAILURE() << "pile " << i + 1 << ": report line " << at + 1 << " \""
                      << (at < lines.size() ? lines[at] : "(end of report)") << "\" is not \""
                      << pattern << "\"";
        return report;
      }
      ++at;
    }
    Section section;
    section.xy = values[4];
    for (size_t line = 8; line <= 13; ++line) {
      section.top.insert(section.top.end(), values[line].begin(), values[line].end());
    }
    const size_t body = KG == 1 ? 26 : 25;  // first station line of the displacement table
    for (int k = 1; k <= NSTA; ++k) {
      section.body.push_back(values[body + static_cast<size_t>(k) - 1]);
    }
    const size_t forces = patterns.size() - static_cast<size_t>(NSTA);
    for (size_t line = forces; line < patterns.size(); ++line) {
      section.forces.push_back(values[line]);
    }
    report.piles.push_back(section);
  }
  EXPECT_EQ(at, lines.size()) << "the report goes on after the last pile";
  return report;
}

// A reader of the post-processing file that knows only the field widths and the value counts.
class PosReader {
 public:
  explicit PosReader(const std::string& text) : lines_(lines_of(text)) {}

  // A group of n values in fields of width w, per_line to a line, starting on a new line.
  std::vector<std::string> group(int n, size_t w, int per_line) {
    std::vector<std::string> values;
    for (int left = n; left > 0; left -= per_line) {
      if (next_ >= lines_.size()) {
        ADD_FAILURE() << "the post-processing file ends early";
        return values;
      }
      const std::string& line = lines_[next_++];
      const int count = std::min(left, per_line);
      EXPECT_EQ(line.size(), w * static_cast<size_t>(count)) << "line " << next_ << ": " << line;
      for (size_t at = 0; at + w <= line.size(); at += w) {
        const std::string field = line.substr(at, w);
        EXPECT_TRUE(w == 5 ? is_i_field(field) : is_e_field(field)) << "line " << next_;
        values.push_back(without_blanks(field));
      }
    }
    return values;
  }
  int integer() { return std::stoi(group(1, 5, 1).at(0)); }
  bool at_end() const { return next_ == lines_.size(); }
  size_t lines_read() const { return next_; }

 private:
  std::vector<std::string> lines_;
  size_t next_ = 0;
};

struct PosPile {
  int g = 0, NSTA = 0;
  std::vector<std::string> xy, Z, X, Y, NZ, PSX, PSY;  // X: UX, SY, NX, MY; Y: UY, SX, NY, MX
};

struct Pos {
  int PNUM = 0;
  std::vector<std::string> xy;
  std::vector<PosPile> piles;
};

Pos read_pos(const std::string& text) {
  PosReader reader(text);
  Pos pos;
  pos.PNUM = reader.integer();
  pos.xy = reader.group(2 * pos.PNUM, 14, 6);
  for (int i = 0; i < pos.PNUM; ++i) {
    PosPile pile;
    const std::vector<std::string> head = reader.group(2, 5, 2);
    if (head.size() != 2) return pos;
    pile.g = std::stoi(head[0]);
    pile.NSTA = std::stoi(head[1]);
    pile.xy = reader.group(2, 14, 2);
    pile.Z = reader.group(pile.NSTA, 14, 6);
    pile.X = reader.group(4 * pile.NSTA, 14, 6);
    pile.Y = reader.group(4 * pile.NSTA, 14, 6);
    pile.NZ = reader.group(pile.NSTA, 14, 6);
    pile.PSX = reader.group(pile.NSTA, 14, 6);
    pile.PSY = reader.group(pile.NSTA, 14, 6);
    pos.piles.push_back(pile);
  }
  EXPECT_TRUE(reader.at_end()) << "the post-processing file goes on after the last pile";
  return pos;
}

// Every value of the post-processing file is the value the report shows at the same place.
void expect_same_values(const Report& report, const Pos& pos,
                        const std::vector<std::pair<int, int>>& stations) {
  ASSERT_EQ(pos.PNUM, static_cast<int>(stations.size()));
  ASSERT_EQ(report.piles.size(), stations.size());
  ASSERT_EQ(pos.piles.size(), stations.size());
  for (size_t i = 0; i < stations.size(); ++i) {
    SCOPED_TRACE("pile " + std::to_string(i + 1));
    const Section& s = report.piles[i];
    const PosPile& p = pos.piles[i];
    const auto [KG, NSTA] = stations[i];
    EXPECT_EQ(p.g, static_cast<int>(i) + 1);
    ASSERT_EQ(p.NSTA, NSTA);
    EXPECT_EQ(p.xy, s.xy);
    EXPECT_EQ(pos.xy[2 * i], s.xy[0]);
    EXPECT_EQ(pos.xy[2 * i + 1], s.xy[1]);
    const std::vector<std::string> top = {p.X[0], p.X[2], p.Y[0], p.Y[2], p.Y[1],
                                          p.Y[3], p.X[1], p.X[3], p.NZ[0]};
    const std::vector<std::string> shown = {s.top[0], s.top[1], s.top[2], s.top[3], s.top[6],
                                            s.top[7], s.top[8], s.top[9], s.top[5]};
    EXPECT_EQ(top, shown);
    for (int k = 1; k <= NSTA; ++k) {
      const size_t at = static_cast<size_t>(k - 1), s4 = 4 * at;
      std::vector<std::string> body = {p.Z[at], p.X[s4], p.Y[s4], p.Y[s4 + 1], p.X[s4 + 1]};
      if (k >= KG) {
        body.push_back(p.PSX[at]);
        body.push_back(p.PSY[at]);
      } else {
        EXPECT_EQ(p.PSX[at], ZERO);
        EXPECT_EQ(p.PSY[at], ZERO);
      }
      EXPECT_EQ(body, s.body[at]) << "station " << k;
      const std::vector<std::string> forces = {p.Z[at],  p.X[s4 + 2], p.Y[s4 + 2],
                                               p.NZ[at], p.Y[s4 + 3], p.X[s4 + 3]};
      EXPECT_EQ(forces, s.forces[at]) << "station " << k;
    }
  }
}

TEST(Report, WorkedExampleSectionsFollowTheirLayouts) {
  const testing::ProgramRun run = run_on_data(WORKED);
  ASSERT_EQ(run.exit_status, 0) << run.errors;
  const Report report = read_report(run.file("case.out"), WORKED_STATIONS);
  ASSERT_EQ(report.cap.size(), 6u);
  ASSERT_EQ(report.piles.size(), 4u);
  const char* const xy[4][2] = {{"-.1500E+01", "-.1500E+01"},
                                {".1500E+01", "-.1500E+01"},
                                {"-.1500E+01", ".1500E+01"},
                                {".1500E+01", ".1500E+01"}};
  // Statics from the report alone: the pile-top forces of the vertical piles add up to the load
  // (100, 50, 2000) within the rounding of their four digits; their tops turn with the cap.
  double sum[3] = {}, rounding[3] = {};
  for (size_t i = 0; i < 4; ++i) {
    const Section& s = report.piles[i];
    EXPECT_EQ(s.xy[0], xy[i][0]);
    EXPECT_EQ(s.xy[1], xy[i][1]);
    for (size_t c = 0; c < 3; ++c) {
      const double force = std::stod(s.top[2 * c + 1]);
      sum[c] += force;
      rounding[c] += 0.5e-4 * std::pow(10.0, std::ceil(std::log10(std::fabs(force) + 1e-30)));
    }
    EXPECT_EQ(s.top[6], report.cap[3]);   // SX
    EXPECT_EQ(s.top[8], report.cap[4]);   // SY
    EXPECT_EQ(s.top[10], report.cap[5]);  // SZ
    EXPECT_EQ(s.body[0][0], ZERO);
    EXPECT_EQ(s.body[static_cast<size_t>(WORKED_STATIONS[i].first) - 1][5], ZERO);  // ground
  }
  const double load[3] = {100.0, 50.0, 2000.0};
  for (size_t c = 0; c < 3; ++c) EXPECT_NEAR(sum[c], load[c], rounding[c]) << c;
}

TEST(PosFile, ReaderRecoversTheReportValuesOfEveryPile) {
  const testing::ProgramRun run = run_on_data(WORKED);
  ASSERT_EQ(run.exit_status, 0) << run.errors;
  const Pos pos = read_pos(run.file("case.pos"));
  expect_same_values(read_report(run.file("case.out"), WORKED_STATIONS), pos, WORKED_STATIONS);
  // The coordinates: x then y of every pile, three piles to a line.
  const std::vector<std::string> lines = lines_of(run.file("case.pos"));
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "    4");
  EXPECT_EQ(lines[1],
            "    -.1500E+01    -.1500E+01     .1500E+01    -.1500E+01    -.1500E+01"
            "     .1500E+01");
  EXPECT_EQ(lines[2], "     .1500E+01     .1500E+01");
}

// One pile, one above-ground segment in one step and one below-ground segment in two: NSTA = 4,
// KG = 2, and the records take 14 lines, the station states running across line ends.
TEST(PosFile, OnePileWithFourStationsTakesFourteenLines) {
  const testing::ProgramRun run = run_on_data(one_pile("1 1.5 1.0 1", "1 6.0 1.0 6000.0 30.0 2"));
  ASSERT_EQ(run.exit_status, 0) << run.errors;
  const std::vector<std::string> lines = lines_of(run.file("case.pos"));
  ASSERT_EQ(lines.size(), 14u);
  const size_t fields[14] = {1, 2, 2, 2, 4, 6, 6, 4, 6, 6, 4, 4, 4, 4};
  for (size_t i = 0; i < 14; ++i) {
    const size_t w = (i == 0 || i == 2) ? 5 : 14;
    EXPECT_EQ(lines[i].size(), w * fields[i]) << "line " << i + 1 << ": " << lines[i];
  }
  EXPECT_EQ(lines[0], "    1");
  EXPECT_EQ(lines[1], "     .5000E+00    -.2500E+00");
  EXPECT_EQ(lines[2], "    1    4");
  EXPECT_EQ(lines[3], lines[1]);
  EXPECT_EQ(lines[4], "     .0000E+00     .1500E+01     .4500E+01     .7500E+01");
  EXPECT_EQ(lines[11].substr(0, 14), lines[11].substr(14, 14));  // NZ1 = NZ2, the top force
  for (size_t i : {12, 13}) {
    EXPECT_EQ(lines[i].substr(0, 28), "     .0000E+00     .0000E+00") << "line " << i + 1;
    EXPECT_NE(lines[i].substr(28, 14), "     .0000E+00") << "line " << i + 1;
  }
  const std::vector<std::pair<int, int>> stations = {{2, 4}};
  expect_same_values(read_report(run.file("case.out"), stations), read_pos(run.file("case.pos")),
                     stations);
}

// No above-ground segment: the stations above ground are written as one empty line, the ground
// line is the pile top with zero stresses; with NSTA = 6 the station columns fill one line each.
TEST(PosFile, PileWithoutFreeLengthWritesAnEmptyLineAndFullLines) {
  const testing::ProgramRun run = run_on_data(one_pile("0", "1 6.0 1.0 6000.0 30.0 5"));
  ASSERT_EQ(run.exit_status, 0) << run.errors;
  const std::vector<std::pair<int, int>> stations = {{1, 6}};
  const Report report = read_report(run.file("case.out"), stations);
  ASSERT_EQ(report.piles.size(), 1u);
  const std::vector<std::string>& ground = report.piles[0].body[0];
  ASSERT_EQ(ground.size(), 7u);
  EXPECT_EQ(ground[0], ZERO);
  EXPECT_NE(ground[1], ZERO);
  EXPECT_EQ(ground[5], ZERO);
  EXPECT_EQ(ground[6], ZERO);
  const std::vector<std::string> lines = lines_of(run.file("case.pos"));
  const size_t fields[16] = {1, 2, 2, 2, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6};
  ASSERT_EQ(lines.size(), 16u);
  for (size_t i = 0; i < 16; ++i) {
    const size_t w = (i == 0 || i == 2) ? 5 : 14;
    EXPECT_EQ(lines[i].size(), w * fields[i]) << "line " << i + 1;
  }
  expect_same_values(report, read_pos(run.file("case.pos")), stations);
}

TEST(Report, NoLoadWritesZeroDisplacementsAndForcesEverywhere) {
  std::string text = WORKED;
  const std::string loads = "1\n1\n0.0 0.0\n100.0 50.0 2000.0 0.0 0.0 0.0\n";
  text.replace(text.find(loads), loads.size(), "0\n");
  const testing::ProgramRun run = run_on_data(text);
  ASSERT_EQ(run.exit_status, 0) << run.errors;
  const Report report = read_report(run.file("case.out"), WORKED_STATIONS);
  ASSERT_EQ(report.piles.size(), 4u);
  for (const std::string& value : report.cap) EXPECT_EQ(value, ZERO);
  for (const Section& s : report.piles) {
    for (const std::string& value : s.top) EXPECT_EQ(value, ZERO);
    for (const auto* table : {&s.body, &s.forces}) {
      for (const std::vector<std::string>& row : *table) {
        for (size_t c = 1; c < row.size(); ++c) EXPECT_EQ(row[c], ZERO);
      }
    }
  }
  const Pos pos = read_pos(run.file("case.pos"));
  for (const PosPile& p : pos.piles) {
    for (const auto* group : {&p.X, &p.Y, &p.NZ, &p.PSX, &p.PSY}) {
      for (const std::string& value : *group) EXPECT_EQ(value, ZERO);
    }
  }
}

}  // namespace
}  // namespace kelmarino
