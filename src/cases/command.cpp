// The command kelmarino-cases: the command line, the reading of the three input files, the
// analysis of every combination, the progress line and the writing of the folder BASE-cases/.
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <span>
#include <stop_token>
#include <system_error>
#include <thread>

#include "cases/cases.hpp"
#include "diagram/method.hpp"
#include "diagram/panels.hpp"
#include "input/input.hpp"
#include "layout/layout.hpp"
#include "output/output.hpp"
#include "version/version.hpp"

namespace kelmarino::cases {
namespace {

const char* const USAGE = "usage: kelmarino-cases [options] [PATH/]BASE[.dat]";

// The end of the help, as the other programs end theirs.
const char* const HELP_END =
    "\nExit status: 0 when the folder is written (or after --help, --version); 1 when an input\n"
    "cannot be read or analysed, or a file cannot be written (the message says why); 2 on a\n"
    "usage error.\n\nManual: docs/manual.md; the load combinations: docs/cases.md.\n";
// The combinations of a piece of heads.csv, formatted by one thread.
constexpr size_t COMBINATIONS_PER_PIECE = 32;

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The whole text of a file; false when there is none (a link to nothing is one given, and refused).
bool read_text(const std::string& path, std::string& text) {
  if (read_whole_file(path, text)) return true;
  const std::string why = missing_input(path, errno);
  if (why.empty()) return false;
  throw RunError("run-time error opening " + path + ": " + why);
}

// The inputs of a run.
struct Inputs {
  TitleBlock block;
  Group group;
  std::vector<LoadCase> cases;
  CombinationLoads combinations;
};

// The message of a data file that cannot be read as a group. The reader stops with a line of its
// own on an input error; the others are run-time errors.
std::string refusal(const Issue& issue) {
  if (issue.full.starts_with("run-time error")) return issue.full;
  return "run-time error: the reader stopped on an input error in " + issue.file + ": " +
         issue.message;
}

// The data file as a group, then the loads and the combinations.
void read_inputs(const std::string& base, Inputs& in) {
  const std::string data_name = base + ".dat";
  std::string text;
  if (!read_whole_file(data_name, text)) {
    throw RunError("run-time error opening " + data_name + ": " +
                   opening_failure(data_name, errno));
  }
  GroupRead read = parse_group(text, data_name);
  if (!read) throw RunError(refusal(read.issue()));
  in.group = std::move(*read);
  in.block = data_title_block(in.block, data_name, text);
  const int32_t JCTR = in.group.model->run.JCTR;
  CaseFile loads{"", base + ".loads.csv"}, combinations{"", base + ".combinations.csv"};
  const bool loads_read = read_text(loads.name, loads.text);
  if (!loads_read && JCTR != 1) {
    throw RunError("run-time error opening " + loads.name + ": " + std::strerror(ENOENT) + " (" +
                   data_name + " has no load case of its own: its JCTR is " + std::to_string(JCTR) +
                   ", not 1)");
  }
  const bool combinations_read = read_text(combinations.name, combinations.text);
  if (loads_read) in.block.inputs.emplace_back(loads.name, sha256_hex(loads.text));
  if (combinations_read) {
    in.block.inputs.emplace_back(combinations.name, sha256_hex(combinations.text));
  }
  GivenCases given = given_cases(
      in.group, loads_read ? LoadsGiven(std::move(loads)) : std::vector<LoadCase>{},
      combinations_read ? CombinationsGiven(std::move(combinations)) : std::monostate{});
  in.cases = std::move(given.cases);
  in.combinations = std::move(given.combinations);
  // The reader's warnings come first, as kelmarino gives them.
  std::vector<std::string>& warnings = in.combinations.warnings;
  warnings.insert(warnings.begin(), in.group.warnings.begin(), in.group.warnings.end());
}

// The names the outputs give, with forces in `force`; the names of the combinations are taken from
// the inputs.
CaseNames case_names(const std::string& base, Inputs& in, ForceUnit force) {
  CaseNames names;
  names.force = force;
  names.title = std::filesystem::path(base).filename().string();
  names.cases = in.cases;
  names.combinations = std::move(in.combinations.names);
  names.factors = std::move(in.combinations.factors);
  names.warnings = std::move(in.combinations.warnings);
  names.block = in.block;
  return names;
}

// The progress line: shown on a terminal once a run has taken about a second.
class Progress {
 public:
  Progress(std::FILE* out, Clock::time_point start)
      : out_(out), start_(start), shown_(isatty(fileno(out)) != 0) {}
  // The phase of the run; with a total, the count of the items done is shown after the text.
  void phase(const std::string& text, int32_t total = 0) {
    const std::lock_guard<std::mutex> lock(mutex_);
    text_ = text;
    count_ = 0;
    total_ = total;
  }
  std::atomic<int32_t>& count() { return count_; }
  // Shows the line every quarter of a second until a stop is asked.
  void run(std::stop_token stop) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop.stop_requested()) {
      wake_.wait_for(lock, stop, std::chrono::milliseconds(250), [] { return false; });
      if (stop.stop_requested() || !shown_ || seconds_since(start_) < 1.0) continue;
      winsize terminal{};
      const bool sized = ioctl(fileno(out_), TIOCGWINSZ, &terminal) == 0 && terminal.ws_col > 1;
      const std::string line =
          progress_line(text_, count_.load(), total_, sized ? terminal.ws_col : 80);
      widest_ = std::max(widest_, static_cast<int>(line.size()));  // cleared by the next line
      std::fprintf(out_, "\r%-*s", widest_, line.c_str());
      std::fflush(out_);
    }
    if (widest_ > 0) std::fprintf(out_, "\r%*s\r", widest_, "");
  }

 private:
  std::FILE* out_;
  Clock::time_point start_;
  bool shown_;
  std::mutex mutex_;
  std::condition_variable_any wake_;
  std::string text_;
  std::atomic<int32_t> count_{0};
  int32_t total_ = 0;
  int widest_ = 0;  // of the lines shown
};

// The start of a run and the seconds from it to the end of each of its parts.
struct Timings {
  Clock::time_point start = Clock::now();
  double read = 0.0;
  double combinations = 0.0;  // the analysis and the files of every combination
  double written = 0.0;
};

// Texts whose memory serves again: a part's text, once written, is the text of a later part, so
// that the tens of megabytes of the per-combination files are not each drawn from fresh memory.
class SpareTexts {
 public:
  std::string take() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (spare_.empty()) return {};
    std::string text = std::move(spare_.back());
    spare_.pop_back();
    return text;
  }
  void give(std::string&& text) {
    text.clear();
    const std::lock_guard<std::mutex> lock(mutex_);
    spare_.push_back(std::move(text));
  }

 private:
  std::vector<std::string> spare_;
  std::mutex mutex_;
};

// Parts of a file formatted by several threads at once: a part is written as soon as it and
// every part before it are there, so that only the parts waiting for an earlier one are held.
class PartsInOrder {
 public:
  PartsInOrder(File& file, const std::string& name, size_t count, SpareTexts& spare)
      : file_(file), name_(name), parts_(count), spare_(spare) {}
  void put(size_t i, std::string text) {
    const std::lock_guard<std::mutex> lock(mutex_);
    parts_[i] = std::move(text);
    ready_.insert(i);
    for (; ready_.count(next_) != 0; ++next_) {
      write_text_to(file_, name_, parts_[next_]);
      spare_.give(std::move(parts_[next_]));
    }
  }

 private:
  File& file_;
  const std::string& name_;
  std::vector<std::string> parts_;
  std::set<size_t> ready_;
  size_t next_ = 0;
  std::mutex mutex_;
  SpareTexts& spare_;
};

// A file of the folder written as the combinations are done.
struct Stream {
  std::string name;
  File file;
};

// The analysis of every combination, with arithmetic faults found from the flags, and the folder
// of results.
// The per-combination files (cap.csv, heads.csv, equilibrium.csv, supports.csv) are written part by
// part as the combinations are done; the envelopes, the summary, the page and the diagrams then
// follow, each document a job of its own, the threads sharing the jobs.
void analyse_and_write(Inputs& in, const std::string& base, ForceUnit force, NewFolder& folder,
                       int32_t threads, std::FILE* errors, Progress& progress, Timings& timings) {
  const FaultFlags flags;
  progress.phase("forming the stiffness of the piles");
  const Expected<CombinationAnalysis> analysed = analyse_combinations(
      in.group, in.cases, in.combinations, [&] { progress.phase("solving the combinations"); });
  if (!analysed) throw RunError(analysed.issue().full);
  const Result& result = analysed->result;
  const std::vector<CapDisplacements>& applied = in.combinations.loads;
  const std::vector<CapDisplacements>& caps = analysed->caps;
  const CaseNames names = case_names(base, in, force);

  Stream heads{folder.shown("heads.csv"), folder.create("heads.csv")};
  Stream cap{folder.shown("cap.csv"), folder.create("cap.csv")};
  Stream equilibrium{folder.shown("equilibrium.csv"), folder.create("equilibrium.csv")};
  const int32_t PNUM = in.group.model->run.PNUM;
  const int32_t SNUM = in.group.model->run.SNUM;
  std::optional<Stream> supports;
  if (SNUM > 0) supports.emplace(folder.shown("supports.csv"), folder.create("supports.csv"));
  CapBalance balance(in.group);
  SpareTexts spare;
  auto write_heads = [&](size_t first, size_t last, const std::vector<HeadResult>& part) {
    write_text_to(cap.file, cap.name, cap_csv(names, caps, first, last));
    balance.take(applied, caps, part, names.combinations, first, last);
    write_text_to(equilibrium.file, equilibrium.name,
                  equilibrium_csv(names, balance.balance, first, last));
    if (supports) {
      write_text_to(supports->file, supports->name,
                    supports_csv(names, SNUM, balance.supports, first, last));
    }
    const size_t pieces = (last - first + COMBINATIONS_PER_PIECE - 1) / COMBINATIONS_PER_PIECE;
    PartsInOrder in_order(heads.file, heads.name, pieces, spare);
    parallel_for(pieces, threads, [&](size_t i, int32_t) {
      const size_t from = first + i * COMBINATIONS_PER_PIECE;
      const size_t to = std::min(last, from + COMBINATIONS_PER_PIECE);
      const std::span<const HeadResult> tops(part.data() + (from - first) * PNUM,
                                             (to - from) * PNUM);
      in_order.put(i, heads_csv(names, PNUM, tops, from, to, spare.take()));
    });
  };
  progress.phase("pile results and files, combinations done:", static_cast<int32_t>(caps.size()));
  CaseResults results;
  envelope_piles(analysed->marches, caps, names.combinations, threads, progress.count(), results,
                 write_heads);
  close_written(heads.file, heads.name);
  close_written(cap.file, cap.name);
  close_written(equilibrium.file, equilibrium.name);
  if (supports) close_written(supports->file, supports->name);
  timings.combinations = seconds_since(timings.start);
  if (const auto warning = balance_warning(names, balance)) {
    std::fprintf(errors, "kelmarino-cases: %s\n", warning->c_str());
  }

  const std::vector<PileEnvelope>& piles = results.piles;
  const std::string method = method_html(
      in.group, result, names.force,
      {"Load combinations: the load of a combination at the cap centre is the sum over its load "
       "cases of every load point's six components times the case's factor, moved to the cap "
       "centre. The analysis is linear: the stiffness is formed once and each combination's cap "
       "displacements solved with it.",
       "Envelopes: per pile and station the largest and the smallest value of each quantity over "
       "the combinations; on equal values the first combination in file order governs."});
  std::vector<std::function<void()>> jobs;
  auto document = [&](const std::string& name, std::function<std::string()> text) {
    return [&folder, name, text] { folder.write(name, text()); };
  };
  jobs.push_back(document("stations.csv", [&] { return stations_csv(piles, force); }));
  jobs.push_back(document("envelope.csv", [&] { return csv_text(envelope_table(names, piles)); }));
  jobs.push_back(document("summary.txt", [&] { return summary_text(names, piles); }));
  jobs.push_back(document("design-sets.csv",
                          [&] { return csv_text(design_sets_table(names, piles, false)); }));
  jobs.push_back(document("peaks.csv", [&] { return csv_text(peaks_table(names, piles, false)); }));
  jobs.push_back([&] {
    Stream page{folder.shown("index.html"), folder.create("index.html")};
    const PageParts parts = index_html(in.group, names, piles, balance, method);
    const CapLevels levels = cap_noise_levels(caps);
    write_text_to(page.file, page.name, parts.before);
    const std::vector<size_t> column = factor_column_of(names);
    for (size_t first = 0; first < names.factors.size(); first += COMBINATIONS_PER_PART) {
      const size_t last = std::min(names.factors.size(), first + COMBINATIONS_PER_PART);
      write_text_to(page.file, page.name, factor_rows_html(names, column, first, last));
    }
    write_text_to(page.file, page.name, parts.middle);
    for (size_t first = 0; first < caps.size(); first += COMBINATIONS_PER_PART) {
      const size_t last = std::min(caps.size(), first + COMBINATIONS_PER_PART);
      write_text_to(page.file, page.name, cap_rows_html(names, caps, levels, first, last));
    }
    write_text_to(page.file, page.name, parts.after);
    close_written(page.file, page.name);
  });
  for (const PileEnvelope& pile : piles) {
    jobs.push_back(document(pile_file_name(pile.g), [&] { return envelope_svg(pile, names); }));
  }
  progress.phase("writing " + folder.shown("") + ", documents done:",
                 static_cast<int32_t>(jobs.size()));
  parallel_for(jobs.size(), threads, [&](size_t j, int32_t) {
    jobs[j]();
    ++progress.count();
  });
}

void print_stats(std::FILE* out, const Timings& t) {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::fprintf(out,
               "kelmarino-cases: %.3f s (reading %.3f s, analysis and the files of every "
               "combination %.3f s, the other documents %.3f s), peak memory %.1f MB\n",
               t.written, t.read, t.combinations - t.read, t.written - t.combinations,
               static_cast<double>(usage.ru_maxrss) / 1024.0);
}

// The whole run on one base. The line naming the folder (and the statistics when asked) is
// written on `out`, and must reach it, before the folder is put in place.
void run(const std::string& base, const TitleBlock& given, ForceUnit force, int32_t threads,
         bool stats, std::FILE* out, std::FILE* errors, Timings& timings) {
  const Clock::time_point start = timings.start;
  Progress progress(out, start);
  std::jthread shown;
  try {
    shown = std::jthread([&](std::stop_token stop) { progress.run(stop); });
  } catch (const std::system_error& error) {
    throw RunError(std::string("run-time error: cannot start a thread: ") +
                   std::strerror(error.code().value()));
  }
  Inputs in;
  in.block = given;
  progress.phase("reading the input");
  read_inputs(base, in);
  for (const std::string& warning : in.combinations.warnings) {
    std::fprintf(errors, "%s\n", warning.c_str());
  }
  timings.read = seconds_since(start);
  const std::string target = base + "-cases";
  NewFolder folder(target, {base + ".dat", base + ".loads.csv", base + ".combinations.csv"});
  analyse_and_write(in, base, force, folder, threads, errors, progress, timings);
  timings.written = seconds_since(start);
  shown.request_stop();
  if (shown.joinable()) shown.join();  // the progress line is cleared first
  check_console(out, errors);          // no line names a folder that a lost warning stops
  std::fprintf(out, "kelmarino-cases: wrote %s/\n", target.c_str());
  if (stats) print_stats(out, timings);
  check_console(out, errors);
  const std::string left = folder.commit();
  if (!left.empty()) std::fprintf(errors, "kelmarino-cases: %s\n", left.c_str());
}

}  // namespace

std::string progress_line(std::string_view text, int32_t done, int32_t total, size_t columns) {
  const std::string count =
      total > 0 ? " " + std::to_string(done) + " of " + std::to_string(total) : "";
  std::string line = "kelmarino-cases: ";
  const size_t room = columns > 1 ? columns - 1 : 0;
  const size_t left = room > line.size() + count.size() ? room - line.size() - count.size() : 0;
  if (text.size() > left) {
    size_t end = left;  // a character the cut would split is left out whole
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text = text.substr(0, end);
  }
  line.append(text).append(count);
  if (line.size() > room) line.resize(room);  // a terminal too narrow even for the count
  return line;
}

int32_t run_cases_command(int argc, const char* const* argv, std::FILE* out, std::FILE* errors) {
  CLI::App app(
      "kelmarino-cases: the pile group of BASE.dat under every load combination of "
      "BASE.loads.csv and BASE.combinations.csv, with the envelopes of every pile, written into "
      "BASE-cases/.",
      "kelmarino-cases");
  std::string argument;
  int32_t threads = 2;
  bool stats = false;
  app.add_option("BASE", argument, "the data file BASE.dat, named with or without .dat")
      ->required();
  app.add_option("--threads", threads,
                 "threads of the analysis, 2 unless given (the results do not depend on it)")
      ->check(
          [](const std::string& count) {
            const bool whole = !count.empty() && count.size() <= 2 &&
                               count.find_first_not_of("0123456789") == std::string::npos;
            return whole && std::stoi(count) >= 1 && std::stoi(count) <= 64
                       ? std::string()
                       : "a count of threads from 1 to 64, not \"" + count + "\"";
          },
          "1..64");
  app.add_flag("--stats", stats, "print the run time and the peak memory");
  std::string units = "t";
  app.add_option("--units", units,
                 "the unit of force of the page, the diagrams, the summary and the CSV files: t "
                 "(the default) or kN, every force, moment and stress times 9.80665 (stresses in "
                 "kPa)")
      ->check(CLI::IsMember({"t", "kN"}));
  app.set_version_flag("--version", std::string("kelmarino-cases ") + VERSION);
  TitleBlock given;
  std::string date;
  app.add_option("--date", date,
                 "the date and time of the run in the title block (default: SOURCE_DATE_EPOCH "
                 "when set, else the clock, in UTC)")
      ->check(title_text_refusal);
  app.add_option("--project", given.project, "the project, in the title block")
      ->check(title_text_refusal);
  app.add_option("--job", given.job, "the job, in the title block")->check(title_text_refusal);
  app.add_option("--engineer", given.engineer, "the engineer, in the title block")
      ->check(title_text_refusal);
  app.add_option("--checker", given.checker, "the checker, in the title block")
      ->check(title_text_refusal);
  app.add_option("--revision", given.revision, "the revision, in the title block")
      ->check(title_text_refusal);
  try {
    app.parse(argc, argv);
    const std::string why = base_name_refusal(data_base(argument));
    if (!why.empty()) throw CLI::ParseError("the base name " + why, 2);
  } catch (const CLI::CallForHelp&) {
    std::fprintf(out, "%s%s\n%s", app.help().c_str(), USAGE, HELP_END);
    return standard_output_status(out, errors, "");
  } catch (const CLI::CallForVersion& version) {
    std::fprintf(out, "%s\n", version.what());
    return standard_output_status(out, errors, "");
  } catch (const CLI::ParseError& error) {
    std::fprintf(errors, "kelmarino-cases: %s\n%s\n",
                 usage_error("kelmarino-cases", app.remaining(), error.what()).c_str(), USAGE);
    return 2;
  }
  auto failed = [&](const std::string& message) {
    std::fflush(out);
    std::fprintf(errors, "%s\n", message.c_str());
    return 1;
  };
  try {
    Timings timings;
    given.program = std::string("kelmarino-cases ") + VERSION;
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    given.run_time = run_time_text(
        date, epoch ? std::optional<std::string_view>(epoch) : std::nullopt, std::time(nullptr));
    const ForceUnit force = units == "kN" ? ForceUnit::kN : ForceUnit::t;
    run(data_base(argument), given, force, threads, stats, out, errors, timings);
    return 0;
  } catch (const RunError& error) {
    return failed(error.what());
  } catch (const std::bad_alloc&) {
    return failed("run-time error: out of memory");
  } catch (const std::exception& error) {
    return failed(std::string("run-time error: ") + error.what());
  }
}

}  // namespace kelmarino::cases
