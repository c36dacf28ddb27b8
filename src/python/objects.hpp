#pragma once
// The values of a group of the Python package, read from its objects.
#include <pybind11/pybind11.h>

#include <string>

#include "analysis/analysis.hpp"

namespace kelmarino {

// A value of a group that cannot be one: where it stands, as Python names it
// ("types[0].below[1].m"), and why.
struct ValueMistake {
  std::string part, what;
};

// Makes the attribute names once, when the module is imported.
void intern_names();

// values_of_group: the values of a Group of the package into `values` (its name first); throws
// the ValueMistake of the first value that cannot be one. Needs the interpreter lock.
void values_of_group(pybind11::handle group, GroupValues& values);

}  // namespace kelmarino
