// Arithmetic faults found from the floating-point flags, which are per thread.
#include "faults/faults.hpp"

#include <cfenv>

#include "model/run_error.hpp"

namespace kelmarino {
namespace {

constexpr int WATCHED = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;

thread_local FaultContext thread_fault_context;
thread_local bool watching = false;

// The faults of the flags raised. Which came first is not known: a division by zero or an
// overflow leaves infinities whose later sums raise the invalid flag too.
std::string flagged(int flags) {
  struct Kind {
    int flag;
    const char* what;
  };
  static const Kind kinds[3] = {
      {FE_DIVBYZERO, "division by zero"},
      {FE_OVERFLOW, "overflow (a result beyond the range of single-precision reals)"},
      {FE_INVALID,
       "invalid operation (such as 0/0, or a mathematics function given an argument outside its "
       "domain)"}};
  std::string what;
  for (const Kind& kind : kinds) {
    if ((flags & kind.flag) == 0) continue;
    if (!what.empty()) what += " and ";
    what += kind.what;
  }
  return what;
}

void check_flags() {
  if (!watching) return;
  const int flags = std::fetestexcept(WATCHED);
  if (flags == 0) return;
  std::feclearexcept(FE_ALL_EXCEPT);
  throw RunError(fault_message(flagged(flags), flags == FE_OVERFLOW));
}

}  // namespace

FaultContext& fault_context() { return thread_fault_context; }

std::string fault_message(const std::string& what, bool overflow) {
  const FaultContext& where = fault_context();
  std::string message = "run-time error in the ";
  message += where.stage.empty() ? "analysis" : where.stage;
  if (where.pile > 0) message += " of pile " + std::to_string(where.pile);
  if (!where.pivot_cause.empty() && !overflow) {
    message.append(" (").append(where.pivot_cause).append(")");
  }
  return message + ": " + what;
}

void raise_fault(const std::string& what) { throw RunError(fault_message(what)); }

void check_faults() { check_flags(); }

void at_pile(int32_t p) {
  check_flags();
  thread_fault_context.pile = p;
}

void at_stage(const char* stage) {
  check_flags();
  thread_fault_context.stage = stage != nullptr ? stage : "";
  thread_fault_context.pile = 0;
  thread_fault_context.pivot_cause.clear();
}

FaultFlags::FaultFlags() : previous_excepts_(fegetexcept()), previous_mode_(watching) {
  fedisableexcept(FE_ALL_EXCEPT);
  std::feclearexcept(FE_ALL_EXCEPT);
  watching = true;
}

FaultFlags::~FaultFlags() {
  watching = previous_mode_;
  std::feclearexcept(FE_ALL_EXCEPT);
  if (previous_excepts_ > 0) feenableexcept(previous_excepts_);
}

}  // namespace kelmarino
