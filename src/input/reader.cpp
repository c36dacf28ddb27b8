// The data file's helpers: its keys, type numbers and stations, the reduction of its loads and
// the check of a pile axis.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/foundation.hpp"
#include "input/input.hpp"
#include "numeric/numeric.hpp"

namespace kelmarino {

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

bool names_no_file(std::string_view base) {
  const std::string_view name = base.substr(base.rfind('/') + 1);  // npos + 1: all of it
  return name.empty() || name == "." || name == "..";
}

std::string base_name_refusal(std::string_view base) {
  if (names_no_file(base)) return "is empty";
  const auto control = [](char c) { return (c >= 0 && c < ' ') || c == 127; };
  if (std::any_of(base.begin(), base.end(), control)) return "holds a control character";
  return "";
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

void reduce_loads(const std::vector<LoadValues>& loads, Vec<float, 6>& FORCE) {
  at_stage("reduction of the loads to the cap centre");
  FORCE = Vec<float, 6>{};
  for (const LoadValues& load : loads) reduce_load_point(load.x, load.y, load.act, FORCE);
  at_stage("input");
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
