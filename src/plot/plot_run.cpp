// The plot command: its command line, then the three files of a run read and checked to belong
// together, and the documents written into BASE-plots/.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <new>
#include <utility>

#include "input/input.hpp"
#include "layout/layout.hpp"
#include "output/output.hpp"
#include "plot/plot.hpp"

namespace kelmarino {
namespace {

// The threads that form and write the documents.
constexpr int32_t THREADS = 2;

PosFile read_results(const GroupData& group, const std::string& pos_name,
                     const std::string& data_name) {
  std::string text;
  if (!read_whole_file(pos_name, text)) {
    throw PlotError("cannot open " + pos_name + ": " + std::strerror(errno) +
                    " (kelmarino writes it when it runs on " + data_name + ")");
  }
  try {
    return read_pos(text, pos_name);
  } catch (const PosError& error) {
    const int32_t JCTR = group.model.run.JCTR;
    if (JCTR == 2 || JCTR == 3) {
      throw PlotError(std::string(error.what()) + "; " + data_name +
                      " asks only for a stiffness print (control code " + std::to_string(JCTR) +
                      "), which writes no pile results");
    }
    throw PlotError(error.what());
  }
}

std::string read_report_file(const std::string& report_name, const std::string& data_name) {
  std::string text;
  if (!read_whole_file(report_name, text)) {
    throw PlotError("cannot open " + report_name + ": " + std::strerror(errno) +
                    " (kelmarino writes it when it runs on " + data_name + ")");
  }
  return text;
}

// A warning when the data file was changed after the post-processing file was written: the
// results may be of the data file as it was.
std::vector<std::string> age_warnings(const std::string& data_name, const std::string& pos_name) {
  std::error_code error;
  const auto data_time = std::filesystem::last_write_time(data_name, error);
  if (error) return {};
  const auto pos_time = std::filesystem::last_write_time(pos_name, error);
  if (error || data_time <= pos_time) return {};
  return {data_name + " is newer than " + pos_name +
          ": the results may be of an earlier version of the data file; run kelmarino on it again"};
}

// Reads BASE.dat, BASE.pos and BASE.out and writes the folder BASE-plots; returns its name.
// Warnings go to `errors`.
std::string draw(const std::string& base, std::FILE* errors) {
  const std::string data_name = base + ".dat";
  const std::string pos_name = base + ".pos";
  const std::string report_name = base + ".out";
  const auto group = std::make_unique<GroupData>();
  read_group(data_name, *group);
  const PosFile pos = read_results(*group, pos_name, data_name);
  check_pos_belongs(*group, pos, data_name, pos_name);
  const ReportResults report =
      read_report(read_report_file(report_name, data_name), pos, report_name, pos_name);
  const std::vector<std::string> warnings = age_warnings(data_name, pos_name);
  for (const std::string& warning : warnings) {
    std::fprintf(errors, "kelmarino-plot: warning: %s\n", warning.c_str());
  }

  const std::string target = base + "-plots";
  NewFolder folder(target);
  const std::string title = std::filesystem::path(base).filename().string();
  const std::vector<int32_t> KG = ground_stations(*group);
  std::vector<std::function<void()>> jobs;
  auto document = [&](const std::string& name, std::function<std::string()> text) {
    jobs.push_back([&folder, name, text] { folder.write(name, text()); });
  };
  document("summary.txt", [&] { return summary_text(title, report, pos, KG); });
  document("stations.csv", [&] { return csv_text(stations_csv_table(pos)); });
  document("heads.csv", [&] { return csv_text(heads_csv_table(report, pos)); });
  for (const PosPile& pile : pos.piles) {
    document(pile_file_name(pile.g), [&] { return pile_svg(group->model.piles, pile.g, pile); });
  }
  document("plan.svg", [&] { return plan_svg(*group); });
  const auto derived = std::make_unique<DerivedValues>();
  derive_values(*group, *derived);
  document("index.html",
           [&] { return index_html(title, *group, *derived, report, pos, KG, warnings); });
  parallel_for(jobs.size(), THREADS, [&](size_t j, int32_t) { jobs[j](); });
  folder.commit();
  return target;
}

constexpr const char* USAGE = "usage: kelmarino-plot [PATH/]BASE[.dat]";

// The exit status once the standard output is flushed: 1, with a message, when any of it was lost.
int32_t standard_output(std::FILE* out, std::FILE* errors) {
  std::string reason;
  if (flushed_whole(out, reason)) return 0;
  std::fprintf(errors, "kelmarino-plot: run-time error writing the standard output: %s\n",
               reason.c_str());
  return 1;
}

std::string help_text() {
  std::string text = USAGE;
  text.append(
      "\n\n"
      "The results view of a kelmarino run. Reads PATH/BASE.dat (the pile group), PATH/BASE.pos\n"
      "(the station values) and PATH/BASE.out (the cap and pile-top results), and writes into\n"
      "the folder PATH/BASE-plots beside the data file:\n"
      "  index.html    the page of the results: the summary tables, the plan, the diagrams\n"
      "  summary.txt   the cap displacements, the pile tops, the largest values of every pile\n"
      "  stations.csv  every station value of every pile, with units\n"
      "  heads.csv     the displacements and forces at every pile top, with units\n"
      "  plan.svg      the plan of the group\n"
      "  pile-NN.svg   the diagrams of pile NN along its axis\n"
      "\n"
      "Options:\n"
      "  -h, --help    show this text and exit\n"
      "  --version     show the version and exit\n"
      "\n"
      "Exit status: 0 when the folder is written (or after --help, --version); 1 when a file\n"
      "cannot be read or written, or the files are not of one run (the message says why);\n"
      "2 on a usage error.\n"
      "\n"
      "Manual: docs/manual.md; the results view: docs/diagrams.md.\n");
  return text;
}

}  // namespace

int32_t run_plot_command(int argc, const char* const* argv, std::FILE* out, std::FILE* errors) {
  CLI::App app{"The results view of a kelmarino run", "kelmarino-plot"};
  std::string argument;
  app.add_option("BASE", argument, "[PATH/]BASE[.dat]")->required();
  app.set_version_flag("--version", std::string("kelmarino-plot ") + VERSION);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::fputs(help_text().c_str(), out);
    return standard_output(out, errors);
  } catch (const CLI::CallForVersion& version) {
    std::fprintf(out, "%s\n", version.what());
    return standard_output(out, errors);
  } catch (const CLI::ParseError& error) {
    std::fprintf(errors, "kelmarino-plot: %s\n%s\n", error.what(), USAGE);
    return 2;
  }
  if (argument.empty()) {
    std::fprintf(errors, "kelmarino-plot: the base name is empty\n%s\n", USAGE);
    return 2;
  }
  try {
    const std::string folder = draw(data_base(argument), errors);
    std::fprintf(out,
                 "kelmarino-plot: wrote %s/index.html, summary.txt, stations.csv, heads.csv, "
                 "plan.svg and the pile diagrams\n",
                 folder.c_str());
    return standard_output(out, errors);
  } catch (const std::bad_alloc&) {
    std::fprintf(errors, "kelmarino-plot: run-time error: out of memory\n");
    return 1;
  } catch (const std::exception& error) {
    std::fprintf(errors, "kelmarino-plot: %s\n", error.what());
    return 1;
  }
}

}  // namespace kelmarino
