// Fuzz target: the data-file reader and every analysis stage, in process, on arbitrary data-file
// text, through the calls kelmarino makes. Two outcomes are accepted: a completed run, or an end
// through the program's own error path (a run-time error, an input error of the console).
// Anything else (a crash, a sanitizer report, an index outside a table, a hang) is a finding.
#include <cstdint>
#include <cstdio>
#include <string>

#include "analysis/analysis.hpp"

namespace {

std::FILE* null_output() {
  static std::FILE* file = std::fopen("/dev/null", "w");
  return file;
}

bool is_run_time_error(const std::string& message) {
  return message.starts_with("run-time error ");
}

void run_once(const uint8_t* bytes, size_t size) {
  using namespace kelmarino;
  const std::string text(reinterpret_cast<const char*>(bytes), size);
  const GroupRead read = parse_group(text, "fuzz.dat");
  if (!read) {
    if (read.issue().console.empty() && !is_run_time_error(read.issue().full)) __builtin_trap();
    return;
  }
  const Group& group = *read;
  const Analysed analysed = analyse(group, {scope_asked(group), nullptr});
  if (!analysed) {
    if (!is_run_time_error(analysed.issue().full)) __builtin_trap();
    return;
  }
  OutChannel report{null_output(), "fuzz.out"};
  OutChannel pos{null_output(), "fuzz.pos"};
  write_results(group, *analysed, report, pos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  run_once(data, size);
  return 0;
}
