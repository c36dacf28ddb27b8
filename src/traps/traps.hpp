#pragma once
// Arithmetic traps: invalid operations, divisions by zero and overflows stop the run where they
// happen, as a run-time error that names the stage and the pile being computed. Everything here
// is per thread: two analyses in two threads trap and name their faults independently.
#include <csetjmp>
#include <cstdint>
#include <memory>
#include <string>

namespace kelmarino {

// The stage and pile being computed, named by the message of an arithmetic fault.
struct FaultContext {
  const char* stage = nullptr;  // "lateral stiffness", ...; null outside the analysis
  int32_t pile = 0;             // pile number, 0 when the fault concerns no single pile
  // The likely cause of a zero pivot, said in parentheses after the stage of a division by zero,
  // an invalid operation or a singular block ("are all six restrained?"); never after an
  // overflow, which comes from the size of the values.
  const char* pivot_cause = nullptr;
};

// The fault context of the calling thread.
FaultContext& fault_context();

// The message of a run-time error at the current context: "run-time error in the <stage> of
// pile <p> (<pivot cause>): <what>", the cause left out for an overflow.
std::string fault_message(const std::string& what, bool overflow = false);

// Throws the run-time error of an arithmetic fault (or a singular block) at the current context.
[[noreturn]] void raise_fault(const std::string& what);

// While it lives, arithmetic faults of the calling thread are trapped where they happen and
// thrown as run-time errors at the thread's fault context (the code is compiled to allow
// exceptions from trapping instructions).
class ArithmeticTraps {
 public:
  ArithmeticTraps();
  ~ArithmeticTraps();
  ArithmeticTraps(const ArithmeticTraps&) = delete;
  ArithmeticTraps& operator=(const ArithmeticTraps&) = delete;

 private:
  int previous_excepts_;
};

// While it lives, arithmetic faults of the calling thread are not trapped but found from the
// floating-point flags each time the analysis moves on to another stage or pile (at_stage,
// at_pile), and thrown there as run-time errors naming the stage and pile where they arose. It
// installs no signal handler and changes nothing outside the calling thread: for the analysis
// called as a library.
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

// Arithmetic faults of the calling thread while it lives: trapped (the programs) or found from the
// flags (a library call), as the caller chooses.
class FaultWatch {
 public:
  explicit FaultWatch(bool trapped);
  ~FaultWatch();
  FaultWatch(const FaultWatch&) = delete;
  FaultWatch& operator=(const FaultWatch&) = delete;

 private:
  std::unique_ptr<ArithmeticTraps> traps_;
  std::unique_ptr<FaultFlags> flags_;
};

// Under FaultFlags, throws a fault flagged since the last move at the current place.
void check_faults();

// The analysis moves on to pile p of the current stage (0: no single pile), or to another stage
// (null: the analysis is over). Under FaultFlags a fault flagged since the last move is thrown
// first, at the place it arose.
void at_pile(int32_t p);
void at_stage(const char* stage);

#ifdef KELMARINO_FAULT_JUMP
// Builds whose compiler cannot unwind from a trapping instruction (clang, used for fuzzing): a
// trapped fault jumps back to the point the caller set in `fault_jump`, with the message of the
// run-time error in `fault_jump_message`.
extern thread_local sigjmp_buf* fault_jump;
extern thread_local std::string fault_jump_message;
#endif

}  // namespace kelmarino
