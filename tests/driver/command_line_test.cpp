// The command line of the built program: named runs write what a prompted run writes, beside
// their data file; --help, --version and refused command lines; the quiet run; and the warnings
// and messages of the prompt's mistakes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "driver/driver.hpp"
#include "support/test_support.hpp"
#include "version/version.hpp"

namespace kelmarino {
namespace {

using testing::ProgramRun;
using testing::run_program;
using testing::run_with_arguments;

const std::string WORKED = testing::read_file(testing::example_path("worked.dat"));
const std::string PROMPT = "\n       Please enter data filename:\n\n";

// The console of a prompted run without its prompt.
std::string without_prompt(std::string console) {
  const size_t at = console.find(PROMPT);
  EXPECT_NE(at, std::string::npos);
  if (at != std::string::npos) console.erase(at, PROMPT.size());
  return console;
}

std::string folder_path(const ProgramRun& run, const std::string& sub = "") {
  return std::filesystem::canonical(run.folder).string() + sub;
}

TEST(CommandLine, NamedRunWritesBesideItsDataFileWhatAPromptedRunWrites) {
  const ProgramRun prompted = run_program({{"worked.dat", WORKED}}, "worked");
  ASSERT_EQ(prompted.exit_status, 0);
  const struct Case {
    std::vector<std::string> arguments;
    std::string data;  // where the data file lies, from the folder of the run
    bool quiet;
  } cases[] = {
      {{"worked"}, "worked.dat", false},
      {{"worked.dat"}, "worked.dat", false},
      {{"piers/a name longer than twenty.dat"}, "piers/a name longer than twenty.dat", false},
      {{"-q", "piers/worked"}, "piers/worked.dat", true},
      {{"worked", "--quiet"}, "worked.dat", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.front());
    const ProgramRun run = run_with_arguments({{c.data, WORKED}}, c.arguments);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.errors, "");
    EXPECT_EQ(run.console, c.quiet ? "" : without_prompt(prompted.console));
    const std::string base = c.data.substr(0, c.data.size() - 4);
    EXPECT_EQ(run.file(base + ".out"), prompted.file("worked.out"));
    EXPECT_EQ(run.file(base + ".pos"), prompted.file("worked.pos"));
  }
}

TEST(CommandLine, HelpVersionAndRefusedCommandLines) {
  const std::string usage_error_end = std::string("\n") + USAGE + "\n";
  const struct Case {
    std::vector<std::string> arguments;
    int exit_status;
    std::string console;
    std::string errors_start;  // the whole standard error ends with the usage line when refused
  } cases[] = {
      {{"--help"}, 0, help_text(), ""},
      {{"--version"}, 0, std::string("kelmarino ") + VERSION + "\n", ""},
      {{"--verbose", "worked"}, 2, "", "kelmarino: "},
      {{"worked", "pier"}, 2, "", "kelmarino: "},
      {{""}, 2, "", "kelmarino: the base name is empty"},
      {{"sub/"}, 2, "", "kelmarino: the base name is empty"},
      {{"sub/.."}, 2, "", "kelmarino: the base name is empty"},
      // An escape in a name would reach the terminal in every message that names its files.
      {{"wor\x1b[31mked"}, 2, "", "kelmarino: the base name holds a control character"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.front());
    const ProgramRun run = run_with_arguments({{"worked.dat", WORKED}}, c.arguments);
    EXPECT_EQ(run.exit_status, c.exit_status);
    EXPECT_EQ(run.console, c.console);
    if (c.exit_status == 0) {
      EXPECT_EQ(run.errors, "");
    } else {
      EXPECT_EQ(run.errors.rfind(c.errors_start, 0), 0u) << run.errors;
      EXPECT_TRUE(run.errors.ends_with(usage_error_end)) << run.errors;
    }
    EXPECT_FALSE(run.has_file("worked.out"));
  }
  // The help names the usage, the files, the exit statuses and both places of the manual.
  const std::string help = help_text();
  EXPECT_EQ(help.rfind(std::string(USAGE) + "\n", 0), 0u);
  for (const char* part : {"BASE.out", "BASE.pos", "Exit status", "docs/manual.md",
                           "share/doc/kelmarino/docs/manual.md"}) {
    EXPECT_NE(help.find(part), std::string::npos) << part;
  }
}

// A quiet run writes nothing on the console but the reader's input errors, and its run-time
// errors on standard error; without a name on the command line it still reads one typed.
TEST(CommandLine, QuietRunKeepsOnlyErrors) {
  const std::string no_check_line = testing::edited_lines(WORKED, {{14, "< 0>"}});
  const std::string no_modulus = testing::edited_lines(WORKED, {{18, "10000.0 0.0 1.0"}});
  const struct Case {
    std::vector<std::string> arguments;
    const char* typed;
    std::string data;
    int exit_status;
    std::string console;
    std::string errors_start;
  } cases[] = {
      {{"-q", "worked"}, nullptr, no_check_line, 1, "\n\n\nError:<0>\n\n", ""},
      {{"-q"}, "worked", no_modulus, 1, "", "run-time error in worked.dat, line 18: pile 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed == nullptr ? "named" : "typed");
    const ProgramRun run = run_with_arguments({{"worked.dat", c.data}}, c.arguments, c.typed);
    EXPECT_EQ(run.exit_status, c.exit_status);
    EXPECT_EQ(run.console, c.console);
    EXPECT_EQ(run.errors.rfind(c.errors_start, 0), 0u) << run.errors;
    EXPECT_EQ(run.errors.empty(), c.errors_start.empty()) << run.errors;
    EXPECT_TRUE(run.has_file("worked.pos"));
  }
}

// The mistakes of a name: a missing file names the folder searched; ".dat" typed at the prompt is
// pointed out; an empty typed name is refused as on the command line; a typed name longer than 20
// characters is cut with a warning and the run goes on.
TEST(CommandLine, MistakenNamesAreExplained) {
  const struct Case {
    std::vector<std::string> arguments;
    const char* typed;
    std::string sub;  // the folder searched, below the folder of the run
    int exit_status;
    std::string errors;  // with FOLDER for the folder searched
  } cases[] = {
      {{},
       "worked.dat",
       "",
       1,
       "run-time error opening worked.dat.dat: No such file or directory in the folder FOLDER; "
       "type the name without \".dat\"\n"},
      {{},
       "pier",
       "",
       1,
       "run-time error opening pier.dat: No such file or directory in the folder FOLDER\n"},
      {{},
       "",
       "",
       1,
       "run-time error in the console input, line 1: the base name is empty; type the name of "
       "the data file without \".dat\"\n"},
      {{},
       "wor\tked",
       "",
       1,
       "run-time error in the console input, line 1: the base name holds a control character; "
       "type the name of the data file without \".dat\"\n"},
      {{"piers/pier.dat"},
       nullptr,
       "/piers",
       1,
       "run-time error opening piers/pier.dat: No such file or directory in the folder FOLDER\n"},
      {{},
       "worked-with-a-long-name.dat",
       "",
       0,
       "warning in the console input, line 1: the name is longer than 20 characters and is cut to "
       "\"worked-with-a-long-n\" (a longer name can be given on the command line: kelmarino "
       "NAME)\n  worked-with-a-long-name.dat\n                      ^\n"},
      // A path cut to its folder: the cut is said before the refusal it leads to.
      {{},
       "/folder-of-eighteen/worked",
       "",
       1,
       "warning in the console input, line 1: the name is longer than 20 characters and is cut to "
       "\"/folder-of-eighteen/\" (a longer name can be given on the command line: kelmarino "
       "NAME)\n  /folder-of-eighteen/worked\n                      ^\nrun-time error in the "
       "console "
       "input, line 1: the base name is empty; type the name of the data file without \".dat\"\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed == nullptr ? c.arguments.front() : "typed: " + std::string(c.typed));
    const ProgramRun run = run_with_arguments(
        {{"worked-with-a-long-n.dat", WORKED}, {"piers/.keep", ""}}, c.arguments, c.typed);
    std::string errors = c.errors;
    const size_t at = errors.find("FOLDER");
    if (at != std::string::npos) errors.replace(at, 6, folder_path(run, c.sub));
    EXPECT_EQ(run.exit_status, c.exit_status);
    EXPECT_EQ(run.errors, errors);
    EXPECT_EQ(run.has_file("worked-with-a-long-n.out"), c.exit_status == 0);
  }
}

}  // namespace
}  // namespace kelmarino
