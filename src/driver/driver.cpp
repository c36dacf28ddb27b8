// The run: welcome, prompt (or a name from the command line), files, banner, the analysis of the
// data file with its stage messages, the report and post-processing file of its results, stop.
#include "driver/driver.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "analysis/analysis.hpp"
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

// The text of the data file. A missing one is refused with the folder that was searched, and
// `advice`.
std::string read_data(const std::string& name, const std::string& advice) {
  std::string text;
  if (read_whole_file(name, text)) return text;
  const int reason = errno;
  std::error_code error;
  const std::filesystem::file_type kind = std::filesystem::symlink_status(name, error).type();
  if (reason == ENOENT && kind == std::filesystem::file_type::not_found) {
    const std::filesystem::path path = std::filesystem::absolute(name, error);
    const std::string folder =
        error ? "the current folder" : path.parent_path().lexically_normal().string();
    throw RunError("run-time error opening " + name + ": " + std::strerror(ENOENT) +
                   " in the folder " + folder + advice);
  }
  throw RunError("run-time error opening " + name + ": " + opening_failure(name, reason));
}

// The console message of each analysis stage as it starts.
void announce(OutChannel& console, AnalysisStage stage) {
  static const char* const announcements[4] = {
      "(/,/,7X,'*** To calculate deformation factors of piles ***')",
      "(/,/,7X,'*** To calculate axis stiffness of piles ***')",
      "(/,/,7X,'*** To calculate lateral stiffness of piles ***')",
      "(/,/,7X,'*** To execute entire pile foundation analysis ***    ',/,/)"};
  write(console, announcements[static_cast<int32_t>(stage)]);
}

// Writes the warnings of the reader about the data file.
void warn(Console& console, const std::vector<std::string>& warnings) {
  for (const std::string& warning : warnings) std::fprintf(console.errors, "%s\n", warning.c_str());
}

// The analysis of the data file's text into the report and the post-processing file. Returns the
// message of the run-time error that stops it (empty: none) and sets `status`: 0, or 1 after an
// input error of the console.
std::string analyse_into(const std::string& text, const std::string& data_name, Console& console,
                         OutputFile& report, OutputFile& pos, int32_t& status) {
  const GroupRead read = parse_group(text, data_name);
  status = !read ? 1 : 0;
  if (!read) {
    warn(console, read.issue().warnings);
    if (read.issue().console.empty()) return read.issue().full;
    std::fputs(read.issue().console.c_str(), console.input_errors.file);
    return "";
  }
  const Group& group = *read;
  warn(console, group.warnings);
  // The report prints the station values, not the true peaks between them.
  AnalysisOptions options{scope_asked(group),
                          [&console](AnalysisStage stage) { announce(console.messages, stage); },
                          TruePeaks::left_out};
  const Analysed analysed = analyse(group, options);
  if (!analysed) return analysed.issue().full;
  write_results(group, *analysed, report.channel, pos.channel);
  return "";
}

// The analysis of the data file BASE.dat into BASE.out and BASE.pos. The data file is read
// first, so that a missing one leaves earlier results untouched; the report then holds the banner
// whatever follows, and both files are put in place as far as the run went. Returns the exit
// status of a run that goes on to the stop message: 0, or 1 after an input error of the console.
int32_t run_files(const std::string& base, const std::string& advice, Console& console) {
  const std::string data_name = base + ".dat";
  const std::string text = read_data(data_name, advice);
  OutputFile report(base + ".out"), pos(base + ".pos");
  write_banner(report.channel);
  write(console.messages, "(7X,'*** To read input information ***',/)");
  int32_t status = 0;
  const std::string failure = analyse_into(text, data_name, console, report, pos, status);
  close_together({&report, &pos});
  if (!failure.empty()) throw RunError(failure);
  return status;
}

// Asks for the base name and runs the analysis on the files it names. An empty name is refused,
// as on the command line; a name longer than 20 characters is cut, with a warning; a name typed
// with ".dat" whose file is missing is refused with the advice to type it without.
int32_t prompted_run(Console& console, std::FILE* console_in) {
  write_welcome(console.messages);
  write(console.messages, "(/7X,27HPlease enter data filename:/)");
  std::fflush(console.messages.file);
  InChannel keyboard{console_in, "the console input"};
  keyboard.warnings = console.errors;
  char base[20];
  line_read(keyboard, "the base name of the data file", "(A20)", {text_target(base, 20)});
  const TypedName typed = typed_base_name(keyboard.line);
  const std::string& name = typed.name;
  const auto refused = [&keyboard](const std::string& what) {
    return RunError("run-time error in the console input, line " +
                    std::to_string(keyboard.line_number) + ": the base name " + what +
                    "; type the name of the data file without \".dat\"");
  };
  if (typed.cut != std::string::npos) {  // first: the cut may be what leaves no name
    warn_at(keyboard, {keyboard.line_number, static_cast<int32_t>(typed.cut)},
            "the name is longer than 20 characters and is cut to \"" + name +
                "\" (a longer name can be given on the command line: kelmarino NAME)");
  }
  if (const std::string why = base_name_refusal(name); !why.empty()) throw refused(why);
  const std::string advice =
      name.ends_with(".dat") ? "; type the name without \".dat\"" : std::string();
  return run_files(name, advice, console);
}

// The end of a run stopped by a run-time error: the messages so far, then the error's. The exit
// status.
int32_t stopped(Console& console, const std::string& message) {
  std::fflush(console.messages.file);
  std::fflush(console.input_errors.file);
  std::fprintf(console.errors, "%s\n", message.c_str());
  return 1;
}

// The ends of every run: the stop message after the analysis or an input error of the console,
// the message of a run-time error on the error stream. A quiet run sends its stage messages
// nowhere. Returns the exit status.
template <typename Run>
int32_t run_to_its_end(std::FILE* console_out, std::FILE* errors, bool quiet, Run run) {
  Console console{{console_out, "the console"}, {console_out, "the console"}, errors};
  File discarded;
  int32_t status = 0;
  try {
    if (quiet) {
      discarded = open_file("/dev/null", "w");
      console.messages.file = discarded.get();
    }
    status = run(console);
    write(console.messages, "('Stop - Program terminated.')");
    std::string reason;
    if (!flushed_whole(console.messages.file, reason)) {
      throw RunError("run-time error writing the standard output: " + reason);
    }
    check_console(console_out, errors);
  } catch (const RunError& error) {
    status = stopped(console, error.what());
  } catch (const std::bad_alloc&) {
    status = stopped(console, "run-time error: out of memory");
  } catch (const std::exception& error) {
    status = stopped(console, std::string("run-time error: ") + error.what());
  }
  return status;
}

}  // namespace

TypedName typed_base_name(const std::string& line) {
  const size_t first = std::min(line.find_first_not_of(' '), line.size());
  TypedName typed{line.substr(first, 20), std::string::npos};
  if (line.find_first_not_of(' ', first + 20) != std::string::npos) typed.cut = first + 20;
  typed.name.erase(typed.name.find_last_not_of(' ') + 1);
  return typed;
}

int32_t run_kelmarino(std::FILE* console_in, std::FILE* console_out, std::FILE* errors,
                      bool quiet) {
  return run_to_its_end(console_out, errors, quiet,
                        [&](Console& console) { return prompted_run(console, console_in); });
}

int32_t run_kelmarino_on(const std::string& base, std::FILE* console_out, std::FILE* errors,
                         bool quiet) {
  return run_to_its_end(console_out, errors, quiet, [&](Console& console) {
    write_welcome(console.messages);
    return run_files(base, "", console);
  });
}

}  // namespace kelmarino
