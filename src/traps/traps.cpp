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
thread_local bool faults_by_flags = false;

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

// The faults of the flags raised, named as the trap names them. Which came first is not known:
// a division by zero or an overflow leaves infinities whose later sums raise the invalid flag too.
std::string flagged(int flags) {
  std::string what;
  const int kinds[3][2] = {
      {FE_DIVBYZERO, FPE_FLTDIV}, {FE_OVERFLOW, FPE_FLTOVF}, {FE_INVALID, FPE_FLTINV}};
  for (const auto& kind : kinds) {
    if ((flags & kind[0]) == 0) continue;
    if (!what.empty()) what += " and ";
    what += describe(kind[1]);
  }
  return what;
}

void check_flags() {
  if (!faults_by_flags) return;
  const int flags = std::fetestexcept(TRAPPED);
  if (flags == 0) return;
  std::feclearexcept(FE_ALL_EXCEPT);
  throw RunError(fault_message(flagged(flags), flags == FE_OVERFLOW));
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

FaultWatch::FaultWatch(bool trapped) {
  if (trapped) {
    traps_ = std::make_unique<ArithmeticTraps>();
  } else {
    flags_ = std::make_unique<FaultFlags>();
  }
}

FaultWatch::~FaultWatch() = default;

void check_faults() { check_flags(); }

void at_pile(int32_t p) {
  check_flags();
  thread_fault_context.pile = p;
}

void at_stage(const char* stage) {
  check_flags();
  thread_fault_context = FaultContext{stage, 0};
}

FaultFlags::FaultFlags() : previous_excepts_(fegetexcept()), previous_mode_(faults_by_flags) {
  fedisableexcept(FE_ALL_EXCEPT);
  std::feclearexcept(FE_ALL_EXCEPT);
  faults_by_flags = true;
}

FaultFlags::~FaultFlags() {
  faults_by_flags = previous_mode_;
  std::feclearexcept(FE_ALL_EXCEPT);
  if (previous_excepts_ > 0) feenableexcept(previous_excepts_);
}

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
