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

// The checks of pile p (from 1) by the values of its type. Each refusal names the pile, its type
// number, the value, its segment and the line that set it, and echoes that line.
struct PileCheck {
  InChannel& data;
  int32_t p;
  const TypeValues& t;
  const TypePlaces& at;

  [[noreturn]] void refuse(Place where, const std::string& what) const {
    refuse_at(data, where,
              "pile " + std::to_string(p) + " (type " + std::to_string(at.number) + ") " + what);
  }

  void limit(Place where, const char* name, int32_t value, int32_t low, int32_t high) const {
    if (value < low || value > high) {
      refuse(where, "has " + std::string(name) + " = " + std::to_string(value) +
                        ", outside the range " + std::to_string(low) + " to " +
                        std::to_string(high));
    }
  }

  // A value outside its range, named with its segment (0: a value of the whole pile) and the
  // line that set it; a segment that a raised count added and no line filled holds zeros.
  [[noreturn]] void outside(Place where, const char* name, const std::string& value,
                            const char* ground, size_t s, const char* range) const {
    const std::string segment =
        s > 0 ? " in " + std::string(ground) + " segment " + std::to_string(s) : "";
    refuse(where, "has " + std::string(name) + " = " + value + segment +
                      (where.line > 0 ? "" : ", set by no line of the file") + "; " + range);
  }

  // A real value that must keep its rule.
  void real(Place where, const char* name, float value, const char* ground, size_t s,
            const RealRule& rule) const {
    if (!rule.keeps(value)) outside(where, name, shortest(value), ground, s, rule.text);
  }

  // The block that gave the pile its values, its segment counts and its codes.
  void codes() const {
    if (at.at_KSU.line == 0) {  // the <0> block gives every pile of type 0 or below its values
      refuse({}, "received no properties: the type section has no block tagged " +
                     block_tag(at.number));
    }
    limit(at.at_NFR, "NFR", at.NFR, 0, MAX_SEGMENTS);
    limit(at.at_NBL, "NBL", at.NBL, 0, MAX_SEGMENTS);
    if (!keeps_section_rule(t.shape)) {
      refuse(at.at_KSH, "has KSH = " + std::to_string(t.shape) + "; " + SECTION_RULE);
    }
    if (!keeps_support_rule(t.tip)) {
      refuse(at.at_KSU, "has KSU = " + std::to_string(t.tip) + "; " + SUPPORT_RULE);
    }
    const AxisCheck axis = check_axis(t.axis[0], t.axis[1], t.axis[2]);
    const std::string given = "has AGL = " + axis.given;
    switch (axis.fault) {
      case AxisCheck::Fault::none:
        break;
      case AxisCheck::Fault::along_x:
        refuse(at.at_AGL, "has AGL(2) = AGL(3) = 0: " + std::string(ALONG_X_RULE));
      case AxisCheck::Fault::upward:
        refuse(at.at_AGL, given + "; " + DOWNWARD_RULE + ": AGL(3) must be greater than 0");
      case AxisCheck::Fault::not_unit:
        refuse(at.at_AGL, given + " of length " + axis.length + "; " + UNIT_RULE +
                              ": write it normalised, " + axis.normalised);
    }
  }

  // Lengths, diameters, soil values and step counts of every segment. A run that stops at a
  // stiffness print (`stepped` false) never divides a segment into its steps.
  void segments(bool stepped) const {
    const char* const above = "above-ground";
    for (size_t s = 1; s <= t.above.size(); ++s) {
      const AboveValues& segment = t.above[s - 1];
      real(at.at_HFR[s - 1], "HFR", segment.length, above, s, LENGTH_RULE);
      real(at.at_DOF[s - 1], "DOF", segment.diameter, above, s, DIAMETER_RULE);
      real(at.at_DOF[s - 1], "DOF", segment.diameter, above, s, PILE_DIAMETER_RULE);
      if (stepped && segment.steps < 1) {
        outside(at.at_NSF[s - 1], "NSF", std::to_string(segment.steps), above, s, STEPS_RULE);
      }
    }
    const char* const below = "below-ground";
    for (size_t s = 1; s <= t.below.size(); ++s) {
      const BelowValues& segment = t.below[s - 1];
      real(at.at_HBL[s - 1], "HBL", segment.length, below, s, LENGTH_RULE);
      real(at.at_DOB[s - 1], "DOB", segment.diameter, below, s, DIAMETER_RULE);
      real(at.at_DOB[s - 1], "DOB", segment.diameter, below, s, PILE_DIAMETER_RULE);
      real(at.at_PMT[s - 1], "PMT", segment.m, below, s, SOIL_RULE);
      real(at.at_PFI[s - 1], "PFI", segment.friction, below, s, FRICTION_RULE);
      if (stepped && segment.steps < 1) {
        outside(at.at_NSG[s - 1], "NSG", std::to_string(segment.steps), below, s, STEPS_RULE);
      }
    }
  }

  // The values of the whole pile, and its station count.
  void pile_values() const {
    real(at.at_PMB, "PMB", t.PMB, "", 0, BOTTOM_SOIL_RULE);
    real(at.at_PEH, "PEH", t.PEH, "", 0, MODULUS_RULE);
    real(at.at_PKE, "PKE", t.PKE, "", 0, REDUCTION_RULE);
    int64_t stations = 1;
    for (const AboveValues& s : t.above) stations += s.steps > 0 ? s.steps : 0;
    for (const BelowValues& s : t.below) stations += s.steps > 0 ? s.steps : 0;
    if (stations > MAX_STATIONS) {
      refuse(at.at_steps, "has " + std::to_string(stations) +
                              " stations (1 + the steps NSF and NSG); at most " +
                              std::to_string(MAX_STATIONS) + " are allowed");
    }
  }

  // What the bottom bears with: the soil along a length below the ground line, or a section.
  void bearing() const {
    bool embedded = false;
    for (const BelowValues& s : t.below) embedded = embedded || s.length > 0.0f;
    if (t.tip <= 2 && !embedded) {
      refuse(t.below.empty() ? at.at_NBL : at.at_HBL[0],
             "has KSU = " + std::to_string(t.tip) + " and no length below the ground line " +
                 (t.below.empty() ? "(NBL = 0)" : "(every HBL is 0)") + "; " + SOIL_LENGTH_RULE);
    }
    if (t.below.empty() && t.above.empty()) {
      refuse(at.at_NFR, "has no segment; " + std::string(NO_SEGMENT_RULE));
    }
  }

  // Values that are allowed but unusual, each warned of once for the line that set it.
  void unusual(Warned& warned) const {
    if (t.tip > 4) {
      warn(warned, at.at_KSU,
           "has KSU = " + std::to_string(t.tip) + ", which acts as 3; usual: 1 to 4");
    }
    unusual(warned, at.at_PKE, "PKE", t.PKE, "", 0, PKE_USUAL);
    unusual(warned, at.at_PEH, "PEH", t.PEH, "", 0, PEH_USUAL);
    for (size_t s = 1; s <= t.above.size(); ++s) {
      unusual(warned, at.at_DOF[s - 1], "DOF", t.above[s - 1].diameter, "above-ground", s,
              DIAMETER_USUAL);
    }
    for (size_t s = 1; s <= t.below.size(); ++s) {
      const BelowValues& segment = t.below[s - 1];
      unusual(warned, at.at_DOB[s - 1], "DOB", segment.diameter, "below-ground", s, DIAMETER_USUAL);
      unusual(warned, at.at_PMT[s - 1], "PMT", segment.m, "below-ground", s, SOIL_USUAL);
      unusual(warned, at.at_PFI[s - 1], "PFI", segment.friction, "below-ground", s,
              segment.friction <= 1.571f ? RADIANS_USUAL : FRICTION_USUAL);
    }
  }

  void unusual(Warned& warned, Place where, const char* name, float value, const char* ground,
               size_t s, const UsualRange& usual) const {
    if (value >= usual.low && value <= usual.high) return;
    const std::string segment =
        s > 0 ? " in " + std::string(ground) + " segment " + std::to_string(s) : "";
    warn(warned, where,
         "has " + std::string(name) + " = " + shortest(value) + segment + "; " + usual.text);
  }

  void warn(Warned& warned, Place where, const std::string& what) const {
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

// "(x, y)" of a point of the plan.
std::string point_text(float x, float y) {
  std::string text = "(";
  return text.append(shortest(x)).append(", ").append(shortest(y)).append(")");
}

// Two piles at one point: refused with the same axis (their bottoms meet), else warned of while
// nothing is refused.
void check_heads(InChannel& data, const GroupValues& values, const GroupPlaces& places,
                 std::vector<InputError>& refusals) {
  const std::vector<PileValues>& piles = values.piles;
  for (size_t p = 1; p < piles.size(); ++p) {
    for (size_t q = 0; q < p; ++q) {
      if (piles[p].x != piles[q].x || piles[p].y != piles[q].y) continue;
      const std::string both = "piles " + std::to_string(q + 1) + " and " + std::to_string(p + 1) +
                               " stand at " + point_text(piles[p].x, piles[p].y);
      const float* a = values.types[static_cast<size_t>(piles[p].type)].axis;
      const float* b = values.types[static_cast<size_t>(piles[q].type)].axis;
      try {
        if (a[0] == b[0] && a[1] == b[1] && a[2] == b[2]) {
          refuse_at(data, places.piles[p], both + " with the same axis; " + SAME_SPOT_RULE);
        }
      } catch (const InputError& error) {
        refusals.push_back(error);
        break;
      }
      if (refusals.empty()) {
        warn_at(data, places.piles[p],
                both + "; usual: one pile head at a point (is a pile given twice?)");
      }
      break;
    }
  }
}

// Pile heads far from the cap centre, and load points far outside the plan of the piles.
void check_plan(InChannel& data, const GroupValues& values, const GroupPlaces& places) {
  const std::vector<PileValues>& piles = values.piles;
  float low[2] = {piles[0].x, piles[0].y};
  float high[2] = {low[0], low[1]};
  for (size_t p = 0; p < piles.size(); ++p) {
    const float xy[2] = {piles[p].x, piles[p].y};
    if (std::hypot(xy[0], xy[1]) > FARTHEST_HEAD) {
      warn_at(data, places.piles[p],
              "pile " + std::to_string(p + 1) + " stands at " + point_text(xy[0], xy[1]) +
                  "; usual: within 200 m of the cap centre (are the coordinates in millimetres?)");
    }
    for (int32_t i = 0; i < 2; ++i) {
      low[i] = std::min(low[i], xy[i]);
      high[i] = std::max(high[i], xy[i]);
    }
  }
  const float margin = std::max({LOAD_MARGIN, high[0] - low[0], high[1] - low[1]});
  for (size_t k = 0; k < values.loads.size(); ++k) {
    const LoadValues& load = values.loads[k];
    const float xy[2] = {load.x, load.y};
    bool inside = true;
    for (int32_t i = 0; i < 2; ++i) {
      inside = inside && xy[i] >= low[i] - margin && xy[i] <= high[i] + margin;
    }
    if (inside) continue;
    warn_at(data, places.loads[k],
            "load point " + std::to_string(k + 1) + " at " + point_text(load.x, load.y) +
                " lies far outside the plan of the piles (x " + shortest(low[0]) + " to " +
                shortest(high[0]) + ", y " + shortest(low[1]) + " to " + shortest(high[1]) +
                "); usual: within it or beside it (is a value in cm or mm?)");
  }
}

}  // namespace

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
    try {
      const PileCheck check = pile_check(data, values, places, p);
      check.codes();
      check.segments(stepped);
      check.pile_values();
      check.bearing();
    } catch (const InputError& error) {
      refusals.push_back(error);
    }
  }
  check_heads(data, values, places, refusals);
  if (!refusals.empty()) return refusals;
  Warned warned;
  for (size_t p = 0; p < values.piles.size(); ++p) {
    pile_check(data, values, places, p).unusual(warned);
  }
  check_plan(data, values, places);
  return refusals;
}

}  // namespace kelmarino
