// The run: welcome, prompt, files, banner, the stages in their fixed order, stop.
#include "driver/driver.hpp"

#include <cerrno>
#include <cstring>
#include <memory>

#include "input/input.hpp"
#include "pile/pile.hpp"
#include "results/results.hpp"

namespace kelmarino {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File open_file(const std::string& name, const char* mode) {
  File file(std::fopen(name.c_str(), mode));
  if (!file) {
    throw RunError("run-time error opening " + name + ": " + std::strerror(errno));
  }
  return file;
}

void begin_stage(const char* stage) { fault_context() = FaultContext{stage, 0}; }

// Asks for the base name and runs the analysis on the files it names.
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
  const File report_file = open_file(report.name, "w");
  report.file = report_file.get();
  OutChannel pos{nullptr, FILE_NAME(base, ".pos")};
  const File pos_file = open_file(pos.name, "w");
  pos.file = pos_file.get();

  const auto model = std::make_unique<Model>();
  RUN_STAGES(data, console, report, pos, *model);
}

}  // namespace

std::string FILE_NAME(const char* base, const char* extension) {
  int32_t first = 0;
  int32_t last = 19;
  while (first <= last && base[first] == ' ') ++first;
  while (last >= first && base[last] == ' ') --last;
  return std::string(base + first, static_cast<size_t>(last - first + 1)) + extension;
}

void RUN_STAGES(InChannel& data, OutChannel& console, OutChannel& report, OutChannel& pos,
                Model& model) {
  RunValues& run = model.run;
  PileData& piles = model.piles;
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
  LATERAL(run.PNUM, run.AXK, run.BTX, run.BTY, piles);

  write(console, "(/,/,7X,'*** To execute entire pile foundation analysis ***    ',/,/)");
  begin_stage("foundation analysis");
  CAP_ANALYSIS(report, run.JCTR, run.INO, run.PNUM, run.SNUM, run.FORCE, run.TOPD, run.KCAP,
               piles);
  begin_stage("pile results");
  PILE_RESULTS(report, pos, run.PNUM, run.BTX, run.BTY, run.ZBL, run.TOPD, piles);
  fault_context() = FaultContext{};
}

int32_t KELMARINO(std::FILE* console_in, std::FILE* console_out, std::FILE* errors) {
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
