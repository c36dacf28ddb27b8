// The checks of a parsed data file, each mistake named by its pile and the line of its value.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "input/input.hpp"

namespace kelmarino {
namespace {

// The places already warned of: each is warned of once.
using Warned = std::set<std::pair<int64_t, int32_t>>;

// " in above-ground segment 2" of a value of a segment, else nothing.
std::string segment_of(const TypeValue& value) {
  if (value.list == nullptr) return "";
  return " in " + std::string(value.list) + "-ground segment " + std::to_string(value.index + 1);
}

// The checks of pile p (from 1) by the values of its type. Each refusal names the pile, its type
// number, the value, its segment and the line that set it, and echoes that line.
struct PileCheck : TypeRules {
  PileCheck(InChannel& data_, int32_t p_, const TypeValues& t_, const TypePlaces& at_)
      : data(data_), p(p_), t(t_), at(at_) {}
  InChannel& data;
  int32_t p;
  const TypeValues& t;
  const TypePlaces& at;
  std::vector<InputError> refusals;

  void refuse(Place where, const std::string& what) {
    refusals.push_back(input_error_at(
        data, where,
        "pile " + std::to_string(p) + " (type " + std::to_string(at.number) + ") " + what));
  }

  void limit(Place where, const char* name, int32_t value, int32_t low, int32_t high) {
    if (value < low || value > high) {
      refuse(where, "has " + std::string(name) + " = " + std::to_string(value) +
                        ", outside the range " + std::to_string(low) + " to " +
                        std::to_string(high));
    }
  }

  // Named with its segment and the line that set it; a segment that a raised count added and no
  // line filled holds zeros.
  void broken(const TypeValue& value, const std::string& shown, const char* rule) override {
    refuse(value.where, "has " + std::string(value.key) + " = " + shown + segment_of(value) +
                            (value.where.line > 0 ? "" : ", set by no line of the file") + "; " +
                            rule);
  }

  void axis(const float* axis, Place where) override {
    const AxisCheck check = check_axis(axis[0], axis[1], axis[2]);
    const std::string given = "has AGL = " + check.given;
    switch (check.fault) {
      case AxisCheck::Fault::none:
        break;
      case AxisCheck::Fault::along_x:
        refuse(where, "has AGL(2) = AGL(3) = 0: " + std::string(ALONG_X_RULE));
        break;
      case AxisCheck::Fault::upward:
        refuse(where, given + "; " + DOWNWARD_RULE + ": AGL(3) must be greater than 0");
        break;
      case AxisCheck::Fault::not_unit:
        refuse(where, given + " of length " + check.length + "; " + UNIT_RULE +
                          ": write it normalised, " + check.normalised);
        break;
    }
  }

  void stations(int64_t count, Place where) override {
    refuse(where, "has " + std::to_string(count) +
                      " stations (1 + the steps NSF and NSG); at most " +
                      std::to_string(MAX_STATIONS) + " are allowed");
  }

  void no_soil_length(Place where) override {
    refuse(where, "has KSU = " + std::to_string(t.tip) + " and no length below the ground line " +
                      (t.below.empty() ? "(NBL = 0)" : "(every HBL is 0)") + "; " +
                      SOIL_LENGTH_RULE);
  }

  void no_segment(Place where) override {
    refuse(where, "has no segment; " + std::string(NO_SEGMENT_RULE));
  }

  // The block that gave the pile its values, its segment counts, then the rules of its values:
  // every mistake, in that order.
  std::vector<InputError> check(bool stepped) {
    if (at.at_KSU.line == 0) {  // the <0> block gives every pile of type 0 or below its values
      refuse({}, "received no properties: the type section has no block tagged " +
                     block_tag(at.number));
      return std::move(refusals);
    }
    limit(at.at_NFR, "NFR", at.NFR, 0, MAX_SEGMENTS);
    limit(at.at_NBL, "NBL", at.NBL, 0, MAX_SEGMENTS);
    check_type(t, &at, stepped, *this);
    return std::move(refusals);
  }

  // Values that are allowed but unusual, each warned of once for the line that set it.
  void unusual(Warned& warned) {
    unusual_type_values(
        t, &at, [&](const TypeValue& value, const std::string& shown, const char* usual) {
          warn(warned, value.where,
               "has " + std::string(value.key) + " = " + shown + segment_of(value) + "; " + usual);
        });
  }

  void warn(Warned& warned, Place where, const std::string& what) {
    if (!warned.insert({where.line, where.column}).second) return;
    warn_at(data, where,
            "pile " + std::to_string(p) + " (type " + std::to_string(at.number) + ") " + what);
  }
};

PileCheck pile_check(InChannel& data, const GroupValues& values, const GroupPlaces& places,
                     size_t p) {
  const auto t = static_cast<size_t>(values.piles[p].type);
  return {data, static_cast<int32_t>(p + 1), values.types[t], places.types[t]};
}

// Two piles at one point: refused with the same axis (their bottoms meet), the first earlier pile
// with the axis named; else warned of, naming the first earlier pile there, while nothing is
// refused.
void check_heads(InChannel& data, const GroupValues& values, const GroupPlaces& places,
                 std::vector<InputError>& refusals) {
  const std::vector<PileValues>& piles = values.piles;
  for (size_t p = 1; p < piles.size(); ++p) {
    size_t there = p, same_axis = p;  // the first earlier pile at its point, with its axis
    for (size_t q = 0; q < p && same_axis == p; ++q) {
      if (piles[p].x != piles[q].x || piles[p].y != piles[q].y) continue;
      there = std::min(there, q);
      const float* a = values.types[static_cast<size_t>(piles[p].type)].axis;
      const float* b = values.types[static_cast<size_t>(piles[q].type)].axis;
      if (a[0] == b[0] && a[1] == b[1] && a[2] == b[2]) same_axis = q;
    }
    if (there == p) continue;
    const size_t q = same_axis < p ? same_axis : there;
    const std::string both = "piles " + std::to_string(q + 1) + " and " + std::to_string(p + 1) +
                             " stand at " + point_text(piles[p].x, piles[p].y);
    if (same_axis < p) {
      refusals.push_back(
          input_error_at(data, places.piles[p], both + " with the same axis; " + SAME_SPOT_RULE));
    } else if (refusals.empty()) {
      warn_at(data, places.piles[p],
              both + "; usual: one pile head at a point (is a pile given twice?)");
    }
  }
}

// Two piles whose bottoms meet in plan, where their heads do not: the later one refused, with the
// first earlier one named.
void check_bottoms(InChannel& data, const GroupValues& values, const GroupPlaces& places,
                   std::vector<InputError>& refusals) {
  std::vector<BottomPoint> bottoms;
  for (const PileValues& pile : values.piles) {
    bottoms.push_back(bottom_point(pile, values.types[static_cast<size_t>(pile.type)]));
  }
  for (size_t p = 1; p < bottoms.size(); ++p) {
    const size_t q = meeting_bottom(bottoms, p);
    if (q == p) continue;
    refusals.push_back(
        input_error_at(data, places.piles[p],
                       "piles " + std::to_string(q + 1) + " and " + std::to_string(p + 1) +
                           " have their bottoms at one point in plan, " +
                           point_text(bottoms[p].x, bottoms[p].y) + "; " + BOTTOMS_RULE));
  }
}

// Pile heads far from the cap centre, and load points far outside the plan of the piles.
void check_plan(InChannel& data, const GroupValues& values, const GroupPlaces& places) {
  unusual_plan(
      values,
      [&](size_t p) {
        warn_at(data, places.piles[p],
                "pile " + std::to_string(p + 1) + " stands at " +
                    point_text(values.piles[p].x, values.piles[p].y) + "; " + HEAD_USUAL);
      },
      [&](size_t k, const std::string& plan) {
        const LoadValues& load = values.loads[k];
        warn_at(data, places.loads[k],
                "load point " + std::to_string(k + 1) + " at " + point_text(load.x, load.y) +
                    " lies far outside the plan of the piles (" + plan + "); " + LOAD_USUAL);
      });
}

}  // namespace

void TypeRules::real(const TypeValue& value, float v, const RealRule& rule) {
  if (!rule.keeps(v)) broken(value, shortest(v), rule.text);
}

void check_type(const TypeValues& t, const TypePlaces* at, bool stepped, TypeRules& rules) {
  const TypePlaces none;
  const TypePlaces& is = at != nullptr ? *at : none;
  if (!keeps_section_rule(t.shape)) {
    rules.broken({"KSH", "shape", nullptr, 0, is.at_KSH}, std::to_string(t.shape), SECTION_RULE);
  }
  if (!keeps_support_rule(t.tip)) {
    rules.broken({"KSU", "tip", nullptr, 0, is.at_KSU}, std::to_string(t.tip), SUPPORT_RULE);
  }
  rules.axis(t.axis, is.at_AGL);
  const auto steps = [&](const TypeValue& value, int32_t count) {
    if (stepped && count < 1) rules.broken(value, std::to_string(count), STEPS_RULE);
  };
  for (size_t s = 0; s < t.above.size(); ++s) {
    const AboveValues& v = t.above[s];
    const auto in = [s](const Place* list) { return s < MAX_SEGMENTS ? list[s] : Place{}; };
    rules.real({"HFR", "length", "above", s, in(is.at_HFR)}, v.length, LENGTH_RULE);
    rules.real({"DOF", "diameter", "above", s, in(is.at_DOF)}, v.diameter, DIAMETER_RULE);
    rules.real({"DOF", "diameter", "above", s, in(is.at_DOF)}, v.diameter, PILE_DIAMETER_RULE);
    steps({"NSF", "steps", "above", s, in(is.at_NSF)}, v.steps);
  }
  for (size_t s = 0; s < t.below.size(); ++s) {
    const BelowValues& v = t.below[s];
    const auto in = [s](const Place* list) { return s < MAX_SEGMENTS ? list[s] : Place{}; };
    rules.real({"HBL", "length", "below", s, in(is.at_HBL)}, v.length, LENGTH_RULE);
    rules.real({"DOB", "diameter", "below", s, in(is.at_DOB)}, v.diameter, DIAMETER_RULE);
    rules.real({"DOB", "diameter", "below", s, in(is.at_DOB)}, v.diameter, PILE_DIAMETER_RULE);
    rules.real({"PMT", "m", "below", s, in(is.at_PMT)}, v.m, SOIL_RULE);
    rules.real({"PFI", "friction", "below", s, in(is.at_PFI)}, v.friction, FRICTION_RULE);
    steps({"NSG", "steps", "below", s, in(is.at_NSG)}, v.steps);
  }
  rules.real({"PMB", "PMB", nullptr, 0, is.at_PMB}, t.PMB, BOTTOM_SOIL_RULE);
  rules.real({"PEH", "PEH", nullptr, 0, is.at_PEH}, t.PEH, MODULUS_RULE);
  rules.real({"PKE", "PKE", nullptr, 0, is.at_PKE}, t.PKE, REDUCTION_RULE);
  int64_t stations = 1;
  for (const AboveValues& s : t.above) stations += s.steps > 0 ? s.steps : 0;
  for (const BelowValues& s : t.below) stations += s.steps > 0 ? s.steps : 0;
  if (stations > MAX_STATIONS) rules.stations(stations, is.at_steps);
  bool embedded = false;
  for (const BelowValues& s : t.below) embedded = embedded || s.length > 0.0f;
  if (t.tip <= 2 && !embedded) {
    rules.no_soil_length(t.below.empty() ? is.at_NBL : is.at_HBL[0]);
  } else if (t.above.empty() && t.below.empty()) {
    rules.no_segment(is.at_NFR);
  }
}

BottomPoint bottom_point(const PileValues& pile, const TypeValues& t) {
  float above = 0.0f, below = 0.0f;
  for (const AboveValues& s : t.above) above = above + s.length;
  for (const BelowValues& s : t.below) below = below + s.length;
  const float length = below + above;
  return {length * t.axis[0] + pile.x, length * t.axis[1] + pile.y};
}

size_t meeting_bottom(const std::vector<BottomPoint>& bottoms, size_t p) {
  for (size_t q = 0; q < p; ++q) {
    const float dx = bottoms[q].x - bottoms[p].x;
    const float dy = bottoms[q].y - bottoms[p].y;
    if (std::sqrt(dx * dx + dy * dy) == 0.0f) return q;
  }
  return p;
}

void unusual_type_values(const TypeValues& t, const TypePlaces* at, const UnusualValue& tell) {
  const TypePlaces none;
  const TypePlaces& is = at != nullptr ? *at : none;
  const auto real = [&](const TypeValue& value, float v, const UsualRange& usual) {
    if (!(v >= usual.low && v <= usual.high)) tell(value, shortest(v), usual.text);
  };
  if (t.tip > 4) {
    tell({"KSU", "tip", nullptr, 0, is.at_KSU}, std::to_string(t.tip) + ", which acts as 3",
         "usual: 1 to 4");
  }
  real({"PKE", "PKE", nullptr, 0, is.at_PKE}, t.PKE, PKE_USUAL);
  real({"PEH", "PEH", nullptr, 0, is.at_PEH}, t.PEH, PEH_USUAL);
  for (size_t s = 0; s < t.above.size(); ++s) {
    const auto in = [s](const Place* list) { return s < MAX_SEGMENTS ? list[s] : Place{}; };
    real({"HFR", "length", "above", s, in(is.at_HFR)}, t.above[s].length, LENGTH_USUAL);
    real({"DOF", "diameter", "above", s, in(is.at_DOF)}, t.above[s].diameter, DIAMETER_USUAL);
  }
  for (size_t s = 0; s < t.below.size(); ++s) {
    const BelowValues& v = t.below[s];
    const auto in = [s](const Place* list) { return s < MAX_SEGMENTS ? list[s] : Place{}; };
    real({"HBL", "length", "below", s, in(is.at_HBL)}, v.length, LENGTH_USUAL);
    real({"DOB", "diameter", "below", s, in(is.at_DOB)}, v.diameter, DIAMETER_USUAL);
    real({"PMT", "m", "below", s, in(is.at_PMT)}, v.m, SOIL_USUAL);
    real({"PFI", "friction", "below", s, in(is.at_PFI)}, v.friction,
         v.friction <= 1.571f ? RADIANS_USUAL : FRICTION_USUAL);
  }
}

std::string point_text(float x, float y) {
  std::string text = "(";
  return text.append(shortest(x)).append(", ").append(shortest(y)).append(")");
}

void unusual_plan(const GroupValues& values, const std::function<void(size_t pile)>& far_head,
                  const std::function<void(size_t load, const std::string& plan)>& far_load) {
  const std::vector<PileValues>& piles = values.piles;
  if (piles.empty()) return;
  float low[2] = {piles[0].x, piles[0].y};
  float high[2] = {low[0], low[1]};
  for (size_t p = 0; p < piles.size(); ++p) {
    const float xy[2] = {piles[p].x, piles[p].y};
    if (std::hypot(xy[0], xy[1]) > FARTHEST_HEAD) far_head(p);
    for (int32_t i = 0; i < 2; ++i) {
      low[i] = std::min(low[i], xy[i]);
      high[i] = std::max(high[i], xy[i]);
    }
  }
  const float margin = std::max({LOAD_MARGIN, high[0] - low[0], high[1] - low[1]});
  for (size_t k = 0; k < values.loads.size(); ++k) {
    const float xy[2] = {values.loads[k].x, values.loads[k].y};
    bool inside = true;
    for (int32_t i = 0; i < 2; ++i) {
      inside = inside && xy[i] >= low[i] - margin && xy[i] <= high[i] + margin;
    }
    if (inside) continue;
    far_load(k, "x " + shortest(low[0]) + " to " + shortest(high[0]) + ", y " + shortest(low[1]) +
                    " to " + shortest(high[1]));
  }
}

std::vector<InputError> check_data(InChannel& data, const GroupValues& values,
                                   const GroupPlaces& places) {
  std::vector<InputError> refusals;
  const bool stepped = values.JCTR != 2 && values.JCTR != 3;
  // The piles of a type share its values and places: the first of them stands for them all.
  std::vector<bool> checked(values.types.size());
  for (size_t p = 0; p < values.piles.size(); ++p) {
    const auto t = static_cast<size_t>(values.piles[p].type);
    if (checked[t]) continue;
    checked[t] = true;
    for (InputError& error : pile_check(data, values, places, p).check(stepped)) {
      refusals.push_back(std::move(error));
    }
  }
  check_heads(data, values, places, refusals);
  if (refusals.empty()) check_bottoms(data, values, places, refusals);
  if (!refusals.empty()) return refusals;
  Warned warned;
  for (size_t p = 0; p < values.piles.size(); ++p) {
    pile_check(data, values, places, p).unusual(warned);
  }
  check_plan(data, values, places);
  return refusals;
}

}  // namespace kelmarino
