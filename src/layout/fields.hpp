#pragma once
// Iw and Ew.d fields written into place, for the write calls: each fills w columns that are
// already blank and returns the column after them.
#include <cstdint>

namespace kelmarino {

// An Iw field: decimal, right-aligned; asterisks if too wide.
char* put_i(char* field, int32_t value, int32_t w);

// An Ew.d field: the exact decimal value rounded half up on digit d+1, no 0 before the point, no
// sign for zero, two exponent digits, right-aligned; asterisks if too wide.
char* put_e(char* field, float value, int32_t w, int32_t d);

}  // namespace kelmarino
