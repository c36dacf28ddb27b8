#pragma once
// The run driver: welcome, prompt, files, banner, the analysis with its stage messages, the
// results, stop. A run is prompted (the base name typed at the console) or named on the command
// line.
#include <cstdint>
#include <cstdio>
#include <string>

#include "layout/layout.hpp"

namespace kelmarino {

// One whole prompted run on the given console streams. Returns the exit status: 0 after the
// stop message, 1 after a run-time error (its message written on `errors`) or an input error.
// Warnings about the typed name and the data file go to `errors`. A quiet run writes on
// `console_out` only the input errors of the data file ("Error:<0>", "Error: <K>").
int32_t run_kelmarino(std::FILE* console_in, std::FILE* console_out, std::FILE* errors, bool quiet);

// The same run on the data file BASE.dat named on the command line: no prompt and no limit on
// the length of the name; the report BASE.out and the post-processing file BASE.pos are written
// beside the data file.
int32_t run_kelmarino_on(const std::string& base, std::FILE* console_out, std::FILE* errors,
                         bool quiet);

// typed_base_name: the base name typed on a line: its first 20 characters after the blanks
// before it, without the blanks after it; `cut` is the column where the rest of a longer name
// begins (npos: the name is whole).
struct TypedName {
  std::string name;
  size_t cut = std::string::npos;
};
TypedName typed_base_name(const std::string& line);

// write_welcome: the welcome text on the console.
void write_welcome(OutChannel& console);

// The command line: its usage line, and the texts of --help and --version.
extern const char* const USAGE;
std::string help_text();
std::string version_text();

}  // namespace kelmarino
