#pragma once
// Result tables: rows of text cells under named columns with units, written as CSV for
// spreadsheets and scripts, as aligned text for a design note, or as an HTML table for a page.
// The results view of a run and the load-combination command both write their tables here.
#include <cstdint>
#include <string>
#include <vector>

#include "layout/layout.hpp"  // shortest, append_e

namespace kelmarino {

// A column: its name and its unit ("m", "t*m", ...; empty for names and counts).
struct Column {
  std::string name;
  std::string unit;
};

struct ResultTable {
  std::vector<Column> columns;
  std::vector<std::vector<std::string>> rows;  // one cell per column
};

// A value as the report prints it, without the field's leading blanks: ".1250E+02".
std::string printed(float value);

// CSV: a header row of "name (unit)" (or "name" without a unit), then one line per row; cells
// holding a comma, a quote or a line end are quoted. Lines end with LF.
std::string csv_text(const ResultTable& table);

// Aligned text: a row of names and a row of units in parentheses, a rule, then the rows; every
// column right-aligned to its widest cell, two blanks between columns.
std::string aligned_text(const ResultTable& table);

// An HTML table with the given id: names and units in the head, one row per table row, the
// text escaped.
std::string html_table(const ResultTable& table, const std::string& id);
// The body rows of such a table alone, for a table written in parts.
std::string html_rows(const std::vector<std::vector<std::string>>& rows);

// Text with the HTML and XML special characters escaped (& < > " ').
std::string escape_html(const std::string& text);

}  // namespace kelmarino
