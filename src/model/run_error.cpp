#include "model/run_error.hpp"

#include <cstdio>
#include <cstdlib>

namespace kelmarino {

FaultContext& fault_context() {
  static FaultContext context;
  return context;
}

std::string fault_message(const std::string& what) {
  const FaultContext& where = fault_context();
  std::string message = "run-time error in the ";
  message += where.stage != nullptr ? where.stage : "analysis";
  if (where.pile > 0) message += " of pile " + std::to_string(where.pile);
  return message + ": " + what;
}

void raise_fault(const std::string& what) { throw RunError(fault_message(what)); }

#ifdef KELMARINO_BOUNDS_CHECK
void index_out_of_range(int32_t index, int32_t capacity) {
  std::fprintf(stderr, "internal error: index %d outside 1..%d\n", index, capacity);
  std::abort();
}
#endif

}  // namespace kelmarino
