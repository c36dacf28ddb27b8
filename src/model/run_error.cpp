#include "model/run_error.hpp"

#include <cstdio>
#include <cstdlib>

namespace kelmarino {

#ifdef KELMARINO_BOUNDS_CHECK
void index_out_of_range(int32_t index, int32_t capacity) {
  std::fprintf(stderr, "internal error: index %d outside 1..%d\n", index, capacity);
  std::abort();
}
#endif

}  // namespace kelmarino
