#pragma once
// Helpers shared by the tests: running the built program in a temporary folder, and reading
// files.
#include <map>
#include <string>
#include <vector>

namespace kelmarino::testing {

struct ProgramRun {
  int exit_status = -1;  // -1 when the program ended by a signal
  int signal = 0;        // the signal that ended it, if any
  std::string console;   // standard output
  std::string errors;    // standard error
  std::string folder;    // the folder it ran in (removed when the test ends)
  std::string file(const std::string& name) const;  // a file the run left in its folder
  bool has_file(const std::string& name) const;
};

// A new temporary folder, removed with everything in it when the current test ends.
std::string temporary_folder();

// Keeps a temporary folder until the test program ends, for results that several tests share.
void keep_folder_for_program(const std::string& folder);

// Runs the built program in a new temporary folder holding the given files, typing `typed`
// (followed by a line end, unless `typed` is null) at its prompt.
ProgramRun run_program(const std::map<std::string, std::string>& files, const char* typed);

// The same in a given folder (which may already hold other files).
ProgramRun run_program(const std::map<std::string, std::string>& files, const char* typed,
                       const std::string& folder);

// Runs the built program with the given command-line arguments in a new temporary folder holding
// the given files, with `typed` (followed by a line end, unless null) on its standard input.
ProgramRun run_with_arguments(const std::map<std::string, std::string>& files,
                              const std::vector<std::string>& arguments,
                              const char* typed = nullptr);

// Runs the program on one data file, typing its base name.
ProgramRun run_on_data(const std::string& data_text, const std::string& base = "case");

std::string read_file(const std::string& path);
std::vector<std::string> split_lines(const std::string& text);

// Whether a fixed field holds, right-aligned, a number of the form -.dddddE+ee (with `digits`
// digits after the point), or an integer.
bool is_e_field(const std::string& field, int digits = 4);
bool is_i_field(const std::string& field);

// The shipped worked example: four piles in a 3 m square, one load point at the cap centre,
// pile 4 lengthened by a keyword block, no simulated piles.
std::string worked_example();

// A text with some of its lines (numbered from 1) replaced, or dropped where the replacement is
// null; a replacement may hold several lines. Lines end with `eol`.
using LineEdits = std::map<int, const char*>;
std::string edited_lines(const std::string& text, const LineEdits& edits,
                         const std::string& eol = "\n");

// A shipped example or a file of the tests' data folder.
std::string example_path(const std::string& name);
std::string test_data_path(const std::string& name);

}  // namespace kelmarino::testing
