// A pile group given by its values: every mistake of its values, each named by its path in the
// group.
#include <cmath>
#include <set>
#include <string>

#include "analysis/analysis.hpp"

namespace kelmarino {
namespace {

// "PATH[i]".
std::string indexed(const std::string& path, size_t i) {
  return path + "[" + std::to_string(i) + "]";
}

// "types[KEY]", or by its index when the types have no keys.
std::string type_path(const GroupValues& g, size_t index) {
  return index < g.type_keys.size() ? "types[" + g.type_keys[index] + "]" : indexed("types", index);
}

// The checks of a group's values, gathering every mistake.
struct Checker {
  const GroupValues& g;
  std::vector<Issue> issues;

  // "PATH = VALUE: RULE (KEY)".
  void add(const std::string& path, const std::string& value, const std::string& rule,
           const char* key) {
    const std::string message = path + " = " + value + ": " + rule + " (" + key + ")";
    issues.push_back(input_issue(g.name, message, "in " + g.name + ": " + message));
  }

  // A real must be a number of the single-precision range, as a data file gives one. Its path
  // is made only for a mistake.
  bool finite(float value, const char* key, const auto& path_of) {
    if (std::isfinite(value)) return true;
    add(path_of(), shortest(value), "a value must be a finite number", key);
    return false;
  }

  // The length n of a list, which must lie from low to high.
  void count(const std::string& path, size_t n, const char* things, int64_t low, int64_t high,
             const char* key) {
    const auto value = static_cast<int64_t>(n);
    if (value >= low && value <= high) return;
    const std::string range = low > 0 ? std::to_string(low) + " to " + std::to_string(high)
                                      : "at most " + std::to_string(high);
    add(path, std::to_string(n) + " " + things, range + " are allowed", key);
  }

  // The load points of a run with loads, the pile of a stiffness print. A data file gives load
  // points only with JCTR = 1; a group given any with another code would lose them unseen.
  void control() {
    if (g.JCTR != 1 && !g.loads.empty()) {
      add("loads", std::to_string(g.loads.size()) + " load points",
          "a group's load points are analysed only with JCTR = 1, and its JCTR is " +
              std::to_string(g.JCTR) + " (set JCTR to 1, or remove the load points)",
          "JCTR");
    }
    if (g.JCTR == 1) {
      count("loads", g.loads.size(), "load points", 0, MAX_LOAD_POINTS, "NACT");
      for (size_t k = 0; k < g.loads.size(); ++k) {
        const LoadValues& load = g.loads[k];
        const auto at = [k](const char* field) { return indexed("loads", k) + "." + field; };
        finite(load.x, "AXY", [&] { return at("x"); });
        finite(load.y, "AXY", [&] { return at("y"); });
        static const char* const act[6] = {"FX", "FY", "FZ", "MX", "MY", "MZ"};
        for (size_t i = 0; i < 6; ++i) finite(load.act[i], act[i], [&] { return at(act[i]); });
      }
    } else if (g.JCTR == 3) {
      const size_t piles = g.piles.size() + g.supports.size();
      if (g.INO < 1 || static_cast<size_t>(g.INO) > piles) {
        add("INO", std::to_string(g.INO),
            "the pile of a stiffness print must be one of the piles, numbered 1 to " +
                std::to_string(piles),
            "INO");
      }
    }
  }

  // The pile counts, each pile's position and type, the number of types the piles take.
  void piles() {
    count("piles", g.piles.size(), "piles", 1, MAX_PILES, "PNUM");
    count("supports", g.supports.size(), "simulated piles", 0, MAX_SIMULATED, "SNUM");
    const size_t all = g.piles.size() + g.supports.size();
    if (g.piles.size() <= MAX_PILES && all > MAX_BLOCKS) {
      add("supports", std::to_string(g.supports.size()) + " simulated piles",
          "at most " + std::to_string(MAX_BLOCKS) + " piles and simulated piles are allowed, and " +
              std::to_string(g.piles.size()) + " piles are given",
          "PNUM + SNUM");
    }
    std::set<int32_t> taken;
    for (size_t p = 0; p < g.piles.size(); ++p) {
      const PileValues& pile = g.piles[p];
      const auto at = [p](const char* field) { return indexed("piles", p) + "." + field; };
      finite(pile.x, "PXY", [&] { return at("x"); });
      finite(pile.y, "PXY", [&] { return at("y"); });
      if (pile.type < 0 || static_cast<size_t>(pile.type) >= g.types.size()) {
        add(at("type"), std::to_string(pile.type),
            "a pile takes one of the " + std::to_string(g.types.size()) + " types, 0 to " +
                std::to_string(static_cast<int64_t>(g.types.size()) - 1),
            "PTYPE");
      }
      taken.insert(pile.type);
      same_spot(p);
    }
    constexpr size_t MOST_TYPES = 109;  // numbered -9 to 99, as a block tag names them
    if (taken.size() > MOST_TYPES) {
      add("piles", std::to_string(taken.size()) + " types taken",
          "the piles take at most " + std::to_string(MOST_TYPES) + " types", "PTYPE");
    }
  }

  // Pile p refused when an earlier pile stands at its point with the same axis.
  void same_spot(size_t p) {
    const auto axis_of = [&](const PileValues& pile) -> const float* {
      const bool known = pile.type >= 0 && static_cast<size_t>(pile.type) < g.types.size();
      return known ? g.types[static_cast<size_t>(pile.type)].axis : nullptr;
    };
    const PileValues& pile = g.piles[p];
    const float* a = axis_of(pile);
    for (size_t q = 0; q < p && a != nullptr; ++q) {
      const float* b = axis_of(g.piles[q]);
      if (g.piles[q].x != pile.x || g.piles[q].y != pile.y || b == nullptr) continue;
      if (a[0] == b[0] && a[1] == b[1] && a[2] == b[2]) {
        add(indexed("piles", p), point_text(pile.x, pile.y) + ", as " + indexed("piles", q),
            SAME_SPOT_RULE, "PXY");
        return;
      }
    }
  }

  // The counts of a type's segments, then the rules of its values.
  void type(size_t index, bool stepped);

  // Pile p refused when its bottom meets an earlier pile's in plan; of a group whose other values
  // pass.
  void bottoms() {
    std::vector<BottomPoint> bottoms;
    for (const PileValues& pile : g.piles) {
      bottoms.push_back(bottom_point(pile, g.types[static_cast<size_t>(pile.type)]));
    }
    for (size_t p = 1; p < bottoms.size(); ++p) {
      const size_t q = meeting_bottom(bottoms, p);
      if (q == p) continue;
      add(indexed("piles", p),
          "bottom at " + point_text(bottoms[p].x, bottoms[p].y) + ", as " + indexed("piles", q),
          BOTTOMS_RULE, "PXY, AGL, HFR, HBL");
    }
  }

  // The position and stiffness of every simulated pile.
  void supports() {
    for (size_t j = 0; j < g.supports.size(); ++j) {
      const SupportValues& support = g.supports[j];
      const auto at = [j](const char* field) { return indexed("supports", j) + "." + field; };
      finite(support.x, "SXY", [&] { return at("x"); });
      finite(support.y, "SXY", [&] { return at("y"); });
      for (size_t i = 0; i < 36; ++i) {
        const auto term = [&] { return indexed(at("stiffness"), i); };
        const float value = support.stiffness[i];
        if (finite(value, "ESP", term) && !(std::abs(value) <= LARGEST_STIFFNESS)) {
          add(term(), shortest(value), STIFFNESS_RULE, "ESP");
        }
      }
    }
  }
};

// The path of a value of the type at `at`: types[0].below[1].m.
std::string value_path(std::string at, const TypeValue& value) {
  if (value.list != nullptr) at = indexed(at.append(".").append(value.list), value.index);
  return at.append(".").append(value.field);
}

// The rules of one type's values, each mistake named by the path of its value after `at`.
struct TypeChecker : TypeRules {
  TypeChecker(Checker& checker_, std::string at_) : checker(checker_), at(std::move(at_)) {}
  Checker& checker;
  std::string at;

  std::string path(const TypeValue& value) const { return value_path(at, value); }

  void broken(const TypeValue& value, const std::string& shown, const char* rule) override {
    checker.add(path(value), shown, rule, value.key);
  }

  void real(const TypeValue& value, float v, const RealRule& rule) override {
    if (checker.finite(v, value.key, [&] { return path(value); })) TypeRules::real(value, v, rule);
  }

  void axis(const float* axis, Place) override {
    bool finite = true;
    for (size_t i = 0; i < 3; ++i) {
      finite &= checker.finite(axis[i], "AGL", [&] { return indexed(at + ".axis", i); });
    }
    if (!finite) return;
    const AxisCheck check = check_axis(axis[0], axis[1], axis[2]);
    const std::string rule =
        check.fault == AxisCheck::Fault::along_x ? ALONG_X_RULE
        : check.fault == AxisCheck::Fault::upward
            ? std::string(DOWNWARD_RULE) + ": its z component must be greater than 0"
            : std::string(UNIT_RULE) + ", not " + check.length + ": write it normalised, " +
                  check.normalised;
    if (check.fault != AxisCheck::Fault::none) checker.add(at + ".axis", check.given, rule, "AGL");
  }

  void stations(int64_t count, Place) override {
    checker.add(
        at, std::to_string(count) + " stations",
        "at most " + std::to_string(MAX_STATIONS) + " are allowed, 1 + the steps of every segment",
        "NSF, NSG");
  }

  void no_soil_length(Place) override {
    checker.add(at + ".below", "no length", SOIL_LENGTH_RULE, "KSU, HBL");
  }

  void no_segment(Place) override { checker.add(at, "no segment", NO_SEGMENT_RULE, "NFR, NBL"); }
};

void Checker::type(size_t index, bool stepped) {
  const TypeValues& t = g.types[index];
  const std::string at = type_path(g, index);
  count(at + ".above", t.above.size(), "segments", 0, MAX_SEGMENTS, "NFR");
  count(at + ".below", t.below.size(), "segments", 0, MAX_SEGMENTS, "NBL");
  TypeChecker rules{*this, at};
  check_type(t, nullptr, stepped, rules);
}

}  // namespace

std::vector<std::string> unusual(const GroupValues& values) {
  std::vector<std::string> found;
  const auto tell = [&](const std::string& path, const std::string& shown, const std::string& usual,
                        const char* key) {
    found.push_back(path + " = " + shown + ": " + usual + " (" + key + ")");
  };
  for (size_t t = 0; t < values.types.size(); ++t) {
    const std::string at = type_path(values, t);
    unusual_type_values(values.types[t], nullptr,
                        [&](const TypeValue& value, const std::string& shown, const char* usual) {
                          tell(value_path(at, value), shown, usual, value.key);
                        });
  }
  unusual_plan(
      values,
      [&](size_t p) {
        const PileValues& pile = values.piles[p];
        tell(indexed("piles", p), point_text(pile.x, pile.y), HEAD_USUAL, "PXY");
      },
      [&](size_t k, const std::string& plan) {
        const LoadValues& load = values.loads[k];
        tell(indexed("loads", k), point_text(load.x, load.y),
             "far outside the plan of the piles (" + plan + "): " + LOAD_USUAL, "AXY");
      });
  return found;
}

std::vector<Issue> check(const GroupValues& values) {
  Checker checker{values, {}};
  checker.control();
  checker.piles();
  const bool stepped = values.JCTR != 2 && values.JCTR != 3;
  for (size_t t = 0; t < values.types.size(); ++t) checker.type(t, stepped);
  checker.supports();
  if (checker.issues.empty()) checker.bottoms();
  return checker.issues;
}

}  // namespace kelmarino
