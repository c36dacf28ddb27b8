// KELMARINO: spatial static analysis of the pile foundation of a bridge substructure.
#include <cstdio>

#include "driver/driver.hpp"

int main() { return kelmarino::run_kelmarino(stdin, stdout, stderr); }
