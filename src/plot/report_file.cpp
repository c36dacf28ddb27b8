// The report read back: the cap displacements and the displacements and forces at every pile top,
// the values the post-processing file does not hold (UZ, SZ, MZ) among them.
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "plot/plot.hpp"

namespace kelmarino {
namespace {

const char* const DISPLACEMENTS[6] = {"UX", "UY", "UZ", "SX", "SY", "SZ"};
const char* const FORCES[6] = {"NX", "NY", "NZ", "MX", "MY", "MZ"};

std::vector<std::string> report_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The value printed after "KEY=" on a line ("UX=   .6603E-03 (m)"); false when the line holds no
// such key or no number after it.
bool value_after(const std::string& line, const std::string& key, float& value) {
  const size_t at = line.find(key + "=");
  if (at == std::string::npos) return false;
  const size_t first = line.find_first_not_of(' ', at + key.size() + 1);
  if (first == std::string::npos) return false;
  const std::string number = line.substr(first, line.find_first_of(" (", first) - first);
  return e_value(number, value);
}

// The six values keyed by `names`, one a line, on the lines from line `from` on; `from` is left
// on the last of them. With `beside`, each line holds a second value keyed by `beside_names`.
// False when a value is missing before the report ends.
bool six_values(const std::vector<std::string>& lines, size_t& from, const char* const* names,
                float* values, const char* const* beside_names = nullptr, float* beside = nullptr) {
  for (int32_t i = 0; i < 6; ++i) {
    while (from < lines.size() && !value_after(lines[from], names[i], values[i])) ++from;
    if (from == lines.size()) return false;
    if (beside != nullptr && !value_after(lines[from], beside_names[i], beside[i])) return false;
  }
  return true;
}

std::string printed_pair(const char* name, float report, float pos) {
  std::string text = name;
  text.append(" = ").append(printed(report)).append(" in the report, ").append(printed(pos));
  return text;
}

}  // namespace

ReportResults read_report(const std::string& report_text, const PosFile& pos,
                          const std::string& report_name, const std::string& pos_name) {
  const std::vector<std::string> lines = report_lines(report_text);
  ReportResults report;
  size_t at = 0;
  while (at < lines.size() &&
         lines[at].find("DISPLACEMENTS AT THE CAP CENTER") == std::string::npos) {
    ++at;
  }
  if (at == lines.size() || !six_values(lines, at, DISPLACEMENTS, report.cap)) {
    throw PlotError(report_name + " holds no displacements of the cap centre");
  }
  for (int32_t g = 1; g <= pos.PNUM; ++g) {
    while (at < lines.size() && lines[at].find("at the top of pile") == std::string::npos) {
      ++at;
    }
    PileTop top;
    if (at == lines.size() || !six_values(lines, at, DISPLACEMENTS, top.DU, FORCES, top.FT)) {
      throw PlotError(report_name + " holds the pile-top results of " + std::to_string(g - 1) +
                      " piles, " + pos_name + " of " + std::to_string(pos.PNUM));
    }
    report.tops.push_back(top);
  }
  // The values both files hold at the pile top: the same single-precision value printed with
  // four digits in both, so they are compared exactly.
  const struct {
    Quantity q;
    bool force;
    int32_t i;
  } shared[] = {{Quantity::UX, false, 0}, {Quantity::UY, false, 1}, {Quantity::SX, false, 3},
                {Quantity::SY, false, 4}, {Quantity::NX, true, 0},  {Quantity::NY, true, 1},
                {Quantity::NZ, true, 2},  {Quantity::MX, true, 3},  {Quantity::MY, true, 4}};
  for (int32_t g = 1; g <= pos.PNUM; ++g) {
    const PileTop& top = report.tops[static_cast<size_t>(g - 1)];
    const PosPile& pile = pos.piles[static_cast<size_t>(g - 1)];
    for (const auto& s : shared) {
      const float in_report = s.force ? top.FT[s.i] : top.DU[s.i];
      const float in_pos = pile.of(s.q).front();
      if (in_report != in_pos) {
        throw PlotError(report_name + " and " + pos_name +
                        " are of different runs: at the top of pile " + std::to_string(g) + ", " +
                        printed_pair(quantity_name(s.q), in_report, in_pos) + " in " + pos_name);
      }
    }
  }
  return report;
}

}  // namespace kelmarino
