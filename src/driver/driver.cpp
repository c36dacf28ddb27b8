// The run: welcome, prompt (or a name from the command line), files, banner, the stages in their
// fixed order, stop.
#include "driver/driver.hpp"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

#include "input/input.hpp"
#include "pile/pile.hpp"
#include "results/results.hpp"

namespace kelmarino {
namespace {

// The console of a run: the stage messages (nowhere in a quiet run) and the input errors of the
// data file, which a quiet run keeps.
struct Console {
  OutChannel messages;
  OutChannel input_errors;
  std::FILE* errors;  // run-time errors and warnings
};

// Opens the data file. A missing one is refused with the folder that was searched, and `advice`.
File open_data(const std::string& name, const std::string& advice) {
  std::error_code error;
  if (!std::filesystem::exists(name, error) && !error) {
    const std::filesystem::path path = std::filesystem::absolute(name, error);
    const std::string folder =
        error ? "the current folder" : path.parent_path().lexically_normal().string();
    throw RunError("run-time error opening " + name + ": " + std::strerror(ENOENT) +
                   " in the folder " + folder + advice);
  }
  return open_file(name, "r");
}

// The analysis of the data file BASE.dat into BASE.out and BASE.pos. The data file is opened
// first, so that a missing one leaves earlier results untouched. The report and the
// post-processing file are closed and checked whether the run ends normally or by a stop.
void run_files(const std::string& base, const std::string& advice, Console& console) {
  InChannel data{nullptr, base + ".dat"};
  const File data_file = open_data(data.name, advice);
  data.file = data_file.get();
  data.warnings = console.errors;
  OutputFile report(base + ".out"), pos(base + ".pos");

  const auto model = std::make_unique<Model>();
  ResponseCache cache;
  RunStop stop{0};
  try {
    run_stages(data, console.messages, console.input_errors, report.channel, pos.channel, *model,
               cache);
  } catch (const RunStop& early) {
    stop = early;
  }
  report.close();
  pos.close();
  if (stop.exit_status != 0) throw stop;
}

// Asks for the base name and runs the analysis on the files it names. An empty name is refused,
// as on the command line; a name longer than 20 characters is cut, with a warning; a name typed
// with ".dat" whose file is missing is refused with the advice to type it without.
void prompted_run(Console& console, std::FILE* console_in) {
  WELCOME(console.messages);
  write(console.messages, "(/7X,27HPlease enter data filename:/)");
  std::fflush(console.messages.file);
  InChannel keyboard{console_in, "the console input"};
  keyboard.warnings = console.errors;
  char base[20];
  line_read(keyboard, "the base name of the data file", "(A20)", {text_target(base, 20)});
  const std::string name = FILE_NAME(base, "");
  if (name.empty()) {
    throw RunError("run-time error in the console input, line " +
                   std::to_string(keyboard.line_number) +
                   ": the base name is empty; type the name of the data file without \".dat\"");
  }
  if (keyboard.line.find_first_not_of(' ', 20) != std::string::npos) {
    warn_at(keyboard, {keyboard.line_number, 20},
            "the name is longer than 20 characters and is cut to \"" + name +
                "\" (a longer name can be given on the command line: kelmarino NAME)");
  }
  const std::string advice =
      name.ends_with(".dat") ? "; type the name without \".dat\"" : std::string();
  run_files(name, advice, console);
}

// The ends of every run: the stop message after the analysis or a stop inside it, the message of
// a run-time error on the error stream. A quiet run sends its stage messages nowhere. Returns the
// exit status.
template <typename Run>
int32_t run_to_its_end(std::FILE* console_out, std::FILE* errors, bool quiet, Run run) {
  Console console{{console_out, "the console"}, {console_out, "the console"}, errors};
  File discarded;
  const ArithmeticTraps traps;
  fault_context() = FaultContext{};
  int32_t status = 0;
  try {
    if (quiet) {
      discarded = open_file("/dev/null", "w");
      console.messages.file = discarded.get();
    }
    try {
      run(console);
    } catch (const RunStop& stop) {
      status = stop.exit_status;
    }
    write(console.messages, "('Stop - Program terminated.')");
    std::string reason;
    if (!flushed_whole(console.messages.file, reason) || !flushed_whole(console_out, reason)) {
      throw RunError("run-time error writing the standard output: " + reason);
    }
  } catch (const RunError& error) {
    std::fflush(console.messages.file);
    std::fflush(console.input_errors.file);
    std::fprintf(console.errors, "%s\n", error.what());
    status = 1;
  }
  fault_context() = FaultContext{};
  return status;
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
  ResponseCache cache;
  run_stages(data, console, console, report, pos, model, cache);
}

void run_stages(InChannel& data, OutChannel& console, OutChannel& input_errors, OutChannel& report,
                OutChannel& pos, Model& model, ResponseCache& cache) {
  RunValues& run = model.run;
  BANNER(report);
  write(console, "(7X,'*** To read input information ***',/)");
  at_stage("input");
  READ_INPUT(data, input_errors, run.JCTR, run.INO, run.PNUM, run.SNUM, run.FORCE, run.ZFR, run.ZBL,
             model.piles);
  analysis_stages(console, report, pos, model, cache);
  fault_context() = FaultContext{};
}

int32_t run_kelmarino(std::FILE* console_in, std::FILE* console_out, std::FILE* errors) {
  return run_kelmarino(console_in, console_out, errors, false);
}

int32_t run_kelmarino(std::FILE* console_in, std::FILE* console_out, std::FILE* errors,
                      bool quiet) {
  return run_to_its_end(console_out, errors, quiet,
                        [&](Console& console) { prompted_run(console, console_in); });
}

int32_t run_kelmarino_on(const std::string& base, std::FILE* console_out, std::FILE* errors,
                         bool quiet) {
  return run_to_its_end(console_out, errors, quiet, [&](Console& console) {
    WELCOME(console.messages);
    run_files(base, "", console);
  });
}

}  // namespace kelmarino
