// The Python package's core: a group's values read from the package's objects, checked and
// analysed by the library into an Analysis (the values as analysed and their Result), whose
// arrays are read-only views of it; a data file's text parsed into the package's Group; the
// numbers of load combinations. The library's issues are raised as the package's InputError and
// AnalysisError. The interpreter lock is released while the library works.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "analysis/analysis.hpp"
#include "cases/cases.hpp"
#include "faults/faults.hpp"
#include "version/version.hpp"

namespace py = pybind11;

namespace kelmarino {
namespace {

// The package's exception for an issue of the library: InputError or AnalysisError.
py::object package_error(const Issue& i) {
  const py::module_ package = py::module_::import("kelmarino");
  if (i.kind == Issue::Kind::input) {
    return package.attr("InputError")(i.file, i.line, i.column, i.message, i.full);
  }
  return package.attr("AnalysisError")(i.stage, i.pile, i.full);
}

// An attribute name of the package's classes, interned on its first use.
template <size_t N>
struct Text {
  char c[N];
  constexpr Text(const char (&text)[N]) { std::copy_n(text, N, c); }  // NOLINT: from a literal
};
template <Text name>
py::handle operator""_name() {
  static const py::handle interned = PyUnicode_InternFromString(name.c);
  return interned;
}

// ---- A group's values from the package's objects ----
//
// The package's dataclasses, lists and dictionary, or any objects with the same attributes. Reals
// may be any number Python can turn into a float, integers any integer; a value that is neither
// is a mistake named by its place in the group. A list is read as it was when its reading began.

// The package's class of a part of a group, and its attributes with the values they hold.
template <typename T>
constexpr const char* class_name = std::is_same_v<T, AboveValues>     ? "Above"
                                   : std::is_same_v<T, BelowValues>   ? "Below"
                                   : std::is_same_v<T, TypeValues>    ? "PileType"
                                   : std::is_same_v<T, LoadValues>    ? "Load"
                                   : std::is_same_v<T, SupportValues> ? "Support"
                                                                      : nullptr;

void fields(auto& v, auto&& f) {
  using T = std::remove_cvref_t<decltype(v)>;
  if constexpr (std::is_same_v<T, AboveValues>) {
    f("length"_name, v.length), f("diameter"_name, v.diameter), f("steps"_name, v.steps);
  } else if constexpr (std::is_same_v<T, BelowValues>) {
    f("length"_name, v.length), f("diameter"_name, v.diameter), f("m"_name, v.m);
    f("friction"_name, v.friction), f("steps"_name, v.steps);
  } else if constexpr (std::is_same_v<T, TypeValues>) {
    f("shape"_name, v.shape), f("tip"_name, v.tip), f("axis"_name, v.axis);
    f("above"_name, v.above), f("below"_name, v.below);
    f("PMB"_name, v.PMB), f("PEH"_name, v.PEH), f("PKE"_name, v.PKE);
  } else if constexpr (std::is_same_v<T, LoadValues>) {
    f("x"_name, v.x), f("y"_name, v.y), f("FX"_name, v.act[0]), f("FY"_name, v.act[1]);
    f("FZ"_name, v.act[2]), f("MX"_name, v.act[3]), f("MY"_name, v.act[4]), f("MZ"_name, v.act[5]);
  } else {
    f("x"_name, v.x), f("y"_name, v.y), f("stiffness"_name, v.stiffness);
  }
}

// Where a value stands: its parent and its attribute, key or index there.
struct Part {
  const Part* parent = nullptr;
  py::handle attribute, key;
  py::ssize_t index = 0;
  std::string text() const {
    std::string t = parent != nullptr ? parent->text() : "";
    if (attribute) return t.append(t.empty() ? "" : ".").append(py::str(attribute));
    const std::string item = key ? py::repr(key).cast<std::string>() : std::to_string(index);
    return t.append("[").append(item).append("]");
  }
};

struct ValueMistake {
  std::string part, what;
};

[[noreturn]] void mistake(const Part& at, py::handle value, const char* what) {
  throw ValueMistake{at.text(), py::repr(value).cast<std::string>().append(what)};
}

// The value of an attribute; a part of another class (a tuple where a Load belongs), `expected`
// the package's class of the part, is named as such.
py::object value_at(py::handle object, const Part& at, const char* expected = nullptr) {
  py::object value = py::getattr(object, at.attribute, py::handle());
  if (value) return value;
  const std::string type = py::str(py::type::handle_of(object).attr("__name__"));
  if (expected == nullptr || at.parent == nullptr ||
      py::isinstance(object, py::module_::import("kelmarino").attr(expected))) {
    throw ValueMistake{at.text(), "is missing from the " + type};
  }
  throw ValueMistake{at.parent->text(), "the " + type + " has no " +
                                            std::string(py::str(at.attribute)) + "; a " + expected +
                                            " is expected"};
}

// A failure of Python's to take a value as a number or a list: a TypeError, ValueError or
// ArithmeticError (an int beyond any float) is the mistake of the value; any other (an interrupt,
// memory) goes on.
bool is_value_error() {
  return PyErr_ExceptionMatches(PyExc_TypeError) || PyErr_ExceptionMatches(PyExc_ValueError) ||
         PyErr_ExceptionMatches(PyExc_ArithmeticError);
}
void clear_value_error() {
  if (!is_value_error()) throw py::error_already_set();
  PyErr_Clear();
}

// A real rounded to single precision as NumPy rounds it: beyond the range, an infinity, which
// the reader refuses as it refuses one in a data file.
float real(py::handle value, const Part& at) {
  // Floats and ints, most values by far, are asked nothing else. A complex number with an
  // imaginary part is no real, though NumPy's converts to its real part; an array of one value
  // converts to it too, but is a list, not a number.
  if (!PyFloat_Check(value.ptr()) && !PyLong_Check(value.ptr())) {
    if (py::isinstance<py::array>(value) && py::reinterpret_borrow<py::array>(value).ndim() > 0) {
      mistake(at, value, " is not a number");
    }
    if (py::hasattr(value, "imag")) {
      const int imaginary = PyObject_IsTrue(value.attr("imag").ptr());
      if (imaginary < 0) clear_value_error();
      if (imaginary != 0) mistake(at, value, " is not a real number");
    }
  }
  constexpr float INF = std::numeric_limits<float>::infinity();
  const double d = PyFloat_AsDouble(value.ptr());
  if (d == -1.0 && PyErr_Occurred() != nullptr) {
    if (PyErr_ExceptionMatches(PyExc_OverflowError)) {  // an int beyond any float
      PyErr_Clear();
      return value > py::int_(0) ? INF : -INF;
    }
    clear_value_error();
    mistake(at, value, " is not a number");
  }
  const double beyond = 3.4028235677973366e38;  // halfway between the largest real and 2^128
  if (std::fabs(d) >= beyond) return std::copysign(INF, d);
  return static_cast<float>(d);
}

// A text, which the library holds as UTF-8: a str with a lone surrogate (a file name's byte that is
// no UTF-8, as os.fsdecode gives it) is none.
std::string text(py::handle value, const Part& at) {
  const py::str shown(value);
  py::ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(shown.ptr(), &size);
  if (utf8 == nullptr) {
    clear_value_error();
    mistake(at, value, " is not UTF-8 text");
  }
  return {utf8, static_cast<size_t>(size)};
}

// Whether a value is an integer: an int, a bool or a NumPy integer (anything with an index),
// never a real.
bool is_integer(py::handle value) {
  const auto index = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
  if (!index) clear_value_error();
  return static_cast<bool>(index);
}

// An integer, as is_integer takes one.
int32_t integer(py::handle value, const Part& at) {
  const auto index = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
  if (!index) {
    clear_value_error();
    mistake(at, value, " is not an integer");
  }
  int beyond = 0;
  const long long n = PyLong_AsLongLongAndOverflow(index.ptr(), &beyond);
  if (beyond != 0 || n < INT32_MIN || n > INT32_MAX) mistake(at, value, " does not fit an integer");
  return static_cast<int32_t>(n);
}

// The items of a list, a tuple, an array or any other ordered series; a mapping would give its
// keys and a set its items in no order, so neither is one.
py::tuple items(py::handle value, const Part& at) {
  if (PyDict_Check(value.ptr()) || PyAnySet_Check(value.ptr())) {
    mistake(at, value, " is not a list");
  }
  try {
    return py::tuple(py::reinterpret_borrow<py::object>(value));
  } catch (py::error_already_set& failure) {
    failure.restore();
    clear_value_error();
    mistake(at, value, " is not a list");
  }
}

// Reads each item of a list, with its part.
void each(const py::tuple& list, const Part& at, auto read) {
  py::ssize_t i = 0;
  for (const py::handle item : list) read(item, Part{&at, {}, {}, i++});
}

// A value of a group: a real, an integer, a list, an axis of 3 components, a stiffness of 36
// values or 6 rows of 6, or a part by its attributes.
template <typename T>
void take(py::handle value, const Part& at, T& out) {
  if constexpr (class_name<T> != nullptr) {
    fields(out, [&](py::handle name, auto& field) {
      const Part part{&at, name};
      take(value_at(value, part, class_name<T>), part, field);
    });
  } else if constexpr (requires { out.emplace_back(); }) {
    const py::tuple list = items(value, at);
    out.reserve(list.size());
    each(list, at, [&](py::handle item, const Part& p) { take(item, p, out.emplace_back()); });
  } else if constexpr (std::is_array_v<T>) {
    constexpr size_t n = std::extent_v<T>;
    const py::tuple list = items(value, at);
    if (n == 36 && list.size() == 6) {
      return each(list, at, [&](py::handle row, const Part& r) {
        const py::tuple values = items(row, r);
        if (values.size() != 6) mistake(r, row, " is not a row of 6");
        each(values, r,
             [&](py::handle v, const Part& p) { out[6 * r.index + p.index] = real(v, p); });
      });
    }
    if (list.size() != n) {
      mistake(at, value,
              n == 3 ? " does not hold 3 components" : " is not 36 values or 6 rows of 6");
    }
    each(list, at, [&](py::handle v, const Part& p) { out[p.index] = real(v, p); });
  } else if constexpr (std::is_same_v<T, float>) {
    out = real(value, at);
  } else {
    out = integer(value, at);
  }
}

void take_at(py::handle object, const Part& at, auto& out, const char* expected = nullptr) {
  take(value_at(object, at, expected), at, out);
}

// How a message names an integer key of the types: by its number (1 for True), beyond 64 bits as
// Python shows it.
std::string key_text(py::handle key) {
  const auto index = py::reinterpret_steal<py::object>(PyNumber_Index(key.ptr()));
  if (!index) {
    PyErr_Clear();
    return py::repr(key);
  }
  int beyond = 0;
  const long long n = PyLong_AsLongLongAndOverflow(index.ptr(), &beyond);
  return beyond == 0 ? std::to_string(n) : std::string(py::repr(index));
}

// The key of a mapping that `key` finds there (1 for True), as the mapping holds it.
py::object stored_key(py::handle mapping, const py::object& key) {
  if (!PyDict_Check(mapping.ptr())) return key;
  for (const auto& [stored, type] : py::reinterpret_borrow<py::dict>(mapping)) {
    if (stored.equal(key)) return py::reinterpret_borrow<py::object>(stored);
  }
  return key;
}

// The piles, with the types they take in the order they first take them.
void take_piles(py::handle g, GroupValues& values) {
  const Part piles_at{nullptr, "piles"_name}, types_at{nullptr, "types"_name};
  const py::tuple piles = items(value_at(g, piles_at), piles_at);
  const py::object types = value_at(g, types_at);
  // A type under a key that is no integer is one no pile can take: an edit made there ("0" for
  // 0) would be lost.
  if (PyDict_Check(types.ptr())) {
    for (const auto& [key, type] : py::reinterpret_borrow<py::dict>(types)) {
      if (!is_integer(key)) {
        throw ValueMistake{types_at.text(),
                           "the key " + std::string(py::repr(key)) +
                               " is not an integer: a type is keyed by its number"};
      }
    }
  }
  std::vector<py::object> keys;  // the key in types of each of values.types
  values.piles.reserve(piles.size());
  each(piles, piles_at, [&](py::handle pile, const Part& at) {
    const Part type_at{&at, "type"_name};
    const py::object key = value_at(pile, type_at, "Pile");
    size_t t = 0;  // the keys are few, the same objects mostly
    while (t < keys.size() && !keys[t].is(key)) ++t;
    if (t == keys.size() && !is_integer(key)) mistake(type_at, key, " is not an integer");
    try {
      if (t == keys.size()) {
        for (t = 0; t < keys.size() && !keys[t].equal(key);) ++t;
      }
      if (t == keys.size()) {
        take(types[key], {&types_at, {}, key}, values.types.emplace_back());
        values.type_keys.push_back(key_text(stored_key(types, key)));
        keys.push_back(key);
      }
    } catch (const py::error_already_set&) {
      mistake(type_at, key, " is not one of the types");
    }
    PileValues& p = values.piles.emplace_back(PileValues{0.0f, 0.0f, static_cast<int32_t>(t)});
    take_at(pile, {&at, "x"_name}, p.x, "Pile");
    take_at(pile, {&at, "y"_name}, p.y, "Pile");
  });
}

// The values of a group of the package; throws the issue of the first that cannot be one. Needs
// the interpreter lock.
GroupValues group_values(py::handle g) {
  GroupValues values;
  try {
    const Part name_at{nullptr, "name"_name};
    values.name = text(value_at(g, name_at), name_at);
    take_at(g, {nullptr, "JCTR"_name}, values.JCTR);
    take_at(g, {nullptr, "INO"_name}, values.INO);
    take_at(g, {nullptr, "loads"_name}, values.loads);
    take_piles(g, values);
    take_at(g, {nullptr, "supports"_name}, values.supports);
  } catch (const ValueMistake& m) {
    const std::string name = values.name.empty() ? "the group" : values.name;
    const std::string message = m.part + ": " + m.what;
    throw input_issue(name, message, "in " + name + ": " + message);
  }
  return values;
}

// ---- Reading, checking and analysis ----

// The whole text of an input file, read as the programs read theirs: a regular file of at most
// MAX_INPUT_BYTES, opened without waiting. The text, the system's error number when it cannot be
// opened (else 0), and the programs' message when it cannot be read (else empty).
py::tuple core_read_file(const std::string& path) {
  std::string text, refusal;
  int reason = 0;
  {
    const py::gil_scoped_release released;
    try {
      if (!read_whole_file(path, text)) reason = errno;
    } catch (const RunError& error) {
      refusal = error.what();
    }
  }
  return py::make_tuple(py::bytes(text), reason, refusal);
}

// A value as the package holds it: a number, a list (an axis a tuple), an object of its class.
py::object give(const py::module_& package, const auto& v) {
  using T = std::remove_cvref_t<decltype(v)>;
  if constexpr (class_name<T> != nullptr) {
    py::list values;
    fields(v, [&](py::handle, const auto& field) { values.append(give(package, field)); });
    return package.attr(class_name<T>)(*values);
  } else if constexpr (std::is_array_v<T> || requires { v.begin(); }) {
    py::list values;
    for (const auto& item : v) values.append(give(package, item));
    if constexpr (std::is_array_v<T> && std::extent_v<T> == 3) return py::tuple(values);
    return values;
  } else {
    return py::cast(v);
  }
}

// The package's Group of a data file's text: the types keyed by their numbers in the data file.
py::object core_parse(const std::string& text, const std::string& name) {
  const GroupRead read = [&] {
    const py::gil_scoped_release released;
    return parse_group(text, name);
  }();
  if (!read) throw read.issue();
  const GroupValues g = values_of(*read);
  const py::module_ package = py::module_::import("kelmarino");
  py::list piles;
  py::dict types;
  for (size_t p = 0; p < g.piles.size(); ++p) {
    const py::int_ number(read->model->piles.PTYPE(static_cast<int32_t>(p + 1)));
    piles.append(package.attr("Pile")(g.piles[p].x, g.piles[p].y, number));
    if (!types.contains(number)) types[number] = give(package, g.types[g.piles[p].type]);
  }
  return package.attr("Group")(g.name, g.JCTR, g.INO, give(package, g.loads), piles, types,
                               give(package, g.supports), read->warnings);
}

// The group of a group's values, with every check of the reader.
Group checked(const GroupValues& values) {
  GroupRead read = build_group(values);
  if (!read) throw read.issue();
  return std::move(*read);
}

// Every mistake of a group's values, in the order of the group, each the package's InputError;
// with none, the fault of making its group (an overflow of the loads' reduction), if any. A value
// that cannot be taken at all is the one mistake listed: the others cannot be checked without it.
py::list core_mistakes(py::handle group) {
  GroupValues values;
  try {
    values = group_values(group);
  } catch (const Issue& unreadable) {
    py::list found;
    found.append(package_error(unreadable));
    return found;
  }
  std::vector<Issue> issues = check(values);
  if (issues.empty()) {
    const GroupRead read = build_group(values);
    if (!read) issues.push_back(read.issue());
  }
  py::list found;
  for (const Issue& issue : issues) found.append(package_error(issue));
  return found;
}

// The values of a group as analysed, and its results: what the package's Result holds. The
// true peaks are found on first use, so that a sweep that never reads them does not pay for
// them; threads that ask at once find them once.
struct Analysis : StoredAnalysis {
  std::unique_ptr<std::mutex> finding = std::make_unique<std::mutex>();
};

// The results of a group's values, checked and analysed, the true peaks deferred; the issue that
// stops them is thrown.
Result analysed_result(const GroupValues& values) {
  Analysed analysed = analyse(checked(values), {.true_peaks = TruePeaks::deferred});
  if (!analysed) throw analysed.issue();
  return std::move(*analysed);
}

// The result of an analysis with its true peaks, found now if they are not yet.
const Result& with_peaks(Analysis& a) {
  const py::gil_scoped_release released;
  const std::lock_guard<std::mutex> lock(*a.finding);
  if (const std::optional<Issue> issue = find_true_peaks(a.result)) throw *issue;
  return a.result;
}

// Checks and analyses many groups, the interpreter lock released once for all of them: for each
// its Analysis, or the package's exception for the issue that stopped it.
py::list core_analyse_all(const py::list& groups) {
  struct Outcome {
    GroupValues values;
    std::optional<Result> result;
    std::optional<Issue> issue;
  };
  std::vector<Outcome> outcomes(groups.size());
  for (size_t i = 0; i < outcomes.size(); ++i) {
    try {
      outcomes[i].values = group_values(groups[i]);
    } catch (const Issue& issue) {
      outcomes[i].issue = issue;
    }
  }
  {
    const py::gil_scoped_release released;
    for (Outcome& o : outcomes) {
      if (o.issue) continue;
      try {
        o.result = analysed_result(o.values);
      } catch (const Issue& issue) {
        o.issue = issue;
      }
    }
  }
  py::list answers;
  for (Outcome& o : outcomes) {
    answers.append(o.issue ? package_error(*o.issue)
                           : py::cast(Analysis{{std::move(o.values), std::move(*o.result)}}));
  }
  return answers;
}

// ---- The arrays of an Analysis ----

// A read-only array over numbers that `owner` holds, which it keeps alive.
template <typename T>
py::array view(py::handle owner, const T* data, std::vector<py::ssize_t> shape,
               std::vector<py::ssize_t> strides) {
  if (shape[0] == 0) data = nullptr;  // an empty array of its own
  py::array a(py::dtype::of<T>(), std::move(shape), std::move(strides), data, owner);
  a.attr("setflags")(py::arg("write") = false);
  return a;
}

// The first element of a vector, or one standing for none (an empty array is made on its own).
template <typename T>
const T& first(const std::vector<T>& v) {
  static const T none{};
  return v.empty() ? none : v[0];
}

py::ssize_t count_of(const auto& v) { return static_cast<py::ssize_t>(v.size()); }

constexpr py::ssize_t F = sizeof(float), P = sizeof(PileResult), K = sizeof(Peak),
                      C = std::tuple_size_v<StationRow>;
static_assert(offsetof(PileResult, FT) == offsetof(PileResult, DU) + 6 * F);  // rows of 12

const Result& result_of(py::handle self) { return self.cast<const Analysis&>().result; }

// The first station of a pile (from 1) among every pile's, its station count and its
// ground-line station (from 1).
py::tuple pile_span(const Analysis& a, int32_t pile) {
  const auto n = static_cast<int32_t>(a.result.piles.size());
  if (pile < 1 || pile > n) {
    throw py::index_error("pile " + std::to_string(pile) + " outside 1 to " + std::to_string(n));
  }
  const PileResult& p = a.result.piles[static_cast<size_t>(pile - 1)];
  return py::make_tuple(p.first, p.count, p.KG);
}

// The arrays of a result: the cap, the pile tops, their stiffness, the foundation's (KCAP is
// held column by column), the stations of every pile one after the other (Z, UX .. PSY) and
// their resultants V, M, the reactions of the simulated piles, and per pile and quantity its
// true peak and the peak's Z.
void bind_arrays(py::class_<Analysis>& c) {
  const auto array = [&](const char* name, auto make) {
    c.def_property_readonly(
        name, [make](py::handle self) -> py::object { return make(self, result_of(self)); });
  };
  array("cap", [](py::handle self, const Result& r) { return view(self, r.cap, {6}, {F}); });
  array("heads", [](py::handle self, const Result& r) {
    return view(self, first(r.piles).DU, {count_of(r.piles), 12}, {P, F});
  });
  array("stiffness", [](py::handle self, const Result& r) {
    return view(self, first(r.piles).K[0], {count_of(r.piles), 6, 6}, {P, 6 * F, F});
  });
  array("foundation_stiffness", [](py::handle self, const Result& r) {
    return view(self, r.KCAP.v, {6, 6}, {F, 6 * F});
  });
  array("all_station_rows", [](py::handle self, const Result& r) {
    return view(self, first(r.stations).data(), {count_of(r.stations), C}, {C * F, F});
  });
  array("all_resultants", [](py::handle self, const Result& r) {
    return view(self, &first(r.resultants).V, {count_of(r.resultants), 2}, {2 * F, F});
  });
  array("supports", [](py::handle self, const Result& r) {
    return view(self, first(r.supports).R, {count_of(r.supports), 6},
                {static_cast<py::ssize_t>(sizeof(SupportResult)), F});
  });
  c.def_property_readonly("peaks", [](py::handle self) -> py::object {
    const Result& r = with_peaks(self.cast<Analysis&>());
    return view(self, &first(r.piles).peaks.of[0].value, {count_of(r.piles), QUANTITIES, 2},
                {P, K, F});
  });
  // The loads at the cap centre, the sum of the pile heads and supports there, the residual.
  array("equilibrium", [](py::handle self, const Result& r) {
    const Equilibrium& e = r.equilibrium;
    return py::make_tuple(view(self, e.applied, {6}, {F}), view(self, e.resisted, {6}, {F}),
                          e.residual);
  });
}

// Per pile as analysed: its station count, its ground-line station (from 1), its top's x and y
// and the key of its type as the group's types named it.
py::tuple pile_table(const Analysis& a) {
  const auto n = static_cast<py::ssize_t>(a.result.piles.size());
  py::array_t<int32_t> counts(n), ground(n);
  py::array_t<float> places({n, py::ssize_t{2}});
  py::list types;
  for (py::ssize_t p = 0; p < n; ++p) {
    const PileResult& r = a.result.piles[static_cast<size_t>(p)];
    const PileValues& v = a.values.piles[static_cast<size_t>(p)];
    counts.mutable_at(p) = static_cast<int32_t>(r.count);
    ground.mutable_at(p) = r.KG;
    places.mutable_at(p, 0) = v.x;
    places.mutable_at(p, 1) = v.y;
    types.append(a.values.type_keys[static_cast<size_t>(v.type)]);
  }
  return py::make_tuple(counts, ground, places, types);
}

// BASE.out and BASE.pos of the group as analysed; the message of a failure to write.
std::optional<std::string> write_analysis(const Analysis& a, const std::string& base) {
  const py::gil_scoped_release released;
  return write_results(checked(a.values), a.result, base);
}

// ---- Pickling: an Analysis as bytes, read back by a function, so that no Analysis is left
// unfilled by a pickle that never gives it its state ----

py::bytes state_of(Analysis& a) {
  with_peaks(a);
  return py::bytes(analysis_bytes(a));
}

bool is_utf8(const std::string& text) {
  const auto decoded = py::reinterpret_steal<py::object>(
      PyUnicode_DecodeUTF8(text.data(), static_cast<py::ssize_t>(text.size()), nullptr));
  if (!decoded) PyErr_Clear();
  return static_cast<bool>(decoded);
}

// The analysis of a state, its types named by their keys in Python's texts.
Analysis analysis_of_state(const py::bytes& state) {
  Expected<StoredAnalysis> read = analysis_from_bytes(std::string_view(state));
  if (!read) throw py::value_error(read.issue().message);
  const GroupValues& v = read->values;
  if (v.type_keys.size() != v.types.size() || !is_utf8(v.name) ||
      !std::all_of(v.type_keys.begin(), v.type_keys.end(), is_utf8)) {
    throw py::value_error("not the state of an analysis");
  }
  return {std::move(*read)};
}

// ---- Load combinations ----

// Load cases and combinations as the package hands them over: a file's text and name, or values
// (the points of a case as rows of x, y, FX .. MZ; the factors of a combination by case).
using File = std::pair<std::string, std::string>;
using LoadsIn =
    std::variant<File, std::vector<std::pair<std::string, std::vector<std::array<float, 8>>>>>;
using CombinationsIn =
    std::variant<File,
                 std::vector<std::pair<std::string, std::vector<std::pair<std::string, float>>>>>;

// The library's form of each.
cases::LoadsGiven loads_given(const LoadsIn& loads) {
  if (const auto* file = std::get_if<File>(&loads)) {
    return cases::CaseFile{file->first, file->second};
  }
  std::vector<cases::LoadCase> given;
  for (const auto& [name, rows] : std::get<1>(loads)) {
    cases::LoadCase& c = given.emplace_back(cases::LoadCase{name, {}, 0});
    for (const auto& r : rows) {
      c.points.push_back({r[0], r[1], {r[2], r[3], r[4], r[5], r[6], r[7]}});
    }
  }
  return given;
}

cases::CombinationsGiven combinations_given(const std::optional<CombinationsIn>& combinations) {
  if (!combinations) return std::monostate{};
  if (const auto* file = std::get_if<File>(&*combinations)) {
    return cases::CaseFile{file->first, file->second};
  }
  std::vector<cases::CombinationValues> given;
  for (const auto& [name, factors] : std::get<1>(*combinations)) given.push_back({name, factors});
  return given;
}

// A call's request to stop, made from another thread (Ctrl-C in the caller's).
struct Stop {
  std::atomic<bool> asked{false};
};

// The names of the combinations, their cap displacements and pile tops, and per pile its
// envelopes: Z, the ground-line station, and for every station and quantity (UX .. PSY) the
// largest and smallest value with the combination that governs it, and the largest resultants V
// and M with theirs; the warnings of the cases and combinations; the arrays read-only views.
py::tuple core_combinations(py::handle group, const LoadsIn& loads,
                            const std::optional<CombinationsIn>& combinations, const Stop& stop) {
  const GroupValues values = group_values(group);
  const py::object owner = py::cast([&] {
    const py::gil_scoped_release released;
    Expected<cases::Combined> combined = cases::combine(
        checked(values), loads_given(loads), combinations_given(combinations), stop.asked);
    if (!combined) throw combined.issue();
    return std::move(*combined);
  }());
  const cases::Combined& c = owner.cast<const cases::Combined&>();
  constexpr py::ssize_t H = sizeof(cases::HeadResult), S = sizeof(cases::StationEnvelope),
                        E = sizeof(cases::Extreme), Q = QUANTITIES, R = cases::RESULTANTS;
  const auto m = static_cast<py::ssize_t>(c.caps.size());
  const auto piles = static_cast<py::ssize_t>(c.results.piles.size());
  py::list envelopes;
  for (const cases::PileEnvelope& e : c.results.piles) {
    const auto n = static_cast<py::ssize_t>(e.stations.size());
    const cases::StationEnvelope* s = &first(e.stations);
    py::list design, peaks;
    for (const cases::DesignRow& r : e.design) {
      design.append(py::make_tuple(r.combination, r.k, r.N, r.MX, r.MY, r.M, r.V));
    }
    for (const cases::EnvelopePeak& p : e.peaks) {
      peaks.append(py::make_tuple(p.peak.value, p.peak.Z, p.combination));
    }
    envelopes.append(
        py::dict(py::arg("Z") = view(owner, e.ZH.data(), {n}, {F}), py::arg("KG") = e.KG,
                 py::arg("max") = view(owner, &s->max[0].value, {n, Q}, {S, E}),
                 py::arg("min") = view(owner, &s->min[0].value, {n, Q}, {S, E}),
                 py::arg("max_combination") = view(owner, &s->max[0].combination, {n, Q}, {S, E}),
                 py::arg("min_combination") = view(owner, &s->min[0].combination, {n, Q}, {S, E}),
                 py::arg("resultant") = view(owner, &s->resultant[0].value, {n, R}, {S, E}),
                 py::arg("resultant_combination") =
                     view(owner, &s->resultant[0].combination, {n, R}, {S, E}),
                 py::arg("design") = design, py::arg("peaks") = peaks));
  }
  return py::make_tuple(c.names, view(owner, first(c.caps).U, {m, 6}, {6 * F, F}),
                        view(owner, first(c.heads).DU, {m, piles, 12}, {piles * H, H, F}),
                        envelopes, c.warnings);
}

}  // namespace
}  // namespace kelmarino

PYBIND11_MODULE(_core, m) {
  using namespace kelmarino;
  py::register_local_exception_translator([](std::exception_ptr failure) {
    try {
      if (failure) std::rethrow_exception(failure);
    } catch (const Issue& issue) {
      const py::object error = package_error(issue);
      PyErr_SetObject(py::type::handle_of(error).ptr(), error.ptr());
    }
  });
  m.doc() = "The core of the kelmarino package: reading, checking and analysis of pile groups";
  m.attr("__version__") = VERSION;
  py::class_<Analysis> analysis(m, "Analysis",
                                "The values of a group as analysed, and its results");
  bind_arrays(analysis);
  analysis.def("pile_span", &pile_span)
      .def("pile_table", &pile_table)
      .def("write", &write_analysis)
      .def("state", &state_of);
  m.def("analysis_of_state", &analysis_of_state);
  py::class_<cases::Combined>(m, "Cases");
  py::class_<Stop>(m, "Stop").def(py::init<>()).def("ask", [](Stop& s) { s.asked = true; });
  m.def("read_file", &core_read_file);
  m.def("parse", &core_parse);
  m.def("mistakes", &core_mistakes);
  m.def("data_text", [](py::handle group) { return data_text(group_values(group)); });
  m.def("unusual", [](py::handle group) { return unusual(group_values(group)); });
  m.def("names_no_file", [](const std::string& base) { return names_no_file(base); });
  m.def("base_name_refusal", [](const std::string& base) { return base_name_refusal(base); });
  m.def("analyse_all", &core_analyse_all);
  m.def("combinations", &core_combinations);
}
