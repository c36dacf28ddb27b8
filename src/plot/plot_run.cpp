// The plot command: its command line, then the data file read and analysed, a stored
// post-processing file checked against the analysis, and the documents written into BASE-plots/.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <new>
#include <stdexcept>
#include <utility>

#include "diagram/panels.hpp"
#include "input/input.hpp"  // data_base, names_no_file, base_name_refusal
#include "output/output.hpp"
#include "plot/plot.hpp"
#include "version/version.hpp"

namespace kelmarino {
namespace {

// The threads that form and write the documents.
constexpr int32_t THREADS = 2;

Group read_data(const std::string& data_name, std::string& text) {
  if (!read_whole_file(data_name, text)) {
    throw RunError("cannot open " + data_name + ": " + opening_failure(data_name, errno));
  }
  GroupRead read = parse_group(text, data_name);
  if (!read) throw RunError(read.issue().full);
  return std::move(*read);
}

// Whether a group asks only for a stiffness print (JCTR 2 or 3): its pages show the stiffness.
bool stiffness_print(const Group& group) { return scope_asked(group) != AnalysisScope::everything; }

// The warning about a stored post-processing file beside the data file that is not what the
// analysis writes: one that cannot be read (a link to nothing among them), or the first
// difference; for a stiffness print, which writes the file empty, one that is not. None without
// the file.
std::vector<std::string> stored_run_warnings(const Group& group, const Result& result,
                                             const std::string& data_name,
                                             const std::string& pos_name) {
  const std::string shown = "; the pages show the analysis of " + data_name;
  try {
    std::string text;
    if (!read_whole_file(pos_name, text)) {
      const std::string why = missing_input(pos_name, errno);
      if (why.empty()) return {};
      return {"cannot open " + pos_name + ": " + why + shown};
    }
    if (stiffness_print(group)) {
      if (text.empty()) return {};
      return {pos_name + " is not the file kelmarino writes for " + data_name +
              ", a stiffness print (JCTR " + std::to_string(group.model->run.JCTR) +
              "), which leaves it empty" + shown};
    }
    const std::optional<std::string> difference =
        pos_difference(read_pos(text, pos_name), group, result);
    if (!difference) return {};
    return {pos_name + " differs from the analysis of " + data_name + ": " + *difference + shown};
  } catch (const std::runtime_error& error) {  // a read that fails, records that cannot be read
    return {error.what() + shown};
  }
}

// Reads and analyses BASE.dat, checks BASE.pos when it is there, and writes the folder
// BASE-plots with the pile pages of `pile_choice` (pile_pages) and forces in `force`; warnings go
// to `errors`. The line naming the folder is written on `out`, and must reach it, before the
// folder is put in place.
void draw(const std::string& base, const TitleBlock& names, const std::string& pile_choice,
          ForceUnit force, std::FILE* out, std::FILE* errors) {
  const std::string data_name = base + ".dat";
  const std::string pos_name = base + ".pos";
  std::string data_text;
  const Group group = read_data(data_name, data_text);
  const TitleBlock block = data_title_block(names, data_name, data_text);
  const bool stiffness_only = stiffness_print(group);
  const Analysed analysed = analyse(group, {scope_asked(group)});
  if (!analysed) throw RunError(analysed.issue().full);
  const Result result = printed_result(*analysed);
  const bool listed = pile_choice != "all" && pile_choice != "auto" && pile_choice != "critical";
  if (stiffness_only && listed) pile_pages(pile_choice, result);  // a list is checked all the same
  const PilePages pages = stiffness_only ? PilePages() : pile_pages(pile_choice, result);
  std::vector<std::string> warnings = stored_run_warnings(group, result, data_name, pos_name);
  if (!stiffness_only) {
    if (const auto warning = equilibrium_warning(result)) warnings.push_back(*warning);
    for (std::string& warning : peak_warnings(group, result, force))
      warnings.push_back(std::move(warning));
  }
  for (const std::string& warning : group.warnings) {  // the reader's, as kelmarino gives them
    std::fprintf(errors, "%s\n", warning.c_str());
  }
  for (const std::string& warning : warnings) {
    std::fprintf(errors, "kelmarino-plot: warning: %s\n", warning.c_str());
  }

  const std::string target = base + "-plots";
  NewFolder folder(target, {data_name, pos_name});
  const std::string title = std::filesystem::path(base).filename().string();
  const PileData& piles = group.model->piles;
  std::vector<std::function<void()>> jobs;
  auto document = [&](const std::string& name, std::function<std::string()> text) {
    jobs.push_back([&folder, name, text] { folder.write(name, text()); });
  };
  document("stiffness.csv", [&] { return csv_text(stiffness_csv_table(group, result, force)); });
  document("plan.svg", [&] { return plan_svg(group, force); });
  document("index.html",
           [&] { return index_html(title, group, result, block, pages, force, warnings); });
  if (stiffness_only) {
    document("summary.txt", [&] { return stiffness_summary_text(title, group, result, force); });
  } else {
    document("summary.txt", [&] { return summary_text(title, group, result, force); });
    document("stations.csv", [&] { return csv_text(stations_csv_table(result, force)); });
    document("heads.csv", [&] { return csv_text(heads_csv_table(result, piles, force)); });
    document("supports.csv", [&] { return csv_text(supports_csv_table(result, piles, force)); });
    document("equilibrium.csv", [&] { return csv_text(equilibrium_csv_table(result, force)); });
    document("peaks.csv", [&] { return csv_text(peaks_csv_table(result, force)); });
    for (int32_t p = 1; p <= static_cast<int32_t>(result.piles.size()); ++p) {
      document(pile_file_name(p), [&, p] { return pile_svg(piles, p, result, force); });
    }
  }
  parallel_for(jobs.size(), THREADS, [&](size_t j, int32_t) { jobs[j](); });
  check_console(out, errors);  // no line names a folder that a lost warning stops
  if (stiffness_only) {
    std::fprintf(out,
                 "kelmarino-plot: wrote %s/index.html, summary.txt, stiffness.csv and plan.svg "
                 "(a stiffness print: no pile results)\n",
                 target.c_str());
  } else {
    std::fprintf(out,
                 "kelmarino-plot: wrote %s/index.html, summary.txt, stations.csv, heads.csv, "
                 "peaks.csv, supports.csv, equilibrium.csv, stiffness.csv, plan.svg and the pile "
                 "diagrams\n",
                 target.c_str());
  }
  check_console(out, errors);
  const std::string left = folder.commit();
  if (!left.empty()) std::fprintf(errors, "kelmarino-plot: %s\n", left.c_str());
}

constexpr const char* USAGE = "usage: kelmarino-plot [options] [PATH/]BASE[.dat]";

// The help names the limit of the pile pages.
static_assert(PILE_PAGE_LIMIT == 24);

std::string help_text() {
  std::string text = USAGE;
  text.append(
      "\n\n"
      "The results view of a kelmarino run. Reads and analyses PATH/BASE.dat (the pile group)\n"
      "and writes into the folder PATH/BASE-plots beside the data file:\n"
      "  index.html    the page of the results: the summary tables, the plan, the diagrams\n"
      "  summary.txt   the cap displacements, the pile tops, the largest values of every pile\n"
      "  stations.csv  every station value of every pile, with the resultants V and M\n"
      "  heads.csv     the displacements and forces at every pile top, with units\n"
      "  peaks.csv     the true peaks of every pile beside its largest station values\n"
      "  supports.csv  the reactions of the simulated piles, in cap axes\n"
      "  equilibrium.csv  the applied loads, the sum of the pile heads and supports, the residual\n"
      "  stiffness.csv the foundation's stiffness KCAP and the head stiffness of every pile\n"
      "  plan.svg      the plan of the group\n"
      "  pile-NN.svg   the diagrams of pile NN along its axis\n"
      "\n"
      "Options:\n"
      "  -h, --help    show this text and exit\n"
      "  --version     show the version and exit\n"
      "  --date TEXT   the date and time of the run in the title block, as given (default: the\n"
      "                time SOURCE_DATE_EPOCH holds when set, else the clock's, in UTC)\n"
      "  --project TEXT, --job TEXT, --engineer TEXT, --checker TEXT, --revision TEXT\n"
      "                the names in the title block at the head of the page (left out when not\n"
      "                given)\n"
      "  --pile-pages auto|all|critical|LIST\n"
      "                the piles whose diagrams the page shows, each on a page of its own: auto\n"
      "                (the default) every pile of a group of up to 24 piles, the critical ones\n"
      "                of a larger group; all; critical (those of the table Critical piles); or\n"
      "                a list such as 1,5,10-12. Every pile's diagrams are written all the same.\n"
      "  --units t|kN  the unit of force of the page, the diagrams, the summary and the CSV\n"
      "                files: t (the default, the program's) or kN, every force, moment, stress\n"
      "                and stiffness times 9.80665 (stresses in kPa)\n"
      "\n"
      "A post-processing file PATH/BASE.pos beside the data file, written by kelmarino, is\n"
      "checked against the analysis: a warning names its first difference.\n"
      "\n"
      "A data file that asks only for a stiffness print (JCTR 2 or 3) gives index.html,\n"
      "summary.txt, stiffness.csv and plan.svg: the stiffness, without pile results.\n"
      "\n"
      "Exit status: 0 when the folder is written (or after --help, --version); 1 when the data\n"
      "file cannot be read or analysed, a file cannot be written, or --pile-pages names a pile\n"
      "the group does not have (the message says why); 2 on a usage error.\n"
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
  TitleBlock names;
  std::string date;
  app.add_option("--date", date)->check(title_text_refusal);
  app.add_option("--project", names.project)->check(title_text_refusal);
  app.add_option("--job", names.job)->check(title_text_refusal);
  app.add_option("--engineer", names.engineer)->check(title_text_refusal);
  app.add_option("--checker", names.checker)->check(title_text_refusal);
  app.add_option("--revision", names.revision)->check(title_text_refusal);
  std::string pile_choice = "auto";
  app.add_option("--pile-pages", pile_choice)
      ->check(
          [](const std::string& choice) {
            const bool list =
                !choice.empty() && choice.find_first_not_of("0123456789,-") == std::string::npos;
            return choice == "auto" || choice == "all" || choice == "critical" || list
                       ? std::string()
                       : "--pile-pages takes auto, all, critical or a list of piles such as "
                         "1,5,10-12, not \"" +
                             choice + "\"";
          },
          "auto|all|critical|LIST");
  std::string units = "t";
  app.add_option("--units", units)->check(CLI::IsMember({"t", "kN"}));
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::fputs(help_text().c_str(), out);
    return standard_output_status(out, errors, "kelmarino-plot: ");
  } catch (const CLI::CallForVersion& version) {
    std::fprintf(out, "%s\n", version.what());
    return standard_output_status(out, errors, "kelmarino-plot: ");
  } catch (const CLI::ParseError& error) {
    const std::string message = usage_error("kelmarino-plot", app.remaining(), error.what());
    std::fprintf(errors, "kelmarino-plot: %s\n%s\n", message.c_str(), USAGE);
    return 2;
  }
  if (const std::string why = base_name_refusal(data_base(argument)); !why.empty()) {
    std::fprintf(errors, "kelmarino-plot: the base name %s\n%s\n", why.c_str(), USAGE);
    return 2;
  }
  try {
    names.program = std::string("kelmarino-plot ") + VERSION;
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    names.run_time = run_time_text(
        date, epoch ? std::optional<std::string_view>(epoch) : std::nullopt, std::time(nullptr));
    const ForceUnit force = units == "kN" ? ForceUnit::kN : ForceUnit::t;
    draw(data_base(argument), names, pile_choice, force, out, errors);
    return 0;
  } catch (const std::bad_alloc&) {
    std::fprintf(errors, "kelmarino-plot: run-time error: out of memory\n");
    return 1;
  } catch (const std::exception& error) {
    std::fprintf(errors, "kelmarino-plot: %s\n", error.what());
    return 1;
  }
}

}  // namespace kelmarino
