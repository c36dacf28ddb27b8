// The Python package's core: a group's values read from the package's objects, checked and
// analysed by the library into an Analysis (the values as analysed and their Result), whose
// arrays are read-only views of it; a data file's text parsed into the values the package makes
// its Group of; the numbers of load combinations. The library's mistakes and faults are raised
// as the package's InputError and AnalysisError. The interpreter lock is released while the
// library works.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <thread>
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

// ---- Failures, raised in Python as the package's exceptions ----

struct Failure {};
struct InputFailure : Failure {
  Issue issue;
};
struct AnalysisFailure : Failure {
  Issue issue;
};

// The package's exception for a failure of the library; rethrows any other exception.
py::object package_error(const std::exception_ptr& failure) {
  const py::module_ package = py::module_::import("kelmarino");
  try {
    std::rethrow_exception(failure);
  } catch (const InputFailure& f) {
    const Issue& i = f.issue;
    return package.attr("InputError")(i.file, i.line, i.column, i.message, i.full);
  } catch (const AnalysisFailure& f) {
    return package.attr("AnalysisError")(f.issue.stage, f.issue.pile, f.issue.full);
  }
}

void translate(std::exception_ptr failure) {
  try {
    if (failure) std::rethrow_exception(failure);
  } catch (const Failure&) {
    const py::object error = package_error(failure);
    PyErr_SetObject(py::type::handle_of(error).ptr(), error.ptr());
  }
}

// ---- A group's values from the package's objects ----
//
// The package's dataclasses, lists and dictionary, or any objects with the same attributes. Reals
// may be any number Python can turn into a float, integers any integer; a value that is neither
// is a mistake named by its place in the group. A list is read as it was when its reading began.

// The attribute names read, interned once and held for the life of the interpreter.
struct Names {
  py::handle name, JCTR, INO, loads, piles, types, supports, x, y, type, shape, tip, axis, above,
      below, length, diameter, m, friction, steps, PMB, PEH, PKE, stiffness, act[6];
};

const Names& names() {
  static const Names made = [] {
    const py::object intern = py::module_::import("sys").attr("intern");
    const auto n = [&intern](const char* text) { return intern(py::str(text)).release(); };
    // clang-format off
    return Names{n("name"), n("JCTR"), n("INO"), n("loads"), n("piles"), n("types"),
                 n("supports"), n("x"), n("y"), n("type"), n("shape"), n("tip"), n("axis"),
                 n("above"), n("below"), n("length"), n("diameter"), n("m"), n("friction"),
                 n("steps"), n("PMB"), n("PEH"), n("PKE"), n("stiffness"),
                 {n("FX"), n("FY"), n("FZ"), n("MX"), n("MY"), n("MZ")}};
    // clang-format on
  }();
  return made;
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

py::object value_at(py::handle object, const Part& at) {
  py::object value = py::getattr(object, at.attribute, py::handle());
  if (value) return value;
  const py::str type(py::type::handle_of(object).attr("__name__"));
  throw ValueMistake{at.text(), "is missing from the " + type.cast<std::string>()};
}

// A real rounded to single precision as NumPy rounds it: beyond the range, an infinity, which
// the reader refuses as it refuses one in a data file.
float real(py::handle value, const Part& at) {
  double d = 0.0;
  try {
    d = value.cast<double>();
  } catch (const py::cast_error&) {
    mistake(at, value, " is not a number");
  }
  const double beyond = 3.4028235677973366e38;  // halfway between the largest real and 2^128
  if (std::fabs(d) >= beyond) return std::copysign(std::numeric_limits<float>::infinity(), d);
  return static_cast<float>(d);
}

// An integer: an int, a bool or a NumPy integer (anything with an index), never a real.
int32_t integer(py::handle value, const Part& at) {
  py::object index = py::reinterpret_borrow<py::object>(value);
  try {
    if (!py::isinstance<py::int_>(value)) index = value.attr("__index__")();
  } catch (const py::error_already_set&) {
    mistake(at, value, " is not an integer");
  }
  try {
    const auto n = index.cast<int64_t>();
    if (n >= INT32_MIN && n <= INT32_MAX) return static_cast<int32_t>(n);
  } catch (const py::cast_error&) {
  }
  mistake(at, value, " does not fit an integer");
}

float real_at(py::handle object, const Part& at) { return real(value_at(object, at), at); }
int32_t integer_at(py::handle object, const Part& at) { return integer(value_at(object, at), at); }

py::tuple items(py::handle value, const Part& at) {
  try {
    return py::tuple(py::reinterpret_borrow<py::object>(value));
  } catch (const py::error_already_set&) {
    mistake(at, value, " is not a list");
  }
}

// Reads each item of a list, with its part.
template <typename Read>
void each(const py::tuple& list, const Part& at, Read read) {
  py::ssize_t i = 0;
  for (const py::handle item : list) read(item, Part{&at, {}, {}, i++});
}

// Reads each item of the list at `at` into an element added to `to`.
template <typename T, typename Read>
void each_at(py::handle object, const Part& at, std::vector<T>& to, Read read) {
  const py::tuple list = items(value_at(object, at), at);
  to.reserve(to.size() + list.size());
  each(list, at, [&](py::handle item, const Part& p) { read(item, p, to.emplace_back()); });
}

TypeValues type_of(py::handle t, const Part& at) {
  const Names& n = names();
  TypeValues type;
  type.shape = integer_at(t, {&at, n.shape});
  type.tip = integer_at(t, {&at, n.tip});
  const Part axis_at{&at, n.axis};
  const py::object axis = value_at(t, axis_at);
  if (items(axis, axis_at).size() != 3) mistake(axis_at, axis, " does not hold 3 components");
  each(items(axis, axis_at), axis_at,
       [&](py::handle c, const Part& p) { type.axis[p.index] = real(c, p); });
  each_at(t, {&at, n.above}, type.above, [&](py::handle s, const Part& p, AboveValues& a) {
    a = {real_at(s, {&p, n.length}), real_at(s, {&p, n.diameter}), integer_at(s, {&p, n.steps})};
  });
  each_at(t, {&at, n.below}, type.below, [&](py::handle s, const Part& p, BelowValues& b) {
    b = {real_at(s, {&p, n.length}), real_at(s, {&p, n.diameter}), real_at(s, {&p, n.m}),
         real_at(s, {&p, n.friction}), integer_at(s, {&p, n.steps})};
  });
  type.PMB = real_at(t, {&at, n.PMB});
  type.PEH = real_at(t, {&at, n.PEH});
  type.PKE = real_at(t, {&at, n.PKE});
  return type;
}

// How a message names a key of the types: as Python shows it.
std::string key_text(py::handle key) {
  if (py::type::handle_of(key).is(py::type::handle_of(py::int_()))) {
    try {
      return std::to_string(key.cast<int64_t>());  // the same text, made without Python
    } catch (const py::cast_error&) {
    }
  }
  return py::repr(key).cast<std::string>();
}

// The piles, with the types they take in the order they first take them.
void piles_of(py::handle g, GroupValues& values) {
  const Names& n = names();
  const Part piles_at{nullptr, n.piles}, types_at{nullptr, n.types};
  const py::tuple piles = items(value_at(g, piles_at), piles_at);
  const py::object types = value_at(g, types_at);
  std::vector<py::object> keys;  // the key in types of each of values.types
  values.piles.reserve(piles.size());
  each(piles, piles_at, [&](py::handle pile, const Part& at) {
    const Part type_at{&at, n.type};
    const py::object key = value_at(pile, type_at);
    size_t t = 0;  // the keys are few, the same objects mostly
    while (t < keys.size() && !keys[t].is(key)) ++t;
    try {
      if (t == keys.size()) {
        t = 0;
        while (t < keys.size() && !keys[t].equal(key)) ++t;
      }
      if (t == keys.size()) {
        values.types.push_back(type_of(types[key], {&types_at, {}, key}));
        values.type_keys.push_back(key_text(key));
        keys.push_back(key);
      }
    } catch (const py::error_already_set&) {
      mistake(type_at, key, " is not one of the types");
    }
    const auto type = static_cast<int32_t>(t);
    values.piles.push_back({real_at(pile, {&at, n.x}), real_at(pile, {&at, n.y}), type});
  });
}

// A support's stiffness: 36 values, or 6 rows of 6.
void stiffness_of(py::handle support, const Part& at, float (&k)[36]) {
  const Part all{&at, names().stiffness};
  const py::object value = value_at(support, all);
  const py::tuple rows = items(value, all);
  if (rows.size() == 36) {
    each(rows, all, [&](py::handle v, const Part& p) { k[p.index] = real(v, p); });
  } else if (rows.size() == 6) {
    each(rows, all, [&](py::handle row, const Part& r) {
      const py::tuple values = items(row, r);
      if (values.size() != 6) mistake(r, row, " is not a row of 6");
      each(values, r, [&](py::handle v, const Part& p) { k[6 * r.index + p.index] = real(v, p); });
    });
  } else {
    mistake(all, value, " is not 36 values or 6 rows of 6");
  }
}

// The values of a group of the package; throws the InputFailure of the first that cannot be one.
// Needs the interpreter lock.
GroupValues group_values(py::handle g) {
  const Names& n = names();
  GroupValues values;
  try {
    values.name = py::str(value_at(g, {nullptr, n.name})).cast<std::string>();
    values.JCTR = integer_at(g, {nullptr, n.JCTR});
    values.INO = integer_at(g, {nullptr, n.INO});
    each_at(g, {nullptr, n.loads}, values.loads,
            [&](py::handle point, const Part& at, LoadValues& load) {
              load.x = real_at(point, {&at, n.x});
              load.y = real_at(point, {&at, n.y});
              for (int32_t i = 0; i < 6; ++i) load.act[i] = real_at(point, {&at, n.act[i]});
            });
    piles_of(g, values);
    each_at(g, {nullptr, n.supports}, values.supports,
            [&](py::handle s, const Part& at, SupportValues& support) {
              support.x = real_at(s, {&at, n.x});
              support.y = real_at(s, {&at, n.y});
              stiffness_of(s, at, support.stiffness);
            });
  } catch (const ValueMistake& m) {
    const std::string name = values.name.empty() ? "the group" : values.name;
    const std::string message = m.part + ": " + m.what;
    throw InputFailure{{}, input_issue(name, message, "in " + name + ": " + message)};
  }
  return values;
}

// ---- Reading and checking ----

// The values of a data file's text, as the package makes its Group of them: the types keyed by
// their numbers in the data file.
// The whole text of an input file, read as the programs read theirs: a regular file of at most
// MAX_INPUT_BYTES, opened without waiting. OSError when it cannot be opened (with the system's
// error number) or read (with the programs' message).
py::bytes core_read_file(const std::string& path) {
  std::string text;
  int reason = 0;
  std::string refusal;
  {
    const py::gil_scoped_release released;
    try {
      if (!read_whole_file(path, text)) reason = errno;
    } catch (const RunError& error) {
      refusal = error.what();
    }
  }
  if (reason != 0) {
    errno = reason;
    PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
    throw py::error_already_set();
  }
  if (!refusal.empty()) {
    PyErr_SetString(PyExc_OSError, refusal.c_str());
    throw py::error_already_set();
  }
  return py::bytes(text);
}

py::dict core_parse(const std::string& text, const std::string& name) {
  const GroupRead read = [&] {
    const py::gil_scoped_release released;
    return parse_group(text, name);
  }();
  if (!read) throw InputFailure{{}, read.issue()};
  const GroupValues g = values_of(*read);
  py::list loads, piles, supports;
  py::dict types;
  for (const LoadValues& l : g.loads) {
    loads.append(std::array{l.x, l.y, l.act[0], l.act[1], l.act[2], l.act[3], l.act[4], l.act[5]});
  }
  for (size_t p = 0; p < g.piles.size(); ++p) {
    const int32_t number = read->model->piles.PTYPE(static_cast<int32_t>(p + 1));
    piles.append(py::make_tuple(g.piles[p].x, g.piles[p].y, number));
    if (types.contains(number)) continue;
    const TypeValues& t = g.types[static_cast<size_t>(g.piles[p].type)];
    py::list above, below;
    for (const AboveValues& a : t.above) {
      above.append(py::make_tuple(a.length, a.diameter, a.steps));
    }
    for (const BelowValues& b : t.below) {
      below.append(py::make_tuple(b.length, b.diameter, b.m, b.friction, b.steps));
    }
    types[py::int_(number)] =
        py::make_tuple(t.shape, t.tip, std::array{t.axis[0], t.axis[1], t.axis[2]}, above, below,
                       t.PMB, t.PEH, t.PKE);
  }
  for (const SupportValues& v : g.supports) {
    supports.append(py::make_tuple(v.x, v.y, std::to_array(v.stiffness)));
  }
  return py::dict(py::arg("name") = g.name, py::arg("JCTR") = g.JCTR, py::arg("INO") = g.INO,
                  py::arg("loads") = loads, py::arg("piles") = piles, py::arg("types") = types,
                  py::arg("supports") = supports, py::arg("warnings") = read->warnings);
}

// The group of a group's values, with every check of the reader.
Group checked(const GroupValues& values) {
  GroupRead read = build_group(values);
  if (!read) throw InputFailure{{}, read.issue()};
  return std::move(*read);
}

void core_check(py::handle group) {
  const GroupValues values = group_values(group);
  const py::gil_scoped_release released;
  checked(values);
}

std::string core_data_text(py::handle group) { return data_text(group_values(group)); }

// ---- The analysis ----

// The values of a group as analysed, and its results: what the package's Result holds.
struct Analysis {
  GroupValues values;
  Result result;
};

// Checks and analyses a group's values, without the interpreter lock.
Analysis analysis_of(GroupValues&& values) {
  Analysed analysed = analyse(checked(values));
  if (!analysed) throw AnalysisFailure{{}, analysed.issue()};
  return {std::move(values), std::move(*analysed)};
}

Analysis core_analyse(py::handle group) {
  GroupValues values = group_values(group);
  const py::gil_scoped_release released;
  return analysis_of(std::move(values));
}

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

constexpr py::ssize_t F = sizeof(float), P = sizeof(PileResult);
static_assert(offsetof(PileResult, FT) == offsetof(PileResult, DU) + 6 * F);  // rows of 12

const Result& result_of(py::handle self) { return self.cast<const Analysis&>().result; }
py::ssize_t pile_count(py::handle self) {
  return static_cast<py::ssize_t>(result_of(self).piles.size());
}

py::array cap(py::handle self) { return view(self, result_of(self).cap, {6}, {F}); }

py::array heads(py::handle self) {
  return view(self, first(result_of(self).piles).DU, {pile_count(self), 12}, {P, F});
}

py::array stiffness(py::handle self) {
  return view(self, first(result_of(self).piles).K[0], {pile_count(self), 6, 6}, {P, 6 * F, F});
}

const PileResult& pile_of(const Result& r, int32_t pile) {
  const auto n = static_cast<int32_t>(r.piles.size());
  if (pile < 1 || pile > n) {
    throw py::index_error("pile " + std::to_string(pile) + " outside 1 to " + std::to_string(n));
  }
  return r.piles[static_cast<size_t>(pile - 1)];
}

// The stations of a pile (from 1), a row of Z, UX .. PSY each.
py::array station_rows(py::handle self, int32_t pile) {
  const std::span<const StationRow> rows =
      result_of(self).stations_of(pile_of(result_of(self), pile));
  const auto n = static_cast<py::ssize_t>(rows.size());
  constexpr auto columns = static_cast<py::ssize_t>(std::tuple_size_v<StationRow>);
  return view(self, n == 0 ? nullptr : rows[0].data(), {n, columns}, {columns * F, F});
}

int32_t ground_station(const Analysis& a, int32_t pile) { return pile_of(a.result, pile).KG; }

// BASE.out and BASE.pos of the group as analysed; the message of a failure to write.
std::optional<std::string> write_analysis(const Analysis& a, const std::string& base) {
  const py::gil_scoped_release released;
  return write_results(checked(a.values), a.result, base);
}

// Pickling: every field of an Analysis in one order, as bytes.
template <typename T>
constexpr bool is_list = false;
template <typename T>
constexpr bool is_list<std::vector<T>> = true;
template <>
constexpr bool is_list<std::string> = true;

// The values made of lists, field by field; the units of a pile are left out (none after the
// full analysis).
template <typename T>
constexpr bool is_composite = std::is_same_v<T, TypeValues> || std::is_same_v<T, PileResult> ||
                              std::is_same_v<T, PileFactors> || std::is_same_v<T, DerivedValues>;

template <typename Io, typename T>
void composite_fields(Io& io, T& v) {
  using U = std::remove_const_t<T>;
  if constexpr (std::is_same_v<U, TypeValues>) {
    io(v.shape, v.tip, v.axis, v.above, v.below, v.PMB, v.PEH, v.PKE);
  } else if constexpr (std::is_same_v<U, PileResult>) {
    io(v.DU, v.FT, v.K, v.KG, v.first, v.count);
  } else if constexpr (std::is_same_v<U, PileFactors>) {
    io(v.ZFR, v.ZBL, v.ABOT, v.AXK, v.below);
  } else {
    io(v.kx, v.ky, v.piles);
  }
}

template <typename Io, typename A>
void analysis_fields(Io& io, A& a) {
  auto& v = a.values;
  io(v.name, v.JCTR, v.INO, v.loads, v.piles, v.types, v.supports);
  io(a.result.cap, a.result.KCAP, a.result.piles, a.result.stations, a.result.derived);
}

// An Analysis as bytes, field by field: written by Bytes<true>, read back by Bytes<false>.
template <bool writing>
struct Bytes {
  std::string bytes;
  size_t at = 0;
  template <typename... T>
  void operator()(T&... values) {
    (io(values), ...);
  }
  template <typename T>
  void io(T& value) {
    using U = std::remove_const_t<T>;
    if constexpr (is_composite<U>) {
      composite_fields(*this, value);
    } else if constexpr (is_list<U>) {
      size_t count = value.size();
      io(count);
      if constexpr (!writing) value.resize(count);
      for (auto& item : value) io(item);
    } else if constexpr (writing) {
      static_assert(std::is_trivially_copyable_v<U>);
      bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
    } else {
      if (bytes.size() - at < sizeof value) throw py::value_error("not the state of an analysis");
      std::memcpy(&value, bytes.data() + at, sizeof value);
      at += sizeof value;
    }
  }
};

py::bytes state_of(const Analysis& a) {
  Bytes<true> put;
  analysis_fields(put, a);
  return put.bytes;
}

Analysis analysis_of_state(const py::bytes& state) {
  Bytes<false> get{state};
  Analysis a;
  analysis_fields(get, a);
  return a;
}

// The groups analysed on `threads` threads, the calling one included; in their order, the Result
// (made by `result` of the group and its Analysis) or the exception of each. The other threads
// start on the first groups while the calling one reads the values of the rest; then it analyses
// too, and makes the Results of the groups analysed between its analyses.
py::list core_sweep(const py::sequence& groups, int32_t threads, const py::object& result) {
  const size_t n = groups.size();
  std::vector<GroupValues> values(n);
  std::vector<std::optional<Analysis>> analyses(n);
  std::vector<std::exception_ptr> failures(n);
  std::vector<std::atomic<bool>> analysed(n);
  std::atomic<size_t> next{0}, read{0};
  std::atomic<bool> stopped{false};
  // Analyses the group that no thread has taken, once its values are read; false when none is.
  const auto analyse_next = [&] {
    const size_t i = next++;
    if (i >= n) return false;
    for (size_t r = read.load(); r <= i; r = read.load()) read.wait(r);
    if (!stopped && !failures[i]) {
      try {
        analyses[i] = analysis_of(std::move(values[i]));
      } catch (...) {
        failures[i] = std::current_exception();
      }
    }
    analysed[i].store(true, std::memory_order_release);
    return true;
  };
  py::list answers(n);
  size_t answered = 0;
  // Answers for the groups analysed, in order, from the first not answered; needs the lock.
  const auto answer = [&] {
    for (; answered < n && analysed[answered].load(std::memory_order_acquire); ++answered) {
      const size_t i = answered;
      answers[i] = failures[i] ? package_error(failures[i])
                               : result(groups[i], py::cast(std::move(*analyses[i])));
      analyses[i].reset();
    }
  };
  {
    std::vector<std::jthread> others;
    try {
      for (int32_t t = 1; t < threads; ++t) {
        others.emplace_back([&] {
          while (analyse_next()) {
          }
        });
      }
      for (size_t i = 0; i < n; read = ++i, read.notify_all()) {
        try {
          values[i] = group_values(groups[i]);
        } catch (const InputFailure&) {
          failures[i] = std::current_exception();
        }
      }
      for (bool more = true; more;) {
        answer();
        const py::gil_scoped_release released;
        more = analyse_next();
      }
    } catch (...) {
      stopped = true;
      read = n;
      read.notify_all();
      throw;  // the other threads are joined first
    }
    const py::gil_scoped_release released;
    others.clear();  // joined
  }
  answer();
  return answers;
}

// ---- Load combinations ----

// The numbers kelmarino-cases writes for a group under its load combinations.
struct Cases {
  std::vector<cases::Combination> combinations;
  std::vector<cases::CapDisplacements> caps;
  std::vector<cases::HeadResult> heads;  // combination after combination, pile after pile
  cases::CaseResults results;
};

// Clears the calling thread's fault context when it goes.
struct ContextReset {
  ~ContextReset() { fault_context() = FaultContext{}; }
};

// Load cases and combinations as the package hands them over: a file's text, or values (the
// points of a case as rows of x, y, FX .. MZ; the factors of a combination by case).
using CaseRows = py::array_t<float, py::array::c_style | py::array::forcecast>;
using LoadsIn = std::variant<std::string, std::vector<std::pair<std::string, CaseRows>>>;
using CombinationsIn =
    std::variant<std::string,
                 std::vector<std::pair<std::string, std::vector<std::pair<std::string, float>>>>>;

// A refusal of the cases library: an InputError keeps its parts, a value's place among them.
InputFailure refused(const RunError& error) {
  if (const auto* e = dynamic_cast<const InputError*>(&error)) {
    return {{}, input_issue(*e)};
  }
  return {{}, input_issue("", error.what(), error.what())};
}

std::vector<cases::LoadCase> load_cases_of(const Group& g, const LoadsIn& loads,
                                           const std::vector<cases::LoadCase>& given,
                                           const std::string& name) {
  const auto* text = std::get_if<std::string>(&loads);
  return text ? cases::load_cases(g, text, name)
              : cases::add_load_cases(cases::load_cases(g, nullptr, name), given);
}

// The points of the cases given as values; needs the interpreter lock.
std::vector<cases::LoadCase> given_cases(const LoadsIn& loads) {
  std::vector<cases::LoadCase> given;
  if (const auto* values = std::get_if<1>(&loads)) {
    for (const auto& [name, rows] : *values) {
      if (rows.ndim() != 2 || rows.shape(1) != 8) {
        const std::string message = "loads[\"" + name + "\"]: a load point has 8 values";
        throw InputFailure{{}, input_issue("", message, "run-time error in " + message)};
      }
      cases::LoadCase& c = given.emplace_back(cases::LoadCase{name, {}, 0});
      const auto r = rows.unchecked<2>();
      for (py::ssize_t k = 0; k < r.shape(0); ++k) {
        c.points.push_back(
            {r(k, 0), r(k, 1), {r(k, 2), r(k, 3), r(k, 4), r(k, 5), r(k, 6), r(k, 7)}});
      }
    }
  }
  return given;
}

// The combinations of a group: its load cases (its own load points the case "data" when its JCTR
// is 1, then those of a loads file or of values) under the combinations of a combinations file
// or of values (none: every case alone), from the analysis of its stiffness.
Cases core_combinations(py::handle group, const LoadsIn& loads, const std::string& loads_name,
                        const std::optional<CombinationsIn>& combinations,
                        const std::string& combinations_name) {
  const GroupValues values = group_values(group);
  const std::vector<cases::LoadCase> given = given_cases(loads);
  const py::gil_scoped_release released;
  const Group g = checked(values);
  Cases out;
  std::vector<cases::LoadCase> load_cases;
  try {
    load_cases = load_cases_of(g, loads, given, loads_name);
    if (!combinations) {
      out.combinations = cases::single_case_combinations(load_cases);
    } else if (const auto* text = std::get_if<std::string>(&*combinations)) {
      out.combinations = cases::read_combinations(*text, combinations_name, load_cases);
    } else {
      std::vector<cases::CombinationValues> v;
      for (const auto& [name, factors] : std::get<1>(*combinations)) v.push_back({name, factors});
      out.combinations = cases::combinations_of(v, load_cases);
    }
  } catch (const RunError& error) {
    throw refused(error);
  }
  const Analysed analysed = analyse(g, {AnalysisScope::foundation});
  if (!analysed) throw AnalysisFailure{{}, analysed.issue()};
  const ContextReset reset;
  const FaultFlags flags;
  std::vector<cases::PileMarch> marches;
  try {
    marches = cases::pile_marches(g, *analysed);  // refuses a step count below 1
  } catch (const RunError& error) {
    throw refused(error);
  }
  try {
    out.caps = cases::solve_combinations(analysed->KCAP, load_cases, out.combinations);
    std::atomic<int32_t> done{0};
    const auto keep = [&out](size_t, size_t, const std::vector<cases::HeadResult>& heads) {
      out.heads.insert(out.heads.end(), heads.begin(), heads.end());
    };
    cases::envelope_piles(marches, out.caps, cases::combination_names(out.combinations), 1, done,
                          out.results, keep);
  } catch (const RunError& error) {
    const FaultContext& where = fault_context();
    throw AnalysisFailure{{}, analysis_issue(where.stage, where.pile, error.what())};
  }
  return out;
}

constexpr py::ssize_t H = sizeof(cases::HeadResult), S = sizeof(cases::StationEnvelope),
                      E = sizeof(cases::Extreme);

std::vector<std::string> combination_names(const Cases& c) {
  std::vector<std::string> names;
  for (const cases::Combination& combination : c.combinations) names.push_back(combination.name);
  return names;
}

py::array combination_caps(py::handle self) {
  const Cases& c = self.cast<const Cases&>();
  return view(self, first(c.caps).U, {static_cast<py::ssize_t>(c.caps.size()), 6}, {6 * F, F});
}

py::array combination_heads(py::handle self) {
  const Cases& c = self.cast<const Cases&>();
  const auto piles = static_cast<py::ssize_t>(c.results.piles.size());
  const auto m = static_cast<py::ssize_t>(c.caps.size());
  return view(self, first(c.heads).DU, {m, piles, 12}, {piles * H, H, F});
}

// The envelopes of a pile (from 0): Z, the ground-line station, and for every station and
// quantity (UX .. PSY) the largest and smallest value with the combination that governs it.
py::dict envelope(py::handle self, size_t pile) {
  const cases::PileEnvelope& e = self.cast<const Cases&>().results.piles.at(pile);
  const auto n = static_cast<py::ssize_t>(e.stations.size());
  const cases::StationEnvelope* s = &first(e.stations);
  return py::dict(
      py::arg("Z") = view(self, e.ZH.data(), {n}, {F}), py::arg("KG") = e.KG,
      py::arg("max") = view(self, &s->max[0].value, {n, QUANTITIES}, {S, E}),
      py::arg("min") = view(self, &s->min[0].value, {n, QUANTITIES}, {S, E}),
      py::arg("max_combination") = view(self, &s->max[0].combination, {n, QUANTITIES}, {S, E}),
      py::arg("min_combination") = view(self, &s->min[0].combination, {n, QUANTITIES}, {S, E}));
}

}  // namespace
}  // namespace kelmarino

PYBIND11_MODULE(_core, m) {
  using namespace kelmarino;
  names();  // made on import
  py::register_local_exception_translator(&translate);
  m.doc() = "The core of the kelmarino package: reading, checking and analysis of pile groups";
  m.attr("__version__") = VERSION;
  py::class_<Analysis>(m, "Analysis", "The values of a group as analysed, and its results")
      .def_property_readonly("cap", &cap)
      .def_property_readonly("heads", &heads)
      .def_property_readonly("stiffness", &stiffness)
      .def("station_rows", &station_rows, py::arg("pile"))
      .def("ground_station", &ground_station, py::arg("pile"))
      .def("write", &write_analysis, py::arg("base"))
      .def(py::pickle(&state_of, &analysis_of_state));
  py::class_<Cases>(m, "Cases", "The numbers of a group's load combinations")
      .def_property_readonly("names", &combination_names)
      .def_property_readonly("cap", &combination_caps)
      .def_property_readonly("heads", &combination_heads)
      .def("envelope", &envelope, py::arg("pile"));
  m.def("read_file", &core_read_file, py::arg("path"));
  m.def("parse", &core_parse, py::arg("text"), py::arg("name"));
  m.def("check", &core_check, py::arg("group"));
  m.def("data_text", &core_data_text, py::arg("group"));
  m.def("analyse", &core_analyse, py::arg("group"));
  m.def("sweep", &core_sweep, py::arg("groups"), py::arg("threads"), py::arg("result"));
  m.def("combinations", &core_combinations, py::arg("group"), py::arg("loads"),
        py::arg("loads_name"), py::arg("combinations"), py::arg("combinations_name"));
}
