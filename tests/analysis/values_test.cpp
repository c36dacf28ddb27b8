// A group given by its values: filled exactly as the reader fills the group of its data file,
// every mistake named by the path of its value, and a used-up group analysed in place without
// touching a group that shares its model.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "analysis/analysis.hpp"
#include "analysis/result_bits.hpp"
#include "support/test_support.hpp"

namespace kelmarino {
namespace {

GroupValues example_values(const char* name) {
  const GroupRead read = read_group(testing::example_path(std::string(name) + ".dat"));
  EXPECT_TRUE(read.has_value());
  return values_of(*read);
}

// The types of a group in the opposite order, the piles taking the same ones.
void reverse_types(GroupValues& g) {
  std::reverse(g.types.begin(), g.types.end());
  const auto last = static_cast<int32_t>(g.types.size()) - 1;
  for (PileValues& pile : g.piles) pile.type = last - pile.type;
}

TEST(GroupValues, BuildsTheGroupTheReaderReadsFromTheirDataText) {
  const struct {
    const char* example;
    void (*edit)(GroupValues&);
  } rows[] = {
      {"worked", [](GroupValues&) {}},
      {"worked-simulated", [](GroupValues&) {}},
      {"pier", [](GroupValues&) {}},
      {"rock", [](GroupValues&) {}},
      {"pier", reverse_types},
      {"pier", [](GroupValues& g) { g.piles[3].x = -0.0f, g.loads[1].act[4] = 1e-40f; }},
      {"pier", [](GroupValues& g) { g.JCTR = 2, g.loads = {}, g.types[0].above[0].steps = 0; }},
      {"pier", [](GroupValues& g) { g.JCTR = 3, g.INO = 17, g.loads = {}; }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.example);
    GroupValues values = example_values(row.example);
    row.edit(values);
    const GroupRead built = build_group(values);
    const GroupRead read = parse_group(data_text(values), values.name);
    ASSERT_TRUE(built.has_value()) << built.issue().full;
    ASSERT_TRUE(read.has_value()) << read.issue().full;
    EXPECT_EQ(std::memcmp(built->model.get(), read->model.get(), sizeof(Model)), 0);
    EXPECT_EQ(std::memcmp(&built->loads, &read->loads, sizeof(LoadPoints)), 0);
  }
}

// A fault of the checks themselves (the bottoms of a raked pile beyond any real) stops the group
// as it stops the reading of its data text.
TEST(GroupValues, StopsAtAFaultOfTheirChecksAsTheReaderDoes) {
  GroupValues values = example_values("worked");
  TypeValues raked = values.types[0];
  raked.axis[0] = 0.6f, raked.axis[1] = 0.0f, raked.axis[2] = 0.8f;
  raked.above[0].length = 1e38f;
  values.types.push_back(raked);
  values.type_keys.emplace_back("9");
  values.piles[0] = PileValues{3e38f, 0.0f, static_cast<int32_t>(values.types.size()) - 1};
  const GroupRead built = build_group(values);
  const GroupRead read = parse_group(data_text(values), values.name);
  ASSERT_FALSE(built.has_value());
  ASSERT_FALSE(read.has_value());
  EXPECT_EQ(built.issue().kind, Issue::Kind::input);
  EXPECT_EQ(built.issue().full, read.issue().full);
  EXPECT_NE(built.issue().full.find("overflow"), std::string::npos) << built.issue().full;
}

TEST(GroupValues, AnalysesEveryExampleAsItsDataFile) {
  for (const char* name : {"worked", "worked-simulated", "pier", "rock"}) {
    SCOPED_TRACE(name);
    const GroupRead read = read_group(testing::example_path(std::string(name) + ".dat"));
    ASSERT_TRUE(read.has_value());
    const GroupRead built = build_group(values_of(*read));
    ASSERT_TRUE(built.has_value()) << built.issue().full;
    const std::string expected = testing::result_bits(analyse(*read));
    EXPECT_EQ(testing::result_bits(analyse(*built)), expected);
    // Used up while another group shares the model: analysed on a copy, the other untouched.
    Group shared = *built;
    EXPECT_EQ(testing::result_bits(analyse(std::move(*built))), expected);
    EXPECT_EQ(testing::result_bits(analyse(shared)), expected);
    EXPECT_EQ(testing::result_bits(analyse(std::move(shared))), expected);
  }
}

// A file of 101 piles of types 0 to 99 and -1 (the <0> block and a key block of none): every
// type a data file can name. Its values analyse as the file does; their data text cannot hold
// so many blocks and is refused.
TEST(GroupValues, TakeEveryTypeADataFileNames) {
  const std::string block = "0 1 0 0 1\n1 2 1.2 4\n1 8 1.2 5000 30 8\n10000 2.6E6 1\n";
  std::string text = "* control\n1\n1\n0 0\n100 50 2000 0 0 0\n*end\n* piles\n101 0\n";
  for (int32_t p = 0; p < 101; ++p) {
    text.append(std::to_string(3 * (p % 10))).append(" ").append(std::to_string(3 * (p / 10)));
    text.append("\n");
  }
  text.append("*end\n* types\n");
  for (int32_t t = 0; t < 100; ++t) text.append(std::to_string(t)).append(" ");
  text.append("-1\n<0>\n").append(block);
  for (int32_t t = 1; t < 100; ++t) {
    text.append(t < 10 ? "< " : "<").append(std::to_string(t)).append(">\n").append(block);
  }
  text.append("<-1>\n0\n*end\n* springs\n*end\n");
  const GroupRead read = parse_group(text, "types.dat");
  ASSERT_TRUE(read.has_value()) << read.issue().full;
  const GroupValues values = values_of(*read);
  ASSERT_EQ(values.types.size(), 101u);
  const GroupRead built = build_group(values);
  ASSERT_TRUE(built.has_value()) << built.issue().full;
  EXPECT_EQ(testing::result_bits(analyse(*built)), testing::result_bits(analyse(*read)));
  EXPECT_THROW(data_text(values), RunError);
}

constexpr float INF = std::numeric_limits<float>::infinity();

// The group with n piles, the added ones copies of the first 1 m apart on a line.
void more_piles(GroupValues& g, size_t n) {
  g.piles.resize(n, g.piles[0]);
  for (size_t p = 16; p < n; ++p) g.piles[p].x = 100.0f + static_cast<float>(p);
}

TEST(GroupValues, NamesEachMistakeByThePathOfItsValue) {
  // Edits of the pier, whose types 0 to 3 are its type numbers -1, 0, -2 and 1.
  const struct {
    void (*edit)(GroupValues&);
    const char* message;
  } rows[] = {
      {[](GroupValues& g) { g.loads.resize(11, g.loads[0]); },
       "loads = 11 load points: at most 10 are allowed (NACT)"},
      {[](GroupValues& g) { g.loads[1].y = INF; },
       "loads[1].y = inf: a value must be a finite number (AXY)"},
      {[](GroupValues& g) { g.loads[0].act[2] = -INF; },
       "loads[0].FZ = -inf: a value must be a finite number (FZ)"},
      {[](GroupValues& g) { g.JCTR = 2; },
       "loads = 2 load points: a group's load points are analysed only with JCTR = 1, and its "
       "JCTR is 2 (set JCTR to 1, or remove the load points) (JCTR)"},
      {[](GroupValues& g) { g.JCTR = 3, g.INO = 18, g.loads.clear(); },
       "INO = 18: the pile of a stiffness print must be one of the piles, numbered 1 to 17 (INO)"},
      {[](GroupValues& g) { g.piles.clear(); }, "piles = 0 piles: 1 to 200 are allowed (PNUM)"},
      {[](GroupValues& g) { g.supports.resize(21, g.supports[0]); },
       "supports = 21 simulated piles: at most 20 are allowed (SNUM)"},
      {[](GroupValues& g) { more_piles(g, 195), g.supports.resize(6); },
       "supports = 6 simulated piles: at most 200 piles and simulated piles are allowed, and 195 "
       "piles are given (PNUM + SNUM)"},
      {[](GroupValues& g) { g.piles[2].x = std::numeric_limits<float>::quiet_NaN(); },
       "piles[2].x = nan: a value must be a finite number (PXY)"},
      {[](GroupValues& g) { g.piles[4].type = 9; },
       "piles[4].type = 9: a pile takes one of the 4 types, 0 to 3 (PTYPE)"},
      {[](GroupValues& g) {
         more_piles(g, 110), g.types.resize(110, g.types[0]);
         for (size_t p = 0; p < 110; ++p) g.piles[p].type = static_cast<int32_t>(p);
       },
       "piles = 110 types taken: the piles take at most 109 types (PTYPE)"},
      {[](GroupValues& g) { g.types[2].shape = 2; },
       "types[2].shape = 2: the section code must be 0 (circular) or 1 (square) (KSH)"},
      {[](GroupValues& g) { g.types[1].tip = 0; },
       "types[1].tip = 0: the bottom support code must be 1 or more (KSU)"},
      {[](GroupValues& g) {
         g.types[1].tip = 0, g.type_keys = {"-1", "0", "-2", "1"};
       },
       "types[0].tip = 0: the bottom support code must be 1 or more (KSU)"},
      {[](GroupValues& g) { g.types[1].axis[0] = 1.0f, g.types[1].axis[2] = 0.0f; },
       "types[1].axis = (1, 0, 0): a pile along the x axis has no pile axes (AGL)"},
      {[](GroupValues& g) { g.types[1].axis[1] = 1.0f, g.types[1].axis[2] = -0.5f; },
       "types[1].axis = (0, 1, -0.5): the pile axis must point down from the head to the tip: its "
       "z component must be greater than 0 (AGL)"},
      {[](GroupValues& g) { g.types[1].axis[0] = 0.5f; },
       "types[1].axis = (0.5, 0, 1): the direction of the pile axis must have length 1 (within "
       "0.001), not 1.118: write it normalised, (0.4472, 0, 0.8944) (AGL)"},
      {[](GroupValues& g) { g.types[1].axis[1] = INF; },
       "types[1].axis[1] = inf: a value must be a finite number (AGL)"},
      {[](GroupValues& g) { g.types[3].above.resize(16, g.types[3].above[0]); },
       "types[3].above = 16 segments: at most 15 are allowed (NFR)"},
      {[](GroupValues& g) { g.types[3].below.resize(16, g.types[3].below[0]); },
       "types[3].below = 16 segments: at most 15 are allowed (NBL)"},
      {[](GroupValues& g) { g.types[0].above[1].length = -2.5f; },
       "types[0].above[1].length = -2.5: a segment length must be 0 or more (HFR)"},
      {[](GroupValues& g) { g.types[0].above[0].diameter = 0.0f; },
       "types[0].above[0].diameter = 0: a diameter must be greater than 0 (DOF)"},
      {[](GroupValues& g) { g.types[0].above[0].steps = 0; },
       "types[0].above[0].steps = 0: a step count must be 1 or more when the run goes on to the "
       "pile results (NSF)"},
      {[](GroupValues& g) { g.types[2].below[0].length = -1.0f; },
       "types[2].below[0].length = -1: a segment length must be 0 or more (HBL)"},
      {[](GroupValues& g) { g.types[2].below[0].diameter = -1.5f; },
       "types[2].below[0].diameter = -1.5: a diameter must be greater than 0 (DOB)"},
      {[](GroupValues& g) { g.types[2].below[0].diameter = 1500.0f; },
       "types[2].below[0].diameter = 1500: a diameter must be below 100 m (is it in millimetres?) "
       "(DOB)"},
      {[](GroupValues& g) { g.types[1].below.clear(); },
       "types[1].below = no length: a pile that bears on the soil (KSU 1 or 2) needs a length "
       "below the ground line (is a length left out, or is KSU 3 meant?) (KSU, HBL)"},
      {[](GroupValues& g) { g.types[1].tip = 3, g.types[1].below.clear(), g.types[1].above = {}; },
       "types[1] = no segment: a pile needs a segment to bear with (NFR, NBL)"},
      {[](GroupValues& g) { g.piles[5].x = g.piles[6].x, g.piles[5].type = g.piles[6].type; },
       "piles[6] = (1.5, -1.5), as piles[5]: two piles cannot stand at the same point with the "
       "same axis (is a pile given twice, or a coordinate mistyped?) (PXY)"},
      {[](GroupValues& g) {
         const BottomPoint bottom = bottom_point(g.piles[0], g.types[0]);  // 32 m along the axis
         g.piles[1].x = bottom.x, g.piles[1].y = bottom.y;
       },
       "piles[1] = bottom at (-9.760799, -4.5), as piles[0]: two pile bottoms cannot meet in plan, "
       "as each bears on an area limited by its distance to the nearest other (is an axis, a "
       "length or a coordinate mistyped?) (PXY, AGL, HFR, HBL)"},
      {[](GroupValues& g) { g.supports[0].stiffness[7] = -2e15f; },
       "supports[0].stiffness[7] = -2e+15: a stiffness term must be at most 1e15, or the solution "
       "of the cap overflows (1e10 holds a support as good as rigid) (ESP)"},
      {[](GroupValues& g) { g.types[2].below[1].m = 0.0f; },
       "types[2].below[1].m = 0: the soil coefficient must be greater than 0 (PMT)"},
      {[](GroupValues& g) { g.types[2].below[2].friction = 90.0f; },
       "types[2].below[2].friction = 90: the friction angle must be 0 or more and below 90 degrees "
       "(PFI)"},
      {[](GroupValues& g) { g.types[2].below[2].steps = -1; },
       "types[2].below[2].steps = -1: a step count must be 1 or more when the run goes on to the "
       "pile results (NSG)"},
      {[](GroupValues& g) { g.types[3].PMB = -3e4f; },
       "types[3].PMB = -30000: the soil coefficient at the pile bottom must be greater than 0 "
       "(PMB)"},
      {[](GroupValues& g) { g.types[3].PEH = 0.0f; },
       "types[3].PEH = 0: the elastic modulus must be greater than 0 (PEH)"},
      {[](GroupValues& g) { g.types[3].PKE = -1.0f; },
       "types[3].PKE = -1: the reduction factor of the second moment of area must be greater "
       "than 0 (PKE)"},
      {[](GroupValues& g) { g.types[0].below[0].steps = 2147483647; },
       "types[0] = 2147483678 stations: at most 200 are allowed, 1 + the steps of every segment "
       "(NSF, NSG)"},
      {[](GroupValues& g) { g.supports[0].y = INF; },
       "supports[0].y = inf: a value must be a finite number (SXY)"},
      {[](GroupValues& g) { g.supports[0].stiffness[35] = INF; },
       "supports[0].stiffness[35] = inf: a value must be a finite number (ESP)"},
  };
  const GroupValues pier = example_values("pier");
  for (const auto& row : rows) {
    GroupValues values = pier;
    row.edit(values);
    const std::vector<Issue> issues = check(values);
    ASSERT_EQ(issues.size(), 1u) << row.message;
    EXPECT_EQ(issues[0].message, row.message);
    EXPECT_EQ(issues[0].full, "in " + pier.name + ": " + row.message);
    EXPECT_EQ(build_group(values).issue().full, issues[0].full);
  }
}

TEST(GroupValues, NamesEachUnusualValueByItsPathAsTheFileWarnsOfIt) {
  const struct {
    void (*edit)(GroupValues&);
    const char* message;
  } rows[] = {
      {[](GroupValues& g) { g.types[1].tip = 9; },
       "types[1].tip = 9, which acts as 3: usual: 1 to 4 (KSU)"},
      {[](GroupValues& g) { g.types[3].PEH = 1000.0f; },
       "types[3].PEH = 1000: usual: 1e6 to 2.5e8 (timber in t/m2 to steel in kPa) (PEH)"},
      {[](GroupValues& g) { g.types[2].below[1].m = 3e6f; },
       "types[2].below[1].m = 3e+06: usual: 50 to 300000 (t/m4 or kN/m4; is it 1000 times too "
       "small or large?) (PMT)"},
      {[](GroupValues& g) { g.types[0].above[0].length = 250.0f; },
       "types[0].above[0].length = 250: usual: below 200 m (is it in millimetres?) (HFR)"},
      {[](GroupValues& g) { g.piles[3].x = 300.0f, g.loads.clear(); },
       "piles[3] = (300, -4.5): usual: within 200 m of the cap centre (are the coordinates in "
       "millimetres?) (PXY)"},
      {[](GroupValues& g) { g.loads[1].y = 20.5f; },
       "loads[1] = (0, 20.5): far outside the plan of the piles (x -4.5 to 4.5, y -4.5 to 4.5): "
       "usual: within it or beside it (is a value in cm or mm?) (AXY)"},
  };
  const GroupValues pier = example_values("pier");
  EXPECT_TRUE(unusual(pier).empty());
  for (const auto& row : rows) {
    GroupValues values = pier;
    row.edit(values);
    EXPECT_EQ(unusual(values), std::vector<std::string>{row.message});
  }
}

TEST(GroupValues, GivesEveryMistakeInTheOrderOfTheGroup) {
  GroupValues values = example_values("pier");
  values.supports[0].x = INF;
  values.types[3].PEH = 0.0f;
  values.types[1].tip = 0;
  values.piles[0].y = INF;
  std::vector<std::string> paths;
  for (const Issue& issue : check(values)) {
    paths.push_back(issue.message.substr(0, issue.message.find(' ')));
  }
  EXPECT_EQ(paths, (std::vector<std::string>{"piles[0].y", "types[1].tip", "types[3].PEH",
                                             "supports[0].x"}));
  // The steps of a stiffness print are not checked: it has no pile results.
  values = example_values("pier");
  values.JCTR = 2;
  values.loads.clear();
  values.types[0].above[0].steps = 0;
  EXPECT_TRUE(check(values).empty());
}

TEST(StoredAnalysis, ReadsBackItsBytesAndRefusesAnyOthers) {
  for (const char* name : {"worked", "worked-simulated", "pier"}) {
    SCOPED_TRACE(name);
    StoredAnalysis stored{example_values(name), {}};
    Analysed analysed = analyse(*build_group(stored.values));
    ASSERT_TRUE(analysed.has_value());
    stored.result = std::move(*analysed);
    const std::string bytes = analysis_bytes(stored);
    const Expected<StoredAnalysis> back = analysis_from_bytes(bytes);
    ASSERT_TRUE(back.has_value()) << back.issue().full;
    EXPECT_EQ(data_text(back->values), data_text(stored.values));
    EXPECT_EQ(testing::result_bits(back->result), testing::result_bits(stored.result));
    std::string other = bytes;
    other[other.find("kelmarino analysis ") + 19] ^= 1;  // another version's first digit
    for (const std::string& bad : {bytes.substr(0, bytes.size() - 1), bytes + '\0', other}) {
      EXPECT_FALSE(analysis_from_bytes(bad).has_value());
    }
    // Counts that differ between the values and the results, which a writer would index by.
    for (void (*edit)(StoredAnalysis&) : {
             +[](StoredAnalysis& a) { a.result.derived.piles.pop_back(); },
             +[](StoredAnalysis& a) { a.result.derived.piles[0].below.emplace_back(); },
             +[](StoredAnalysis& a) { a.result.supports.resize(a.values.supports.size() + 1); },
         }) {
      StoredAnalysis edited = stored;
      edit(edited);
      EXPECT_FALSE(analysis_from_bytes(analysis_bytes(edited)).has_value());
    }
  }
}

}  // namespace
}  // namespace kelmarino
