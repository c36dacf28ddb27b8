// The Python module's core: a group's values in, its data file's text or its Result out; a data
// file's text in, the group's values out. A group is read from the package's objects into the
// library's values, whose data file the reader checks exactly as any other. Mistakes are raised
// as the package's exceptions; the interpreter lock is released while the library reads and
// analyses, and a sweep runs on threads of its own.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

// NumPy's C interface, set up when the module is imported.
#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#include <numpy/arrayobject.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "analysis/analysis.hpp"
#include "cases/cases.hpp"
#include "objects.hpp"

namespace py = pybind11;

namespace kelmarino {
namespace {

// The package's classes whose objects the core makes, given by the package once it has made
// them, and the attributes of a Result in the order the core gives them; held for the life of
// the interpreter.
struct Package {
  py::handle group, result, input_error, analysis_error;
  std::vector<PyObject*> result_attributes;
};
Package package;

void use(py::handle group, py::handle result, py::handle input_error, py::handle analysis_error,
         const std::vector<std::string>& result_attributes) {
  package = {
      group.inc_ref(), result.inc_ref(), input_error.inc_ref(), analysis_error.inc_ref(), {}};
  for (const std::string& name : result_attributes) {
    package.result_attributes.push_back(PyUnicode_InternFromString(name.c_str()));
  }
}

// A Result with its attributes set, without a call into Python.
py::object new_result(std::initializer_list<py::handle> attributes) {
  py::object result = py::reinterpret_steal<py::object>(PyObject_CallNoArgs(package.result.ptr()));
  if (!result) throw py::error_already_set();
  auto name = package.result_attributes.begin();
  for (const py::handle value : attributes) {
    if (name == package.result_attributes.end() ||
        PyObject_SetAttr(result.ptr(), *name++, value.ptr()) < 0) {
      throw py::error_already_set();
    }
  }
  return result;
}

// Raises an exception the package made.
[[noreturn]] void raise(const py::object& error) {
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
  throw py::error_already_set();
}

bool is_error(const py::object& answer) { return PyExceptionInstance_Check(answer.ptr()) != 0; }

py::object input_error(const InputIssue& issue) {
  return package.input_error(issue.file, issue.line, issue.column, issue.message, issue.full);
}

void check_group(py::handle group, size_t number) {
  const int is_group = PyObject_IsInstance(group.ptr(), package.group.ptr());
  if (is_group == 1) return;
  if (is_group < 0) throw py::error_already_set();
  throw py::type_error("group " + std::to_string(number) + " is a " +
                       _PyType_Name(Py_TYPE(group.ptr())) + ", not a kelmarino.Group");
}

// A group's values, or the package's exception for the mistake of one of them.
std::optional<py::object> read_values(py::handle g, GroupValues& values) {
  try {
    values_of_group(g, values);
    return std::nullopt;
  } catch (const ValueMistake& m) {
    const std::string name = values.name.empty() ? "the group" : values.name;
    const std::string message = m.part + ": " + m.what;
    return input_error({name, 0, 0, message, "", "in " + name + ": " + message});
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

py::dict core_parse(const std::string& text, const std::string& name) {
  const GroupRead read = read_released(text, name);
  if (read.issue) raise(input_error(*read.issue));
  return group_values(*read.group);
}

template <typename T, size_t N>
py::array_t<T> array(const std::vector<T>& values, const std::array<py::ssize_t, N>& shape) {
  py::array_t<T> a(shape);
  std::copy(values.begin(), values.end(), a.mutable_data());
  return a;
}

// What a Result keeps of its analysis: its numbers as its arrays show them, laid out by the
// thread that analysed (cap (6), heads (n, 12), stiffness (n, 6, 6), per pile its first row of
// stations, its number of rows and its ground-line station (n, 3), the stations of every pile one
// after the other (rows of Z and the eleven quantities)), and the values of the group as it was
// analysed, which the Result writes whatever becomes of the group since.
struct Kept {
  std::vector<float> numbers;  // cap, heads, stiffness
  std::vector<int64_t> places;
  std::vector<StationRow> stations;
  GroupValues values;
  const float* cap() const { return numbers.data(); }
  const float* heads() const { return numbers.data() + 6; }
  const float* stiffness() const { return heads() + 12 * places.size() / 3; }
};

std::unique_ptr<Kept> kept_of(Result& result, GroupValues&& values) {
  auto kept = std::make_unique<Kept>();
  const size_t n = result.piles.size();
  kept->numbers.resize(6 + 48 * n);
  kept->places.resize(3 * n);
  float* head = std::copy(result.cap, result.cap + 6, kept->numbers.data());
  float* k = head + 12 * n;
  int64_t* place = kept->places.data();
  for (const PileResult& pile : result.piles) {
    head = std::copy(pile.FT, pile.FT + 6, std::copy(pile.DU, pile.DU + 6, head));
    for (const auto& row : pile.K) k = std::copy(row, row + 6, k);
    *place++ = static_cast<int64_t>(pile.first);
    *place++ = static_cast<int64_t>(pile.count);
    *place++ = pile.KG;
  }
  kept->stations = std::move(result.stations);
  kept->values = std::move(values);
  return kept;
}

// The analysis of a group: the mistake of its values, or the fault of its analysis, or what its
// Result keeps.
struct Analysis {
  std::optional<InputIssue> mistake;
  std::optional<AnalysisIssue> fault;
  std::unique_ptr<Kept> kept;
};

// Reading and analysis of a group's values, to be run without the interpreter lock.
Analysis analysis_of(GroupValues&& values) {
  GroupRead read = build_group(values);
  if (read.issue) return {std::move(read.issue), std::nullopt, nullptr};
  Analysed analysed = analyse(std::move(*read.group));
  if (analysed.issue) return {std::nullopt, std::move(analysed.issue), nullptr};
  return {std::nullopt, std::nullopt, kept_of(*analysed.result, std::move(values))};
}

constexpr const char* KEPT = "kelmarino.kept";

py::object kept_capsule(std::unique_ptr<Kept> kept) {
  PyObject* const capsule = PyCapsule_New(kept.get(), KEPT, [](PyObject* c) {
    delete static_cast<Kept*>(PyCapsule_GetPointer(c, KEPT));
  });
  if (capsule == nullptr) throw py::error_already_set();
  kept.release();  // the capsule's
  return py::reinterpret_steal<py::object>(capsule);
}

// An array of the given shape over numbers that the capsule owns.
template <typename T>
py::object kept_array(std::initializer_list<npy_intp> shape, const T* numbers,
                      const py::object& capsule) {
  constexpr int type = std::is_same_v<T, float> ? NPY_FLOAT32 : NPY_INT64;
  PyObject* const a = PyArray_SimpleNewFromData(static_cast<int>(shape.size()), shape.begin(), type,
                                                const_cast<T*>(numbers));
  if (a == nullptr) throw py::error_already_set();
  py::object array = py::reinterpret_steal<py::object>(a);
  if (PyArray_SetBaseObject(reinterpret_cast<PyArrayObject*>(a), capsule.inc_ref().ptr()) < 0) {
    throw py::error_already_set();
  }
  return array;
}

// The package's Result of a group, with its arrays over what it keeps.
py::object result_of(py::handle group, std::unique_ptr<Kept> kept) {
  const auto n = static_cast<npy_intp>(kept->places.size() / 3);
  const auto rows = static_cast<npy_intp>(kept->stations.size());
  const Kept& k = *kept;
  const py::object capsule = kept_capsule(std::move(kept));
  return new_result({group, kept_array({6}, k.cap(), capsule),
                     kept_array({n, 12}, k.heads(), capsule),
                     kept_array({n, 6, 6}, k.stiffness(), capsule),
                     kept_array({rows, 12}, rows > 0 ? k.stations[0].data() : nullptr, capsule),
                     kept_array({n, 3}, k.places.data(), capsule), capsule});
}

py::object analysis_error(const AnalysisIssue& issue) {
  return package.analysis_error(issue.stage, issue.pile, issue.full);
}

// The Result of an analysis, or the exception of the mistake of its group or of the fault of its
// analysis.
py::object answer(py::handle group, Analysis&& a) {
  if (a.mistake) return input_error(*a.mistake);
  if (a.fault) return analysis_error(*a.fault);
  return result_of(group, std::move(a.kept));
}

py::object core_analyse(py::handle group) {
  check_group(group, 0);
  GroupValues values;
  if (const std::optional<py::object> mistake = read_values(group, values)) raise(*mistake);
  Analysis a;
  {
    const py::gil_scoped_release released;
    a = analysis_of(std::move(values));
  }
  py::object result = answer(group, std::move(a));
  if (is_error(result)) raise(result);
  return result;
}

// A sweep's groups: their values, read by the calling thread, and their analyses, made by any
// of the sweep's threads as soon as the values are read.
class Sweep {
 public:
  explicit Sweep(size_t n) : values_(n), mistakes_(n), analyses_(n), failures_(n), analysed_(n) {}

  // Reads the values of group i; needs the interpreter lock.
  void read(py::handle group, size_t i) {
    check_group(group, i);
    mistakes_[i] = read_values(group, values_[i]);
    read_.store(i + 1);
    read_.notify_all();
  }

  // Analyses the next group that no thread has taken, once its values are read; false when
  // none is left.
  bool analyse_next() {
    const size_t i = next_++;
    if (i >= values_.size()) return false;
    for (size_t r = read_.load(); r <= i; r = read_.load()) read_.wait(r);
    if (!stopped_ && !mistakes_[i]) {
      try {
        analyses_[i] = analysis_of(std::move(values_[i]));
      } catch (...) {
        failures_[i] = std::current_exception();
      }
    }
    analysed_[i].store(true, std::memory_order_release);
    return true;
  }

  void work() {
    while (analyse_next()) {
    }
  }

  // Stops the analyses: the groups not yet taken are passed over.
  void stop() {
    stopped_ = true;
    read_.store(values_.size());
    read_.notify_all();
  }

  // Puts into `answers` the Result or exception of every group analysed, in order, from the
  // first not yet answered; needs the interpreter lock.
  void answer_analysed(const py::sequence& groups, py::list& answers) {
    for (; answered_ < values_.size(); ++answered_) {
      const size_t i = answered_;
      if (!analysed_[i].load(std::memory_order_acquire)) return;
      if (failures_[i]) std::rethrow_exception(failures_[i]);
      py::object a = mistakes_[i] ? *mistakes_[i] : answer(groups[i], std::move(analyses_[i]));
      answers[i] = std::move(a);
    }
  }

 private:
  std::vector<GroupValues> values_;
  std::vector<std::optional<py::object>> mistakes_;
  std::vector<Analysis> analyses_;
  std::vector<std::exception_ptr> failures_;
  std::vector<std::atomic<bool>> analysed_;
  std::atomic<size_t> next_{0}, read_{0};
  std::atomic<bool> stopped_{false};
  size_t answered_ = 0;
};

// The groups analysed on `threads` threads, the calling one included; in their order, the Result
// or the exception of each. The other threads start on the first groups while the calling one
// reads the values of the rest; then it analyses too, and makes the Results of the groups
// analysed between its analyses.
py::list core_sweep(const py::sequence& groups, int32_t threads) {
  const size_t n = groups.size();
  Sweep sweep(n);
  py::list answers;  // of None until each is answered: other Python code may see the list
  for (size_t i = 0; i < n; ++i) answers.append(py::none());
  std::vector<std::jthread> others;
  try {
    for (int32_t t = 1; t < threads; ++t) others.emplace_back([&sweep] { sweep.work(); });
    for (size_t i = 0; i < n; ++i) sweep.read(groups[i], i);
    for (bool more = true; more;) {
      sweep.answer_analysed(groups, answers);
      const py::gil_scoped_release released;
      more = sweep.analyse_next();
    }
    {
      const py::gil_scoped_release released;
      others.clear();  // joined
    }
    sweep.answer_analysed(groups, answers);
  } catch (...) {
    sweep.stop();
    throw;  // the other threads are joined first
  }
  return answers;
}

// The data file's text of a group; raises the mistake of one of its values.
std::string core_data_text(py::handle group) {
  GroupValues values;
  if (const std::optional<py::object> mistake = read_values(group, values)) raise(*mistake);
  return data_text(values);
}

// The name and data text of the group a Result analysed: kept by the Result, or (once pickled)
// as they were kept.
std::pair<std::string, std::string> analysed_text(py::handle analysed) {
  if (PyCapsule_IsValid(analysed.ptr(), KEPT) == 0) {
    return analysed.cast<std::pair<std::string, std::string>>();
  }
  const auto* kept = static_cast<const Kept*>(PyCapsule_GetPointer(analysed.ptr(), KEPT));
  return {kept->values.name, data_text(kept->values)};
}

// BASE.out and BASE.pos of the group a Result analysed.
void core_write(py::handle analysed, const std::string& base) {
  const auto [name, text] = analysed_text(analysed);
  GroupRead read;
  Analysed again;
  std::optional<std::string> failure;
  {
    const py::gil_scoped_release released;
    read = parse_group(text, name);
    if (read.group) again = analyse(*read.group);
    if (again.result) failure = write_results(*read.group, *again.result, base);
  }
  if (read.issue) raise(input_error(*read.issue));
  if (again.issue) raise(analysis_error(*again.issue));
  if (failure) {
    PyErr_SetString(PyExc_OSError, failure->c_str());
    throw py::error_already_set();
  }
}

// The numbers kelmarino-cases writes, for the group of `text` under the load cases of a loads
// file's text and the combinations of a combinations file's text (none: every case alone).
struct CaseNumbers {
  std::optional<AnalysisIssue> issue;  // a fault of the analysis of the group
  std::vector<cases::Combination> combinations;
  std::vector<cases::CapDisplacements> caps;
  std::vector<float> heads;  // combination, pile, then UX .. SZ, NX .. MZ
  cases::CaseResults results;
};

void case_numbers(const Group& group, const std::string& loads, const std::string& loads_name,
                  const std::optional<std::string>& combinations, const std::string& names_file,
                  CaseNumbers& out) {
  const std::vector<cases::LoadCase> load_cases = cases::load_cases(group, &loads, loads_name);
  out.combinations = combinations ? cases::read_combinations(*combinations, names_file, load_cases)
                                  : cases::single_case_combinations(load_cases);
  const Analysed analysed = analyse(group, {AnalysisScope::foundation});
  if (analysed.issue) {
    out.issue = analysed.issue;
    return;
  }
  const FaultFlags flags;
  const std::vector<cases::PileMarch> marches = cases::pile_marches(group, *analysed.result);
  out.caps = cases::solve_combinations(analysed.result->KCAP, load_cases, out.combinations);
  std::atomic<int32_t> done{0};
  cases::envelope_piles(marches, out.caps, cases::combination_names(out.combinations), 1, done,
                        out.results,
                        [&out](size_t, size_t, const std::vector<cases::HeadResult>& heads) {
                          for (const cases::HeadResult& head : heads) {
                            out.heads.insert(out.heads.end(), head.DU, head.DU + 6);
                            out.heads.insert(out.heads.end(), head.FT, head.FT + 6);
                          }
                        });
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
        if (numbers.issue) {
          fault = *numbers.issue;
          refused = fault.full;
        }
      } catch (const RunError& error) {
        const FaultContext& where = fault_context();
        fault = {where.stage.empty() ? "analysis" : where.stage, where.pile, error.what()};
        refused = error.what();
      }
      fault_context() = FaultContext{};
    }
  }
  if (read.issue) raise(input_error(*read.issue));
  if (refused) {
    if (refused->starts_with("run-time error in the ")) raise(analysis_error(fault));
    raise(input_error({"", 0, 0, *refused, "", *refused}));
  }
  const auto m = static_cast<py::ssize_t>(numbers.caps.size());
  const auto n = static_cast<py::ssize_t>(numbers.results.piles.size());
  std::vector<float> caps;
  py::list names;
  for (size_t c = 0; c < numbers.caps.size(); ++c) {
    caps.insert(caps.end(), numbers.caps[c].U, numbers.caps[c].U + 6);
    names.append(numbers.combinations[c].name);
  }
  return py::make_tuple(names, array(caps, std::array<py::ssize_t, 2>{m, 6}),
                        array(numbers.heads, std::array<py::ssize_t, 3>{m, n, 12}),
                        envelope_arrays(numbers.results));
}

}  // namespace
}  // namespace kelmarino

PYBIND11_MODULE(_core, m) {
  if (_import_array() < 0) throw py::error_already_set();
  kelmarino::intern_names();
  m.doc() =
      "The core of the kelmarino package: reading, analysis and writing of a data file's text";
  m.def("use", &kelmarino::use, py::arg("group"), py::arg("result"), py::arg("input_error"),
        py::arg("analysis_error"), py::arg("result_attributes"));
  m.def("parse", &kelmarino::core_parse, py::arg("text"), py::arg("name"));
  m.def("analyse", &kelmarino::core_analyse, py::arg("group"));
  m.def("sweep", &kelmarino::core_sweep, py::arg("groups"), py::arg("threads"));
  m.def("data_text", &kelmarino::core_data_text, py::arg("group"));
  m.def("analysed_text", &kelmarino::analysed_text, py::arg("analysed"));
  m.def("write", &kelmarino::core_write, py::arg("analysed"), py::arg("base"));
  m.def("combinations", &kelmarino::core_combinations, py::arg("text"), py::arg("name"),
        py::arg("loads"), py::arg("loads_name"), py::arg("combinations"),
        py::arg("combinations_name"));
}
