// Fuzz target: the data-file reader and every analysis stage, in process, on arbitrary data-file
// text. Two outcomes are accepted: a completed run, or an end through the program's own error
// path (a run-time error, an input error's stop, a stop of a shortened run). Anything else (a
// crash, a sanitizer report, an index outside a table, a hang) is a finding.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "driver/driver.hpp"

namespace {

std::FILE* null_output() {
  static std::FILE* file = std::fopen("/dev/null", "w");
  return file;
}

void run_once(const uint8_t* bytes, size_t size) {
  using namespace kelmarino;
  // fmemopen needs at least one byte; an empty data file is a file of zero lines either way.
  std::string text(reinterpret_cast<const char*>(bytes), size);
  if (text.empty()) text = "\n";
  std::FILE* file = fmemopen(text.data(), text.size(), "r");
  if (file == nullptr) return;
  InChannel data{file, "fuzz.dat"};
  OutChannel console{null_output(), "the console"};
  OutChannel report{null_output(), "fuzz.out"};
  OutChannel pos{null_output(), "fuzz.pos"};
  // Kept across runs: a jump out of a trapped fault skips destructors, so nothing of a run may own
  // memory of its own. The responses of the previous run are forgotten.
  static auto model = std::make_unique<Model>();
  static auto cache = std::make_unique<ResponseCache>();
  *model = Model{};
  cache->clear();
  const ArithmeticTraps traps;
  sigjmp_buf jump;
  if (sigsetjmp(jump, 1) == 0) {
    fault_jump = &jump;
    try {
      run_stages(data, console, console, report, pos, *model, *cache);
    } catch (const RunError& error) {
      if (std::strncmp(error.what(), "run-time error ", 15) != 0) __builtin_trap();
    } catch (const RunStop&) {
    }
  } else if (fault_jump_message.compare(0, 15, "run-time error ") != 0) {
    __builtin_trap();
  }
  fault_jump = nullptr;
  fault_context() = FaultContext{};
  std::fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  run_once(data, size);
  return 0;
}
