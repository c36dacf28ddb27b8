// kelmarino-cases: load combinations and envelopes of a KELMARINO pile group.
#include <malloc.h>

#include "cases/cases.hpp"
#include "layout/layout.hpp"

int main(int argc, char** argv) {
  // Blocks of 128 KB and more get pages of their own, returned when freed. Left to itself, glibc
  // raises that size to the largest block freed so far (the text of a long combinations file), and
  // the buffers of every part of the combinations, some MB each, then stay in the threads' heaps:
  // the peak memory would grow with the number of combinations.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  kelmarino::remove_new_on_signals();
  return kelmarino::cases::run_cases_command(argc, argv, stdout, stderr);
}
