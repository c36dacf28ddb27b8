// The result tables of the combinations: the per-combination CSV files written straight into a
// text (there are hundreds of thousands of rows), the envelopes and the summary as result tables.
#include <charconv>
#include <cmath>
#include <cstring>

#include "cases/cases.hpp"

namespace kelmarino::cases {
namespace {

// The room a cell takes at most, with its comma: the shortest text of a float has at most 15
// characters ("-1.17549435e-38" has 15), an integer at most 11. The cells of the per-combination
// files take eleven characters or less on average (room reserved and not used costs nothing).
constexpr size_t CELL_ROOM = 16;
constexpr size_t TYPICAL_CELL = 12;

// A row of cells written through a pointer into a buffer of room enough, then appended whole:
// the CSV files of the combinations have millions of cells.
class Row {
 public:
  void put(char c) { *at_++ = c; }
  void text(std::string_view cell) {
    std::memcpy(at_, cell.data(), cell.size());
    at_ += cell.size();
  }
  void value(float v) { at_ = std::to_chars(at_, end(), v).ptr; }
  void integer(int32_t v) { at_ = std::to_chars(at_, end(), v).ptr; }
  void append_to(std::string& text) {
    text.append(buffer_, at_);
    at_ = buffer_;
  }

 private:
  char* end() { return buffer_ + sizeof buffer_; }
  char buffer_[64 + 32 * CELL_ROOM];  // a name of 40 characters and 25 cells fit
  char* at_ = buffer_;
};

// The header row as the result tables write it, in the units shown in `force`.
std::string header_line(std::vector<Column> columns, ForceUnit force) {
  show_columns(columns, force);
  return csv_text(ResultTable{std::move(columns), {}});
}

// The largest magnitude among the extremes of two quantities over a pile, with its station; on
// equal magnitudes the first combination governs, and within it the first of (x max, x min, y max,
// y min).
struct Largest {
  int32_t q = 0;
  PileExtreme at;
};
Largest largest_magnitude(const PileEnvelope& pile, int32_t qx, int32_t qy) {
  const Largest candidates[4] = {{qx, pile_maximum(pile, qx)},
                                 {qx, pile_minimum(pile, qx)},
                                 {qy, pile_maximum(pile, qy)},
                                 {qy, pile_minimum(pile, qy)}};
  Largest best = candidates[0];
  for (const Largest& c : candidates) {
    const float size = std::fabs(c.at.extreme.value), best_size = std::fabs(best.at.extreme.value);
    if (size > best_size ||
        (size == best_size && c.at.extreme.combination < best.at.extreme.combination)) {
      best = c;
    }
  }
  return best;
}

const char* const DESIGN_SET_NAMES[DESIGN_SETS] = {"max_N_head", "min_N_head", "max_M_head",
                                                   "max_M_soil"};

std::vector<Column> design_columns() {
  return {{"pile", ""}, {"set", ""},   {"combination", ""}, {"station", ""}, {"Z", "m"},
          {"N", "t"},   {"MX", "t*m"}, {"MY", "t*m"},       {"M", "t*m"},    {"V", "t"}};
}

std::vector<std::vector<Cell>> design_rows(const CaseNames& names,
                                           const std::vector<PileEnvelope>& piles) {
  std::vector<std::vector<Cell>> rows;
  for (const PileEnvelope& pile : piles) {
    for (int32_t set = 0; set < DESIGN_SETS; ++set) {
      const DesignRow& d = pile.design[set];
      if (d.combination < 0) continue;
      rows.push_back(
          {std::to_string(pile.g), DESIGN_SET_NAMES[set],
           std::string(names.combinations[static_cast<size_t>(d.combination)]), std::to_string(d.k),
           static_cast<double>(pile.ZH[static_cast<size_t>(d.k - 1)]), static_cast<double>(d.N),
           static_cast<double>(d.MX), static_cast<double>(d.MY), static_cast<double>(d.M),
           static_cast<double>(d.V)});
    }
  }
  return rows;
}

std::vector<Column> peak_columns() {
  return {{"pile", ""}, {"quantity", ""}, {"unit", ""},
          {"peak", ""}, {"Z", "m"},       {"combination", ""}};
}

// The peak of each row in the unit the row names: for the reader, displacements in mm as the
// other tables of the page give them.
std::vector<std::vector<Cell>> peak_rows(const CaseNames& names,
                                         const std::vector<PileEnvelope>& piles, bool for_reader) {
  std::vector<std::vector<Cell>> rows;
  for (const PileEnvelope& pile : piles) {
    for (const StationQuantity q : PEAK_QUANTITIES) {
      const EnvelopePeak& e = pile.peaks[q];
      if (e.combination < 0) continue;
      const ReaderUnit unit = for_reader ? reader_unit(QUANTITY_WORDS[q].unit, names.force)
                                         : shown_unit(QUANTITY_WORDS[q].unit, names.force);
      rows.push_back({std::to_string(pile.g), QUANTITY_WORDS[q].name, unit.unit,
                      static_cast<double>(e.peak.value) * unit.factor,
                      static_cast<double>(e.peak.Z),
                      std::string(names.combinations[static_cast<size_t>(e.combination)])});
    }
  }
  return rows;
}

}  // namespace

ResultTable design_sets_table(const CaseNames& names, const std::vector<PileEnvelope>& piles,
                              bool for_reader) {
  const std::vector<std::vector<Cell>> rows = design_rows(names, piles);
  return for_reader ? readable_table(design_columns(), rows, names.force)
                    : exact_table(design_columns(), rows, names.force);
}

ResultTable peaks_table(const CaseNames& names, const std::vector<PileEnvelope>& piles,
                        bool for_reader) {
  const std::vector<std::vector<Cell>> rows = peak_rows(names, piles, for_reader);
  return for_reader ? readable_table(peak_columns(), rows, names.force)
                    : exact_table(peak_columns(), rows, names.force);
}

std::string cap_csv(const CaseNames& names, const std::vector<CapDisplacements>& caps, size_t first,
                    size_t last) {
  std::string text;
  if (first == 0) {
    std::vector<Column> columns = {{"combination", ""}};
    columns.insert(columns.end(), std::begin(DISPLACEMENT_COLUMNS), std::end(DISPLACEMENT_COLUMNS));
    text = header_line(columns, names.force);
  }
  for (size_t c = first; c < last; ++c) {
    text += names.combinations[c];
    for (const float u : caps[c].U) {
      text += ',';
      text += shortest(u);
    }
    text += '\n';
  }
  return text;
}

std::string heads_csv(const CaseNames& names, int32_t PNUM, std::span<const HeadResult> heads,
                      size_t first, size_t last, std::string text) {
  if (first == 0) {
    std::vector<Column> columns = {{"combination", ""}, {"pile", ""}};
    columns.insert(columns.end(), std::begin(DISPLACEMENT_COLUMNS), std::end(DISPLACEMENT_COLUMNS));
    columns.insert(columns.end(), std::begin(FORCE_COLUMNS), std::end(FORCE_COLUMNS));
    text += header_line(columns, names.force);
  }
  const double factor = shown_unit("t", names.force).factor;  // of every force and moment
  text.reserve(text.size() + (last - first) * static_cast<size_t>(PNUM) * 14 * TYPICAL_CELL);
  Row out;
  for (size_t c = first; c < last; ++c) {
    for (int32_t g = 1; g <= PNUM; ++g) {
      const HeadResult& head =
          heads[(c - first) * static_cast<size_t>(PNUM) + static_cast<size_t>(g - 1)];
      out.text(names.combinations[c]);
      out.put(',');
      out.integer(g);
      for (const float v : head.DU) {
        out.put(',');
        out.value(v);
      }
      for (const float v : head.FT) {
        out.put(',');
        out.value(shown_value(v, factor));
      }
      out.put('\n');
      out.append_to(text);
    }
  }
  return text;
}

std::string stations_csv(const std::vector<PileEnvelope>& piles, ForceUnit force) {
  std::vector<Column> columns = {{"pile", ""}, {"station", ""}, {"Z", "m"}};
  double factor[QUANTITIES];
  for (int32_t q = 0; q < QUANTITIES; ++q) {
    columns.push_back({std::string(QUANTITY_WORDS[q].name) + "_max", QUANTITY_WORDS[q].unit});
    columns.push_back({std::string(QUANTITY_WORDS[q].name) + "_min", QUANTITY_WORDS[q].unit});
    factor[q] = shown_unit(QUANTITY_WORDS[q].unit, force).factor;
  }
  columns.push_back({"V_max", "t"});
  columns.push_back({"M_max", "t*m"});
  const double resultant_factor = shown_unit("t", force).factor;  // of V and M
  std::string text = header_line(columns, force);
  text.reserve(text.size() + piles.size() * MAX_STATIONS * 25 * TYPICAL_CELL);
  Row out;
  for (const PileEnvelope& pile : piles) {
    for (size_t k = 0; k < pile.stations.size(); ++k) {
      out.integer(pile.g);
      out.put(',');
      out.integer(static_cast<int32_t>(k + 1));
      out.put(',');
      out.value(pile.ZH[k]);
      const StationEnvelope& s = pile.stations[k];
      for (int32_t q = 0; q < QUANTITIES; ++q) {
        out.put(',');
        out.value(shown_value(s.max[q].value, factor[q]));
        out.put(',');
        out.value(shown_value(s.min[q].value, factor[q]));
      }
      for (const Extreme& r : s.resultant) {
        out.put(',');
        out.value(shown_value(r.value, resultant_factor));
      }
      out.put('\n');
      out.append_to(text);
    }
  }
  return text;
}

ResultTable envelope_table(const CaseNames& names, const std::vector<PileEnvelope>& piles) {
  ResultTable table;
  table.columns = {{"pile", ""}, {"quantity", ""},        {"unit", ""},
                   {"max", ""},  {"max_combination", ""}, {"max_Z", "m"},
                   {"min", ""},  {"min_combination", ""}, {"min_Z", "m"}};
  for (const PileEnvelope& pile : piles) {
    for (int32_t q = 0; q < QUANTITIES; ++q) {
      const PileExtreme max = pile_maximum(pile, q);
      const PileExtreme min = pile_minimum(pile, q);
      auto z = [&](const PileExtreme& e) {
        return shortest(pile.ZH[static_cast<size_t>(e.k - 1)]);
      };
      auto name = [&](const PileExtreme& e) {
        return std::string(names.combinations[static_cast<size_t>(e.extreme.combination)]);
      };
      // The values in the unit the row names.
      const ReaderUnit unit = shown_unit(QUANTITY_WORDS[q].unit, names.force);
      auto value = [&](const PileExtreme& e) {
        return shortest(shown_value(e.extreme.value, unit.factor));
      };
      table.rows.push_back({std::to_string(pile.g), QUANTITY_WORDS[q].name, unit.unit, value(max),
                            name(max), z(max), value(min), name(min), z(min)});
    }
  }
  return table;
}

ResultTable summary_table(const CaseNames& names, const std::vector<PileEnvelope>& piles) {
  std::vector<Column> columns = {{"pile", ""},
                                 {"compression", "t"},
                                 {"under", ""},
                                 {"tension", "t"},
                                 {"under", ""},
                                 {"M", ""},
                                 {"moment", "t*m"},
                                 {"Z", "m"},
                                 {"under", ""},
                                 {"PS", ""},
                                 {"soil stress", "t/m2"},
                                 {"Z", "m"},
                                 {"under", ""}};
  auto name = [&](const Extreme& e) {
    return std::string(names.combinations[static_cast<size_t>(e.combination)]);
  };
  std::vector<std::vector<Cell>> rows;
  for (const PileEnvelope& pile : piles) {
    std::vector<Cell> row = {std::to_string(pile.g)};
    // The axial force at the pile top, compression positive.
    const Extreme compression = pile.stations[0].max[NZ];
    const Extreme tension = pile.stations[0].min[NZ];
    const bool compressed = compression.value > 0.0f;
    const bool pulled = tension.value < 0.0f;
    row.push_back(compressed ? Cell(static_cast<double>(compression.value)) : Cell("-"));
    row.push_back(compressed ? name(compression) : "-");
    row.push_back(pulled ? Cell(static_cast<double>(tension.value)) : Cell("-"));
    row.push_back(pulled ? name(tension) : "-");
    for (const Largest& l : {largest_magnitude(pile, MX, MY), largest_magnitude(pile, PSX, PSY)}) {
      const Extreme& e = l.at.extreme;
      row.push_back(QUANTITY_WORDS[l.q].name);
      row.push_back(static_cast<double>(e.value));
      row.push_back(static_cast<double>(pile.ZH[static_cast<size_t>(l.at.k - 1)]));
      row.push_back(name(e));
    }
    rows.push_back(std::move(row));
  }
  return readable_table(std::move(columns), rows, names.force);
}

std::string summary_text(const CaseNames& names, const std::vector<PileEnvelope>& piles) {
  std::string text = "Load combinations of " + names.title + ": " +
                     counted(names.combinations.size(), "combination") + " of " +
                     counted(names.cases.size(), "load case") + ", " +
                     counted(piles.size(), "pile") + "\n\n";
  text +=
      "Per pile: the largest compression and tension at the pile top (axial force NZ, compression\n"
      "positive; - where no combination gives one), the largest bending moment (MX or MY) and the\n"
      "largest soil stress (PSX or PSY) in magnitude, each with its signed value, its distance Z\n"
      "from the pile top along the pile axis and the combination that governs it.\n\n";
  text += aligned_text(summary_table(names, piles));
  text +=
      "\nDesign sets: per pile, the combinations of the largest and the smallest axial force N "
      "and\n"
      "of the largest resultant moment M = sqrt(MX^2 + MY^2) at the pile top (station 1), and of "
      "the\n"
      "largest M from the ground line down, each with the concurrent N, MX, MY, M and the "
      "resultant\n"
      "shear V = sqrt(NX^2 + NY^2) of its combination at its station (also in "
      "design-sets.csv).\n\n";
  text += aligned_text(design_sets_table(names, piles, true));
  text +=
      "\nTrue peaks: per pile and quantity, the largest absolute value of the exact solution "
      "between\n"
      "the stations and at them, over every combination, with its Z and combination; the soil\n"
      "stress on both sides of every layer boundary (also in peaks.csv, displacements there in "
      "m).\n\n";
  return text + aligned_text(peaks_table(names, piles, true));
}

}  // namespace kelmarino::cases
