// The pile group of a data file for the programs that read a run's data file beside its
// results: the model through the project's reader, the load points and the reader's warnings.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "input/input.hpp"
#include "traps/traps.hpp"

namespace kelmarino {
namespace {

File open_data(const std::string& data_name) {
  File file(std::fopen(data_name.c_str(), "r"));
  if (!file) throw GroupError("cannot open " + data_name + ": " + std::strerror(errno));
  return file;
}

// The lines of a text that hold more than blanks, joined by "; ".
std::string joined_lines(const std::string& text) {
  std::string joined;
  std::string line;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '\n') {
      if (line.find_first_not_of(' ') != std::string::npos) {
        joined += (joined.empty() ? "" : "; ") + line.substr(line.find_first_not_of(' '));
      }
      line.clear();
    } else {
      line += text[i];
    }
  }
  return joined;
}

}  // namespace

void read_group(const std::string& data_name, GroupData& group) {
  const File file = open_data(data_name);
  InChannel data{file.get(), data_name};
  MemoryText console_text;
  MemoryText warnings;
  if (console_text.file() == nullptr || warnings.file() == nullptr) {
    throw GroupError("cannot keep the reader's console output");
  }
  data.warnings = warnings.file();
  OutChannel console{console_text.file(), "the console"};
  RunValues& run = group.model.run;
  try {
    // Read as the program reads it: arithmetic faults found from the flags, refusals thrown.
    const FaultFlags flags;
    at_stage("input");
    LoadPoints points;
    READ_INPUT(data, console, run.JCTR, run.INO, run.PNUM, run.SNUM, run.FORCE, run.ZFR, run.ZBL,
               group.model.piles, points);
    for (int32_t k = 1; k <= points.NACT; ++k) {
      LoadPoint load{points.AXY(k, 1), points.AXY(k, 2), {}};
      for (int32_t i = 1; i <= 6; ++i) load.act[i - 1] = points.ACT(k, i);
      group.loads.push_back(load);
    }
    at_stage(nullptr);
    group.warnings = warnings.text();
  } catch (const InputError& error) {
    fault_context() = FaultContext{};
    if (error.console.empty()) throw GroupError(error.what());
    throw GroupError("the reader stopped on an input error in " + data_name + ": " +
                     joined_lines(console_text.text()));
  } catch (const RunError& error) {
    fault_context() = FaultContext{};
    throw GroupError(error.what());
  }
}

}  // namespace kelmarino
