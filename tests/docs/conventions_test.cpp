// The sign statements of the manual's Conventions chapter: each is run on its data file and the
// sign it states is read from the report, and the chapter must state it in these words.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/test_support.hpp"

namespace kelmarino {
namespace {

struct Statement {
  const char* file;      // in tests/data/docs
  int pile;              // 0: the cap
  const char* quantity;  // a report label (UX ... MZ), PSX, DUX or DMY (see value())
  int sign;
  const char* text;  // as written in docs/conventions.md
};

const char* const FZ =
    "A positive FZ alone at the cap centre moves the cap down (UZ > 0) and compresses every pile "
    "(NZ > 0).";
const char* const MY =
    "A positive MY alone at the cap centre turns the cap about Y (SY > 0): it compresses the piles "
    "on the -X side (NZ > 0) and pulls those on the +X side (NZ < 0).";
const char* const MY_SLIDE =
    "A positive MY alone also moves the cap a little towards -X (UX < 0): the fixed pile heads "
    "couple turning and sliding.";
const char* const MX =
    "A positive MX alone at the cap centre turns the cap about X (SX > 0): it compresses the piles "
    "on the +Y side (NZ > 0) and pulls those on the -Y side (NZ < 0).";
const char* const MZ =
    "A positive MZ alone turns the cap about Z (SZ > 0), clockwise seen from above: the pile at "
    "(-1.5, -1.5) moves towards +X and -Y (UX > 0, UY < 0).";
const char* const OFFSET =
    "A downward load at x = +1 m acts at the cap centre as FZ with MY = -1·FZ: the cap tilts down "
    "on the +X side (SY < 0).";
const char* const FX =
    "A positive FX alone moves the cap towards +X (UX > 0) and pushes every pile head towards +X "
    "(NX > 0); the fixed heads answer with a positive MY.";
const char* const FX_TILT =
    "Under a positive FX the cap tilts down on the +X side (SY < 0): the piles on the +X side are "
    "compressed (NZ > 0) and those on the -X side pulled (NZ < 0).";
const char* const FY =
    "A positive FY alone moves the cap towards +Y (UY > 0) and pushes every pile head towards +Y "
    "(NY > 0); the fixed heads answer with a negative MX, and the cap tilts down on the +Y side "
    "(SX > 0).";
const char* const SLOPE =
    "Along a pile SY is the slope of UX: under a positive FX the displacement UX falls from the "
    "pile head downwards and SY is negative.";
const char* const MOMENT =
    "Above the ground line MY falls by NX per metre: under a positive FX, MY at the second station "
    "is smaller than at the head.";
const char* const SOIL =
    "The soil stress has the sign of the displacement: just below the ground line a pile that "
    "moves towards +x has PSX > 0.";
const char* const RAKED_X =
    "When the cap moves straight down, a pile raked towards +X shows a negative UX at its head and "
    "a pile raked towards -X a positive one: local x points towards +X, upwards for the first and "
    "downwards for the second.";
const char* const RAKED_Y =
    "When the cap moves straight down, a pile raked towards +Y shows a negative UY at its head: "
    "local y points towards +Y and upwards.";

// Piles 1 (-1.5, -1.5), 2 (+1.5, -1.5), 3 (-1.5, +1.5), 4 (+1.5, +1.5).
const Statement STATEMENTS[] = {
    {"fz", 0, "UZ", +1, FZ},           {"fz", 1, "NZ", +1, FZ},
    {"fz", 4, "NZ", +1, FZ},           {"my", 0, "SY", +1, MY},
    {"my", 1, "NZ", +1, MY},           {"my", 3, "NZ", +1, MY},
    {"my", 2, "NZ", -1, MY},           {"my", 4, "NZ", -1, MY},
    {"my", 0, "UX", -1, MY_SLIDE},     {"mx", 0, "SX", +1, MX},
    {"mx", 3, "NZ", +1, MX},           {"mx", 4, "NZ", +1, MX},
    {"mx", 1, "NZ", -1, MX},           {"mx", 2, "NZ", -1, MX},
    {"mz", 0, "SZ", +1, MZ},           {"mz", 1, "UX", +1, MZ},
    {"mz", 1, "UY", -1, MZ},           {"fz-offset", 0, "SY", -1, OFFSET},
    {"fx", 0, "UX", +1, FX},           {"fx", 1, "NX", +1, FX},
    {"fx", 4, "NX", +1, FX},           {"fx", 1, "MY", +1, FX},
    {"fx", 0, "SY", -1, FX_TILT},      {"fx", 2, "NZ", +1, FX_TILT},
    {"fx", 1, "NZ", -1, FX_TILT},      {"fy", 0, "UY", +1, FY},
    {"fy", 1, "NY", +1, FY},           {"fy", 1, "MX", -1, FY},
    {"fy", 0, "SX", +1, FY},           {"fy", 3, "NZ", +1, FY},
    {"fx", 1, "DUX", -1, SLOPE},       {"fx", 1, "SY", -1, SLOPE},
    {"fx", 1, "DMY", -1, MOMENT},      {"fx", 1, "PSX", +1, SOIL},
    {"raked-x", 0, "UZ", +1, RAKED_X}, {"raked-x", 2, "UX", -1, RAKED_X},
    {"raked-x", 4, "UX", -1, RAKED_X}, {"raked-x", 1, "UX", +1, RAKED_X},
    {"raked-y", 3, "UY", -1, RAKED_Y}, {"raked-y", 1, "UY", +1, RAKED_Y},
};

// The report of a data file of tests/data/docs, run once per test program.
const std::string& report(const std::string& file) {
  static std::map<std::string, std::string> reports;
  auto found = reports.find(file);
  if (found == reports.end()) {
    const testing::ProgramRun run =
        testing::run_on_data(testing::read_file(testing::test_data_path("docs/" + file + ".dat")));
    EXPECT_EQ(run.exit_status, 0) << file << ": " << run.errors;
    found = reports.emplace(file, run.file("case.out")).first;
  }
  return found->second;
}

// The part of the report about the cap (pile 0) or one pile.
std::string part(const std::string& text, int pile) {
  const size_t first = text.find("# PILE");
  if (pile == 0) return text.substr(0, first);
  char header[16];
  std::snprintf(header, sizeof header, "NO. %2d # PILE", pile);
  const size_t start = text.find(header);
  if (start == std::string::npos) return "";
  return text.substr(start, text.find("# PILE", start + 14) - start);
}

double labelled(const std::string& text, const std::string& label) {
  const size_t at = text.find(label + "=");
  if (at == std::string::npos) throw std::runtime_error("no " + label + "= in the report");
  return std::stod(text.substr(at + label.size() + 1, 12));
}

// The station rows of a pile section: those of the displacement table (5 or 7 values) and those
// of the internal-force table (6 values).
void station_rows(const std::string& text, std::vector<std::vector<double>>& displacements,
                  std::vector<std::vector<double>>& forces) {
  for (const std::string& line : testing::split_lines(text)) {
    std::istringstream fields(line);
    std::vector<double> row;
    std::string field;
    bool numbers = true;
    while (numbers && fields >> field) {
      char* end = nullptr;
      row.push_back(std::strtod(field.c_str(), &end));
      numbers = *end == '\0';
    }
    if (!numbers || row.size() < 5) continue;
    (row.size() == 6 ? forces : displacements).push_back(row);
  }
}

// PSX: at the first station below the ground line; DUX, DMY: from the head to the second station.
double value(const Statement& s) {
  const std::string text = part(report(s.file), s.pile);
  const std::string quantity = s.quantity;
  if (quantity != "PSX" && quantity != "DUX" && quantity != "DMY") return labelled(text, quantity);
  std::vector<std::vector<double>> displacements, forces;
  station_rows(text, displacements, forces);
  if (quantity == "DMY") return forces.at(1).at(5) - forces.at(0).at(5);
  if (quantity == "DUX") return displacements.at(1).at(1) - displacements.at(0).at(1);
  std::vector<std::vector<double>> below;
  for (const auto& row : displacements) {
    if (row.size() == 7) below.push_back(row);
  }
  return below.at(1).at(5);
}

std::string collapsed(const std::string& text) {
  std::string one_line;
  for (char c : text) {
    const char d = c == '\n' ? ' ' : c;
    if (!(d == ' ' && !one_line.empty() && one_line.back() == ' ')) one_line += d;
  }
  return one_line;
}

TEST(Conventions, EveryStatedSignIsTheSignTheProgramReports) {
  for (const Statement& s : STATEMENTS) {
    SCOPED_TRACE(std::string(s.file) + ", pile " + std::to_string(s.pile) + ", " + s.quantity);
    const double v = value(s);
    EXPECT_GT(v * s.sign, 0.0) << v << ": " << s.text;
  }
}

TEST(Conventions, TheChapterStatesEveryCheckedStatement) {
  const std::string chapter =
      collapsed(testing::read_file(std::string(KELMARINO_DOCS) + "/conventions.md"));
  for (const Statement& s : STATEMENTS) {
    EXPECT_NE(chapter.find(s.text), std::string::npos) << s.text;
    EXPECT_NE(chapter.find(std::string("`") + s.file + ".dat`"), std::string::npos) << s.file;
  }
}

}  // namespace
}  // namespace kelmarino
