#pragma once
// The bits of every number of an analysis, to compare two analyses exactly.
#include <string>

#include "analysis/analysis.hpp"

namespace kelmarino::testing {

inline std::string result_bits(const Analysed& a) {
  std::string all;
  auto add = [&all](const auto& values) {
    all.append(reinterpret_cast<const char*>(&values), sizeof values);
  };
  add(a->cap);
  add(a->KCAP);
  for (const PileResult& p : a->piles) {
    add(p.DU), add(p.FT), add(p.K), add(p.KG), add(p.count), add(p.peaks);
    for (const StationRow& row : a->stations_of(p)) add(row);
  }
  return all;
}

}  // namespace kelmarino::testing
