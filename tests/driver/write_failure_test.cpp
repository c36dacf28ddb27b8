// A report that cannot be written whole is a run-time error, never a normal stop: under a
// file-size limit that cuts the report's last buffer (written only when the file is closed); and
// so is standard output on a full device.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>

#include "support/test_support.hpp"

namespace kelmarino {
namespace {

// Runs the program on the worked example with a file-size limit for the files it writes, with
// SIGXFSZ ignored as under many batch systems (the write then fails with EFBIG).
testing::ProgramRun run_with_file_limit(rlim_t bytes) {
  rlimit previous{};
  getrlimit(RLIMIT_FSIZE, &previous);
  const auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = previous;
  limited.rlim_cur = bytes;
  setrlimit(RLIMIT_FSIZE, &limited);
  const testing::ProgramRun run = testing::run_on_data(testing::worked_example(), "worked");
  setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, previous_handler);
  return run;
}

TEST(WriteFailure, ReportCutInItsLastBufferIsARunTimeError) {
  const testing::ProgramRun whole = testing::run_on_data(testing::worked_example(), "worked");
  const size_t size = whole.file("worked.out").size();
  ASSERT_GT(size % 4096, 1000u) << "the limit must fall inside the report's last buffer";
  const testing::ProgramRun cut = run_with_file_limit(size - 500);
  EXPECT_EQ(cut.exit_status, 1);
  EXPECT_EQ(cut.errors, "run-time error writing worked.out: File too large\n");
  EXPECT_EQ(cut.console.find("Stop - Program terminated."), std::string::npos);
}

// Standard output that cannot be written is a run-time error, for a run and for --version.
TEST(WriteFailure, StandardOutputOnAFullDeviceIsARunTimeError) {
  const std::string folder = testing::temporary_folder();
  std::ofstream(folder + "/worked.dat") << testing::worked_example();
  for (const char* arguments : {"worked", "--version"}) {
    SCOPED_TRACE(arguments);
    const std::string command =
        "cd " + folder + " && " + KELMARINO_EXE + " " + arguments + " > /dev/full 2> errors.txt";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_EQ(testing::read_file(folder + "/errors.txt"),
              "run-time error writing the standard output: No space left on device\n");
  }
}

}  // namespace
}  // namespace kelmarino
