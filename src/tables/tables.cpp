// The writers of result tables.
#include "tables/tables.hpp"

#include <algorithm>

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
  std::string text = trimmed(names) + "\n" + trimmed(units) + "\n" + rule + "\n";
  for (const auto& row : table.rows) {
    std::string line;
    for (size_t c = 0; c < row.size(); ++c)
      line += (c > 0 ? "  " : "") + right_aligned(row[c], width[c]);
    text += line + "\n";
  }
  return text;
}

std::string escape_html(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
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
  std::string html = "<table id=\"" + escape_html(id) + "\">\n<thead><tr>";
  for (const Column& column : table.columns) {
    html.append("<th>").append(escape_html(column.name));
    if (!column.unit.empty()) html.append("<br/>").append(escape_html(in_parentheses(column.unit)));
    html.append("</th>");
  }
  html += "</tr></thead>\n<tbody>\n" + html_rows(table.rows);
  return html + "</tbody>\n</table>\n";
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
