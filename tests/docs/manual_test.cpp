// The manual keeps up with the code: the key table and the capacities of the data-file reference
// are the reader's own, the annotated example is the shipped file, the .pos example is what the
// program writes (up to the rounding residues of its near-zero values), the worked pile of the
// model chapter has the stiffness the program prints, and every link between the chapters leads
// somewhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "input/input.hpp"
#include "model/model.hpp"
#include "support/test_support.hpp"

namespace kelmarino {
namespace {

using Lines = std::vector<std::string>;

std::string doc_path(const std::string& name) { return std::string(KELMARINO_DOCS) + "/" + name; }

Lines doc_lines(const std::string& name) {
  return testing::split_lines(testing::read_file(doc_path(name)));
}

size_t heading_level(const std::string& line) {
  const size_t hashes = line.find_first_not_of('#');
  return hashes != std::string::npos && hashes > 0 && line[hashes] == ' ' ? hashes : 0;
}

// The lines under the heading line `heading`, up to the next heading of its level or higher;
// empty when the heading is missing.
Lines section(const Lines& lines, const std::string& heading) {
  Lines body;
  bool inside = false;
  bool fenced = false;
  const size_t level = heading_level(heading);
  for (const std::string& line : lines) {
    if (line.starts_with("```")) fenced = !fenced;
    const size_t here = fenced ? 0 : heading_level(line);
    if (inside && here > 0 && here <= level) break;
    if (inside) body.push_back(line);
    if (line == heading) inside = true;
  }
  return body;
}

// The cells of the table rows of a section, without the header row and the separator row.
std::vector<Lines> table_rows(const Lines& lines) {
  std::vector<Lines> rows;
  bool header = true;
  for (const std::string& line : lines) {
    if (!line.starts_with("|")) {
      header = true;
      continue;
    }
    if (header || line.starts_with("|---")) {
      header = false;
      continue;
    }
    Lines cells;
    size_t start = 1;
    for (size_t bar = line.find('|', start); bar != std::string::npos;
         start = bar + 1, bar = line.find('|', start)) {
      std::string cell = line.substr(start, bar - start);
      cell.erase(0, cell.find_first_not_of(' '));
      cell.erase(cell.find_last_not_of(' ') + 1);
      cells.push_back(cell);
    }
    rows.push_back(cells);
  }
  return rows;
}

// The contents of the fenced code blocks of a section, each ending with a line end.
Lines fenced_blocks(const Lines& lines) {
  Lines blocks;
  bool inside = false;
  for (const std::string& line : lines) {
    if (line.starts_with("```")) {
      if (!inside) blocks.emplace_back();
      inside = !inside;
    } else if (inside) {
      blocks.back() += line + "\n";
    }
  }
  return blocks;
}

TEST(Manual, KeyTableListsEveryKeyOfTheReaderWithItsIndexRange) {
  const std::vector<Lines> rows = table_rows(section(doc_lines("data-file.md"), "### Keys"));
  ASSERT_EQ(rows.size(), static_cast<size_t>(KEY_COUNT));
  for (int32_t k = 0; k < KEY_COUNT; ++k) {
    SCOPED_TRACE(KEYS[k].text);
    ASSERT_GE(rows[k].size(), 2u);
    EXPECT_EQ(rows[k][0], std::string("`").append(KEYS[k].text).append("`"));
    const int32_t limit = KEYS[k].index_limit;
    EXPECT_EQ(rows[k][1],
              limit > 0 ? std::string("1 to ").append(std::to_string(limit)) : "not used");
  }
}

TEST(Manual, CapacityTableHoldsTheCapacitiesOfTheModel) {
  const std::vector<Lines> rows = table_rows(section(doc_lines("data-file.md"), "## Capacities"));
  const struct {
    const char* name;
    int32_t largest;
  } capacities[] = {{"`PNUM`", MAX_PILES},           {"`SNUM`", MAX_SIMULATED},
                    {"`PNUM` + `SNUM`", MAX_BLOCKS}, {"`NFR`", MAX_SEGMENTS},
                    {"`NBL`", MAX_SEGMENTS},         {"`NACT`", MAX_LOAD_POINTS},
                    {"`NKEY`", MAX_KEY_LINES},       {"stations", MAX_STATIONS}};
  EXPECT_EQ(rows.size(), std::size(capacities));
  for (const auto& capacity : capacities) {
    SCOPED_TRACE(capacity.name);
    const Lines* found = nullptr;
    for (const Lines& row : rows) {
      if (!row.empty() && row[0] == capacity.name) found = &row;
    }
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->back(), std::to_string(capacity.largest));
  }
}

TEST(Manual, AnnotatedExampleIsTheShippedPierExplainedLineByLine) {
  const Lines body = section(doc_lines("data-file.md"), "## Annotated example: a bridge pier");
  const Lines blocks = fenced_blocks(body);
  ASSERT_EQ(blocks.size(), 1u);
  const std::string pier = testing::read_file(testing::example_path("pier.dat"));
  EXPECT_EQ(blocks[0], pier);
  const std::vector<Lines> rows = table_rows(body);
  ASSERT_EQ(rows.size(), testing::split_lines(pier).size());
  for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i][0], std::to_string(i + 1));
}

TEST(Manual, PosExampleIsWhatTheProgramWritesForItsDataFile) {
  const Lines blocks =
      fenced_blocks(section(doc_lines("results.md"), "### Worked example of a `.pos` file"));
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_EQ(blocks[0], testing::read_file(testing::test_data_path("docs/one-pile.dat")));
  const testing::ProgramRun run = testing::run_on_data(blocks[0]);
  ASSERT_EQ(run.exit_status, 0) << run.errors;
  const Lines written = testing::split_lines(run.file("case.pos"));
  const Lines shown = testing::split_lines(blocks[1]);
  ASSERT_EQ(written.size(), shown.size());
  std::vector<double> got, want;
  for (size_t i = 0; i < shown.size(); ++i) {
    EXPECT_EQ(written[i].size(), shown[i].size()) << "line " << i + 1;
    std::istringstream a(written[i]), b(shown[i]);
    for (double v = 0; a >> v;) got.push_back(v);
    for (double v = 0; b >> v;) want.push_back(v);
  }
  ASSERT_EQ(want.size(), 55u);  // H1 1, H2 2, P1 2, P2 2, P3 4, P4 16, P5 16, P6 4, P7 4, P8 4
  ASSERT_EQ(got.size(), want.size());
  // Counts, positions, Z and NZ are exact. The bending values (P4, P5) and the soil stresses
  // (P7, P8) hold rounding residues where they should be zero (the tip forces, the head moment),
  // so they agree within 1% of the largest value of their quantity.
  auto quantity = [](size_t k) -> int {
    if (k >= 11 && k < 43) return static_cast<int>((k - 11) / 16 * 4 + (k - 11) % 4);
    if (k >= 47) return 8 + static_cast<int>((k - 47) / 4);
    return -1;
  };
  double largest[11] = {};
  for (size_t k = 0; k < want.size(); ++k) {
    if (quantity(k) >= 0) largest[quantity(k)] = std::max(largest[quantity(k)], std::abs(want[k]));
  }
  for (size_t k = 0; k < want.size(); ++k) {
    const double tolerance = quantity(k) >= 0 ? 0.01 * largest[quantity(k)] : 0.0;
    EXPECT_LE(std::abs(got[k] - want[k]), tolerance) << "value " << k + 1;
  }
}

TEST(Manual, ModelChapterShowsTheStiffnessTheProgramPrintsForItsWorkedPile) {
  const Lines blocks = fenced_blocks(
      section(doc_lines("model.md"), "### Worked example: a pile socketed into rock"));
  ASSERT_EQ(blocks.size(), 2u);  // the control section asking for pile 1, the printed stiffness
  const std::string rock = testing::read_file(testing::example_path("rock.dat"));
  size_t after_control = 0;  // the chapter's control section replaces the first eight lines
  for (int line = 0; line < 8; ++line) after_control = rock.find('\n', after_control) + 1;
  const testing::ProgramRun run = testing::run_on_data(blocks[0] + rock.substr(after_control));
  ASSERT_EQ(run.exit_status, 0) << run.errors;
  const std::string report = run.file("case.out");
  ASSERT_GE(report.size(), blocks[1].size());
  EXPECT_EQ(report.substr(report.size() - blocks[1].size()), blocks[1]);  // the end of the report
}

// The anchor of a heading as Markdown viewers make it: lower case, blanks to hyphens, other
// punctuation dropped.
std::string anchor(const std::string& heading) {
  std::string slug;
  for (char c : heading.substr(heading.find(' ') + 1)) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u) || c == '-' || c == '_') slug += static_cast<char>(std::tolower(u));
    if (c == ' ') slug += '-';
  }
  return slug;
}

TEST(Manual, EveryLinkBetweenTheChaptersLeadsToAFileAndHeading) {
  for (const char* chapter :
       {"manual.md", "command-line.md", "data-file.md", "conventions.md", "results.md", "model.md",
        "cases.md", "diagrams.md", "python.md", "library.md"}) {
    const std::string text = testing::read_file(doc_path(chapter));
    ASSERT_FALSE(text.empty()) << chapter;
    for (size_t at = text.find("]("); at != std::string::npos; at = text.find("](", at + 2)) {
      const std::string target = text.substr(at + 2, text.find(')', at) - at - 2);
      SCOPED_TRACE(std::string(chapter) + " -> " + target);
      const std::string named = target.substr(0, target.find('#'));
      const std::string file = named.empty() ? chapter : named;  // "#..." is in the chapter itself
      ASSERT_TRUE(std::filesystem::exists(doc_path(file)));
      if (target.find('#') == std::string::npos) continue;
      bool found = false;
      for (const std::string& line : doc_lines(file)) {
        found = found || (heading_level(line) > 0 &&
                          std::string("#").append(anchor(line)) == target.substr(target.find('#')));
      }
      EXPECT_TRUE(found);
    }
  }
}

// The README builds as the manual does, and git ignores every output the programs write beside a
// data file.
TEST(Manual, ReadmeBuildsInReleaseAndGitIgnoresEveryOutput) {
  const Lines readme = testing::split_lines(testing::read_file(doc_path("../README.md")));
  size_t builds = 0;
  for (const std::string& line : readme) {
    if (line.find("cmake -S . -B build") == std::string::npos) continue;
    ++builds;
    EXPECT_NE(line.find("cmake -S . -B build -DCMAKE_BUILD_TYPE=Release"), std::string::npos)
        << line;
  }
  EXPECT_GE(builds, 1u);
  const Lines ignored = testing::split_lines(testing::read_file(doc_path("../.gitignore")));
  for (const char* pattern : {"*.out", "*.pos", "*-plots/", "*-cases/"}) {
    EXPECT_NE(std::find(ignored.begin(), ignored.end(), pattern), ignored.end()) << pattern;
  }
}

}  // namespace
}  // namespace kelmarino
