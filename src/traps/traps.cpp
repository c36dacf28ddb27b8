// Trapping of arithmetic faults. The trap raises SIGFPE at the faulting instruction in the
// faulting thread; the handler throws the run-time error from there, which the code is compiled to
// allow (-fnon-call-exceptions), so the output files are closed as far as they were written.
// The floating-point environment is per thread; the signal handler is the process's, installed by
// the first live ArithmeticTraps and restored by the last.
#include "traps/traps.hpp"

#include <cfenv>
#include <csignal>
#include <mutex>

#include "model/run_error.hpp"

namespace kelmarino {
namespace {

constexpr int TRAPPED = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;

thread_local FaultContext thread_fault_context;

// The handler installation shared by the threads that trap.
std::mutex handler_mutex;
int32_t handler_users = 0;
struct sigaction previous_action = {};

const char* describe(int code) {
  switch (code) {
    case FPE_FLTDIV:
      return "division by zero";
    case FPE_FLTINV:
      return "invalid operation (such as 0/0, or a mathematics function given an argument "
             "outside its domain)";
    case FPE_FLTOVF:
      return "overflow (a result beyond the range of single-precision reals)";
    case FPE_INTDIV:
      return "integer division by zero";
    default:
      return "arithmetic fault";
  }
}

void on_arithmetic_fault(int, siginfo_t* info, void*) {
  // The kernel enters the handler with a fresh floating-point environment (traps off); they are
  // enabled again for the next run by the next ArithmeticTraps.
#ifdef KELMARINO_FAULT_JUMP
  if (fault_jump != nullptr) {
    fault_jump_message = fault_message(describe(info->si_code), info->si_code == FPE_FLTOVF);
    siglongjmp(*fault_jump, 1);
  }
#endif
  throw RunError(fault_message(describe(info->si_code), info->si_code == FPE_FLTOVF));
}

}  // namespace

#ifdef KELMARINO_FAULT_JUMP
thread_local sigjmp_buf* fault_jump = nullptr;
thread_local std::string fault_jump_message;
#endif

FaultContext& fault_context() { return thread_fault_context; }

std::string fault_message(const std::string& what, bool overflow) {
  const FaultContext& where = fault_context();
  std::string message = "run-time error in the ";
  message += where.stage != nullptr ? where.stage : "analysis";
  if (where.pile > 0) message += " of pile " + std::to_string(where.pile);
  if (where.pivot_cause != nullptr && !overflow) {
    message.append(" (").append(where.pivot_cause).append(")");
  }
  return message + ": " + what;
}

void raise_fault(const std::string& what) { throw RunError(fault_message(what)); }

ArithmeticTraps::ArithmeticTraps() : previous_excepts_(fegetexcept()) {
  {
    const std::lock_guard<std::mutex> lock(handler_mutex);
    if (handler_users++ == 0) {
      struct sigaction action = {};
      action.sa_sigaction = on_arithmetic_fault;
      action.sa_flags = SA_SIGINFO | SA_NODEFER;
      sigemptyset(&action.sa_mask);
      sigaction(SIGFPE, &action, &previous_action);
    }
  }
  std::feclearexcept(FE_ALL_EXCEPT);
  feenableexcept(TRAPPED);
}

ArithmeticTraps::~ArithmeticTraps() {
  fedisableexcept(FE_ALL_EXCEPT);
  std::feclearexcept(FE_ALL_EXCEPT);
  if (previous_excepts_ > 0) feenableexcept(previous_excepts_);
  const std::lock_guard<std::mutex> lock(handler_mutex);
  if (--handler_users == 0) sigaction(SIGFPE, &previous_action, nullptr);
}

}  // namespace kelmarino
