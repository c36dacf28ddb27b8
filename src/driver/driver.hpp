#pragma once
// The run driver: welcome, prompt, files, banner, the analysis stages in their fixed order, stop.
#include <cstdint>
#include <cstdio>
#include <string>

#include "layout/layout.hpp"
#include "model/model.hpp"
#include "traps/traps.hpp"

namespace kelmarino {

// One whole prompted run on the given console streams. Returns the exit status: 0 after the
// stop message, 1 after a run-time error (its message written on `errors`) or an input error.
int32_t run_kelmarino(std::FILE* console_in, std::FILE* console_out, std::FILE* errors);

// The run once the files are open: the report banner and stages 1 to 7. Ends normally, or by
// throwing RunStop (a stop inside a stage) or RunError.
void run_stages(InChannel& data, OutChannel& console, OutChannel& report, OutChannel& pos,
                Model& model);

// FILE_NAME: the base name (20 characters) without its leading and trailing blanks, followed by
// the extension.
std::string FILE_NAME(const char* base, const char* extension);

// WELCOME: the welcome text on the console. BANNER: the banner at the head of the report.
void WELCOME(OutChannel& console);
void BANNER(OutChannel& report);

}  // namespace kelmarino
