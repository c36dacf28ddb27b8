// The command kelmarino-cases: the command line, the reading of the three input files, the
// analysis of every combination, the progress line and the writing of the folder BASE-cases/.
#include <sys/resource.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "cases/cases.hpp"
#include "input/input.hpp"
#include "layout/layout.hpp"

namespace kelmarino::cases {
namespace {

const char* const USAGE = "usage: kelmarino-cases [PATH/]BASE[.dat]";
// The combinations of a part of heads.csv, formatted by one thread.
constexpr size_t COMBINATIONS_PER_PART = 50;

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The whole text of a file; false when it does not exist.
bool read_text(const std::string& path, std::string& text) {
  if (read_whole_file(path, text)) return true;
  if (errno == ENOENT) return false;
  throw RunError("run-time error opening " + path + ": " + std::strerror(errno));
}

// The inputs of a run.
struct Inputs {
  std::unique_ptr<GroupData> group = std::make_unique<GroupData>();
  std::vector<LoadCase> cases;
  std::vector<Combination> combinations;
};

// The data file through the project's reader, then the loads and the combinations.
void read_inputs(const std::string& base, Inputs& in) {
  const std::string data_name = base + ".dat";
  open_file(data_name, "r");  // the message of a missing data file, as kelmarino words it
  try {
    read_group(data_name, *in.group);
  } catch (const GroupError& error) {
    const std::string what = error.what();
    throw RunError(what.starts_with("run-time error") ? what : "run-time error: " + what);
  }
  const int32_t JCTR = in.group->model.run.JCTR;
  if (JCTR == 1) {
    LoadCase data{DATA_CASE, {}};
    for (const LoadPoint& point : in.group->loads) {
      PointLoad p{point.x, point.y, {}};
      for (int32_t i = 0; i < 6; ++i) p.act[i] = point.act[i];
      data.points.push_back(p);
    }
    in.cases.push_back(data);
  }
  const std::string loads_name = base + ".loads.csv";
  std::string text;
  if (read_text(loads_name, text)) {
    for (LoadCase& c : read_load_cases(text, loads_name, JCTR == 1 ? DATA_CASE : "")) {
      in.cases.push_back(std::move(c));
    }
  } else if (JCTR != 1) {
    throw RunError("run-time error opening " + loads_name + ": " + std::strerror(ENOENT) + " (" +
                   data_name + " has no load case of its own: its JCTR is " + std::to_string(JCTR) +
                   ", not 1)");
  }
  const std::string combinations_name = base + ".combinations.csv";
  if (read_text(combinations_name, text)) {
    in.combinations = read_combinations(text, combinations_name, in.cases);
  } else {
    in.combinations = single_case_combinations(in.cases);
  }
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
  // Shows the line every quarter of a second until `stop`.
  void run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopped_) {
      wake_.wait_for(lock, std::chrono::milliseconds(250));
      if (stopped_ || !shown_ || seconds_since(start_) < 1.0) continue;
      std::string line = "\rkelmarino-cases: " + text_;
      if (total_ > 0) line += " " + std::to_string(count_.load()) + " of " + std::to_string(total_);
      std::fprintf(out_, "%-70s", line.c_str());
      std::fflush(out_);
      written_ = true;
    }
    if (written_) std::fprintf(out_, "\r%70s\r", "");
  }
  void stop() {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
    wake_.notify_all();
  }

 private:
  std::FILE* out_;
  Clock::time_point start_;
  bool shown_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::string text_;
  std::atomic<int32_t> count_{0};
  int32_t total_ = 0;
  bool stopped_ = false;
  bool written_ = false;
};

// The analysis of every combination, with arithmetic faults trapped.
void analyse(Inputs& in, int32_t threads, Progress& progress, std::vector<CapDisplacements>& caps,
             CaseResults& results) {
  const ArithmeticTraps traps;
  Model& model = in.group->model;
  ResponseCache cache;
  progress.phase("forming the stiffness of the piles");
  form_stiffness(model, cache);
  progress.phase("solving the combinations");
  caps = solve_combinations(model, in.cases, in.combinations);
  progress.phase("forming the responses of the piles");
  std::vector<PileMarch> marches(static_cast<size_t>(model.run.PNUM));
  for (int32_t g = 1; g <= model.run.PNUM; ++g) {
    fault_context() = FaultContext{"pile results", g};
    prepare_march(model, g, cache, marches[static_cast<size_t>(g - 1)]);
  }
  fault_context() = FaultContext{};
  progress.phase("pile results, piles done:", model.run.PNUM);
  envelope_piles(marches, caps, in.combinations, threads, progress.count(), results);
}

void write_parts(File& file, const std::string& path, const std::vector<std::string>& parts) {
  for (const std::string& text : parts) {
    if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size()) {
      throw RunError("run-time error writing " + path + ": " + std::strerror(errno));
    }
  }
}

// A document written whole into a new file (one of an earlier run removed first).
void write_document(const std::string& path, const std::vector<std::string>& parts) {
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
  File file = open_file(path, "wb");
  write_parts(file, path, parts);
  close_written(file, path);
}

// Runs the jobs on `threads` threads, each taking the next job not yet taken.
void run_jobs(const std::vector<std::function<void()>>& jobs, int32_t threads) {
  std::atomic<size_t> next{0};
  std::exception_ptr failure;
  std::mutex mutex;
  auto work = [&] {
    for (size_t j = next++; j < jobs.size(); j = next++) {
      try {
        jobs[j]();
      } catch (...) {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!failure) failure = std::current_exception();
      }
    }
  };
  std::vector<std::thread> helpers;
  for (int32_t t = 1; t < threads; ++t) helpers.emplace_back(work);
  work();
  for (std::thread& helper : helpers) helper.join();
  if (failure) std::rethrow_exception(failure);
}

// Removes the pile diagrams of an earlier run with more piles.
void clear_old_diagrams(const std::string& folder, int32_t PNUM) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with("pile-") || !name.ends_with(".svg")) continue;
    const std::string number = name.substr(5, name.size() - 9);
    const bool numbered = !number.empty() && number.size() <= 9 &&
                          number.find_first_not_of("0123456789") == std::string::npos;
    if (numbered && std::stoi(number) > PNUM) std::filesystem::remove(entry.path(), error);
  }
}

// A file written in parts that are formatted in any order: a part is written as soon as it and
// every part before it are there, so that only the parts waiting for an earlier one are held.
class PartsInOrder {
 public:
  PartsInOrder(const std::string& path, size_t count) : path_(path), parts_(count) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);  // cheaper than truncating the file of an earlier run
    file_ = open_file(path, "wb");
  }
  void put(size_t i, std::string text) {
    const std::lock_guard<std::mutex> lock(mutex_);
    parts_[i] = std::move(text);
    ready_.insert(i);
    for (; ready_.count(next_) != 0; ++next_) {
      write_parts(file_, path_, {parts_[next_]});
      std::string().swap(parts_[next_]);  // frees the text (assigning an empty one may not)
    }
    if (next_ == parts_.size()) close_written(file_, path_);
  }

 private:
  std::string path_;
  std::vector<std::string> parts_;
  std::set<size_t> ready_;
  size_t next_ = 0;
  File file_;
  std::mutex mutex_;
};

// The folder of results. Each document is formatted and written by jobs of its own, the threads
// sharing the jobs: heads.csv, the largest file, in parts of COMBINATIONS_PER_PART combinations
// first, then the others. A file of an earlier run is removed before its new one is written.
void write_results(const std::string& folder, const CaseNames& names, int32_t threads,
                   const std::vector<CapDisplacements>& caps, const CaseResults& results) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) throw RunError("run-time error making the folder " + folder + ": " + error.message());
  const std::vector<PileEnvelope>& piles = results.piles;
  const int32_t PNUM = static_cast<int32_t>(piles.size());
  const size_t count = names.combinations.size();
  PartsInOrder heads(folder + "/heads.csv",
                     (count + COMBINATIONS_PER_PART - 1) / COMBINATIONS_PER_PART);
  std::vector<std::function<void()>> jobs;
  for (size_t first = 0; first < count; first += COMBINATIONS_PER_PART) {
    jobs.push_back([&, first] {
      const size_t last = std::min(count, first + COMBINATIONS_PER_PART);
      heads.put(first / COMBINATIONS_PER_PART, heads_csv(names, PNUM, results.heads, first, last));
    });
  }
  auto document = [&](const std::string& name, std::function<std::string()> text) {
    return [&folder, name, text] { write_document(folder + "/" + name, {text()}); };
  };
  jobs.push_back([&] { clear_old_diagrams(folder, PNUM); });
  jobs.push_back(document("stations.csv", [&] { return stations_csv(piles); }));
  jobs.push_back(document("cap.csv", [&] { return cap_csv(names, caps); }));
  jobs.push_back(document("envelope.csv", [&] { return csv_text(envelope_table(names, piles)); }));
  jobs.push_back(document("summary.txt", [&] { return summary_text(names, piles); }));
  jobs.push_back(document("index.html", [&] { return index_html(names, caps, piles); }));
  for (const PileEnvelope& pile : piles) {
    jobs.push_back(document(envelope_file_name(pile.g), [&] { return envelope_svg(pile, names); }));
  }
  run_jobs(jobs, threads);
}

CaseNames case_names(const std::string& base, const Inputs& in) {
  CaseNames names;
  names.title = std::filesystem::path(base).filename().string();
  for (const LoadCase& c : in.cases) names.cases.push_back(c.name);
  for (const Combination& c : in.combinations) names.combinations.push_back(c.name);
  return names;
}

// The seconds from the start of a run to the end of each of its parts.
struct Timings {
  double read = 0.0;
  double analysis = 0.0;
  double written = 0.0;
};

void print_stats(std::FILE* out, const Timings& t) {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::fprintf(out,
               "kelmarino-cases: %.3f s (reading %.3f s, analysis %.3f s, writing %.3f s), "
               "peak memory %.1f MB\n",
               t.written, t.read, t.analysis - t.read, t.written - t.analysis,
               static_cast<double>(usage.ru_maxrss) / 1024.0);
}

// The whole run on one base; returns the folder written.
std::string run(const std::string& base, int32_t threads, std::FILE* out, Timings& timings) {
  const Clock::time_point start = Clock::now();
  Progress progress(out, start);
  std::thread shown([&] { progress.run(); });
  struct StopProgress {
    Progress& progress;
    std::thread& shown;
    ~StopProgress() {
      progress.stop();
      shown.join();
    }
  } stop_progress{progress, shown};

  Inputs in;
  progress.phase("reading the input");
  read_inputs(base, in);
  timings.read = seconds_since(start);
  std::vector<CapDisplacements> caps;
  CaseResults results;
  analyse(in, threads, progress, caps, results);
  timings.analysis = seconds_since(start);
  const CaseNames names = case_names(base, in);
  const std::string folder = base + "-cases";
  progress.phase("writing " + folder);
  write_results(folder, names, threads, caps, results);
  timings.written = seconds_since(start);
  return folder;
}

}  // namespace

int32_t run_cases_command(int argc, const char* const* argv, std::FILE* out, std::FILE* errors) {
  CLI::App app(
      "kelmarino-cases: the pile group of BASE.dat under every load combination of "
      "BASE.loads.csv and BASE.combinations.csv, with the envelopes of every pile, written into "
      "BASE-cases/.",
      "kelmarino-cases");
  std::string argument;
  int32_t threads = 2;
  bool stats = false;
  app.add_option("BASE", argument, "the data file BASE.dat, named with or without .dat");
  app.add_option("--threads", threads, "threads of the analysis (the results do not depend on it)")
      ->check(CLI::Range(1, 64));
  app.add_flag("--stats", stats, "print the run time and the peak memory");
  app.set_version_flag("--version", std::string("kelmarino-cases ") + VERSION);
  try {
    app.parse(argc, argv);
    // Checked here rather than by the parser, which would name a missing BASE before an unknown
    // option.
    if (argument.empty()) throw CLI::ParseError("BASE is required", 2);
  } catch (const CLI::CallForHelp&) {
    std::fprintf(out, "%s%s\n", app.help().c_str(), USAGE);
    return 0;
  } catch (const CLI::CallForVersion& version) {
    std::fprintf(out, "%s\n", version.what());
    return 0;
  } catch (const CLI::ParseError& error) {
    std::fprintf(errors, "kelmarino-cases: %s\n%s\n", error.what(), USAGE);
    return 2;
  }
  try {
    Timings timings;
    const std::string folder = run(data_base(argument), threads, out, timings);
    std::fprintf(out, "kelmarino-cases: wrote %s/\n", folder.c_str());
    if (stats) print_stats(out, timings);
    return 0;
  } catch (const RunError& error) {
    std::fflush(out);
    std::fprintf(errors, "%s\n", error.what());
    return 1;
  }
}

}  // namespace kelmarino::cases
