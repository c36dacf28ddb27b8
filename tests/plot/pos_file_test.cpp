// The post-processing file reader: every value of the files the program writes for the shipped
// examples against the station tables of the report, the record layout read by fields and counts,
// and damaged files refused with the line at fault.
#include "plot/pos_file.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.hpp"

namespace kelmarino {
namespace {

using testing::example_path;
using testing::read_file;
using testing::run_program;
using testing::split_lines;

// The station tables of one pile section of the report, read independently of the reader.
struct ReportPile {
  float x = 0.0f;
  float y = 0.0f;
  std::vector<std::vector<float>> displacements;  // Z UX UY SX SY [PSX PSY]
  std::vector<std::vector<float>> forces;         // Z NX NY NZ MX MY
};

// The numbers of a line, or nothing if any of its words is not a number.
std::vector<float> numbers(const std::string& line) {
  std::istringstream words(line);
  std::vector<float> values;
  std::string word;
  while (words >> word) {
    char* end = nullptr;
    const float value = std::strtof(word.c_str(), &end);
    if (end != word.c_str() + word.size()) return {};
    values.push_back(value);
  }
  return values;
}

std::vector<ReportPile> report_piles(const std::string& report) {
  std::vector<ReportPile> piles;
  std::vector<std::vector<float>>* table = nullptr;
  for (const std::string& line : split_lines(report)) {
    const std::vector<float> row = numbers(line);
    if (line.find("# PILE") != std::string::npos) {
      piles.emplace_back();
    } else if (line.find("Coordinator of the pile") != std::string::npos) {
      std::sscanf(line.c_str() + line.find("= (") + 3, "%f ,%f", &piles.back().x, &piles.back().y);
    } else if (line.find("(m)") != std::string::npos && line.find("(t/m2)") != std::string::npos) {
      table = &piles.back().displacements;
    } else if (line.find("(m)") != std::string::npos && line.find("(t*m)") != std::string::npos) {
      table = &piles.back().forces;
    } else if (table != nullptr && !row.empty()) {
      table->push_back(row);
    } else if (table != nullptr && !table->empty()) {
      table = nullptr;  // the first line after the rows
    }
  }
  return piles;
}

// Every station value the report prints equals the value read from the post-processing file:
// both are the same single-precision value written with four significant digits.
class ReaderAgainstReport : public ::testing::TestWithParam<const char*> {};

TEST_P(ReaderAgainstReport, ReadsEveryStationValueTheReportPrints) {
  const std::string base = GetParam();
  const auto run =
      run_program({{base + ".dat", read_file(example_path(base + ".dat"))}}, base.c_str());
  ASSERT_EQ(run.exit_status, 0) << run.errors;
  const PosFile pos = read_pos(run.file(base + ".pos"), base + ".pos");
  const std::vector<ReportPile> report = report_piles(run.file(base + ".out"));
  ASSERT_EQ(pos.PNUM, static_cast<int32_t>(report.size()));
  ASSERT_EQ(pos.piles.size(), report.size());
  for (size_t i = 0; i < report.size(); ++i) {
    SCOPED_TRACE("pile " + std::to_string(i + 1));
    const PosPile& pile = pos.piles[i];
    const ReportPile& printed = report[i];
    EXPECT_EQ(pile.g, static_cast<int32_t>(i + 1));
    EXPECT_EQ(pile.x, printed.x);
    EXPECT_EQ(pile.y, printed.y);
    EXPECT_EQ(pos.PXY[2 * i], printed.x);
    EXPECT_EQ(pos.PXY[2 * i + 1], printed.y);
    ASSERT_EQ(pile.NSTA, static_cast<int32_t>(printed.displacements.size()));
    ASSERT_EQ(pile.NSTA, static_cast<int32_t>(printed.forces.size()));
    for (size_t k = 0; k < printed.displacements.size(); ++k) {
      const std::vector<float>& d = printed.displacements[k];
      const std::vector<float>& f = printed.forces[k];
      const bool below = d.size() == 7;  // rows from the ground line down carry the stresses
      const std::vector<float> from_pos = {
          pile.ZH[k],      pile.of(UX)[k],  pile.of(UY)[k], pile.of(SX)[k], pile.of(SY)[k],
          pile.of(PSX)[k], pile.of(PSY)[k], pile.ZH[k],     pile.of(NX)[k], pile.of(NY)[k],
          pile.of(NZ)[k],  pile.of(MX)[k],  pile.of(MY)[k]};
      const std::vector<float> printed_row = {
          d[0], d[1], d[2], d[3], d[4], below ? d[5] : 0.0f, below ? d[6] : 0.0f, f[0],
          f[1], f[2], f[3], f[4], f[5]};
      EXPECT_EQ(from_pos, printed_row) << "station " << k + 1;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(ShippedExamples, ReaderAgainstReport,
                         ::testing::Values("worked", "worked-simulated", "pier", "rock"));

// A file laid out as the program writes one pile of four stations, the ground line at station 2
// (one step above ground, two below). Each value names itself: station k of a quantity of group
// number n holds n + k / 10, so every value shows where it was read from.
const char* const FOUR_STATIONS[] = {
    "    1",
    "     .1500E+01    -.2500E+01",
    "    1    4",
    "     .1500E+01    -.2500E+01",
    "     .0000E+00     .1000E+01     .2000E+01     .3000E+01",
    "     .1100E+01     .2100E+01     .3100E+01     .4100E+01     .1200E+01     .2200E+01",
    "     .3200E+01     .4200E+01     .1300E+01     .2300E+01     .3300E+01     .4300E+01",
    "     .1400E+01     .2400E+01     .3400E+01     .4400E+01",
    "     .5100E+01     .6100E+01     .7100E+01     .8100E+01     .5200E+01     .6200E+01",
    "     .7200E+01     .8200E+01     .5300E+01     .6300E+01     .7300E+01     .8300E+01",
    "     .5400E+01     .6400E+01     .7400E+01     .8400E+01",
    "     .9100E+01     .9200E+01     .9300E+01     .9400E+01",
    "     .0000E+00     .0000E+00    -.1030E+02    -.1040E+02",
    "     .0000E+00     .0000E+00    -.1130E+02    -.1140E+02",
};

std::string joined(const std::vector<std::string>& lines, const std::string& end) {
  std::string text;
  for (const std::string& line : lines) text += line + end;
  return text;
}

std::vector<std::string> four_stations() {
  return {std::begin(FOUR_STATIONS), std::end(FOUR_STATIONS)};
}

TEST(PosReader, RecordsAreReadByFieldsAndCountsNotLineLengths) {
  std::vector<std::string> padded = four_stations();
  for (std::string& line : padded) line += "      ";  // trailing blanks change nothing
  const struct {
    const char* layout;
    std::string text;
  } cases[] = {
      {"as written", joined(four_stations(), "\n")},
      {"trailing blanks", joined(padded, "\n")},
      {"line ends CR LF and a blank last line", joined(four_stations(), "\r\n") + "\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.layout);
    const PosFile pos = read_pos(c.text, "case.pos");
    ASSERT_EQ(pos.PNUM, 1);
    EXPECT_EQ(pos.PXY, (std::vector<float>{1.5f, -2.5f}));
    const PosPile& pile = pos.piles.at(0);
    EXPECT_EQ(pile.NSTA, 4);
    EXPECT_EQ(pile.ZH, (std::vector<float>{0.0f, 1.0f, 2.0f, 3.0f}));
    // Groups P4 and P5: quantity n of the plane at station k reads n + k/10, across line ends.
    const StationQuantity planes[8] = {UX, SY, NX, MY, UY, SX, NY, MX};
    for (int32_t n = 1; n <= 8; ++n) {
      std::vector<float> expected;
      for (int32_t k = 1; k <= 4; ++k)
        expected.push_back(
            std::strtof((std::to_string(n) + "." + std::to_string(k)).c_str(), nullptr));
      EXPECT_EQ(pile.of(planes[n - 1]), expected) << QUANTITY_WORDS[planes[n - 1]].name;
    }
    EXPECT_EQ(pile.of(NZ), (std::vector<float>{9.1f, 9.2f, 9.3f, 9.4f}));
    EXPECT_EQ(pile.of(PSX), (std::vector<float>{0.0f, 0.0f, -10.3f, -10.4f}));
    EXPECT_EQ(pile.of(PSY), (std::vector<float>{0.0f, 0.0f, -11.3f, -11.4f}));
  }
}

TEST(PosReader, DamagedFilesAreRefusedWithTheLineAtFault) {
  // Each case changes line `line` (from 1) of the four-station file, or cuts the file there.
  const struct {
    const char* damage;
    int line;
    const char* replacement;  // null: the file ends before this line
    const char* message;
  } cases[] = {
      {"empty file", 1, nullptr, "case.pos is empty: it holds no pile records"},
      {"cut before the last group", 14, nullptr,
       "case.pos: the file ends after line 13, before PSY of pile 1"},
      {"cut inside the station values", 10, nullptr,
       "case.pos: the file ends after line 9, before UY, SX, NY, MX of pile 1"},
      {"line cut inside a field", 7, "     .3200E+01     .4200E+01     .1300E+0",
       "case.pos, line 7: the line ends at column 41, within UX, SY, NX, MY of pile 1 (field of "
       "columns 29 to 42)"},
      {"blank field", 12, "     .9100E+01                   .9300E+01     .9400E+01",
       "case.pos, line 12: columns 15 to 28: cannot read \"              \" as a real number in "
       "NZ of pile 1"},
      {"overfull field", 5, "     .0000E+00**************     .2000E+01     .3000E+01",
       "case.pos, line 5: columns 15 to 28: cannot read \"**************\" as a real number in "
       "the station depths ZH of pile 1"},
      {"terminal escape in a field", 5,
       "     .0000E+00    \x1b[2J.1E+01     .2000E+01     .3000E+01",
       "case.pos, line 5: columns 15 to 28: cannot read \"    \\x1b[2J.1E+01\" as a real number in "
       "the station depths ZH of pile 1"},
      {"records of another pile", 3, "    2    4",
       "case.pos, line 3: the records of pile 1 were expected, not of pile 2"},
      {"no stations", 3, "    1    0",
       "case.pos, line 3: the station count 0 of pile 1 is not positive"},
      {"station count in a real field", 3, "    1  4.0",
       "case.pos, line 3: columns 6 to 10: cannot read \"  4.0\" as an integer in the number and "
       "station count of pile 1"},
      {"a fifth depth of four", 5,
       "     .0000E+00     .1000E+01     .2000E+01     .3000E+01     .4000E+01",
       "case.pos, line 5: text follows column 56, the end of the station depths ZH of pile 1 on "
       "this line: \"     .4000E+01\""},
      {"a seventh value on a line of six", 6,
       "     .1100E+01     .2100E+01     .3100E+01     .4100E+01     .1200E+01     .2200E+01 x",
       "case.pos, line 6: text follows column 84, the end of UX, SY, NX, MY of pile 1 on this "
       "line: \" x\""},
      {"text after the counts", 3, "    1    4    9",
       "case.pos, line 3: text follows column 10, the end of the number and station count of "
       "pile 1 on this line: \"    9\""},
      {"more piles than the count", 15, "    2    4",
       "case.pos, line 15: text follows the records of the last pile (pile 1)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.damage);
    std::vector<std::string> lines = four_stations();
    if (c.replacement == nullptr) {
      lines.resize(static_cast<size_t>(c.line - 1));
    } else if (c.line > static_cast<int>(lines.size())) {
      lines.push_back(c.replacement);
    } else {
      lines[static_cast<size_t>(c.line - 1)] = c.replacement;
    }
    try {
      read_pos(joined(lines, "\n"), "case.pos");
      ADD_FAILURE() << "no error";
    } catch (const RunError& error) {
      EXPECT_EQ(std::string(error.what()), c.message);
    }
  }
}

}  // namespace
}  // namespace kelmarino
