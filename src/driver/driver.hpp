#pragma once
// The run driver: welcome, prompt, files, banner, the analysis stages in their fixed order, stop.
// A run is prompted (the base name typed at the console) or named on the command line.
#include <cstdint>
#include <cstdio>
#include <string>

#include "analysis/analysis.hpp"
#include "layout/layout.hpp"
#include "model/model.hpp"
#include "pile/pile.hpp"
#include "traps/traps.hpp"

namespace kelmarino {

// One whole prompted run on the given console streams. Returns the exit status: 0 after the
// stop message, 1 after a run-time error (its message written on `errors`) or an input error.
// Warnings about the typed name and the data file go to `errors`. A quiet run writes on
// `console_out` only the input errors of the data file ("Error:<0>", "Error: <K>").
int32_t run_kelmarino(std::FILE* console_in, std::FILE* console_out, std::FILE* errors);
int32_t run_kelmarino(std::FILE* console_in, std::FILE* console_out, std::FILE* errors, bool quiet);

// The same run on the data file BASE.dat named on the command line: no prompt and no limit on
// the length of the name; the report BASE.out and the post-processing file BASE.pos are written
// beside the data file.
int32_t run_kelmarino_on(const std::string& base, std::FILE* console_out, std::FILE* errors,
                         bool quiet);

// The run once the files are open: the report banner and stages 1 to 7. Ends normally, or by
// throwing RunStop (a stop inside a stage) or RunError. The reader's input errors go to
// `input_errors`, the stage messages to `console`. The solutions of the piles' planes are kept in
// `cache`, owned by the caller like the model (the first form keeps its own).
void run_stages(InChannel& data, OutChannel& console, OutChannel& report, OutChannel& pos,
                Model& model);
void run_stages(InChannel& data, OutChannel& console, OutChannel& input_errors, OutChannel& report,
                OutChannel& pos, Model& model, ResponseCache& cache);

// FILE_NAME: the base name (20 characters) without its leading and trailing blanks, followed by
// the extension.
std::string FILE_NAME(const char* base, const char* extension);

// WELCOME: the welcome text on the console.
void WELCOME(OutChannel& console);

// The command line: its usage line, and the texts of --help and --version.
extern const char* const USAGE;
std::string help_text();
std::string version_text();

}  // namespace kelmarino
