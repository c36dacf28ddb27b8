// Trapping of arithmetic faults. The trap raises SIGFPE at the faulting instruction; the handler
// throws the run-time error from there, which the code is compiled to allow
// (-fnon-call-exceptions), so the output files are closed as far as they were written.
#include <cfenv>
#include <csignal>

#include "driver/driver.hpp"

namespace kelmarino {
namespace {

constexpr int TRAPPED = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;

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
    fault_jump_message = fault_message(describe(info->si_code));
    siglongjmp(*fault_jump, 1);
  }
#endif
  raise_fault(describe(info->si_code));
}

}  // namespace

#ifdef KELMARINO_FAULT_JUMP
sigjmp_buf* fault_jump = nullptr;
std::string fault_jump_message;
#endif

ArithmeticTraps::ArithmeticTraps() : previous_excepts_(0), previous_action_{} {
  struct sigaction action = {};
  action.sa_sigaction = on_arithmetic_fault;
  action.sa_flags = SA_SIGINFO | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  sigaction(SIGFPE, &action, &previous_action_);
  previous_excepts_ = fegetexcept();
  std::feclearexcept(FE_ALL_EXCEPT);
  feenableexcept(TRAPPED);
}

ArithmeticTraps::~ArithmeticTraps() {
  fedisableexcept(FE_ALL_EXCEPT);
  std::feclearexcept(FE_ALL_EXCEPT);
  if (previous_excepts_ > 0) feenableexcept(previous_excepts_);
  sigaction(SIGFPE, &previous_action_, nullptr);
}

}  // namespace kelmarino
