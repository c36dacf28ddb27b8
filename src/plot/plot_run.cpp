// The plot command: its command line, then the three files of a run read and checked to belong
// together, and the documents written into BASE-plots/.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <utility>

#include "input/input.hpp"
#include "layout/layout.hpp"
#include "plot/plot.hpp"

namespace kelmarino {
namespace {

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

// Writes one document whole; a short write or a failed close is refused with the system's reason.
void write_document(const std::string& path, const std::string& text) {
  File file = open_file(path, "wb");
  if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size()) {
    throw PlotError("run-time error writing " + path + ": " + std::strerror(errno));
  }
  close_written(file, path);
}

std::string read_report_file(const std::string& report_name, const std::string& data_name) {
  std::string text;
  if (!read_whole_file(report_name, text)) {
    throw PlotError("cannot open " + report_name + ": " + std::strerror(errno) +
                    " (kelmarino writes it when it runs on " + data_name + ")");
  }
  return text;
}

// Reads BASE.dat, BASE.pos and BASE.out and writes the folder BASE-plots; returns its name.
std::string draw(const std::string& base) {
  const std::string data_name = base + ".dat";
  const std::string pos_name = base + ".pos";
  const std::string report_name = base + ".out";
  const auto group = std::make_unique<GroupData>();
  read_group(data_name, *group);
  const PosFile pos = read_results(*group, pos_name, data_name);
  check_pos_belongs(*group, pos, data_name, pos_name);
  const ReportResults report =
      read_report(read_report_file(report_name, data_name), pos, report_name, pos_name);

  const std::string folder = base + "-plots";
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) throw PlotError("cannot make the folder " + folder + ": " + error.message());
  const std::string title = std::filesystem::path(base).filename().string();
  const std::vector<int32_t> KG = ground_stations(*group);
  write_document(folder + "/summary.txt", summary_text(title, report, pos, KG));
  write_document(folder + "/stations.csv", csv_text(stations_csv_table(pos)));
  write_document(folder + "/heads.csv", csv_text(heads_csv_table(report, pos)));
  for (const PosPile& pile : pos.piles) {
    write_document(folder + "/" + pile_file_name(pile.g),
                   pile_svg(group->model.piles, pile.g, pile));
  }
  write_document(folder + "/plan.svg", plan_svg(*group));
  const auto derived = std::make_unique<DerivedValues>();
  derive_values(*group, *derived);
  write_document(folder + "/index.html", index_html(title, *group, *derived, report, pos, KG));
  return folder;
}

constexpr const char* USAGE = "usage: kelmarino-plot [PATH/]BASE[.dat]";

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
    return 0;
  } catch (const CLI::CallForVersion& version) {
    std::fprintf(out, "%s\n", version.what());
    return 0;
  } catch (const CLI::ParseError& error) {
    std::fprintf(errors, "kelmarino-plot: %s\n%s\n", error.what(), USAGE);
    return 2;
  }
  if (argument.empty()) {
    std::fprintf(errors, "kelmarino-plot: the base name is empty\n%s\n", USAGE);
    return 2;
  }
  try {
    const std::string folder = draw(data_base(argument));
    std::fprintf(out,
                 "kelmarino-plot: wrote %s/index.html, summary.txt, stations.csv, heads.csv, "
                 "plan.svg and the pile diagrams\n",
                 folder.c_str());
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(errors, "kelmarino-plot: %s\n", error.what());
    return 1;
  }
}

}  // namespace kelmarino
