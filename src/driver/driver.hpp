#pragma once
// The run driver: welcome, prompt, files, banner, the analysis stages in their fixed order, stop.
#include <csetjmp>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>

#include "layout/layout.hpp"
#include "model/model.hpp"

namespace kelmarino {

// KELMARINO: one whole run on the given console streams. Returns the exit status: 0 after the
// stop message, 1 after a run-time error (its message written on `errors`) or an input error.
int32_t KELMARINO(std::FILE* console_in, std::FILE* console_out, std::FILE* errors);

// The run once the files are open: the report banner and stages 1 to 7. Ends normally, or by
// throwing RunStop (a stop inside a stage) or RunError.
void RUN_STAGES(InChannel& data, OutChannel& console, OutChannel& report, OutChannel& pos,
                Model& model);

// FILE_NAME: the base name (20 characters) without its leading and trailing blanks, followed by
// the extension.
std::string FILE_NAME(const char* base, const char* extension);

// WELCOME: the welcome text on the console. BANNER: the banner at the head of the report.
void WELCOME(OutChannel& console);
void BANNER(OutChannel& report);

// While it lives, invalid operations, divisions by zero and overflows are trapped where they
// happen and thrown as run-time errors naming the stage and pile being computed.
class ArithmeticTraps {
 public:
  ArithmeticTraps();
  ~ArithmeticTraps();
  ArithmeticTraps(const ArithmeticTraps&) = delete;
  ArithmeticTraps& operator=(const ArithmeticTraps&) = delete;

 private:
  int previous_excepts_;
  struct sigaction previous_action_;
};

#ifdef KELMARINO_FAULT_JUMP
// Builds whose compiler cannot unwind from a trapping instruction (clang, used for fuzzing): a
// trapped fault jumps back to the point the caller set in `fault_jump`, with the message of the
// run-time error in `fault_jump_message`.
extern sigjmp_buf* fault_jump;
extern std::string fault_jump_message;
#endif

}  // namespace kelmarino
