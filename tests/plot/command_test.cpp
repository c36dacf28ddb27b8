// The command line of kelmarino-plot, the files it refuses with their messages, a stored
// post-processing file checked against the analysis, and a document that cannot be written.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "diagram/title_block.hpp"
#include "input/input.hpp"
#include "plot/plot_runs.hpp"
#include "tables/force_units.hpp"
#include "tables/tables.hpp"
#include "version/version.hpp"

namespace kelmarino {
namespace {

using testing::example_path;
using testing::exists;
using testing::new_folder;
using testing::plotted;
using testing::read_file;
using testing::run_plot;
using testing::split_lines;

const std::string USAGE = "usage: kelmarino-plot [options] [PATH/]BASE[.dat]\n";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

TEST(PlotCommand, CommandLine) {
  const std::string worked = read_file(example_path("worked.dat"));
  const testing::Plotted& run = plotted("worked");
  const std::map<std::string, std::string> results = {{"sub/case.dat", worked},
                                                      {"sub/case.pos", run.run.file("worked.pos")}};
  const struct {
    const char* arguments;
    int status;
    std::string out;      // the start of standard output
    std::string errors;   // the end of standard error
    const char* written;  // a file the run writes, or null
  } cases[] = {
      {"--help", 0, USAGE + "\nThe results view", "", nullptr},
      {"-h", 0, USAGE, "", nullptr},
      {"--version", 0, std::string("kelmarino-plot ") + VERSION + "\n", "", nullptr},
      {"--colour red sub/case", 2, "",
       "unknown option --colour (kelmarino-plot --help lists the options)\n" + USAGE, nullptr},
      {"", 2, "", USAGE, nullptr},
      {"sub/case one-more", 2, "", USAGE, nullptr},
      {"\"\"", 2, "", "kelmarino-plot: the base name is empty\n" + USAGE, nullptr},
      {"sub/", 2, "", "kelmarino-plot: the base name is empty\n" + USAGE, nullptr},
      {"'sub/\x1b[31m'", 2, "", "kelmarino-plot: the base name holds a control character\n" + USAGE,
       nullptr},
      // The folder goes beside the data file, named with or without ".dat".
      {"sub/case.dat", 0, "kelmarino-plot: wrote sub/case-plots/index.html", "",
       "sub/case-plots/summary.txt"},
      {"sub/case", 0, "kelmarino-plot: wrote sub/case-plots/index.html", "",
       "sub/case-plots/stations.csv"},
      // The page shows pile 2's diagrams alone; every pile's file is written.
      {"--pile-pages 2 sub/case", 0, "kelmarino-plot: wrote sub/case-plots/index.html", "",
       "sub/case-plots/pile-01.svg"},
      {"--pile-pages some sub/case", 2, "", USAGE, nullptr},
      // A text left out: the next option is not taken for it.
      {"--project --job J", 2, "",
       "kelmarino-plot: --project: \"--job\" is an option, not the text: the text after the "
       "option is left out\n" +
           USAGE,
       nullptr},
      {"--pile-pages 2-9 sub/case", 1, "",
       "kelmarino-plot: --pile-pages: the group has piles 1 to 4, not 2-9\n", nullptr},
      {"--pile-pages 1-4294967298 sub/case", 1, "",
       "kelmarino-plot: --pile-pages: the group has piles 1 to 4, not 1-4294967298\n", nullptr},
      {"--pile-pages 1,3-1 sub/case", 1, "",
       "kelmarino-plot: --pile-pages: 3-1: a range goes from the lower pile to the higher\n",
       nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    const std::string folder = testing::temporary_folder();
    std::filesystem::create_directory(folder + "/sub");
    for (const auto& [name, text] : results) std::ofstream(folder + "/" + name) << text;
    const testing::PlotRun plot = run_plot(folder, c.arguments);
    EXPECT_EQ(plot.exit_status, c.status) << plot.errors;
    EXPECT_EQ(plot.out.substr(0, c.out.size()), c.out);
    if (c.out.empty()) {
      EXPECT_EQ(plot.out, "");
    }
    ASSERT_GE(plot.errors.size(), c.errors.size());
    EXPECT_EQ(plot.errors.substr(plot.errors.size() - c.errors.size()), c.errors);
    if (c.errors.empty()) {
      EXPECT_EQ(plot.errors, "");
    }
    if (c.written != nullptr) {
      EXPECT_TRUE(exists(folder + "/" + c.written));
    }
  }
  const testing::PlotRun help = run_plot(testing::temporary_folder(), "--help");
  for (const char* told : {"summary.txt", "stations.csv", "heads.csv", "index.html", "--pile-pages",
                           "docs/manual.md", "Exit status"}) {
    EXPECT_NE(help.out.find(told), std::string::npos) << told;
  }
}

// The title block gives the program, the time of the run, the data file and the names given.
TEST(PlotCommand, TitleBlockNamesTheRunAndItsDataFile) {
  const std::string pier = read_file(example_path("pier.dat"));
  const std::string folder = new_folder({{"pier.dat", pier}});
  const testing::PlotRun run =
      run_plot(folder,
               "--date '8 Dec 2026' --project 'Bridge <7>' --job J-12 --engineer 'A. Engineer' "
               "--checker 'B. Checker' --revision C pier");
  ASSERT_EQ(run.exit_status, 0) << run.errors;
  const std::string page = read_file(folder + "/pier-plots/index.html");
  const std::string block = page.substr(page.find("<table id=\"title-block\">"));
  for (const std::string& row : std::vector<std::string>{
           "Project</th><td>Bridge &lt;7&gt;", "Job</th><td>J-12", "Data file</th><td>pier.dat",
           "Heading</th><td>* control: river pier, service load case",
           "SHA-256</th><td>" + sha256_hex(pier),
           std::string("Program</th><td>kelmarino-plot ") + VERSION, "Run</th><td>8 Dec 2026",
           "Engineer</th><td>A. Engineer", "Checker</th><td>B. Checker",
           "Revision</th><td>C</td>"}) {
    EXPECT_NE(block.find("<tr><th>" + row), std::string::npos) << row;
  }
  EXPECT_NE(plotted("pier").document("index.html").find("<tr><th>Run</th><td>1970-01-01 00:00 UTC"),
            std::string::npos);
}

// The method section states the run's own rules: kf, k and the bottom rule of every pile, and
// holds the sign-convention figure.
TEST(PlotCommand, MethodStatesTheRulesOfTheRun) {
  const struct {
    const char* base;
    std::vector<std::string> told;
  } cases[] = {
      {"pier",
       {"1 t = 9.80665 kN", "kf = 1 circular (every pile)", "kx = 0.5722, ky = 0.5722",
        "KSU 2 (every pile): bears on the soil", "factor 0.667", "NZ &gt; 0 is compression",
        "<svg xmlns=\"http://www.w3.org/2000/svg\""}},
      {"rock",
       {"KSU 3 (piles 9, 10, 11, 12): bears with its own section",
        "KSU 4 (piles 1, 2, 3, 4, 5, 6, 7, 8): bears with its own section"}},
  };
  for (const auto& c : cases) {
    const std::string page = plotted(c.base).document("index.html");
    const size_t at = page.find("<section id=\"method\">");
    ASSERT_NE(at, std::string::npos) << c.base;
    const std::string method = page.substr(at, page.find("</section>", at) - at);
    for (const std::string& told : c.told) {
      EXPECT_NE(method.find(told), std::string::npos) << c.base << ": " << told;
    }
  }
}

// In kN every force, moment, stress and stiffness of the CSV files is the value in t times
// 9.80665 under its unit renamed, and the page, the summary and the diagrams name no unit in t.
TEST(PlotCommand, UnitsKnScaleEveryForceAndNameIt) {
  const testing::Plotted& in_t = plotted("pier");
  const std::string folder = new_folder({{"pier.dat", read_file(example_path("pier.dat"))}});
  const testing::PlotRun run = run_plot(folder, "--units kN pier");
  ASSERT_EQ(run.exit_status, 0) << run.errors;
  for (const char* name :
       {"stations.csv", "heads.csv", "peaks.csv", "equilibrium.csv", "stiffness.csv"}) {
    testing::expect_in_kn(name, in_t.document(name), read_file(folder + "/pier-plots/" + name),
                          std::string(name) == "stiffness.csv");
  }
  for (const char* name : {"index.html", "summary.txt", "pile-01.svg", "plan.svg"}) {
    const std::string text = read_file(folder + "/pier-plots/" + name);
    for (const char* unit : {"(t)", "(t*", "(t/", " t/m", " t*m", " t;"}) {
      EXPECT_EQ(text.find(unit), std::string::npos) << name << ": " << unit;
    }
    EXPECT_NE(text.find("kN*m"), std::string::npos) << name;
  }
  const testing::PlotRun bad = run_plot(folder, "--units N pier");
  EXPECT_EQ(bad.exit_status, 2);
}

TEST(PlotCommand, RefusesWhatItCannotDrawWithAMessage) {
  const std::string worked = read_file(example_path("worked.dat"));
  const struct {
    const char* problem;
    std::map<std::string, std::string> files;
    std::string message;
  } cases[] = {
      {"no data file", {}, "cannot open case.dat: No such file or directory"},
      {"input error of the reader",
       {{"case.dat", replaced(worked, "<0>", " <0>")}},
       "in case.dat, line 14: Error:<0>"},
      {"unreadable data value",
       {{"case.dat", replaced(worked, "4 0\n", "4 x\n")}},
       "run-time error in case.dat, line 8: cannot read \"x\" as an integer\n  4 x\n    ^"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.problem);
    const std::string folder = new_folder(c.files);
    const testing::PlotRun run = run_plot(folder, "case");
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.errors, "kelmarino-plot: " + c.message + "\n");
    EXPECT_EQ(run.out, "");
    EXPECT_FALSE(exists(folder + "/case-plots"));
  }
}

// A data file that asks only for a stiffness print (JCTR 2: the foundation, JCTR 3 4: pile 4)
// gives the stiffness page and file, with the stiffness of the full run, and no pile results;
// --pile-pages is checked all the same.
TEST(PlotCommand, StiffnessPrintGivesTheStiffnessOfTheFullRun) {
  const std::string worked = read_file(example_path("worked.dat"));
  const std::string loads = "1\n1\n0.0 0.0\n100.0 50.0 2000.0 0.0 0.0 0.0\n";
  const std::string full = plotted("worked").document("stiffness.csv");
  const std::pair<const char*, const char*> prints[] = {{"2\n", "(JCTR 2)"},
                                                        {"3\n4\n", "(JCTR 3, INO 4: pile 4)"}};
  for (const auto& [control, print] : prints) {
    SCOPED_TRACE(control);
    const std::string folder = new_folder({{"case.dat", replaced(worked, loads, control)}});
    const testing::PlotRun run = run_plot(folder, "case");
    EXPECT_EQ(run.exit_status, 0) << run.errors;
    EXPECT_EQ(run.out,
              "kelmarino-plot: wrote case-plots/index.html, summary.txt, stiffness.csv and "
              "plan.svg (a stiffness print: no pile results)\n");
    EXPECT_EQ(read_file(folder + "/case-plots/stiffness.csv"), full);
    const std::string page = read_file(folder + "/case-plots/index.html");
    EXPECT_NE(page.find("id=\"stiffness\""), std::string::npos);
    EXPECT_NE(page.find("asks for a stiffness print " + std::string(print)), std::string::npos);
    EXPECT_FALSE(exists(folder + "/case-plots/stations.csv"));
    // A list of piles outside the group is refused, though a stiffness print draws no pile.
    const testing::PlotRun listed = run_plot(folder, "--pile-pages 99 case");
    EXPECT_EQ(listed.exit_status, 1);
    EXPECT_EQ(listed.errors, "kelmarino-plot: --pile-pages: the group has piles 1 to 4, not 99\n");
  }
  // The stiffness print of a simulated pile (JCTR 3, INO past the piles) shows the stiffness the
  // data file gives it, as the report prints it.
  const std::string folder = new_folder(
      {{"case.dat", replaced(read_file(example_path("worked-simulated.dat")), loads, "3\n5\n")}});
  ASSERT_EQ(run_plot(folder, "case").exit_status, 0);
  EXPECT_NE(read_file(folder + "/case-plots/index.html")
                .find("(JCTR 3, INO 5: the simulated pile S1): no pile results."),
            std::string::npos);
  EXPECT_NE(read_file(folder + "/case-plots/stiffness.csv")
                .find("S1,NX,1e+05,0,0,0,0,0\nS1,NY,0,1e+05,0,0,0,0\nS1,NZ,0,0,5e+05,0,0,0\n"),
            std::string::npos);
}

// The plan's legend gives loads as the tables do: loads of a thousandth of a tonne read 0.0.
TEST(PlotCommand, PlanLegendGivesSmallLoads) {
  const std::string worked = read_file(example_path("worked.dat"));
  const std::string folder =
      new_folder({{"case.dat", replaced(worked, "100.0 50.0 2000.0 0.0 0.0 0.0",
                                        "0.001 0.0005 2000.0 0.0 0.0 0.0001")}});
  EXPECT_EQ(run_plot(folder, "case").exit_status, 0);
  EXPECT_NE(read_file(folder + "/case-plots/plan.svg")
                .find("Fx = 0.001, Fy = 0.0005, Fz = 2000 t; Mx = 0, My = 0, Mz = 0.0001 t*m"),
            std::string::npos);
}

// The pages show the analysis of the data file. A post-processing file beside it is checked
// against the analysis: one that cannot be read or differs is warned about, on standard error and
// at the top of the page, naming its first difference.
TEST(PlotCommand, StoredPostProcessingFileIsCheckedAgainstTheAnalysis) {
  const std::string worked = read_file(example_path("worked.dat"));
  const std::string worked_pos = plotted("worked").run.file("worked.pos");
  const std::vector<std::string> pos_lines = split_lines(worked_pos);
  std::string cut;  // the worked example's file without its last line
  for (size_t i = 0; i + 1 < pos_lines.size(); ++i) cut += pos_lines[i] + "\n";
  const std::string shown = "; the pages show the analysis of case.dat";
  // Pile 1, the line after its first UX, SY, NX, MY: MY of station 2, UX and SY of station 3.
  std::string extreme = worked_pos;
  const size_t record = extreme.find('\n', extreme.find("     .2378E-02    -.1539E-03")) + 1;
  extreme.replace(record + 14, 42, "     .3403E+39    -.3403E+39     .1008E-38");
  const struct {
    const char* problem;
    std::string data;
    std::string pos;  // none when empty, a folder when "/", a link to nothing when "->"
    std::string warning;
  } cases[] = {
      {"no post-processing file", worked, "", ""},
      {"post-processing file of the data file", worked, worked_pos, ""},
      {"folder in its place", worked, "/",
       "run-time error reading case.pos: Is a directory" + shown},
      {"truncated post-processing file", worked, cut,
       "case.pos: the file ends after line " + std::to_string(pos_lines.size() - 1) +
           ", before PSY of pile 4" + shown},
      // 16 piles in the pier, 4 in the worked example.
      {"post-processing file of another group", read_file(example_path("pier.dat")), worked_pos,
       "case.pos differs from the analysis of case.dat: it holds 4 piles, the analysis 16" + shown},
      // One more step in the first soil segment: 1 + 4 + 6 + 10 stations instead of 20.
      {"post-processing file of other segments", replaced(worked, "5000.0 30.0 5", "5000.0 30.0 6"),
       worked_pos,
       "case.pos differs from the analysis of case.dat: pile 1 has 20 stations in it, 21 by the "
       "analysis" +
           shown},
      {"pile top moved in the data file", replaced(worked, "1.5 1.5", "1.5 1.6"), worked_pos,
       "case.pos differs from the analysis of case.dat: x of the top of pile 2 in its header is "
       ".1500E+01 m in it, .1600E+01 m by the analysis" +
           shown},
      {"station depth of another run", worked,
       replaced(worked_pos, ".0000E+00     .5000E+00", ".0000E+00     .4000E+00"),
       "case.pos differs from the analysis of case.dat: the depth Z of station 2 of pile 1 is "
       ".4000E+00 m in it, .5000E+00 m by the analysis" +
           shown},
      // Values at the ends of the single-precision range, read as such.
      {"station values of another run", worked, extreme,
       "case.pos differs from the analysis of case.dat: MY of station 2 of pile 1 is .3403E+39 t*m "
       "in it, .5591E+02 t*m by the analysis" +
           shown},
      // A stiffness print leaves its file empty; a link to nothing is no file either.
      {"post-processing file beside a stiffness print",
       replaced(worked, "1\n1\n0.0 0.0\n100.0 50.0 2000.0 0.0 0.0 0.0\n", "2\n"), worked_pos,
       "case.pos is not the file kelmarino writes for case.dat, a stiffness print (JCTR 2), which "
       "leaves it empty" +
           shown},
      {"link to nothing in its place", worked, "->",
       "cannot open case.pos: No such file or directory (a link to nothing)" + shown},
  };
  const std::string pages = plotted("worked").plots;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.problem);
    std::map<std::string, std::string> files = {{"case.dat", c.data}};
    if (!c.pos.empty() && c.pos != "/" && c.pos != "->") files["case.pos"] = c.pos;
    const std::string folder = new_folder(files);
    if (c.pos == "/") std::filesystem::create_directory(folder + "/case.pos");
    if (c.pos == "->") std::filesystem::create_symlink("nowhere.pos", folder + "/case.pos");
    const testing::PlotRun run = run_plot(folder, "case");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.errors, c.warning.empty() ? "" : "kelmarino-plot: warning: " + c.warning + "\n");
    const std::string page = read_file(folder + "/case-plots/index.html");
    EXPECT_EQ(page.find("<strong>Warning:</strong>") != std::string::npos, !c.warning.empty());
    if (c.data == worked) {  // the same pages, whatever the stored file holds
      EXPECT_EQ(read_file(folder + "/case-plots/stations.csv"), read_file(pages + "/stations.csv"));
    }
  }
}

// A stored file of 16 MB of blank lines is read a line at a time, in a fraction of its size beside
// it (the sanitizers reserve more address space than the limit).
TEST(PlotCommand, StoredFileOfBlankLinesReadInLittleMemory) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "an address-space limit under the sanitizers";
#endif
  const std::string folder = new_folder({{"case.dat", read_file(example_path("worked.dat"))},
                                         {"case.pos", std::string(16'000'000, '\n')}});
  const testing::PlotRun run = run_plot(folder, "case", "ulimit -v 60000;");
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.errors,
            "kelmarino-plot: warning: case.pos is empty: it holds no pile records; the pages show "
            "the analysis of case.dat\n");
}

// The folder of documents is made new and replaces the previous one only when whole: a link
// planted in the previous folder is not followed, a write that fails leaves the previous folder
// as it was and no new one; standard output that cannot be written is an error that leaves it
// too.
TEST(PlotCommand, OutputSafety) {
  const struct {
    const char* problem;
    const char* shell;      // limits of the run
    const char* arguments;  // after the base name
    int status;
    std::string errors;  // the start of standard error
    bool replaced;       // the folder is the new one
  } cases[] = {
      {"link planted", "", "", 0, "", true},
      {"file-size limit", "trap '' XFSZ; ulimit -f 2;", "", 1,
       "kelmarino-plot: run-time error writing case-plots/", false},
      {"standard output full", "", ">/dev/full", 1,
       "kelmarino-plot: run-time error writing the standard output: No space left on device\n",
       false},
      {"a warning that cannot be written", "sed -i 's/5000.0 30.0/5e6 30.0/' case.dat;",
       "2>/dev/full", 1, "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.problem);
    const std::string folder =
        new_folder({{"case.dat", read_file(example_path("worked.dat"))}, {"outside.txt", "kept"}});
    std::filesystem::create_directory(folder + "/case-plots");
    std::ofstream(folder + "/case-plots/old.txt") << "previous";
    ASSERT_EQ(symlink("../outside.txt", (folder + "/case-plots/summary.txt").c_str()), 0);
    const testing::PlotRun plot = run_plot(folder, "case " + std::string(c.arguments), c.shell);
    EXPECT_EQ(plot.exit_status, c.status);
    EXPECT_EQ(plot.errors.substr(0, c.errors.size()), c.errors);
    EXPECT_EQ(read_file(folder + "/outside.txt"), "kept");
    EXPECT_EQ(exists(folder + "/case-plots/old.txt"), !c.replaced);
    EXPECT_EQ(plot.out.find("wrote") != std::string::npos, c.replaced) << plot.out;
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (entry.path().filename().string().starts_with(".")) left.push_back(entry.path());
    }
    EXPECT_TRUE(left.empty()) << left[0];
    if (!c.replaced) continue;
    EXPECT_FALSE(std::filesystem::is_symlink(folder + "/case-plots/summary.txt"));
  }
}

}  // namespace
}  // namespace kelmarino
