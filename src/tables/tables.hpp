#pragma once
// Result tables: rows of text cells under named columns with units, written as CSV for
// spreadsheets and scripts, as aligned text for a design note, or as an HTML table for a page.
// The results view of a run and the load-combination command both write their tables here.
#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "layout/layout.hpp"  // shortest, append_e

namespace kelmarino {

// A column: its name and its unit ("m", "t*m", ...; empty for names and counts).
struct Column {
  std::string name;
  std::string unit;
};

// The columns of the six components in the program's units: of a displacement of the cap or a pile
// head, of the forces at a pile head and of the loads on the cap.
inline const Column DISPLACEMENT_COLUMNS[6] = {{"UX", "m"},   {"UY", "m"},   {"UZ", "m"},
                                               {"SX", "rad"}, {"SY", "rad"}, {"SZ", "rad"}};
inline const Column FORCE_COLUMNS[6] = {{"NX", "t"},   {"NY", "t"},   {"NZ", "t"},
                                        {"MX", "t*m"}, {"MY", "t*m"}, {"MZ", "t*m"}};
inline const Column LOAD_COLUMNS[6] = {{"FX", "t"},   {"FY", "t"},   {"FZ", "t"},
                                       {"MX", "t*m"}, {"MY", "t*m"}, {"MZ", "t*m"}};

struct ResultTable {
  std::vector<Column> columns;
  std::vector<std::vector<std::string>> rows;  // one cell per column
};

// A value as the report prints it, without the field's leading blanks: ".1250E+02".
std::string printed(float value);

// A value for a reader of a page or a summary: four significant digits in plain decimal notation,
// trailing zeros dropped ("0.002378", "-1235", "27.08", "0"); a magnitude below `zero_below` is
// written 0. The one number-to-text procedure of the pages and summaries.
std::string readable(double value, double zero_below = 0.0);

// A cell of a table for a reader: a text kept as it is, or a number written by `readable`.
struct Cell {
  Cell(std::string cell_text) : text(std::move(cell_text)) {}  // NOLINT: cells are built implicitly
  Cell(const char* cell_text) : text(cell_text) {}             // NOLINT
  Cell(double number) : is_number(true), value(number) {}      // NOLINT
  std::string text;
  bool is_number = false;
  double value = 0.0;
};

// The unit of force of the pages and the CSV files: t, the program's, or kN (1 t = 9.80665 kN).
enum class ForceUnit { t, kN };
inline constexpr double KN_PER_T = 9.80665;

// The unit a reader is shown for a unit of the program, and the factor from the one to the
// other.
struct ReaderUnit {
  std::string unit;
  double factor = 1.0;
};

// A unit of the program in the unit of force `force`: in kN every unit of force turns, t to kN,
// t*m to kN*m, t/m to kN/m, t*m/rad to kN*m/rad, t/m4 to kN/m4, and t/m2 (a stress) to kPa; every
// other unit, and every unit in t, as it is.
ReaderUnit shown_unit(const std::string& unit, ForceUnit force);

// The unit a reader is shown: displacements in mm, rotations in mrad, forces as shown_unit.
ReaderUnit reader_unit(const std::string& unit, ForceUnit force = ForceUnit::t);

// The columns in the units shown in `force` (shown_unit); returns the factor of each.
std::vector<double> show_columns(std::vector<Column>& columns, ForceUnit force);

// A value in a shown unit rounded to single precision, as the files write it. A finite value that
// the unit takes beyond the single-precision range (a force near 3.5e37 t shown in kN) is a
// run-time error, never an infinity written as a result. Only kN takes a value so far.
[[noreturn]] void beyond_single_range(double shown);
inline float shown_single(double shown) {
  const float rounded = static_cast<float>(shown);
  if (std::isinf(rounded) && !std::isinf(shown)) beyond_single_range(shown);
  return rounded;
}

// A single-precision value of the program in a unit shown with `factor`: the value times the
// factor, rounded to single precision (the value itself for a factor 1).
inline float shown_value(float value, double factor) {
  return shown_single(static_cast<double>(value) * factor);
}

// The table with every number written readable, in the unit of its column shown in `force`
// (shown_unit); a number below 1e-6 of the largest magnitude of its column is rounding noise and
// written 0.
ResultTable readable_table(std::vector<Column> columns, const std::vector<std::vector<Cell>>& rows,
                           ForceUnit force);

// The table with every number a single-precision value in the unit of its column shown in
// `force`, written shortest: the digits of the CSV files.
ResultTable exact_table(std::vector<Column> columns, const std::vector<std::vector<Cell>>& rows,
                        ForceUnit force);

// A value echoed as read: the shortest digits that read back as the same single-precision value
// (as the CSV files write it), in plain decimals (100000, 0.0125; -0 as 0).
std::string as_read(float value);

// The table of input values echoed: every number as exact_table takes it, written as_read.
ResultTable input_table(std::vector<Column> columns, const std::vector<std::vector<Cell>>& rows,
                        ForceUnit force);

// The magnitude below which a value of a column is noise: 1e-6 of its largest magnitude.
double noise_level(std::span<const double> column);

// CSV: a header row of "name (unit)" (or "name" without a unit), then one line per row; cells
// holding a comma, a quote or a line end are quoted. Lines end with LF.
std::string csv_text(const ResultTable& table);

// Aligned text: a row of names and a row of units in parentheses, a rule, then the rows; every
// column right-aligned to its widest cell, two blanks between columns.
std::string aligned_text(const ResultTable& table);

// Whether a table of `rows` rows, or a run of rows of one pile, is kept on one printed sheet.
inline bool prints_whole(size_t rows) { return rows > 0 && rows <= 16; }

// An HTML table with the given id: names and units in the head, one row per table row, the
// text escaped; a table of up to 16 rows of class "whole", and in a longer one rows that share
// their first cell, 2 to 16 of them, in a body of class "kept" of their own: a printed sheet
// keeps either whole.
std::string html_table(const ResultTable& table, const std::string& id);
// The body rows of such a table alone, for a table written in parts.
std::string html_rows(const std::vector<std::vector<std::string>>& rows);

// Text as XML takes it: each control character XML does not take, each of U+FFFE and U+FFFF and
// each byte that begins no valid UTF-8 sequence shown as U+FFFD.
std::string xml_characters(const std::string& text);

// xml_characters with the HTML and XML special characters escaped (& < > " ').
std::string escape_html(const std::string& text);

}  // namespace kelmarino
