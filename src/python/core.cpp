// The Python module's core: a data file's text in, the group's values or the results as NumPy
// arrays out. The Python package builds the data file's text of a group, so that an edited group
// is checked exactly as a data file is. Mistakes come back as tuples that the package turns into
// its exceptions; the interpreter lock is released while the library reads and analyses.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <string>
#include <vector>

#include "analysis/analysis.hpp"
#include "cases/cases.hpp"

namespace py = pybind11;

namespace kelmarino {
namespace {

py::tuple input_issue(const InputIssue& issue) {
  return py::make_tuple("input", issue.file, issue.line, issue.column, issue.message, issue.full);
}

template <typename T>
py::list list_of(const T* values, int32_t n) {
  py::list list;
  for (int32_t i = 0; i < n; ++i) list.append(values[i]);
  return list;
}

// The values of a type: those of the first pile that has it.
py::dict type_values(const PileData& piles, int32_t p) {
  py::dict type;
  type["shape"] = piles.KSH(p);
  type["tip"] = piles.KSU(p);
  type["axis"] = py::make_tuple(piles.AGL(p, 1), piles.AGL(p, 2), piles.AGL(p, 3));
  py::list above, below;
  for (int32_t s = 1; s <= piles.NFR(p); ++s) {
    above.append(py::make_tuple(piles.HFR(p, s), piles.DOF(p, s), piles.NSF(p, s)));
  }
  for (int32_t s = 1; s <= piles.NBL(p); ++s) {
    below.append(py::make_tuple(piles.HBL(p, s), piles.DOB(p, s), piles.PMT(p, s), piles.PFI(p, s),
                                piles.NSG(p, s)));
  }
  type["above"] = above;
  type["below"] = below;
  type["PMB"] = piles.PMB(p);
  type["PEH"] = piles.PEH(p);
  type["PKE"] = piles.PKE(p);
  return type;
}

// The values of a group as the package describes it: control, loads, piles, types, supports.
py::dict group_values(const Group& group) {
  const Model& model = *group.model;
  const PileData& piles = model.piles;
  py::dict values;
  values["name"] = group.name;
  values["JCTR"] = model.run.JCTR;
  values["INO"] = model.run.INO;
  py::list loads;
  for (int32_t k = 1; k <= group.loads.NACT; ++k) {
    py::list load;
    load.append(group.loads.AXY(k, 1));
    load.append(group.loads.AXY(k, 2));
    for (int32_t i = 1; i <= 6; ++i) load.append(group.loads.ACT(k, i));
    loads.append(py::tuple(load));
  }
  values["loads"] = loads;
  py::list pile_list;
  py::dict types;
  for (int32_t p = 1; p <= model.run.PNUM; ++p) {
    const int32_t t = piles.PTYPE(p);
    pile_list.append(py::make_tuple(piles.PXY(p, 1), piles.PXY(p, 2), t));
    if (!types.contains(py::int_(t))) types[py::int_(t)] = type_values(piles, p);
  }
  values["piles"] = pile_list;
  values["types"] = types;
  py::list supports;
  for (int32_t j = 1; j <= model.run.SNUM; ++j) {
    py::list stiffness;
    const int32_t row = 6 * (model.run.PNUM + j - 1);
    for (int32_t i = 1; i <= 6; ++i) {
      for (int32_t c = 1; c <= 6; ++c) stiffness.append(piles.ESP(row + i, c));
    }
    supports.append(py::make_tuple(piles.SXY(j, 1), piles.SXY(j, 2), stiffness));
  }
  values["supports"] = supports;
  values["warnings"] = group.warnings;
  return values;
}

GroupRead read_released(const std::string& text, const std::string& name) {
  const py::gil_scoped_release released;
  return parse_group(text, name);
}

py::tuple core_parse(const std::string& text, const std::string& name) {
  const GroupRead read = read_released(text, name);
  if (read.issue) return input_issue(*read.issue);
  return py::make_tuple("ok", group_values(*read.group));
}

template <typename T, size_t N>
py::array_t<T> array(const std::vector<T>& values, const std::array<py::ssize_t, N>& shape) {
  py::array_t<T> a(shape);
  std::copy(values.begin(), values.end(), a.mutable_data());
  return a;
}

// The results as arrays: cap (6), heads (n, 12), stiffness (n, 6, 6), then the stations of
// every pile one after the other (rows of Z and the eleven quantities), where each pile's rows
// start (n + 1 bounds) and the ground-line station of each pile.
py::tuple results(const Result& result) {
  const auto n = static_cast<py::ssize_t>(result.piles.size());
  std::vector<float> cap(result.cap, result.cap + 6), heads, stiffness, stations;
  std::vector<int64_t> bounds = {0};
  std::vector<int32_t> KG;
  for (const PileResult& pile : result.piles) {
    heads.insert(heads.end(), pile.DU, pile.DU + 6);
    heads.insert(heads.end(), pile.FT, pile.FT + 6);
    for (const auto& row : pile.K) stiffness.insert(stiffness.end(), row, row + 6);
    for (const StationRow& row : pile.stations)
      stations.insert(stations.end(), row.begin(), row.end());
    bounds.push_back(bounds.back() + static_cast<int64_t>(pile.stations.size()));
    KG.push_back(pile.KG);
  }
  const auto rows = static_cast<py::ssize_t>(bounds.back());
  return py::make_tuple("ok", array(cap, std::array<py::ssize_t, 1>{6}),
                        array(heads, std::array<py::ssize_t, 2>{n, 12}),
                        array(stiffness, std::array<py::ssize_t, 3>{n, 6, 6}),
                        array(stations, std::array<py::ssize_t, 2>{rows, 12}),
                        array(bounds, std::array<py::ssize_t, 1>{n + 1}), KG);
}

py::tuple core_analyse(const std::string& text, const std::string& name) {
  GroupRead read;
  Analysed analysed;
  {
    const py::gil_scoped_release released;
    read = parse_group(text, name);
    if (read.group) analysed = analyse(std::move(*read.group));
  }
  if (read.issue) return input_issue(*read.issue);
  if (analysed.issue) {
    return py::make_tuple("analysis", analysed.issue->stage, analysed.issue->pile,
                          analysed.issue->full);
  }
  return results(*analysed.result);
}

py::tuple core_write(const std::string& text, const std::string& name, const std::string& base) {
  GroupRead read;
  std::optional<std::string> failure;
  {
    const py::gil_scoped_release released;
    read = parse_group(text, name);
    if (read.group) {
      const Analysed analysed = analyse(*read.group);
      failure = analysed.issue ? analysed.issue->full
                               : write_results(*read.group, *analysed.result, base);
    }
  }
  if (read.issue) return input_issue(*read.issue);
  if (failure) return py::make_tuple("write", *failure);
  return py::make_tuple("ok");
}

// The numbers kelmarino-cases writes, for the group of `text` under the load cases of a loads
// file's text and the combinations of a combinations file's text (none: every case alone).
struct CaseNumbers {
  std::vector<cases::Combination> combinations;
  std::vector<cases::CapDisplacements> caps;
  std::vector<float> heads;  // combination, pile, then UX .. SZ, NX .. MZ
  cases::CaseResults results;
};

void case_numbers(const Group& group, const std::string& loads, const std::string& loads_name,
                  const std::optional<std::string>& combinations, const std::string& names_file,
                  CaseNumbers& out) {
  auto model = std::make_unique<Model>(*group.model);
  const bool own_loads = model->run.JCTR == 1;
  std::vector<cases::LoadCase> load_cases;
  if (own_loads) {
    cases::LoadCase data{cases::DATA_CASE, {}};
    for (int32_t k = 1; k <= group.loads.NACT; ++k) {
      cases::PointLoad point{group.loads.AXY(k, 1), group.loads.AXY(k, 2), {}};
      for (int32_t i = 0; i < 6; ++i) point.act[i] = group.loads.ACT(k, i + 1);
      data.points.push_back(point);
    }
    load_cases.push_back(data);
  }
  for (cases::LoadCase& c :
       cases::read_load_cases(loads, loads_name, own_loads ? cases::DATA_CASE : "")) {
    load_cases.push_back(std::move(c));
  }
  out.combinations = combinations ? cases::read_combinations(*combinations, names_file, load_cases)
                                  : cases::single_case_combinations(load_cases);
  const FaultFlags flags;
  ResponseCache cache;
  cases::form_stiffness(*model, cache);
  out.caps = cases::solve_combinations(*model, load_cases, out.combinations);
  std::vector<cases::PileMarch> marches(static_cast<size_t>(model->run.PNUM));
  at_stage("pile results");
  for (int32_t g = 1; g <= model->run.PNUM; ++g) {
    at_pile(g);
    cases::prepare_march(*model, g, cache, marches[static_cast<size_t>(g - 1)]);
  }
  at_stage(nullptr);
  std::atomic<int32_t> done{0};
  cases::envelope_piles(
      marches, out.caps, cases::combination_names(out.combinations), 1, done, out.results,
      [&out](size_t, size_t, const std::vector<cases::HeadResult>& heads) {
        for (const cases::HeadResult& head : heads) {
          out.heads.insert(out.heads.end(), head.DU, head.DU + 6);
          out.heads.insert(out.heads.end(), head.FT, head.FT + 6);
        }
      },
      false);
}

// Per pile: Z, the ground-line station, and for every station and quantity (UX .. PSY) the
// largest and smallest value with the number of the combination that governs it (from 0).
py::list envelope_arrays(const cases::CaseResults& results) {
  py::list piles;
  for (const cases::PileEnvelope& pile : results.piles) {
    const auto n = static_cast<py::ssize_t>(pile.stations.size());
    py::array_t<float> max({n, py::ssize_t{QUANTITIES}});
    py::array_t<float> min({n, py::ssize_t{QUANTITIES}});
    py::array_t<int32_t> max_by({n, py::ssize_t{QUANTITIES}});
    py::array_t<int32_t> min_by({n, py::ssize_t{QUANTITIES}});
    for (py::ssize_t k = 0; k < n; ++k) {
      const cases::StationEnvelope& s = pile.stations[static_cast<size_t>(k)];
      for (int32_t q = 0; q < QUANTITIES; ++q) {
        max.mutable_at(k, q) = s.max[q].value;
        min.mutable_at(k, q) = s.min[q].value;
        max_by.mutable_at(k, q) = s.max[q].combination;
        min_by.mutable_at(k, q) = s.min[q].combination;
      }
    }
    py::dict arrays;
    arrays["Z"] = py::array_t<float>(n, pile.ZH.data());
    arrays["KG"] = pile.KG;
    arrays["max"] = max;
    arrays["min"] = min;
    arrays["max_combination"] = max_by;
    arrays["min_combination"] = min_by;
    piles.append(arrays);
  }
  return piles;
}

py::tuple core_combinations(const std::string& text, const std::string& name,
                            const std::string& loads, const std::string& loads_name,
                            const std::optional<std::string>& combinations,
                            const std::string& combinations_name) {
  GroupRead read;
  CaseNumbers numbers;
  std::optional<std::string> refused;
  AnalysisIssue fault;
  {
    const py::gil_scoped_release released;
    read = parse_group(text, name);
    if (read.group) {
      try {
        case_numbers(*read.group, loads, loads_name, combinations, combinations_name, numbers);
      } catch (const RunError& error) {
        const FaultContext& where = fault_context();
        fault = {where.stage != nullptr ? where.stage : "analysis", where.pile, error.what()};
        refused = error.what();
      }
      fault_context() = FaultContext{};
    }
  }
  if (read.issue) return input_issue(*read.issue);
  if (refused) {
    if (refused->starts_with("run-time error in the ")) {
      return py::make_tuple("analysis", fault.stage, fault.pile, fault.full);
    }
    return py::make_tuple("input", "", 0, 0, *refused, *refused);
  }
  const auto m = static_cast<py::ssize_t>(numbers.caps.size());
  const auto n = static_cast<py::ssize_t>(numbers.results.piles.size());
  std::vector<float> caps;
  py::list names;
  for (size_t c = 0; c < numbers.caps.size(); ++c) {
    caps.insert(caps.end(), numbers.caps[c].U, numbers.caps[c].U + 6);
    names.append(numbers.combinations[c].name);
  }
  return py::make_tuple("ok", names, array(caps, std::array<py::ssize_t, 2>{m, 6}),
                        array(numbers.heads, std::array<py::ssize_t, 3>{m, n, 12}),
                        envelope_arrays(numbers.results));
}

}  // namespace
}  // namespace kelmarino

PYBIND11_MODULE(_core, m) {
  m.doc() =
      "The core of the kelmarino package: reading, analysis and writing of a data file's text";
  m.def("parse", &kelmarino::core_parse, py::arg("text"), py::arg("name"));
  m.def("analyse", &kelmarino::core_analyse, py::arg("text"), py::arg("name"));
  m.def("write", &kelmarino::core_write, py::arg("text"), py::arg("name"), py::arg("base"));
  m.def("combinations", &kelmarino::core_combinations, py::arg("text"), py::arg("name"),
        py::arg("loads"), py::arg("loads_name"), py::arg("combinations"),
        py::arg("combinations_name"));
}
