// kelmarino-cases: load combinations and envelopes of a KELMARINO pile group.
#include "cases/cases.hpp"

int main(int argc, char** argv) {
  return kelmarino::cases::run_cases_command(argc, argv, stdout, stderr);
}
