// The Python module's core: a group's values in, its data file's text or the results as NumPy
// arrays out; a data file's text in, the group's values out. A group is read from the package's
// objects into the library's values, whose data file the reader checks exactly as any other.
// Mistakes come back as tuples that the package turns into its exceptions; the interpreter lock
// is released while the library reads and analyses, and a sweep runs on threads of its own.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <limits>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "analysis/analysis.hpp"
#include "cases/cases.hpp"
#include "objects.hpp"

namespace py = pybind11;

namespace kelmarino {
namespace {

py::tuple input_issue(const InputIssue& issue) {
  return py::make_tuple("input", issue.file, issue.line, issue.column, issue.message, issue.full);
}

// A group's values, or the answer of the package's exception for the mistake of one of them.
std::optional<py::tuple> read_values(py::handle g, GroupValues& values) {
  try {
    values_of_group(g, values);
    return std::nullopt;
  } catch (const ValueMistake& m) {
    const std::string name = values.name.empty() ? "the group" : values.name;
    const std::string message = m.part + ": " + m.what;
    return py::make_tuple("input", name, 0, 0, message, "in " + name + ": " + message);
  }
}

py::dict type_dict(const TypeValues& t) {
  py::dict type;
  type["shape"] = t.shape;
  type["tip"] = t.tip;
  type["axis"] = py::make_tuple(t.axis[0], t.axis[1], t.axis[2]);
  py::list above, below;
  for (const AboveValues& s : t.above) above.append(py::make_tuple(s.length, s.diameter, s.steps));
  for (const BelowValues& s : t.below) {
    below.append(py::make_tuple(s.length, s.diameter, s.m, s.friction, s.steps));
  }
  type["above"] = above;
  type["below"] = below;
  type["PMB"] = t.PMB;
  type["PEH"] = t.PEH;
  type["PKE"] = t.PKE;
  return type;
}

// The values of a group as the package describes it: control, loads, piles, types keyed by their
// numbers in the data file, supports.
py::dict group_values(const Group& group) {
  const GroupValues g = values_of(group);
  std::vector<int32_t> numbers;  // the data file's number of each type of g, in its order
  for (int32_t p = 1; p <= group.model->run.PNUM; ++p) {
    const int32_t t = group.model->piles.PTYPE(p);
    if (std::find(numbers.begin(), numbers.end(), t) == numbers.end()) numbers.push_back(t);
  }
  py::dict values;
  values["name"] = g.name;
  values["JCTR"] = g.JCTR;
  values["INO"] = g.INO;
  py::list loads, piles, supports;
  py::dict types;
  for (const LoadValues& l : g.loads) {
    const float* a = l.act;
    loads.append(py::make_tuple(l.x, l.y, a[0], a[1], a[2], a[3], a[4], a[5]));
  }
  for (const PileValues& pile : g.piles) {
    piles.append(py::make_tuple(pile.x, pile.y, numbers[static_cast<size_t>(pile.type)]));
  }
  for (size_t t = 0; t < g.types.size(); ++t) types[py::int_(numbers[t])] = type_dict(g.types[t]);
  for (const SupportValues& support : g.supports) {
    py::list stiffness;
    for (const float k : support.stiffness) stiffness.append(k);
    supports.append(py::make_tuple(support.x, support.y, stiffness));
  }
  values["loads"] = loads;
  values["piles"] = piles;
  values["types"] = types;
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

// The results as arrays: cap (6), heads (n, 12), stiffness (n, 6, 6), the stations of every
// pile one after the other (rows of Z and the eleven quantities, taken over from the result),
// and per pile its first row, its number of rows and its ground-line station (n, 3).
py::tuple results(Result& result) {
  const auto n = static_cast<py::ssize_t>(result.piles.size());
  py::array_t<float> cap(6), heads({n, py::ssize_t{12}}),
      stiffness({n, py::ssize_t{6}, py::ssize_t{6}});
  py::array_t<int64_t> places({n, py::ssize_t{3}});
  std::copy(result.cap, result.cap + 6, cap.mutable_data());
  float* head = heads.mutable_data();
  float* k = stiffness.mutable_data();
  int64_t* place = places.mutable_data();
  for (const PileResult& pile : result.piles) {
    head = std::copy(pile.FT, pile.FT + 6, std::copy(pile.DU, pile.DU + 6, head));
    for (const auto& row : pile.K) k = std::copy(row, row + 6, k);
    *place++ = static_cast<int64_t>(pile.first);
    *place++ = static_cast<int64_t>(pile.count);
    *place++ = pile.KG;
  }
  auto* rows = new std::vector<StationRow>(std::move(result.stations));
  const py::capsule owner(rows, [](void* v) { delete static_cast<std::vector<StationRow>*>(v); });
  const py::array_t<float> stations({static_cast<py::ssize_t>(rows->size()), py::ssize_t{12}},
                                    rows->data()->data(), owner);
  return py::make_tuple("ok", cap, heads, stiffness, stations, places);
}

// The answer of an analysis: its results, or the mistake of its group or the fault of its
// analysis.
struct Analysis {
  GroupRead read;
  Analysed analysed;
};

py::tuple answer(Analysis& a) {
  if (a.read.issue) return input_issue(*a.read.issue);
  if (a.analysed.issue) {
    return py::make_tuple("analysis", a.analysed.issue->stage, a.analysed.issue->pile,
                          a.analysed.issue->full);
  }
  return results(*a.analysed.result);
}

// Reading and analysis of a group's values, to be run without the interpreter lock.
void analyse_values(const GroupValues& values, Analysis& a) {
  a.read = build_group(values);
  if (a.read.group) a.analysed = analyse(std::move(*a.read.group));
}

py::tuple core_analyse(py::handle group) {
  GroupValues values;
  if (const std::optional<py::tuple> mistake = read_values(group, values)) return *mistake;
  Analysis a;
  {
    const py::gil_scoped_release released;
    analyse_values(values, a);
  }
  return answer(a);
}

// The groups analysed on `threads` threads, the calling one included; the answers in order. The
// other threads start on the first groups while the calling one reads the values of the rest.
py::list core_sweep(const py::sequence& groups, int32_t threads) {
  const size_t n = groups.size();
  std::vector<GroupValues> values(n);
  std::vector<std::optional<py::tuple>> mistakes(n);
  std::vector<Analysis> analyses(n);
  std::vector<std::exception_ptr> failures(n);
  std::atomic<size_t> next{0}, read{0};
  std::atomic<bool> stopped{false};
  auto work = [&] {
    for (size_t i = next++; i < n; i = next++) {
      for (size_t r = read.load(); r <= i; r = read.load()) read.wait(r);
      if (stopped || mistakes[i]) continue;
      try {
        analyse_values(values[i], analyses[i]);
      } catch (...) {
        failures[i] = std::current_exception();
      }
    }
  };
  std::vector<std::jthread> others;
  auto done_reading = [&](size_t count) {
    read.store(count);
    read.notify_all();
  };
  try {
    for (int32_t t = 1; t < threads; ++t) others.emplace_back(work);
    for (size_t i = 0; i < n; ++i) {
      mistakes[i] = read_values(groups[i], values[i]);
      done_reading(i + 1);
    }
  } catch (...) {
    stopped = true;
    done_reading(n);
    throw;
  }
  {
    const py::gil_scoped_release released;
    work();
    others.clear();  // joined
  }
  py::list answers;
  for (size_t i = 0; i < n; ++i) {
    if (failures[i]) std::rethrow_exception(failures[i]);
    answers.append(mistakes[i] ? *mistakes[i] : answer(analyses[i]));
  }
  return answers;
}

// The data file's text of a group, or the mistake of one of its values.
py::tuple core_data_text(py::handle group) {
  GroupValues values;
  if (const std::optional<py::tuple> mistake = read_values(group, values)) return *mistake;
  return py::make_tuple("ok", data_text(values));
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
  kelmarino::intern_names();
  m.doc() =
      "The core of the kelmarino package: reading, analysis and writing of a data file's text";
  m.def("parse", &kelmarino::core_parse, py::arg("text"), py::arg("name"));
  m.def("analyse", &kelmarino::core_analyse, py::arg("group"));
  m.def("sweep", &kelmarino::core_sweep, py::arg("groups"), py::arg("threads"));
  m.def("data_text", &kelmarino::core_data_text, py::arg("group"));
  m.def("write", &kelmarino::core_write, py::arg("text"), py::arg("name"), py::arg("base"));
  m.def("combinations", &kelmarino::core_combinations, py::arg("text"), py::arg("name"),
        py::arg("loads"), py::arg("loads_name"), py::arg("combinations"),
        py::arg("combinations_name"));
}
