// The load cases of a run, and the load and cap displacements of every combination.
#include <cmath>
#include <utility>

#include "cases/cases.hpp"
#include "faults/faults.hpp"
#include "foundation/foundation.hpp"
#include "input/input.hpp"

namespace kelmarino::cases {

std::vector<LoadCase> load_cases(const Group& group, const std::string* loads_text,
                                 const std::string& loads_name) {
  std::vector<LoadCase> cases;
  const bool own = group.model->run.JCTR == 1;
  if (own) {
    LoadCase data{DATA_CASE, {}};
    const LoadPoints& points = group.loads;
    for (int32_t k = 1; k <= points.NACT; ++k) {
      LoadValues point{points.AXY(k, 1), points.AXY(k, 2), {}};
      for (int32_t i = 0; i < 6; ++i) point.act[i] = points.ACT(k, i + 1);
      data.points.push_back(point);
    }
    cases.push_back(std::move(data));
  }
  if (loads_text != nullptr) {
    for (LoadCase& c : read_load_cases(*loads_text, loads_name, own ? DATA_CASE : "")) {
      cases.push_back(std::move(c));
    }
  }
  return cases;
}

void combination_force(const Combination& combination, const std::vector<LoadCase>& cases,
                       Vec<float, 6>& FORCE) {
  FORCE = Vec<float, 6>{};
  float T[6];
  for (const Term& term : combination.terms) {
    for (const LoadValues& point : cases[static_cast<size_t>(term.load_case)].points) {
      bool finite = true;
      for (int32_t i = 0; i < 6; ++i) {
        T[i] = term.factor * point.act[i];
        finite = finite && std::isfinite(T[i]);
      }
      if (!finite) check_faults();  // an overflow of the scaled loads, before sums of infinities
      reduce_load_point(point.x, point.y, T, FORCE);
    }
  }
}

namespace {

// The cap displacements of the combination `name` in place of its FORCE: gauss_solve on a copy of
// KCAP.
void solve_cap(const Table<float, 6, 6>& KCAP, std::string_view name, Vec<float, 6>& FORCE) {
  // A zero pivot here means the piles leave a cap displacement unrestrained: every combination
  // would fault alike, so the first one ends the run. An overflow is this combination's own.
  const std::string solution =
      "solution of the cap displacements of combination " + std::string(name);
  at_stage(solution.c_str());
  fault_context().pivot_cause = "are all six restrained?";
  Table<float, 6, 6> A = KCAP;
  gauss_solve(6, A.data(), FORCE.data());
  check_faults();  // a fault of this solution, named for its combination
}

// The cap displacements of every combination from its FORCE, the faulting reduction formed again
// where a run that reduces every load in turn would form it, so that the fault is found with its
// own message.
std::vector<CapDisplacements> solve_loads(const Table<float, 6, 6>& KCAP,
                                          const std::vector<LoadCase>& cases,
                                          const CombinationLoads& combinations) {
  std::vector<CapDisplacements> caps = combinations.loads;
  Vec<float, 6> FORCE;
  for (size_t c = 0; c < caps.size(); ++c) {
    float* const U = caps[c].U;
    if (c == combinations.faulting) {
      const std::string reduction =
          "reduction of the loads of combination " + combinations.faulting_combination.name;
      at_stage(reduction.c_str());
      combination_force(combinations.faulting_combination, cases, FORCE);
    } else {
      for (int32_t i = 0; i < 6; ++i) FORCE.data()[i] = U[i];
    }
    solve_cap(KCAP, combinations.names[c], FORCE);
    for (int32_t i = 0; i < 6; ++i) U[i] = FORCE.data()[i];
  }
  return caps;
}

}  // namespace

Expected<CombinationAnalysis> analyse_combinations(const Group& group,
                                                   const std::vector<LoadCase>& cases,
                                                   const CombinationLoads& combinations,
                                                   const std::function<void()>& solving) {
  const FaultFlags flags;
  Analysed analysed = analyse(group, {AnalysisScope::foundation});
  if (!analysed) return analysed.issue();
  CombinationAnalysis out{std::move(*analysed)};
  try {
    out.marches = pile_marches(group, out.result);
    if (solving) solving();
    out.caps = solve_loads(out.result.KCAP, cases, combinations);
  } catch (const RunError& error) {
    const FaultContext where = fault_context();
    fault_context() = FaultContext{};
    if (!where.stage.empty()) return analysis_issue(where.stage, where.pile, error.what());
    // Outside every stage: the refusal of a group whose piles have no stations.
    const std::string full = error.what();
    const std::string named = "run-time error in " + group.name + ": ";
    return input_issue(group.name, full.starts_with(named) ? full.substr(named.size()) : full,
                       full);
  }
  fault_context() = FaultContext{};
  return out;
}

namespace {

// The load cases of a group and those given; the combinations given of them.
std::vector<LoadCase> given_load_cases(const Group& group, const LoadsGiven& loads) {
  if (const auto* file = std::get_if<CaseFile>(&loads)) {
    return load_cases(group, &file->text, file->name);
  }
  return add_load_cases(load_cases(group, nullptr, ""), std::get<std::vector<LoadCase>>(loads));
}

CombinationLoads given_combinations(const Group& group, const LoadsGiven& loads,
                                    const CombinationsGiven& combinations,
                                    const std::vector<LoadCase>& cases) {
  const auto* loads_file = std::get_if<CaseFile>(&loads);
  InputNames names{group.name, loads_file != nullptr ? loads_file->name : "", ""};
  if (const auto* file = std::get_if<CaseFile>(&combinations)) {
    names.combinations = file->name;
    return read_combination_loads(file->text, names, cases);
  }
  if (const auto* values = std::get_if<std::vector<CombinationValues>>(&combinations)) {
    return combination_loads(combinations_of(*values, cases), cases, names);
  }
  return combination_loads(single_case_combinations(cases), cases, names);
}

}  // namespace

GivenCases given_cases(const Group& group, const LoadsGiven& loads,
                       const CombinationsGiven& combinations) {
  GivenCases given{given_load_cases(group, loads), {}};
  given.combinations = given_combinations(group, loads, combinations, given.cases);
  const auto* loads_file = std::get_if<CaseFile>(&loads);
  std::vector<std::string>& warnings = given.combinations.warnings;
  const std::vector<std::string> far = far_load_warnings(
      group, given.cases, {group.name, loads_file != nullptr ? loads_file->name : "", ""});
  warnings.insert(warnings.begin(), far.begin(), far.end());
  return given;
}

Expected<Combined> combine(const Group& group, const LoadsGiven& loads,
                           const CombinationsGiven& combinations, const std::atomic<bool>& stop) {
  Combined out;
  bool marching = false;  // before the march, a refusal of the input; in it, a fault
  try {
    const GivenCases given = given_cases(group, loads, combinations);
    const std::vector<LoadCase>& cases = given.cases;
    const CombinationLoads& all = given.combinations;
    for (size_t c = 0; c < all.names.size(); ++c) out.names.emplace_back(all.names[c]);
    out.warnings = all.warnings;
    Expected<CombinationAnalysis> analysed = analyse_combinations(group, cases, all);
    if (!analysed) return analysed.issue();
    marching = true;
    const FaultFlags flags;
    out.caps = std::move(analysed->caps);
    std::atomic<int32_t> done{0};
    const auto keep = [&](size_t, size_t, const std::vector<HeadResult>& heads) {
      if (stop) throw RunError("stopped on request");
      out.heads.insert(out.heads.end(), heads.begin(), heads.end());
    };
    envelope_piles(analysed->marches, out.caps, all.names, 1, done, out.results, keep);
  } catch (const RunError& error) {
    const FaultContext where = std::exchange(fault_context(), FaultContext{});
    if (marching) return analysis_issue(where.stage, where.pile, error.what());
    const auto* input = dynamic_cast<const InputError*>(&error);  // a value's place among its parts
    return input != nullptr ? input_issue(*input) : input_issue("", error.what(), error.what());
  }
  return out;
}

}  // namespace kelmarino::cases
