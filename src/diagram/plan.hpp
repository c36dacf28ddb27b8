#pragma once
// The plan of the group seen from above, shared by the pages: pile tops to scale and numbered, the
// direction of every raked pile, the simulated piles, the load points, the cap centre, a scale bar
// and a legend; labels placed where they meet no other label, on leader lines when far off.
#include <optional>
#include <string>
#include <vector>

#include "analysis/analysis.hpp"
#include "tables/tables.hpp"

namespace kelmarino {

// A pile's look on a plan of a page of combinations: its fill, attributes of its group
// (` data-nz="..."`) and a label placed beside it.
struct PlanPileMark {
  std::string fill;
  std::string data;
  std::string label;
};

// A load point shown without its forces, and what stands there (its cases and points), which the
// page lists beside the plan.
struct PlanPoint {
  float x = 0.0f, y = 0.0f;
  std::string legend;
};

// A line of a colour key: the fill of a pile sample (none for a line of text) and what it means.
struct PlanKey {
  std::string fill;
  std::string text;
};

// What a page adds to the plan of its group: the piles' looks (one per pile, or none), their
// colour key, and load points in place of the data file's (drawn without forces or resultant).
// The piles' labels are shown all or none: when one finds no free place, none is drawn and the
// key ends with the line `crowded`.
struct PlanExtras {
  std::vector<PlanPileMark> piles;
  std::vector<PlanKey> key;
  std::optional<std::vector<PlanPoint>> loads;
  std::string crowded;
};

// plan_svg: the plan of the group as an SVG document, forces in `force`; with `extras`, the plan
// of a page of combinations.
std::string plan_svg(const Group& group, ForceUnit force, const PlanExtras& extras = {});

}  // namespace kelmarino
