#pragma once
// Helpers of the load-combination tests: the load files of the tests, the scaled load points of a
// combination, and the data file that lists them for a run of kelmarino.
#include <cstdio>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "cases/cases.hpp"
#include "support/test_support.hpp"

namespace kelmarino::cases::testing {

// Two load cases with several load points each and all six components, for the shipped examples
// without load files of their own.
inline const char* const WORKED_LOADS =
    "case,x,y,FX,FY,FZ,MX,MY,MZ\n"
    "A,0.5,-0.25,40.0,-15.0,900.0,12.0,-8.0,3.0\n"
    "A,-1.0,0.75,5.5,22.0,450.0,-6.0,14.0,-2.5\n"
    "B,0.0,0.0,-60.0,35.0,300.0,0.0,25.0,7.0\n"
    "B,1.2,1.1,18.0,-9.5,-120.0,4.5,0.0,-1.25\n"
    "B,-0.3,-1.4,0.0,0.0,75.0,-11.0,6.0,0.0\n";
inline const char* const WORKED_COMBINATIONS =
    "combination,A,B\n"
    "AB,1,1\n"
    "UP,-1.35,0.7\n"
    "B-ONLY,,1.1\n"
    "MIXED,0.37,-1.9\n";

// The load points of a combination as the data file of an equivalent run lists them: the points
// of each case in column order, each component multiplied by the factor in single precision.
inline std::vector<LoadValues> scaled_points(std::span<const Term> terms,
                                             const std::vector<LoadCase>& cases) {
  std::vector<LoadValues> points;
  for (const Term& term : terms) {
    for (const LoadValues& p : cases[static_cast<size_t>(term.load_case)].points) {
      LoadValues scaled = p;
      for (float& a : scaled.act) a = term.factor * a;
      points.push_back(scaled);
    }
  }
  return points;
}

inline std::string nine_digits(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
  return text;
}

// The data file `example` with its control section replaced by one that lists the points.
inline std::string equivalent_data(const std::string& example,
                                   const std::vector<LoadValues>& points) {
  std::string text = "* control: one load combination\n1\n" + std::to_string(points.size()) + "\n";
  for (const LoadValues& p : points) {
    text += nine_digits(p.x) + " " + nine_digits(p.y) + "\n";
    for (int32_t i = 0; i < 6; ++i) text.append(i > 0 ? " " : "").append(nine_digits(p.act[i]));
    text += "\n";
  }
  const size_t end = example.find("\n*end");
  return text + example.substr(end + 1);
}

// A shipped example, or "worked-coarse": worked with one step to a segment, so that the peaks lie
// between the stations.
inline std::string example_text(const std::string& base) {
  if (base == "worked-huge") return example_text("worked");
  if (base != "worked-coarse") {
    return kelmarino::testing::read_file(kelmarino::testing::example_path(base + ".dat"));
  }
  std::string text = example_text("worked");
  for (const auto& [steps, one] :
       {std::pair{"1.2 4\n", "1.2 1\n"}, {"30.0 5 ", "30.0 1 "}, {"35.0 10\n", "35.0 1\n"}}) {
    const size_t at = text.find(steps);
    text = text.substr(0, at) + one + text.substr(at + std::string(steps).size());
  }
  return text;
}

// For worked-coarse: the two cases with factors from -1.5 to 1.5 in steps of 0.5, so that many
// combinations lie inside the hull of the pile tops.
inline std::string grid_combinations() {
  std::string text = "combination,A,B\n";
  for (int32_t a = -3; a <= 3; ++a) {
    for (int32_t b = -3; b <= 3; ++b) {
      text.append("G").append(std::to_string(7 * (a + 3) + b + 3)).append(",");
      text.append(std::to_string(0.5 * a)).append(",").append(std::to_string(0.5 * b)).append("\n");
    }
  }
  return text;
}

// The loads file and combinations file of a shipped example: pier has its own, the others take
// the two cases above.
inline std::string loads_of(const std::string& base) {
  return base == "pier"
             ? kelmarino::testing::read_file(kelmarino::testing::example_path("pier.loads.csv"))
             : WORKED_LOADS;
}
inline std::string combinations_of(const std::string& base) {
  if (base == "worked-coarse") return grid_combinations();
  // Moments beyond 1.8e19 t*m, whose squares are beyond the range of single precision.
  if (base == "worked-huge") return std::string(WORKED_COMBINATIONS) + "HUGE,1e18,-1e17\n";
  return base == "pier" ? kelmarino::testing::read_file(
                              kelmarino::testing::example_path("pier.combinations.csv"))
                        : WORKED_COMBINATIONS;
}

}  // namespace kelmarino::cases::testing
