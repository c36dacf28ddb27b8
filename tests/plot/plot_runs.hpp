#pragma once
// Runs of the built kelmarino-plot for the tests: in a folder of given files, or on a shipped
// example after kelmarino has run on it (once per test program, shared by the tests).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "plot/pos_file.hpp"
#include "support/test_support.hpp"

namespace kelmarino::testing {

// Built beside the program by the same build.
inline const std::string PLOT_EXE = std::string(KELMARINO_EXE) + "-plot";

struct PlotRun {
  int exit_status = -1;
  std::string out;
  std::string errors;
};

inline std::string new_folder(const std::map<std::string, std::string>& files) {
  const std::string folder = temporary_folder();
  for (const auto& [name, text] : files) std::ofstream(folder + "/" + name) << text;
  return folder;
}

// Runs the command in the folder; `shell` comes before it in the shell that runs it (limits). The
// time of the run is 1970-01-01 00:00 UTC.
inline PlotRun run_plot(const std::string& folder, const std::string& arguments,
                        const std::string& shell = "") {
  PlotRun run;
  const std::string command = "cd " + folder + " && (export SOURCE_DATE_EPOCH=0; " + shell + " " +
                              PLOT_EXE + " " + arguments + ") > plot-out.txt 2> plot-errors.txt";
  const int status = std::system(command.c_str());
  if (WIFEXITED(status)) run.exit_status = WEXITSTATUS(status);
  run.out = read_file(folder + "/plot-out.txt");
  run.errors = read_file(folder + "/plot-errors.txt");
  return run;
}

inline bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// A shipped example run by kelmarino and then drawn.
struct Plotted {
  ProgramRun run;
  PlotRun plot;
  PosFile pos;
  std::string plots;  // the folder of the documents
  std::string document(const std::string& name) const { return read_file(plots + "/" + name); }
};

inline const Plotted& plotted(const std::string& base) {
  static std::map<std::string, Plotted> cache;
  if (cache.count(base) == 0) {
    Plotted& p = cache[base];
    p.run = run_program({{base + ".dat", read_file(example_path(base + ".dat"))}}, base.c_str());
    keep_folder_for_program(p.run.folder);
    EXPECT_EQ(p.run.exit_status, 0) << p.run.errors;
    EXPECT_TRUE(exists(PLOT_EXE)) << PLOT_EXE << " is not built";
    p.plot = run_plot(p.run.folder, base);
    EXPECT_EQ(p.plot.exit_status, 0) << p.plot.errors;
    p.pos = read_pos(p.run.file(base + ".pos"), base + ".pos");
    p.plots = p.run.folder + "/" + base + "-plots";
  }
  return cache.at(base);
}

}  // namespace kelmarino::testing
