// The run: welcome, prompt, files, banner, the stages in their fixed order, stop.
#include "driver/driver.hpp"

#include <memory>

#include "input/input.hpp"
#include "pile/pile.hpp"
#include "results/results.hpp"

namespace kelmarino {
namespace {

void begin_stage(const char* stage) { fault_context() = FaultContext{stage, 0}; }

// Asks for the base name and runs the analysis on the files it names. The report and the
// post-processing file are closed and checked whether the run ends normally or by a stop.
void run(OutChannel& console, std::FILE* console_in) {
  WELCOME(console);
  write(console, "(/7X,27HPlease enter data filename:/)");
  std::fflush(console.file);
  InChannel keyboard{console_in, "the console input"};
  char base[20];
  line_read(keyboard, "(A20)", {text_target(base, 20)});

  // The data file is opened first, so that a missing one leaves earlier results untouched.
  InChannel data{nullptr, FILE_NAME(base, ".dat")};
  const File data_file = open_file(data.name, "r");
  data.file = data_file.get();
  OutChannel report{nullptr, FILE_NAME(base, ".out")};
  File report_file = open_file(report.name, "w");
  report.file = report_file.get();
  OutChannel pos{nullptr, FILE_NAME(base, ".pos")};
  File pos_file = open_file(pos.name, "w");
  pos.file = pos_file.get();

  const auto model = std::make_unique<Model>();
  RunStop stop{0};
  try {
    run_stages(data, console, report, pos, *model);
  } catch (const RunStop& early) {
    stop = early;
  }
  close_written(report_file, report.name);
  close_written(pos_file, pos.name);
  if (stop.exit_status != 0) throw stop;
}

}  // namespace

std::string FILE_NAME(const char* base, const char* extension) {
  int32_t first = 0;
  int32_t last = 19;
  while (first <= last && base[first] == ' ') ++first;
  while (last >= first && base[last] == ' ') --last;
  return std::string(base + first, static_cast<size_t>(last - first + 1)) + extension;
}

void run_stages(InChannel& data, OutChannel& console, OutChannel& report, OutChannel& pos,
                Model& model) {
  RunValues& run = model.run;
  PileData& piles = model.piles;
  BelowGroundCache cache;
  BANNER(report);

  write(console, "(7X,'*** To read input information ***',/)");
  begin_stage("input");
  READ_INPUT(data, console, run.JCTR, run.INO, run.PNUM, run.SNUM, run.FORCE, run.ZFR, run.ZBL,
             piles);

  write(console, "(/,/,7X,'*** To calculate deformation factors of piles ***')");
  begin_stage("deformation factors");
  BTXY(run.PNUM, run.ZFR, run.ZBL, run.BTX, run.BTY, piles);

  write(console, "(/,/,7X,'*** To calculate axis stiffness of piles ***')");
  begin_stage("axial stiffness");
  BOTAREA(run.PNUM, run.ZFR, run.ZBL, run.ABOT, piles);
  AXIAL(run.PNUM, run.ZFR, run.ZBL, run.ABOT, run.AXK, piles);

  write(console, "(/,/,7X,'*** To calculate lateral stiffness of piles ***')");
  begin_stage("lateral stiffness");
  LATERAL(run.PNUM, run.AXK, run.BTX, run.BTY, piles, cache);

  write(console, "(/,/,7X,'*** To execute entire pile foundation analysis ***    ',/,/)");
  begin_stage("foundation analysis");
  CAP_ANALYSIS(report, run.JCTR, run.INO, run.PNUM, run.SNUM, run.FORCE, run.TOPD, run.KCAP, piles);
  begin_stage("pile results");
  PILE_RESULTS(report, pos, run.PNUM, run.BTX, run.BTY, run.ZBL, run.TOPD, piles, cache);
  fault_context() = FaultContext{};
}

int32_t run_kelmarino(std::FILE* console_in, std::FILE* console_out, std::FILE* errors) {
  OutChannel console{console_out, "the console"};
  const ArithmeticTraps traps;
  fault_context() = FaultContext{};
  int32_t status = 0;
  try {
    try {
      run(console, console_in);
    } catch (const RunStop& stop) {
      status = stop.exit_status;
    }
    write(console, "('Stop - Program terminated.')");
    std::fflush(console_out);
  } catch (const RunError& error) {
    std::fflush(console_out);
    std::fprintf(errors, "%s\n", error.what());
    status = 1;
  }
  fault_context() = FaultContext{};
  return status;
}

}  // namespace kelmarino
