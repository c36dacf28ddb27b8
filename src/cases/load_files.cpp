// The loads file and the combinations file: CSV as spreadsheets write it (comma separator,
// optional quotes, CRLF or LF line ends, a UTF-8 byte-order mark skipped), checked cell by cell.
#include <algorithm>
#include <cmath>
#include <map>
#include <unordered_map>

#include "cases/cases.hpp"
#include "faults/faults.hpp"
#include "layout/layout.hpp"

namespace kelmarino::cases {
namespace {

// One row of a CSV file: its line number, its cells (unquoted, blanks around them removed) and
// its text as written.
struct Row {
  int64_t line = 0;
  std::vector<std::string> cells;
  std::string text;
};

// Where a refusal points: the file, the line and the column.
struct Place {
  const std::string& file;
  int64_t line;
  std::string column;  // its name ("FZ"), its number in a header ("3"), or empty for a line
  int32_t cell = 0;    // the column's cell, from 0
};

[[noreturn]] void refuse(const Place& at, const std::string& what) {
  std::string message = "run-time error in ";
  message.append(at.file).append(", line ").append(std::to_string(at.line));
  if (!at.column.empty()) message.append(", column ").append(at.column);
  message.append(": ").append(what);
  throw InputError(message, at.file, at.line, at.cell, what, "");
}

// Text quoted in a message: control characters escaped, cut after ECHO_WIDTH characters.
constexpr size_t ECHO_WIDTH = 200;
std::string quoted(const std::string& text) {
  std::string q = "\"";
  q.append(printable_text(text, ECHO_WIDTH)).append("\"");
  return q;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string trimmed(const std::string& text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && is_blank(text[first])) ++first;
  while (last > first && is_blank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

// The cells of one line. A quoted cell runs to its closing quote, a doubled quote standing for
// one; only blanks may stand between the closing quote and the next comma.
std::vector<std::string> split_cells(const std::string& line, const Place& at) {
  std::vector<std::string> cells;
  size_t i = 0;
  while (true) {
    while (i < line.size() && is_blank(line[i])) ++i;
    std::string cell;
    if (i < line.size() && line[i] == '"') {
      ++i;
      bool closed = false;
      while (i < line.size() && !closed) {
        if (line[i] == '"' && i + 1 < line.size() && line[i + 1] == '"') {
          cell += '"';
          i += 2;
        } else if (line[i] == '"') {
          closed = true;
          ++i;
        } else {
          cell += line[i++];
        }
      }
      if (!closed) refuse(at, "a quoted cell is not closed on its line: " + quoted(line));
      while (i < line.size() && is_blank(line[i])) ++i;
      if (i < line.size() && line[i] != ',') {
        refuse(at, "text after the closing quote of a cell: " + quoted(line));
      }
    } else {
      const size_t comma = line.find(',', i);
      const size_t end = comma == std::string::npos ? line.size() : comma;
      cell = trimmed(line.substr(i, end - i));
      i = end;
    }
    cells.push_back(cell);
    if (i >= line.size()) return cells;
    ++i;  // the comma
  }
}

// Takes the rows of a CSV text one by one, in order; lines that are empty or hold only empty cells
// are skipped. A row is let go once taken: a combinations file may have a million rows.
template <typename Take>
void take_rows(const std::string& text, const std::string& file, Take take) {
  size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  int64_t line = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string content = text.substr(start, end - start);
    if (!content.empty() && content.back() == '\r') content.pop_back();
    start = end + 1;
    ++line;
    if (content.size() > MAX_LINE_BYTES) {
      refuse(Place{file, line, ""}, "the line is longer than " + std::to_string(MAX_LINE_BYTES) +
                                        " characters, the most a line may hold");
    }
    if (content.find('\r') != std::string::npos) {
      refuse(Place{file, line, ""}, stray_carriage_return(line > 1 || start < text.size()));
    }
    Row row{line, split_cells(content, Place{file, line, ""}), content};
    bool empty = true;
    for (const std::string& cell : row.cells) empty = empty && cell.empty();
    if (!empty) take(std::move(row));
  }
}

// A number as the data file writes one, with E for its exponent; an empty cell is 0.
float number(const std::string& cell, const Place& at) {
  float value = 0.0f;
  if (cell.empty()) return value;
  const RealText read = cell.find_first_of("Dd") != std::string::npos ? RealText::not_a_real
                                                                      : read_real_text(cell, value);
  if (read == RealText::beyond_range) {
    refuse(at, "cannot read " + quoted(cell) + " as a number: " + std::string(BEYOND_RANGE));
  }
  if (read != RealText::read) refuse(at, "cannot read " + quoted(cell) + " as a number");
  return value;
}

// ---- The rules of names and values, worded alike for a file's rows and for values ----

std::string not_a_name(const std::string& name) {
  return quoted(name) +
         " is not a name: a name has 1 to 40 letters, digits, underscores, hyphens and points";
}

std::string taken_name(const std::string& name) {
  return quoted(name) +
         " is the load case of the data file's own load points; give this case another name";
}

std::string case_named_twice(const std::string& name) {
  return "the load case " + quoted(name) + " is named twice";
}

std::string combination_named_twice(const std::string& name) {
  return "the combination " + quoted(name) + " is named twice";
}

std::string case_list(const std::vector<LoadCase>& cases) {
  std::string list;
  for (const LoadCase& c : cases) {
    if (!list.empty()) list += ", ";
    list += c.name;
  }
  return list.empty() ? "none" : list;
}

// The number of single-character edits that turn a into b.
size_t edit_distance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// A name that is no load case, with the cases to choose from: all of a few, else the closest.
std::string not_a_case(const std::string& name, const std::vector<LoadCase>& cases) {
  constexpr size_t LISTED = 10;
  const std::string unknown = quoted(name) + " is not a load case; ";
  if (cases.size() == 1 && cases[0].line == 0) {  // a loads file missing, most often
    return unknown + "the only load case is data, the data file's own: no other was given";
  }
  if (cases.size() <= LISTED) return unknown + "the load cases are " + case_list(cases);
  std::vector<std::pair<size_t, size_t>> by_distance;  // distance, case
  for (size_t k = 0; k < cases.size(); ++k) {
    by_distance.emplace_back(edit_distance(name, cases[k].name), k);
  }
  constexpr size_t CLOSEST = 3;
  std::partial_sort(by_distance.begin(), by_distance.begin() + CLOSEST, by_distance.end());
  std::vector<LoadCase> closest;
  for (size_t i = 0; i < CLOSEST; ++i) closest.push_back(cases[by_distance[i].second]);
  return unknown + "the closest of the " + std::to_string(cases.size()) + " load cases are " +
         case_list(closest);
}

// The load cases by their names: the index of the first case of a name, or -1.
class CaseIndex {
 public:
  explicit CaseIndex(const std::vector<LoadCase>& cases) {
    for (size_t k = 0; k < cases.size(); ++k) add(cases[k].name, k);
  }
  void add(const std::string& name, size_t k) { index_.emplace(name, static_cast<int32_t>(k)); }
  int32_t operator()(const std::string& name) const {
    const auto found = index_.find(name);
    return found == index_.end() ? -1 : found->second;
  }

 private:
  std::unordered_map<std::string, int32_t> index_;
};

void check_name(const std::string& cell, const Place& at) {
  if (!is_name(cell)) refuse(at, not_a_name(cell));
}

// A header cell: the name alone, or the name followed by its unit in parentheses.
bool is_heading(const std::string& cell, const char* name, const char* unit) {
  const std::string plain = name;
  std::string with_unit = plain;
  with_unit.append(" (").append(unit).append(")");
  return cell == plain || (unit[0] != '\0' && cell == with_unit);
}

struct LoadColumn {
  const char* name;
  const char* unit;
};
const LoadColumn LOADS_FILE_COLUMNS[9] = {{"case", ""},  {"x", "m"},    {"y", "m"},
                                          {"FX", "t"},   {"FY", "t"},   {"FZ", "t"},
                                          {"MX", "t*m"}, {"MY", "t*m"}, {"MZ", "t*m"}};
const char* const LOAD_HEADER = "case,x,y,FX,FY,FZ,MX,MY,MZ";

void check_cell_count(const Row& row, size_t expected, const std::string& file) {
  if (row.cells.size() != expected) {
    refuse(Place{file, row.line, ""}, "the row has " + std::to_string(row.cells.size()) +
                                          " cells, the header " + std::to_string(expected) + ": " +
                                          quoted(row.text));
  }
}

// A header of one cell holding tabs or semicolons: a file saved with another separator, which a
// message quoting it would show with blanks for the tabs.
void refuse_other_separator(const Row& header, const std::string& file) {
  if (header.cells.size() != 1) return;
  const bool tabs = header.text.find('\t') != std::string::npos;
  if (!tabs && header.text.find(';') == std::string::npos) return;
  refuse(Place{file, header.line, ""}, std::string("the cells of the header are separated by ") +
                                           (tabs ? "tabs" : "semicolons") +
                                           ", not commas: save the file as comma-separated values");
}

void check_load_header(const Row& header, const std::string& file) {
  refuse_other_separator(header, file);
  if (header.cells.size() != 9) {
    refuse(Place{file, header.line, ""},
           "the header must be " + std::string(LOAD_HEADER) + ", not " + quoted(header.text));
  }
  for (size_t c = 0; c < 9; ++c) {
    const LoadColumn& column = LOADS_FILE_COLUMNS[c];
    if (is_heading(header.cells[c], column.name, column.unit)) continue;
    // A name with another unit: the loads are in the data file's units, whatever the output's.
    const std::string& cell = header.cells[c];
    const std::string opening = std::string(column.name) + " (";
    const bool other_unit =
        c > 0 && cell.starts_with(opening) && cell.ends_with(")") &&
        trimmed(cell.substr(opening.size(), cell.size() - opening.size() - 1)) != column.unit;
    std::string expected = column.name;
    if (other_unit) expected.append(" (").append(column.unit).append(")");
    refuse(Place{file, header.line, std::to_string(c + 1), static_cast<int32_t>(c)},
           "expected " + expected + ", found " + quoted(cell) +
               (other_unit ? ": the loads are in the units of the data file, m and t" : "") +
               " (the header is " + LOAD_HEADER + ")");
  }
}

// The header of a combinations file: "combination", then case names; the case of each column.
std::vector<int32_t> combination_columns(const Row& header, const std::string& file,
                                         const std::vector<LoadCase>& cases) {
  refuse_other_separator(header, file);
  if (header.cells[0] != "combination") {
    refuse(Place{file, header.line, "1", 0},
           "expected combination, found " + quoted(header.cells[0]) +
               " (the header is combination followed by the names of load cases)");
  }
  if (header.cells.size() < 2) {
    refuse(Place{file, header.line, ""}, "the header names no load case after combination");
  }
  std::vector<int32_t> columns;
  std::map<std::string, size_t> seen;
  const CaseIndex case_index(cases);
  for (size_t c = 1; c < header.cells.size(); ++c) {
    const std::string& name = header.cells[c];
    const Place at{file, header.line, std::to_string(c + 1), static_cast<int32_t>(c)};
    check_name(name, at);
    if (seen.count(name) != 0) {
      refuse(at,
             case_named_twice(name) + " (also in column " + std::to_string(seen[name] + 1) + ")");
    }
    seen[name] = c;
    const int32_t found = case_index(name);
    if (found < 0) refuse(at, not_a_case(name, cases));
    columns.push_back(found);
  }
  return columns;
}

// The first combination in file order whose name an earlier one has, refused naming both lines.
// Sorted by name, not kept in a map: a combinations file may have a million rows.
void refuse_twice_named(const NameList& names, const std::vector<int64_t>& lines,
                        const std::string& file) {
  std::vector<size_t> order(names.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return names[a] < names[b]; });
  size_t twice = order.size();  // the first row named twice, and its earlier twin
  size_t earlier = 0;
  for (size_t i = 1; i < order.size(); ++i) {
    const bool same = names[order[i]] == names[order[i - 1]];
    const bool first_of_name = i < 2 || names[order[i - 2]] != names[order[i]];
    if (same && first_of_name && (twice == order.size() || order[i] < twice)) {
      twice = order[i];
      earlier = order[i - 1];
    }
  }
  if (twice == order.size()) return;
  refuse(Place{file, lines[twice], "combination"},
         combination_named_twice(std::string(names[twice])) + " (also on line " +
             std::to_string(lines[earlier]) + ")");
}

// Checks the rows of a combinations file and hands each combination to `take` in file order (the
// same object each time, its terms in the column order); the header and the count of rows are
// refused here, names given twice by the caller.
template <typename Take>
void take_combinations(const std::string& text, const std::string& file,
                       const std::vector<LoadCase>& cases, Take take) {
  const std::string header_text = "combination followed by the names of load cases";
  Row header;
  std::vector<int32_t> columns;
  Combination combination;
  size_t count = 0;
  take_rows(text, file, [&](Row row) {
    if (header.line == 0) {
      header = std::move(row);
      columns = combination_columns(header, file, cases);
      return;
    }
    check_cell_count(row, header.cells.size(), file);
    combination.name = row.cells[0];
    combination.terms.clear();
    combination.line = row.line;
    const Place name_at{file, row.line, "combination"};
    check_name(combination.name, name_at);
    for (size_t c = 1; c < row.cells.size(); ++c) {
      const float factor =
          number(row.cells[c], Place{file, row.line, header.cells[c], static_cast<int32_t>(c)});
      if (factor != 0.0f) combination.terms.push_back(Term{columns[c - 1], factor});
    }
    take(static_cast<const Combination&>(combination));
    ++count;
  });
  if (header.line == 0)
    refuse(Place{file, 1, ""}, "the file is empty; its header must be " + header_text);
  if (count == 0) {
    refuse(Place{file, header.line + 1, ""}, "the file has a header and no rows after it");
  }
}

// The place of a load case or a combination given as a value.
std::string case_place(const std::string& name) { return "loads[" + quoted(name) + "]"; }

std::string combination_place(const std::string& name) {
  return "combinations[" + quoted(name) + "]";
}

// The data file's own case when it has no load points (NACT = 0).
bool empty_data_case(const LoadCase& c) { return c.line == 0 && c.points.empty(); }

// Where a load case is given: its line in the loads file, the data file for its own case, or its
// place when given as a value.
std::string case_where(const LoadCase& c, const InputNames& files) {
  return c.line > 0    ? files.loads + ", line " + std::to_string(c.line)
         : c.line == 0 ? files.data
                       : case_place(c.name);
}

// The load cases that the combinations read so far use, and the warnings of those combinations
// without a factor other than 0: the mistakes that leave results out in silence.
struct CaseUse {
  const std::vector<LoadCase>& cases;
  std::vector<bool> used;
  std::vector<std::string> factorless;

  explicit CaseUse(const std::vector<LoadCase>& cases_)
      : cases(cases_), used(cases_.size(), false) {}

  void take(const Combination& combination, const InputNames& files) {
    bool loaded = false;
    for (const Term& term : combination.terms) {
      used[static_cast<size_t>(term.load_case)] = true;
      loaded = loaded || !cases[static_cast<size_t>(term.load_case)].points.empty();
    }
    if (loaded) return;
    const std::string where =
        combination.line > 0 ? files.combinations + ", line " + std::to_string(combination.line)
        : combination.line < 0
            ? case_where(cases[static_cast<size_t>(combination.terms[0].load_case)], files)
            : combination_place(combination.name);
    factorless.push_back(
        "warning in " + where + ": the combination " + combination.name +
        (combination.terms.empty()
             ? " has no factor other than 0"
             : " takes only load cases without load points (data when NACT is 0)") +
        ": its results are zero");
  }

  // The warnings of the cases that no combination uses (but the data file's own without load
  // points), then those of the combinations without a factor or a load point.
  std::vector<std::string> warnings(const InputNames& files) const {
    std::vector<std::string> found;
    const std::string given = files.combinations.empty() ? "every combination given"
                                                         : "every row of " + files.combinations;
    for (size_t k = 0; k < cases.size(); ++k) {
      const LoadCase& c = cases[k];
      if (used[k] || empty_data_case(c)) continue;
      found.push_back("warning in " + case_where(c, files) +
                      ": no combination uses the load case " + c.name +
                      " (its factor is 0 or empty in " + given + ")");
    }
    found.insert(found.end(), factorless.begin(), factorless.end());
    return found;
  }
};

// A combination's name and FORCE into `out`, under FaultFlags: the reductions run before the
// stages of the analysis, so the first faulting combination is kept for analyse_combinations to
// form again in its stage, where its fault is named.
void add_load(const Combination& combination, const std::vector<LoadCase>& cases,
              CombinationLoads& out) {
  Vec<float, 6> FORCE;
  try {
    combination_force(combination, cases, FORCE);
    check_faults();
  } catch (const RunError&) {
    if (out.faulting == SIZE_MAX) {
      out.faulting = out.loads.size();
      out.faulting_combination = combination;
    }
  }
  CapDisplacements load;
  for (int32_t i = 0; i < 6; ++i) load.U[i] = FORCE.data()[i];
  out.loads.push_back(load);
  out.names.push_back(combination.name);
  if (out.factors.size() < ECHOED_COMBINATIONS) out.factors.push_back(combination.terms);
}

// ---- Load cases and combinations given as values ----

// A mistake in a value, named by its place (loads["A"][0].FX, combinations["C1"]["B"]).
[[noreturn]] void refuse_value(const std::string& place, const std::string& what) {
  const std::string message = place + ": " + what;
  throw InputError("run-time error in " + message, "", 0, 0, message, "");
}

// A value that must be finite: reals beyond the range of a float are infinities here.
void check_finite(float value, const std::string& place) {
  if (std::isfinite(value)) return;
  refuse_value(place, std::string(std::isnan(value) ? "nan"
                                  : value > 0       ? "inf"
                                                    : "-inf") +
                          " is not a finite number");
}

}  // namespace

std::vector<std::string> far_load_warnings(const Group& group, const std::vector<LoadCase>& cases,
                                           const InputNames& files) {
  constexpr size_t WARNED = 10;  // warned of one by one; of more, their count
  std::vector<std::string> found;
  size_t far = 0;
  GroupValues plan = values_of(group);
  for (const LoadCase& c : cases) {
    if (c.line == 0) continue;  // the data file's own, which its reader warns of
    plan.loads = c.points;
    unusual_plan(
        plan, [](size_t) {},
        [&](size_t k, const std::string& piles) {
          if (++far > WARNED) return;
          const std::string where = c.line < 0 ? case_place(c.name) + "[" + std::to_string(k) + "]"
                                    : k < c.lines.size()
                                        ? files.loads + ", line " + std::to_string(c.lines[k])
                                        : files.loads;
          const LoadValues& point = c.points[k];
          found.push_back("warning in " + where + ": the load point of the load case " + c.name +
                          " at " + point_text(point.x, point.y) +
                          " lies far outside the plan of the piles (" + piles + "); " + LOAD_USUAL);
        });
  }
  if (far > WARNED) {
    found.push_back("warning in " + (files.loads.empty() ? std::string("loads") : files.loads) +
                    ": " + std::to_string(far - WARNED) +
                    " more load points lie far outside the plan of the piles");
  }
  return found;
}

bool is_name(const std::string& text) {
  if (text.empty() || text.size() > 40) return false;
  for (const char c : text) {
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    const bool digit = c >= '0' && c <= '9';
    if (!letter && !digit && c != '_' && c != '-' && c != '.') return false;
  }
  return true;
}

std::vector<LoadCase> read_load_cases(const std::string& text, const std::string& file,
                                      const std::string& taken) {
  int64_t header_line = 0;  // none yet
  std::vector<LoadCase> cases;
  std::map<std::string, size_t> index;
  take_rows(text, file, [&](const Row& row) {
    if (header_line == 0) {
      check_load_header(row, file);
      header_line = row.line;
      return;
    }
    check_cell_count(row, 9, file);
    const std::string& name = row.cells[0];
    const Place name_at{file, row.line, "case"};
    check_name(name, name_at);
    if (!taken.empty() && name == taken) {
      refuse(name_at, taken_name(name));
    }
    LoadValues point;
    float* values[8] = {&point.x, &point.y};
    for (int32_t i = 0; i < 6; ++i) values[i + 2] = &point.act[i];
    for (size_t c = 1; c < 9; ++c) {
      *values[c - 1] = number(
          row.cells[c], Place{file, row.line, LOADS_FILE_COLUMNS[c].name, static_cast<int32_t>(c)});
    }
    if (index.count(name) == 0) {
      index[name] = cases.size();
      cases.push_back(LoadCase{name, {}, row.line});
    }
    cases[index[name]].points.push_back(point);
    cases[index[name]].lines.push_back(row.line);
  });
  if (header_line == 0) {
    refuse(Place{file, 1, ""}, std::string("the file is empty; its header must be ") + LOAD_HEADER);
  }
  if (cases.empty()) {
    refuse(Place{file, header_line + 1, ""}, "the file has a header and no rows after it");
  }
  return cases;
}

CombinationLoads read_combination_loads(const std::string& text, const InputNames& files,
                                        const std::vector<LoadCase>& cases) {
  CombinationLoads out;        // its lists grow with the rows: blank lines take no room
  std::vector<int64_t> lines;  // for the message of a name given twice
  CaseUse use(cases);
  {
    const FaultFlags flags;
    take_combinations(text, files.combinations, cases, [&](const Combination& combination) {
      use.take(combination, files);
      add_load(combination, cases, out);
      lines.push_back(combination.line);
    });
  }
  refuse_twice_named(out.names, lines, files.combinations);
  out.warnings = use.warnings(files);
  return out;
}

std::vector<LoadCase> add_load_cases(std::vector<LoadCase> cases, std::vector<LoadCase> given) {
  const char* const fields[8] = {"x", "y", "FX", "FY", "FZ", "MX", "MY", "MZ"};
  CaseIndex case_index(cases);
  for (LoadCase& c : given) {
    const std::string place = case_place(c.name);
    if (!is_name(c.name)) refuse_value(place, not_a_name(c.name));
    const int32_t before = case_index(c.name);
    if (before >= 0) {
      const LoadCase& earlier = cases[static_cast<size_t>(before)];
      refuse_value(place, earlier.name == DATA_CASE && earlier.line == 0
                              ? taken_name(c.name)
                              : case_named_twice(c.name));
    }
    for (size_t k = 0; k < c.points.size(); ++k) {
      const LoadValues& point = c.points[k];
      const float values[8] = {point.x,      point.y,      point.act[0], point.act[1],
                               point.act[2], point.act[3], point.act[4], point.act[5]};
      for (int32_t i = 0; i < 8; ++i) {
        check_finite(values[i], place + "[" + std::to_string(k) + "]." + fields[i]);
      }
    }
    c.line = -1;
    case_index.add(c.name, cases.size());
    cases.push_back(std::move(c));
  }
  if (cases.empty()) {
    refuse_value("loads",
                 "there is no load case (the group has none of its own: its JCTR is not 1)");
  }
  return cases;
}

std::vector<Combination> combinations_of(const std::vector<CombinationValues>& values,
                                         const std::vector<LoadCase>& cases) {
  if (values.empty()) refuse_value("combinations", "there is no combination");
  std::map<std::string, size_t> columns;  // each case named, in the order first named
  std::map<std::string, size_t> seen;     // each combination's name
  std::vector<Combination> combinations;
  combinations.reserve(values.size());
  const CaseIndex case_index(cases);
  for (const CombinationValues& v : values) {
    const std::string place = combination_place(v.name);
    if (!is_name(v.name)) refuse_value(place, not_a_name(v.name));
    if (!seen.emplace(v.name, combinations.size()).second) {
      refuse_value(place, combination_named_twice(v.name));
    }
    std::vector<std::pair<size_t, Term>> terms;  // by column
    std::map<std::string, bool> named;
    for (const auto& [name, factor] : v.factors) {
      const std::string at = place + "[" + quoted(name) + "]";
      if (!is_name(name)) refuse_value(at, not_a_name(name));
      if (!named.emplace(name, true).second) refuse_value(at, case_named_twice(name));
      const int32_t k = case_index(name);
      if (k < 0) refuse_value(at, not_a_case(name, cases));
      check_finite(factor, at);
      const size_t column = columns.emplace(name, columns.size()).first->second;
      if (factor != 0.0f) terms.emplace_back(column, Term{k, factor});
    }
    std::sort(terms.begin(), terms.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    Combination& combination = combinations.emplace_back(Combination{v.name, {}, 0});
    for (const auto& term : terms) combination.terms.push_back(term.second);
  }
  return combinations;
}

std::vector<Combination> single_case_combinations(const std::vector<LoadCase>& cases) {
  std::vector<Combination> combinations;
  for (size_t k = 0; k < cases.size(); ++k) {
    // The data file's own case without load points (NACT = 0) beside cases given: its results
    // would be zero.
    if (empty_data_case(cases[k]) && cases.size() > 1) continue;
    combinations.push_back(Combination{cases[k].name, {Term{static_cast<int32_t>(k), 1.0f}}, -1});
  }
  return combinations;
}

CombinationLoads combination_loads(const std::vector<Combination>& combinations,
                                   const std::vector<LoadCase>& cases, const InputNames& files) {
  CombinationLoads out;
  CaseUse use(cases);
  {
    const FaultFlags flags;
    for (const Combination& combination : combinations) {
      use.take(combination, files);
      add_load(combination, cases, out);
    }
  }
  out.warnings = use.warnings(files);
  return out;
}

}  // namespace kelmarino::cases
