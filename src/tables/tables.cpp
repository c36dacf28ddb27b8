// The writers of result tables.
#include "tables/tables.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "layout/layout.hpp"

namespace kelmarino {
namespace {

// The unit in parentheses, empty without a unit. Built by appending: GCC 12 warns falsely
// (-Wrestrict) on some chains of string concatenations.
std::string in_parentheses(const std::string& unit) {
  std::string text;
  if (unit.empty()) return text;
  text.append("(").append(unit).append(")");
  return text;
}

std::string heading(const Column& column) {
  std::string text = column.name;
  if (!column.unit.empty()) text.append(" ").append(in_parentheses(column.unit));
  return text;
}

std::string csv_cell(const std::string& cell) {
  if (cell.find_first_of(",\"\r\n") == std::string::npos) return cell;
  std::string quoted = "\"";
  for (const char c : cell) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string right_aligned(const std::string& cell, size_t width) {
  return std::string(width > cell.size() ? width - cell.size() : 0, ' ') + cell;
}

}  // namespace

std::string printed(float value) {
  std::string field;
  append_e(field, value, 11, 4);
  return field.substr(field.find_first_not_of(' '));
}

std::string readable(double value, double zero_below) {
  if (!std::isfinite(value)) return value != value ? "nan" : (value > 0 ? "inf" : "-inf");
  if (value == 0.0 || std::fabs(value) < zero_below) return "0";
  // The decimal exponent after rounding to four digits: 9.9996 is 10.00, not 9.9996.
  char text[400];
  std::snprintf(text, sizeof text, "%.3e", value);
  const int exponent = std::atoi(std::strchr(text, 'e') + 1);
  if (exponent > 15) {  // beyond the digits a double holds exactly: the four digits, then zeros
    std::string digits(text, std::strchr(text, 'e'));
    return digits.erase(digits.find('.'), 1).append(static_cast<size_t>(exponent - 3), '0');
  }
  // Above four integer digits the digits after the fourth are zeros: 12345678 is 12350000.
  const double unit = exponent > 3 ? std::pow(10.0, exponent - 3) : 1.0;
  std::snprintf(text, sizeof text, "%.*f", std::max(0, 3 - exponent),
                exponent > 3 ? std::round(value / unit) * unit : value);
  std::string result = text;
  if (result.find('.') != std::string::npos) {
    result.erase(result.find_last_not_of('0') + 1);
    if (result.back() == '.') result.pop_back();
  }
  return result;
}

double noise_level(std::span<const double> column) {
  double largest = 0.0;
  for (const double v : column) largest = std::max(largest, std::fabs(v));
  return 1e-6 * largest;
}

ReaderUnit shown_unit(const std::string& unit, ForceUnit force) {
  const bool of_force =
      unit.starts_with('t') && (unit.size() == 1 || unit[1] == '*' || unit[1] == '/');
  if (force == ForceUnit::t || !of_force) return {unit, 1.0};
  if (unit == "t/m2") return {"kPa", KN_PER_T};
  return {"kN" + unit.substr(1), KN_PER_T};
}

void beyond_single_range(double shown) {
  char value[32];
  std::snprintf(value, sizeof value, "%.4g", shown);
  throw RunError("run-time error in the values shown in kN: overflow (a value of " +
                 std::string(value) +
                 " is beyond the single-precision range; --units t gives them)");
}

ReaderUnit reader_unit(const std::string& unit, ForceUnit force) {
  if (unit == "m") return {"mm", 1000.0};
  if (unit == "rad") return {"mrad", 1000.0};
  return shown_unit(unit, force);
}

std::vector<double> show_columns(std::vector<Column>& columns, ForceUnit force) {
  std::vector<double> factor;
  for (Column& column : columns) {
    ReaderUnit shown = shown_unit(column.unit, force);
    column.unit = std::move(shown.unit);
    factor.push_back(shown.factor);
  }
  return factor;
}

ResultTable readable_table(std::vector<Column> columns, const std::vector<std::vector<Cell>>& rows,
                           ForceUnit force) {
  const std::vector<double> factor = show_columns(columns, force);
  std::vector<double> level(columns.size());
  for (size_t c = 0; c < columns.size(); ++c) {
    std::vector<double> numbers;
    for (const auto& row : rows) {
      if (row.at(c).is_number) numbers.push_back(row[c].value * factor[c]);
    }
    level[c] = noise_level(numbers);
  }
  ResultTable table{std::move(columns), {}};
  for (const auto& row : rows) {
    table.rows.emplace_back();
    for (size_t c = 0; c < row.size(); ++c) {
      table.rows.back().push_back(row[c].is_number ? readable(row[c].value * factor[c], level[c])
                                                   : row[c].text);
    }
  }
  return table;
}

namespace {

// The table with every number a single-precision value in the unit of its column, written by
// `write`.
ResultTable single_table(std::vector<Column> columns, const std::vector<std::vector<Cell>>& rows,
                         ForceUnit force, std::string (*write)(float)) {
  const std::vector<double> factor = show_columns(columns, force);
  ResultTable table{std::move(columns), {}};
  for (const auto& row : rows) {
    table.rows.emplace_back();
    for (size_t c = 0; c < row.size(); ++c) {
      table.rows.back().push_back(row[c].is_number ? write(shown_single(row[c].value * factor[c]))
                                                   : row[c].text);
    }
  }
  return table;
}

}  // namespace

ResultTable exact_table(std::vector<Column> columns, const std::vector<std::vector<Cell>>& rows,
                        ForceUnit force) {
  return single_table(std::move(columns), rows, force, shortest);
}

std::string as_read(float value) {
  char text[64];  // the largest float has 39 digits
  const auto end = std::to_chars(text, text + sizeof text, value == 0.0f ? 0.0f : value,
                                 std::chars_format::fixed);
  return std::string(text, end.ptr);
}

ResultTable input_table(std::vector<Column> columns, const std::vector<std::vector<Cell>>& rows,
                        ForceUnit force) {
  return single_table(std::move(columns), rows, force, as_read);
}

std::string csv_text(const ResultTable& table) {
  std::string text;
  for (size_t c = 0; c < table.columns.size(); ++c) {
    if (c > 0) text += ',';
    text += csv_cell(heading(table.columns[c]));
  }
  text += '\n';
  for (const auto& row : table.rows) {
    for (size_t c = 0; c < row.size(); ++c) {
      if (c > 0) text += ',';
      text += csv_cell(row[c]);
    }
    text += '\n';
  }
  return text;
}

std::string aligned_text(const ResultTable& table) {
  std::vector<size_t> width(table.columns.size());
  for (size_t c = 0; c < table.columns.size(); ++c) {
    const Column& column = table.columns[c];
    width[c] = std::max(column.name.size(), column.unit.empty() ? 0 : column.unit.size() + 2);
    for (const auto& row : table.rows) width[c] = std::max(width[c], row[c].size());
  }
  std::string names, units, rule;
  for (size_t c = 0; c < table.columns.size(); ++c) {
    const Column& column = table.columns[c];
    const std::string gap = c > 0 ? "  " : "";
    names += gap + right_aligned(column.name, width[c]);
    units += gap + right_aligned(in_parentheses(column.unit), width[c]);
    rule += gap + std::string(width[c], '-');
  }
  auto trimmed = [](std::string line) { return line.erase(line.find_last_not_of(' ') + 1); };
  // A table whose columns have no unit (the stiffness, its units named above it) has no line of
  // them.
  const std::string unit_line = trimmed(units);
  std::string text =
      trimmed(names) + "\n" + (unit_line.empty() ? "" : unit_line + "\n") + rule + "\n";
  for (const auto& row : table.rows) {
    std::string line;
    for (size_t c = 0; c < row.size(); ++c)
      line += (c > 0 ? "  " : "") + right_aligned(row[c], width[c]);
    text += line + "\n";
  }
  return text;
}

namespace {

// The length of the UTF-8 sequence at text[at] (1 to 4), or 0 where no valid one starts.
size_t sequence_length(const std::string& text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  // The range of the second byte after each lead, and the sequence's length.
  unsigned char low = 0x80, high = 0xBF;
  size_t n = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    n = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3;
    low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
    high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    if (lead == 0xEF && at + 2 < text.size() && byte(1) == 0xBF && byte(2) >= 0xBE) return 0;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    n = 4;
    low = lead == 0xF0 ? 0x90 : 0x80;
    high = lead == 0xF4 ? 0x8F : 0xBF;  // none beyond U+10FFFF
  }
  if (n == 0 || at + n > text.size() || byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i < n; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return n;
}

// A control character that XML does not take (all but tab, line feed and carriage return); U+FFFE
// and U+FFFF, which it does not take either, begin no sequence above.
bool is_control(unsigned char c) {
  return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F;
}

}  // namespace

std::string xml_characters(const std::string& text) {
  std::string taken;
  for (size_t at = 0; at < text.size();) {
    const size_t n = sequence_length(text, at);
    if (n == 0 || is_control(static_cast<unsigned char>(text[at]))) {
      taken += "\xEF\xBF\xBD";  // U+FFFD, the replacement character
      ++at;
    } else {
      taken.append(text, at, n);
      at += n;
    }
  }
  return taken;
}

std::string escape_html(const std::string& text) {
  std::string escaped;
  for (const char c : xml_characters(text)) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&apos;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string html_table(const ResultTable& table, const std::string& id) {
  const bool whole = prints_whole(table.rows.size());
  std::string html =
      "<table id=\"" + escape_html(id) + (whole ? "\" class=\"whole\">" : "\">") + "\n<thead><tr>";
  for (const Column& column : table.columns) {
    html.append("<th>").append(escape_html(column.name));
    if (!column.unit.empty()) html.append("<br/>").append(escape_html(in_parentheses(column.unit)));
    html.append("</th>");
  }
  html += "</tr></thead>\n";
  // In a longer one, rows that share their first cell (a pile's stiffness, its design sets), up to
  // 16 of them, are a body of their own that a printed sheet keeps whole; the others share plain
  // bodies.
  const std::vector<std::vector<std::string>>& rows = table.rows;
  std::string plain;  // rows of a plain body not yet closed
  auto close_plain = [&] {
    if (!plain.empty() || rows.empty()) html += "<tbody>\n" + plain + "</tbody>\n";
    plain.clear();
  };
  for (size_t first = 0, last = 0; first < rows.size(); first = last) {
    last = first + 1;
    while (last < rows.size() && !rows[first].empty() && !rows[last].empty() &&
           rows[last][0] == rows[first][0]) {
      ++last;
    }
    const std::string run = html_rows({rows.begin() + static_cast<ptrdiff_t>(first),
                                       rows.begin() + static_cast<ptrdiff_t>(last)});
    if (!whole && last - first > 1 && prints_whole(last - first)) {
      close_plain();
      html += "<tbody class=\"kept\">\n" + run + "</tbody>\n";
    } else {
      plain += run;
    }
  }
  close_plain();
  return html + "</table>\n";
}

std::string html_rows(const std::vector<std::vector<std::string>>& rows) {
  std::string html;
  for (const auto& row : rows) {
    html += "<tr>";
    for (const std::string& cell : row) html += "<td>" + escape_html(cell) + "</td>";
    html += "</tr>\n";
  }
  return html;
}

}  // namespace kelmarino
