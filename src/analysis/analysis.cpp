// The analysis as a library: reading into a group, the analysis of a group, and the report and
// post-processing file of a group.
#include "analysis/analysis.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "foundation/foundation.hpp"
#include "traps/traps.hpp"

namespace kelmarino {
namespace {

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

InputIssue issue_of(const InputError& error) {
  return {error.file, error.line, error.column, error.what_is_wrong, error.text, error.what()};
}

// The message the reader gave on its console for the two input errors that stop a run.
InputIssue stopped_read(const InChannel& data, const std::string& console) {
  const std::vector<std::string> lines = lines_of(console);
  const std::string message = lines.empty() ? "the reading stopped" : lines.back();
  return {
      data.name, data.line_number,
      0,         message,
      data.line, "in " + data.name + ", line " + std::to_string(data.line_number) + ": " + message};
}

bool every_step_count_positive(const PileData& piles, int32_t PNUM) {
  for (int32_t p = 1; p <= PNUM; ++p) {
    for (int32_t s = 1; s <= piles.NFR(p); ++s) {
      if (piles.NSF(p, s) < 1) return false;
    }
    for (int32_t s = 1; s <= piles.NBL(p); ++s) {
      if (piles.NSG(p, s) < 1) return false;
    }
  }
  return true;
}

// The number of stations of the first PNUM piles: one at each top, one at the end of each step.
size_t station_count(const PileData& piles, int32_t PNUM) {
  size_t count = 0;
  for (int32_t p = 1; p <= PNUM; ++p) {
    count += 1;
    for (int32_t s = 1; s <= piles.NFR(p); ++s)
      count += static_cast<size_t>(std::max(piles.NSF(p, s), 0));
    for (int32_t s = 1; s <= piles.NBL(p); ++s)
      count += static_cast<size_t>(std::max(piles.NSG(p, s), 0));
  }
  return count;
}

// The head stiffness of pile g, from its rows of ESP.
void keep_stiffness(const PileData& piles, int32_t g, PileResult& pile) {
  for (int32_t i = 0; i < 6; ++i) {
    for (int32_t j = 0; j < 6; ++j) pile.K[i][j] = piles.ESP(6 * (g - 1) + i + 1, j + 1);
  }
}

// The units of pile g: the responses of its planes, shared with the cache, and the stations of
// `list` (none without one).
void keep_units(const Model& model, ResponseCache& cache, int32_t g, const StationList* list,
                PileUnits& units) {
  const RunValues& run = model.run;
  units.x = cache.shared_plane(model.piles, run.BTX, g);
  units.y = cache.shared_plane(model.piles, y_factors(run.BTX, run.BTY, model.piles, g), g);
  if (list != nullptr) units.stations.assign(list->at, list->at + list->NSTA);
}

// The pile top and the stations of a pile from its station tables.
void keep_stations(const StationTables& st, PileResult& pile, std::vector<StationRow>& stations) {
  for (int32_t i = 0; i < 6; ++i) {
    pile.DU[i] = st.DU[i];
    pile.FT[i] = st.FT[i];
  }
  pile.KG = st.KG;
  pile.first = stations.size();
  pile.count = static_cast<size_t>(st.NSTA);
  for (int32_t k = 1; k <= st.NSTA; ++k) {
    stations.push_back({st.ZH(k), st.STX(k, 1), st.STY(k, 1), st.STY(k, 2), st.STX(k, 2),
                        st.STX(k, 3), st.STY(k, 3), st.FNZ(k), st.STY(k, 4), st.STX(k, 4),
                        st.PSX(k), st.PSY(k)});
  }
}

}  // namespace

GroupRead parse_group(const std::string& text, const std::string& name) {
  GroupRead read;
  MemoryText warnings, console_text;
  InChannel data = text_channel(text, name);
  data.warnings = warnings.file();
  OutChannel console{console_text.file(), "the console"};
  auto model = std::make_shared<Model>();
  Group group;
  group.name = name;
  RunValues& run = model->run;
  {
    const FaultFlags flags;
    try {
      at_stage("input");
      READ_INPUT(data, console, run.JCTR, run.INO, run.PNUM, run.SNUM, run.FORCE, run.ZFR, run.ZBL,
                 model->piles, group.loads);
      at_stage(nullptr);
      group.model = model;
      group.warnings = lines_of(warnings.text());
      read.group = std::move(group);
    } catch (const InputError& error) {
      read.issue = issue_of(error);
    } catch (const RunError& error) {
      read.issue = InputIssue{name, 0, 0, error.what(), "", error.what()};
    } catch (const RunStop&) {
      read.issue = stopped_read(data, console_text.text());
    }
    fault_context() = FaultContext{};
  }
  return read;
}

GroupRead read_group(const std::string& path) {
  std::string text;
  try {
    if (read_whole_file(path, text)) return parse_group(text, path);
    const std::string message = "run-time error opening " + path + ": " + std::strerror(errno);
    return GroupRead{std::nullopt, InputIssue{path, 0, 0, std::strerror(errno), "", message}};
  } catch (const RunError& error) {
    return GroupRead{std::nullopt, InputIssue{path, 0, 0, error.what(), "", error.what()}};
  }
}

namespace {

// The single-pile stages, each announced on the console as it starts.
void stiffness_stages(OutChannel& console, Model& model, ResponseCache& cache) {
  static const char* const announcements[3] = {
      "(/,/,7X,'*** To calculate deformation factors of piles ***')",
      "(/,/,7X,'*** To calculate axis stiffness of piles ***')",
      "(/,/,7X,'*** To calculate lateral stiffness of piles ***')"};
  pile_stiffness(model, cache, nullptr,
                 [&console](int32_t stage) { write(console, announcements[stage]); });
}

void cap_stage(OutChannel& report, Model& model) {
  RunValues& run = model.run;
  at_stage("foundation analysis");
  CAP_ANALYSIS(report, run.JCTR, run.INO, run.PNUM, run.SNUM, run.FORCE, run.TOPD, run.KCAP,
               model.piles);
}

}  // namespace

void analysis_stages(OutChannel& console, OutChannel& report, OutChannel& pos, Model& model,
                     ResponseCache& cache) {
  RunValues& run = model.run;
  stiffness_stages(console, model, cache);
  write(console, "(/,/,7X,'*** To execute entire pile foundation analysis ***    ',/,/)");
  cap_stage(report, model);
  at_stage("pile results");
  PILE_RESULTS(report, pos, run.PNUM, run.BTX, run.BTY, run.ZBL, run.TOPD, model.piles, cache);
  at_stage(nullptr);
}

namespace {

// KCAP, then, for the full scope, the cap displacements and the pile-top displacements of a
// model whose piles have their head stiffness.
void solve_foundation(Model& model, Scope scope, Result& result) {
  RunValues& run = model.run;
  at_stage("foundation analysis");
  assemble_kcap(run.PNUM, run.SNUM, model.piles, result.KCAP);
  if (scope == Scope::stiffness) return;
  run.KCAP = result.KCAP;
  solve_cap_displacements(run.KCAP, run.FORCE);
  top_displacements(run.PNUM, model.piles, run.FORCE, run.TOPD);
  for (int32_t i = 0; i < 6; ++i) result.cap[i] = run.FORCE(i + 1);
}

// The results of every pile: its head stiffness, then for the full scope its top and, when every
// step count is 1 or more, its stations, or for the stiffness scope its units.
void keep_piles(const Model& model, ResponseCache& cache, Scope scope, Result& result) {
  const RunValues& run = model.run;
  result.piles.resize(static_cast<size_t>(run.PNUM));
  if (scope == Scope::full) result.stations.reserve(station_count(model.piles, run.PNUM));
  at_stage("pile results");
  const auto st = std::make_unique<StationTables>();
  const bool stepped = every_step_count_positive(model.piles, run.PNUM);
  for (int32_t g = 1; g <= run.PNUM; ++g) {
    at_pile(g);
    PileResult& pile = result.piles[static_cast<size_t>(g - 1)];
    keep_stiffness(model.piles, g, pile);
    if (scope == Scope::stiffness) {
      if (stepped) station_list(model.piles, run.ZBL, g, st->stations);
      pile.KG = stepped ? st->stations.KG : 1;
      keep_units(model, cache, g, stepped ? &st->stations : nullptr, pile.units);
    } else {
      if (stepped) {
        compute_stations(g, run.BTX, run.BTY, run.ZBL, run.TOPD, model.piles, cache, *st);
      } else {
        pile_top(g, run.TOPD, model.piles, *st);
        st->KG = 1;
        st->NSTA = 0;
      }
      keep_stations(*st, pile, result.stations);
    }
  }
  at_stage(nullptr);
}

// The values of the stiffness stages that a checker recomputes, pile by pile.
DerivedValues derived_values(const Model& model, const CalculationWidths& widths) {
  const RunValues& run = model.run;
  DerivedValues derived{widths.kx, widths.ky, {}};
  derived.piles.resize(static_cast<size_t>(run.PNUM));
  for (int32_t p = 1; p <= run.PNUM; ++p) {
    PileFactors& pile = derived.piles[static_cast<size_t>(p - 1)];
    pile = {run.ZFR(p), run.ZBL(p), run.ABOT(p), run.AXK(p), {}};
    for (int32_t s = 1; s <= model.piles.NBL(p); ++s) {
      pile.below.push_back({widths.BX(p, s), widths.BY(p, s), run.BTX(p, s), run.BTY(p, s)});
    }
  }
  return derived;
}

// The analysis on a model that it may change: the stages of a full run, whatever JCTR asks for;
// no load leaves the cap at rest.
Analysed analyse_model(Model& model, Scope scope) {
  Analysed analysed;
  ResponseCache cache;
  const FaultFlags flags;
  try {
    model.run.JCTR = 1;
    const auto widths = std::make_unique<CalculationWidths>();
    pile_stiffness(model, cache, widths.get());
    Result result;
    result.derived = derived_values(model, *widths);
    solve_foundation(model, scope, result);
    keep_piles(model, cache, scope, result);
    analysed.result = std::move(result);
  } catch (const RunError& error) {
    const FaultContext& where = fault_context();
    analysed.issue =
        AnalysisIssue{where.stage != nullptr ? where.stage : "analysis", where.pile, error.what()};
  }
  fault_context() = FaultContext{};
  return analysed;
}

}  // namespace

Analysed analyse(const Group& group, Scope scope) {
  const auto model = std::make_unique<Model>(*group.model);
  return analyse_model(*model, scope);
}

Analysed analyse(Group&& group, Scope scope) {
  if (group.model.use_count() != 1) return analyse(static_cast<const Group&>(group), scope);
  // The reader made the model as a working one; no other group holds it now.
  const std::shared_ptr<Model> model = std::const_pointer_cast<Model>(std::move(group.model));
  return analyse_model(*model, scope);
}

namespace {

// The station tables of a pile from its results.
void station_tables(const Result& result, const PileResult& pile, StationTables& st) {
  for (int32_t i = 0; i < 6; ++i) {
    st.DU[i] = pile.DU[i];
    st.FT[i] = pile.FT[i];
  }
  st.KG = pile.KG;
  const std::span<const StationRow> rows = result.stations_of(pile);
  st.NSTA = static_cast<int32_t>(rows.size());
  for (int32_t k = 1; k <= st.NSTA; ++k) {
    const StationRow& row = rows[static_cast<size_t>(k - 1)];
    st.ZH(k) = row[0];
    const int32_t x[4] = {1, 4, 5, 9};  // UX, SY, NX, MY
    const int32_t y[4] = {2, 3, 6, 8};  // UY, SX, NY, MX
    for (int32_t i = 1; i <= 4; ++i) {
      st.STX(k, i) = row[static_cast<size_t>(x[i - 1])];
      st.STY(k, i) = row[static_cast<size_t>(y[i - 1])];
    }
    st.FNZ(k) = row[7];
    st.PSX(k) = row[10];
    st.PSY(k) = row[11];
  }
}

void write_report_and_pos(const Group& group, const Result& result, OutChannel& report,
                          OutChannel& pos) {
  auto piles = std::make_unique<PileData>(group.model->piles);
  const RunValues& run = group.model->run;
  for (int32_t g = 1; g <= run.PNUM; ++g) {
    const PileResult& pile = result.piles[static_cast<size_t>(g - 1)];
    for (int32_t i = 1; i <= 6; ++i) {
      for (int32_t j = 1; j <= 6; ++j) piles->ESP(6 * (g - 1) + i, j) = pile.K[i - 1][j - 1];
    }
  }
  BANNER(report);
  if (run.JCTR == 3) return write_pile_stiffness(report, run.INO, *piles);
  if (run.JCTR == 2) return write_foundation_stiffness(report, result.KCAP);
  Vec<float, 6> U;
  for (int32_t i = 1; i <= 6; ++i) U(i) = result.cap[i - 1];
  write_cap_displacements(report, U);
  write_pos_header(pos, run.PNUM, *piles);
  const auto st = std::make_unique<StationTables>();
  for (int32_t g = 1; g <= run.PNUM; ++g) {
    station_tables(result, result.piles[static_cast<size_t>(g - 1)], *st);
    write_pile_section(report, g, *piles, *st);
    write_pos_records(pos, g, *piles, *st);
  }
}

}  // namespace

std::optional<std::string> write_results(const Group& group, const Result& result,
                                         const std::string& base) {
  try {
    OutputFile report(base + ".out"), pos(base + ".pos");
    write_report_and_pos(group, result, report.channel, pos.channel);
    report.close();
    pos.close();
  } catch (const RunError& error) {
    return error.what();
  }
  return std::nullopt;
}

}  // namespace kelmarino
