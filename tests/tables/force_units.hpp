#pragma once
// A CSV file in kN against the same file in t, for the tests of `--units kN` of the programs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace kelmarino::testing {

// The units of force of the files in t and their names in kN.
inline const std::map<std::string, std::string> KN_UNITS = {
    {"t", "kN"}, {"t*m", "kN*m"}, {"t/m2", "kPa"}};

inline std::vector<std::vector<std::string>> csv_cells(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::stringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_EQ(line.find('"'), std::string::npos) << "a quoted cell: " << line;
    std::vector<std::string>& row = rows.emplace_back();
    std::stringstream cells(line + ",");
    for (std::string cell; std::getline(cells, cell, ',');) row.push_back(cell);
  }
  return rows;
}

// The unit of a header "NX (t)", empty without one.
inline std::string header_unit(const std::string& header) {
  const size_t open = header.rfind(" (");
  return open == std::string::npos ? "" : header.substr(open + 2, header.size() - open - 3);
}

// Expects the kN file to be the t file with every unit of force renamed in the header and every
// number of a force column, the values of a row whose "unit" cell names a unit of force, or every
// number when `every_number` (a stiffness without units in its header), times 9.80665 to the digits
// printed (the single-precision value of the product); every other cell the same text.
inline void expect_in_kn(const std::string& name, const std::string& t_text,
                         const std::string& kn_text, bool every_number = false) {
  const auto t = csv_cells(t_text);
  const auto kn = csv_cells(kn_text);
  ASSERT_EQ(t.size(), kn.size()) << name;
  ASSERT_GT(t.size(), 1u) << name;
  const std::vector<std::string>& header = t[0];
  ASSERT_EQ(kn[0].size(), header.size()) << name;
  std::vector<bool> of_force(header.size());
  size_t unit_column = header.size();
  for (size_t c = 0; c < header.size(); ++c) {
    const std::string unit = header_unit(header[c]);
    of_force[c] = KN_UNITS.count(unit) != 0;
    const std::string expected =
        of_force[c]
            ? header[c].substr(0, header[c].size() - unit.size() - 1) + KN_UNITS.at(unit) + ")"
            : header[c];
    EXPECT_EQ(kn[0][c], expected) << name;
    if (header[c] == "unit") unit_column = c;
  }
  size_t scaled = 0;
  for (size_t r = 1; r < t.size(); ++r) {
    ASSERT_EQ(kn[r].size(), t[r].size()) << name << " row " << r;
    const bool row_of_force = unit_column < header.size() && KN_UNITS.count(t[r][unit_column]);
    if (unit_column < header.size()) {
      const std::string& unit = t[r][unit_column];
      EXPECT_EQ(kn[r][unit_column], row_of_force ? KN_UNITS.at(unit) : unit) << name;
    }
    for (size_t c = 0; c < t[r].size(); ++c) {
      if (c == unit_column) continue;
      char* end = nullptr;
      std::strtod(t[r][c].c_str(), &end);
      const bool number = !t[r][c].empty() && *end == '\0';
      const bool value_of_row = header[c] == "peak" || header[c] == "largest_at_stations" ||
                                header[c] == "max" || header[c] == "min";
      if (of_force[c] || (every_number && number) || (row_of_force && value_of_row)) {
        ASSERT_TRUE(number) << name << " row " << r << " " << header[c] << ": " << t[r][c];
        // The single-precision value of the t cell times 9.80665, to single precision.
        const auto expected = static_cast<float>(
            static_cast<double>(std::strtof(t[r][c].c_str(), nullptr)) * 9.80665);
        EXPECT_EQ(std::strtof(kn[r][c].c_str(), nullptr), expected)
            << name << " row " << r << " " << header[c] << ": " << kn[r][c] << " for " << t[r][c];
        ++scaled;
      } else {
        EXPECT_EQ(kn[r][c], t[r][c]) << name << " row " << r << " " << header[c];
      }
    }
  }
  EXPECT_GT(scaled, 0u) << name << " has no value of force";
}

}  // namespace kelmarino::testing
