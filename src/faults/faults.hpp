#pragma once
// Arithmetic faults: invalid operations, divisions by zero and overflows end the analysis as a
// run-time error that names the stage and the pile being computed. They are found from the
// floating-point flags each time the analysis moves on to another stage or pile. Everything here
// is per thread: two analyses in two threads find and name their faults independently, and no
// signal handler is installed.
#include <cstdint>
#include <string>

namespace kelmarino {

// The stage and pile being computed, named by the message of an arithmetic fault.
struct FaultContext {
  std::string stage;  // "lateral stiffness", ...; empty outside the analysis
  int32_t pile = 0;   // pile number, 0 when the fault concerns no single pile
  // The likely cause of a zero pivot, said in parentheses after the stage of a division by zero,
  // an invalid operation or a singular block ("are all six restrained?"); never after an
  // overflow, which comes from the size of the values.
  std::string pivot_cause;
};

// The fault context of the calling thread.
FaultContext& fault_context();

// The message of a run-time error at the current context: "run-time error in the <stage> of
// pile <p> (<pivot cause>): <what>", the cause left out for an overflow.
std::string fault_message(const std::string& what, bool overflow = false);

// Throws the run-time error of an arithmetic fault (or a singular block) at the current context.
[[noreturn]] void raise_fault(const std::string& what);

// While it lives, the floating-point flags of the calling thread are watched: a fault flagged
// since the last move is thrown at the next move (at_stage, at_pile) or check_faults, as a
// run-time error naming the stage and pile where it arose and every kind of fault flagged. Traps
// are off and the flags clear while it lives; the thread's earlier state is restored after it.
class FaultFlags {
 public:
  FaultFlags();
  ~FaultFlags();
  FaultFlags(const FaultFlags&) = delete;
  FaultFlags& operator=(const FaultFlags&) = delete;

 private:
  int previous_excepts_;
  bool previous_mode_;
};

// Under FaultFlags, throws a fault flagged since the last move at the current place.
void check_faults();

// The analysis moves on to pile p of the current stage (0: no single pile), or to another stage
// (null: the analysis is over). Under FaultFlags a fault flagged since the last move is thrown
// first, at the place it arose.
void at_pile(int32_t p);
void at_stage(const char* stage);

}  // namespace kelmarino
