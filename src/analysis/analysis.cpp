// The analysis as a library: reading into a group, the analysis of a group, and the report and
// post-processing file of a group.
#include "analysis/analysis.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <sstream>
#include <system_error>
#include <thread>

#include "faults/faults.hpp"
#include "foundation/foundation.hpp"

namespace kelmarino {
namespace {

// The reader's warnings, each with the lines under it (the data line and its caret, indented)
// joined to it by line ends.
std::vector<std::string> warnings_of(const std::string& text) {
  std::vector<std::string> warnings;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    if (line[0] == ' ' && !warnings.empty()) {
      warnings.back().append("\n").append(line);
    } else {
      warnings.push_back(line);
    }
  }
  return warnings;
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

// The number of stations of the first PNUM piles.
size_t station_count(const PileData& piles, int32_t PNUM) {
  size_t count = 0;
  for (int32_t p = 1; p <= PNUM; ++p) count += static_cast<size_t>(pile_stations(piles, p).NSTA);
  return count;
}

// The head stiffness of pile g, from its rows of ESP.
void keep_stiffness(const PileData& piles, int32_t g, PileResult& pile) {
  for (int32_t i = 0; i < 6; ++i) {
    for (int32_t j = 0; j < 6; ++j) pile.K[i][j] = piles.ESP(6 * (g - 1) + i + 1, j + 1);
  }
}

// The responses of the two planes of pile g, shared with the cache, without stations.
PileUnits pile_planes(const Model& model, ResponseCache& cache, int32_t g) {
  const RunValues& run = model.run;
  return {cache.plane(model.piles, run.BTX, g),
          cache.plane(model.piles, y_factors(run.BTX, run.BTY, model.piles, g), g),
          {}};
}

// The stations of `list` into a pile's units, shared with the pile before when they are the same.
void keep_stations(const StationList& list, const PileUnits* before, PileUnits& units) {
  const Station* const end = list.at + list.NSTA;
  if (before != nullptr && before->stations &&
      std::equal(list.at, end, before->stations->begin(), before->stations->end())) {
    units.stations = before->stations;
  } else {
    units.stations = std::make_shared<const std::vector<Station>>(list.at, end);
  }
}

}  // namespace

Issue input_issue(const std::string& file, const std::string& message, const std::string& full) {
  Issue issue;
  issue.file = file;
  issue.message = message;
  issue.full = full;
  return issue;
}

Issue input_issue(const InputError& error) {
  Issue issue = input_issue(error.file, error.what_is_wrong, error.what());
  issue.line = error.line;
  issue.column = error.column;
  issue.text = error.text;
  issue.console = error.console;
  return issue;
}

Issue analysis_issue(const std::string& stage, int32_t pile, const std::string& full) {
  Issue issue;
  issue.kind = Issue::Kind::analysis;
  issue.stage = stage.empty() ? "analysis" : stage;
  issue.pile = pile;
  issue.message = full;
  issue.full = full;
  return issue;
}

namespace {

// The model and load points of checked values: the types and simulated piles numbered as in
// their data file when its places are given, else the types in the order of the piles that first
// take them and simulated pile j of type j.
void fill(const GroupValues& g, const GroupPlaces* places, Model& model, LoadPoints& loads) {
  RunValues& run = model.run;
  PileData& piles = model.piles;
  run.JCTR = g.JCTR;
  if (g.JCTR == 1) {
    loads.NACT = static_cast<int32_t>(g.loads.size());
    for (int32_t k = 1; k <= loads.NACT; ++k) {
      const LoadValues& load = g.loads[static_cast<size_t>(k - 1)];
      loads.AXY(k, 1) = load.x;
      loads.AXY(k, 2) = load.y;
      for (int32_t i = 1; i <= 6; ++i) loads.ACT(k, i) = load.act[i - 1];
    }
    reduce_loads(g.loads, run.FORCE);
  } else if (g.JCTR == 3) {
    run.INO = g.INO;
  }
  run.PNUM = static_cast<int32_t>(g.piles.size());
  run.SNUM = static_cast<int32_t>(g.supports.size());
  std::map<int32_t, int32_t> number;  // type index -> its type number
  for (int32_t p = 1; p <= run.PNUM; ++p) {
    const PileValues& pile = g.piles[static_cast<size_t>(p - 1)];
    piles.PXY(p, 1) = pile.x;
    piles.PXY(p, 2) = pile.y;
    piles.PTYPE(p) = number.emplace(pile.type, static_cast<int32_t>(number.size())).first->second;
    if (places != nullptr) piles.PTYPE(p) = places->types[static_cast<size_t>(pile.type)].number;
    const TypeValues& t = g.types[static_cast<size_t>(pile.type)];
    piles.KSH(p) = t.shape;
    piles.KSU(p) = t.tip;
    for (int32_t i = 1; i <= 3; ++i) piles.AGL(p, i) = t.axis[i - 1];
    piles.NFR(p) = static_cast<int32_t>(t.above.size());
    for (int32_t s = 1; s <= piles.NFR(p); ++s) {
      const AboveValues& segment = t.above[static_cast<size_t>(s - 1)];
      piles.HFR(p, s) = segment.length;
      piles.DOF(p, s) = segment.diameter;
      piles.NSF(p, s) = segment.steps;
    }
    piles.NBL(p) = static_cast<int32_t>(t.below.size());
    for (int32_t s = 1; s <= piles.NBL(p); ++s) {
      const BelowValues& segment = t.below[static_cast<size_t>(s - 1)];
      piles.HBL(p, s) = segment.length;
      piles.DOB(p, s) = segment.diameter;
      piles.PMT(p, s) = segment.m;
      piles.PFI(p, s) = segment.friction;
      piles.NSG(p, s) = segment.steps;
    }
    piles.PMB(p) = t.PMB;
    piles.PEH(p) = t.PEH;
    piles.PKE(p) = t.PKE;
  }
  for (int32_t j = 1; j <= run.SNUM; ++j) {
    const SupportValues& support = g.supports[static_cast<size_t>(j - 1)];
    piles.SXY(j, 1) = support.x;
    piles.SXY(j, 2) = support.y;
    piles.STYPE(j) = places != nullptr ? places->supports[static_cast<size_t>(j - 1)] : j;
    for (int32_t i = 1; i <= 6; ++i) {
      for (int32_t c = 1; c <= 6; ++c) {
        piles.ESP(6 * (run.PNUM + j - 1) + i, c) = support.stiffness[6 * (i - 1) + (c - 1)];
      }
    }
  }
  segment_sums(run.PNUM, piles, run.ZFR, run.ZBL);
}

// Runs `make` under the watch of the floating-point flags: an input error or an arithmetic fault
// comes back as its issue.
template <typename Make>
std::optional<Issue> watched(const std::string& name, Make make) {
  std::optional<Issue> issue;
  {
    const FaultFlags flags;
    try {
      at_stage("input");
      make();
      at_stage(nullptr);
    } catch (const InputError& error) {
      issue = input_issue(error);
    } catch (const RunError& error) {
      issue = input_issue(name, error.what(), error.what());
    }
    fault_context() = FaultContext{};
  }
  return issue;
}

// Runs `work` of the analysis under the watch of the floating-point flags: an arithmetic fault
// comes back as its issue, at the stage and pile where it arose.
template <typename Work>
std::optional<Issue> fault_watched(Work work) {
  std::optional<Issue> issue;
  {
    const FaultFlags flags;
    try {
      work();
      at_stage(nullptr);
    } catch (const RunError& error) {
      const FaultContext& where = fault_context();
      issue = analysis_issue(where.stage, where.pile, error.what());
    }
    fault_context() = FaultContext{};
  }
  return issue;
}

// The group that `make` fills (its model, load points and values), made under the watch of the
// floating-point flags.
template <typename Make>
GroupRead made_group(const std::string& name, Make make) {
  auto model = std::make_shared<Model>();
  Group group;
  group.name = name;
  if (auto issue = watched(name, [&] { make(*model, group); })) return *std::move(issue);
  group.model = model;
  return group;
}

}  // namespace

Expected<ParsedFile> parse(std::string text, const std::string& name) {
  ParsedFile file{name, std::move(text), {}, {}, {}};
  MemoryText warnings, console_text;
  InChannel data = text_channel(file.text, name);
  data.warnings = warnings.file();
  OutChannel console{console_text.file(), "the console"};
  std::optional<Issue> issue =
      watched(name, [&] { parse_data(data, console, file.values, file.places); });
  file.warnings = warnings_of(warnings.text());
  if (!issue) return file;
  issue->warnings = std::move(file.warnings);
  return *std::move(issue);
}

FileCheck check(const ParsedFile& file) {
  MemoryText warnings;
  InChannel data = text_channel(file.text, file.name);
  data.warnings = warnings.file();
  FileCheck found;
  std::vector<InputError> refusals;
  // The plan's checks reckon with the coordinates: an overflow there is the last mistake.
  std::optional<Issue> fault =
      watched(file.name, [&] { refusals = check_data(data, file.values, file.places); });
  for (const InputError& error : refusals) found.mistakes.push_back(input_issue(error));
  if (fault) found.mistakes.push_back(*std::move(fault));
  found.warnings = warnings_of(warnings.text());
  return found;
}

GroupRead parse_group(const std::string& text, const std::string& name) {
  Expected<ParsedFile> parsed = parse(text, name);
  if (!parsed) return parsed.issue();
  FileCheck checked = check(*parsed);
  std::vector<std::string>& warnings = parsed->warnings;
  warnings.insert(warnings.end(), checked.warnings.begin(), checked.warnings.end());
  if (!checked.mistakes.empty()) {
    Issue issue = std::move(checked.mistakes.front());
    issue.warnings = std::move(warnings);
    return issue;
  }
  GroupRead read = made_group(name, [&](Model& model, Group& group) {
    group.values = std::move(parsed->values);
    fill(group.values, &parsed->places, model, group.loads);
  });
  if (read) {
    read->warnings = std::move(warnings);
    return read;
  }
  Issue issue = read.issue();
  issue.warnings = std::move(warnings);
  return issue;
}

GroupRead build_group(const GroupValues& values) {
  std::vector<Issue> issues;
  std::optional<Issue> fault = watched(values.name, [&] { issues = check(values); });
  if (!issues.empty()) return std::move(issues.front());
  if (fault) return *std::move(fault);
  return made_group(values.name, [&values](Model& model, Group& group) {
    group.values = values;
    fill(values, nullptr, model, group.loads);
  });
}

GroupRead read_group(const std::string& path) {
  std::string text;
  try {
    if (read_whole_file(path, text)) return parse_group(text, path);
    const std::string message = "run-time error opening " + path + ": " + std::strerror(errno);
    return input_issue(path, std::strerror(errno), message);
  } catch (const RunError& error) {
    return input_issue(path, error.what(), error.what());
  }
}

namespace {

// The head stiffness of every pile, without its top or stations.
void keep_stiffness(const Model& model, Result& result) {
  result.piles.resize(static_cast<size_t>(model.run.PNUM));
  for (int32_t g = 1; g <= model.run.PNUM; ++g) {
    keep_stiffness(model.piles, g, result.piles[static_cast<size_t>(g - 1)]);
  }
}

// The cap displacements, the pile-top displacements and the supports' reactions of a model whose
// KCAP is assembled; the applied FORCE into `applied`.
void solve_foundation(Model& model, Result& result, float (&applied)[6]) {
  RunValues& run = model.run;
  for (int32_t i = 0; i < 6; ++i) applied[i] = run.FORCE(i + 1);
  run.KCAP = result.KCAP;
  solve_cap_displacements(run.KCAP, run.FORCE);
  top_displacements(run.PNUM, model.piles, run.FORCE, run.TOPD);
  for (int32_t i = 0; i < 6; ++i) result.cap[i] = run.FORCE(i + 1);
  result.supports.resize(static_cast<size_t>(run.SNUM));
  for (int32_t j = 1; j <= run.SNUM; ++j) {
    support_reaction(run.PNUM, model.piles, j, run.FORCE,
                     result.supports[static_cast<size_t>(j - 1)].R);
  }
}

// The equilibrium of the cap: the forces on the pile heads and the supports against `applied`.
Equilibrium equilibrium_of(const Model& model, const Result& result, const float (&applied)[6]) {
  std::vector<const float*> forces;
  forces.reserve(result.piles.size() + result.supports.size());
  for (const PileResult& pile : result.piles) forces.push_back(pile.FT);
  for (const SupportResult& support : result.supports) forces.push_back(support.R);
  return cap_equilibrium(cap_points(model.run.PNUM, model.run.SNUM, model.piles), forces, applied);
}

// The results of every pile: its head stiffness and ground-line station, then its top and, when
// every step count is 1 or more, its stations and true peaks (found, or its units kept to find
// them later, as asked); or, for a caller that brings its own loads (AnalysisScope::foundation),
// its units.
void keep_piles(const Model& model, ResponseCache& cache, const AnalysisOptions& options,
                Result& result) {
  const bool units = options.scope == AnalysisScope::foundation;
  const TruePeaks peaks = options.true_peaks;
  const RunValues& run = model.run;
  result.piles.resize(static_cast<size_t>(run.PNUM));
  if (!units) result.stations.reserve(station_count(model.piles, run.PNUM));
  at_stage("pile results");
  const auto list = std::make_unique<StationList>();
  const bool stepped = every_step_count_positive(model.piles, run.PNUM);
  for (int32_t g = 1; g <= run.PNUM; ++g) {
    at_pile(g);
    PileResult& pile = result.piles[static_cast<size_t>(g - 1)];
    const PileUnits* before = g > 1 ? &result.piles[static_cast<size_t>(g - 2)].units : nullptr;
    keep_stiffness(model.piles, g, pile);
    PileUnits planes = pile_planes(model, cache, g);
    if (units) {
      if (stepped) {
        station_list(model.piles, run.ZBL, g, *list);
        keep_stations(*list, before, planes);
      }
      pile.KG = stepped ? list->KG : 1;
      pile.units = std::move(planes);
      continue;
    }
    pile_top(model, g, pile.DU, pile.FT);
    pile.first = result.stations.size();
    if (stepped) {
      compute_stations(model, g, *planes.x, *planes.y, pile.DU, pile.FT, *list, result.stations);
      pile.KG = list->KG;
      if (peaks == TruePeaks::found) {
        pile.peaks = pile_peaks(*planes.x, *planes.y, list->at, pile.DU, pile.FT);
      } else if (peaks == TruePeaks::deferred) {
        keep_stations(*list, before, planes);
        pile.units = std::move(planes);
      }
    }
    pile.count = result.stations.size() - pile.first;
  }
  if (units) return;
  result.resultants.reserve(result.stations.size());
  for (const StationRow& row : result.stations) {
    result.resultants.push_back({resultant(row[column_of(NX)], row[column_of(NY)]),
                                 resultant(row[column_of(MX)], row[column_of(MY)])});
  }
}

// The values of the stiffness stages that a checker recomputes, pile by pile.
DerivedValues derived_values(const Model& model, const CalculationWidths& widths) {
  const RunValues& run = model.run;
  DerivedValues derived{widths.kx, widths.ky, widths.by_positions, widths.row_x, widths.row_y, {}};
  derived.piles.resize(static_cast<size_t>(run.PNUM));
  for (int32_t p = 1; p <= run.PNUM; ++p) {
    PileFactors& pile = derived.piles[static_cast<size_t>(p - 1)];
    pile = {run.ZFR(p), run.ZBL(p), run.ABOT(p), run.AXK(p), widths.kf(p), {}};
    pile.below.reserve(static_cast<size_t>(model.piles.NBL(p)));
    for (int32_t s = 1; s <= model.piles.NBL(p); ++s) {
      pile.below.push_back(
          {widths.BX(p, s), widths.BY(p, s), run.BTX(p, s), run.BTY(p, s), widths.EI(p, s)});
    }
  }
  return derived;
}

// The analysis on a model that it may change, as far as the options ask; no load leaves the cap
// at rest.
Analysed analyse_model(Model& model, const AnalysisOptions& options) {
  Result result;
  ResponseCache cache;
  const auto starting = [&options](AnalysisStage stage) {
    if (options.starting) options.starting(stage);
  };
  std::optional<Issue> issue = fault_watched([&] {
    const auto widths = std::make_unique<CalculationWidths>();
    pile_stiffness(model, cache, widths.get(),
                   [&starting](int32_t stage) { starting(static_cast<AnalysisStage>(stage)); });
    result.derived = derived_values(model, *widths);
    at_stage("foundation analysis");
    starting(AnalysisStage::foundation);
    assemble_kcap(model.run.PNUM, model.run.SNUM, model.piles, result.KCAP);
    if (options.scope == AnalysisScope::piles) {
      keep_stiffness(model, result);
    } else if (options.scope == AnalysisScope::foundation) {
      keep_piles(model, cache, options, result);
    } else {
      float applied[6];
      solve_foundation(model, result, applied);
      keep_piles(model, cache, options, result);
      at_stage("equilibrium of the cap");
      result.equilibrium = equilibrium_of(model, result, applied);
    }
  });
  if (issue) return *std::move(issue);
  return result;
}

}  // namespace

AnalysisScope scope_asked(const Group& group) {
  switch (group.model->run.JCTR) {
    case 3:
      return AnalysisScope::piles;
    case 2:
      return AnalysisScope::foundation;
    default:
      return AnalysisScope::everything;
  }
}

Analysed analyse(const Group& group, const AnalysisOptions& options) {
  const auto model = std::make_unique<Model>(*group.model);
  return analyse_model(*model, options);
}

Analysed analyse(Group&& group, const AnalysisOptions& options) {
  if (group.model.use_count() != 1) return analyse(static_cast<const Group&>(group), options);
  // The group's model was made as a working one; no other group holds it now.
  const std::shared_ptr<Model> model = std::const_pointer_cast<Model>(std::move(group.model));
  return analyse_model(*model, options);
}

std::optional<Issue> find_true_peaks(Result& result) {
  return fault_watched([&result] {
    at_stage("pile results");
    for (size_t p = 0; p < result.piles.size(); ++p) {
      PileResult& pile = result.piles[p];
      if (!pile.units.stations || pile.count == 0) continue;  // none deferred
      at_pile(static_cast<int32_t>(p + 1));
      const PilePeaks peaks =
          pile_peaks(*pile.units.x, *pile.units.y, pile.units.stations->data(), pile.DU, pile.FT);
      check_faults();  // kept only when sound: a fault is found again on the next call
      pile.peaks = peaks;
      pile.units = PileUnits{};
    }
  });
}

namespace {

// Every pile's section of the report and its post-processing records. Two streams are written at
// once: they share only the results they read, and the records are formatted and written by a
// thread of their own beside the report (first, here, when the thread cannot be started). A
// failure of either ends the call, the report's first. One stream given for both takes them pile
// by pile.
void write_piles_and_records(const Result& result, const PileData& piles, OutChannel& report,
                             OutChannel& pos) {
  const auto PNUM = static_cast<int32_t>(result.piles.size());
  auto write_pile = [&](int32_t g) {
    const PileResult& pile = result.piles[static_cast<size_t>(g - 1)];
    write_pile_section(report, g, piles, pile.DU, pile.FT, pile.KG, result.stations_of(pile));
  };
  auto write_records = [&](int32_t g) {
    write_pos_records(pos, g, piles, result.stations_of(result.piles[static_cast<size_t>(g - 1)]));
  };
  if (report.file == pos.file) {
    write_pos_header(pos, PNUM, piles);
    for (int32_t g = 1; g <= PNUM; ++g) {
      write_pile(g);
      write_records(g);
    }
    return;
  }
  std::exception_ptr pos_failure;
  const auto write_all_records = [&] {
    try {
      write_pos_header(pos, PNUM, piles);
      for (int32_t g = 1; g <= PNUM; ++g) write_records(g);
    } catch (...) {
      pos_failure = std::current_exception();
    }
  };
  {
    std::jthread pos_writer;
    try {
      pos_writer = std::jthread(write_all_records);
    } catch (const std::system_error&) {
      write_all_records();
    }
    for (int32_t g = 1; g <= PNUM; ++g) write_pile(g);
  }
  if (pos_failure) std::rethrow_exception(pos_failure);
}

}  // namespace

void write_results(const Group& group, const Result& result, OutChannel& report, OutChannel& pos) {
  auto piles = std::make_unique<PileData>(group.model->piles);
  const RunValues& run = group.model->run;
  for (int32_t g = 1; g <= run.PNUM; ++g) {
    const PileResult& pile = result.piles[static_cast<size_t>(g - 1)];
    for (int32_t i = 1; i <= 6; ++i) {
      for (int32_t j = 1; j <= 6; ++j) piles->ESP(6 * (g - 1) + i, j) = pile.K[i - 1][j - 1];
    }
  }
  if (run.JCTR == 3) return write_pile_stiffness(report, run.INO, *piles);
  if (run.JCTR == 2) return write_foundation_stiffness(report, result.KCAP);
  Vec<float, 6> U;
  for (int32_t i = 1; i <= 6; ++i) U(i) = result.cap[i - 1];
  write_cap_displacements(report, U);
  write_piles_and_records(result, *piles, report, pos);
}

std::optional<std::string> write_results(const Group& group, const Result& result,
                                         const std::string& base) {
  try {
    OutputFile report(base + ".out"), pos(base + ".pos");
    write_banner(report.channel);
    write_results(group, result, report.channel, pos.channel);
    close_together({&report, &pos});
  } catch (const RunError& error) {
    return error.what();
  }
  return std::nullopt;
}

}  // namespace kelmarino
