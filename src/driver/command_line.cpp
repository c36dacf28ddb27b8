// The texts of the command line: the usage line, --help and --version.
#include <string>

#include "driver/driver.hpp"
#include "version/version.hpp"

namespace kelmarino {

const char* const USAGE = "usage: kelmarino [-q] [BASE | PATH/BASE.dat]";

std::string help_text() {
  return std::string(USAGE) +
         "\n"
         "\n"
         "Spatial static analysis of the pile foundation of a bridge substructure: a rigid cap on\n"
         "a group of piles in layered soil (the m method).\n"
         "\n"
         "Without a name, kelmarino asks for the base name of the data file (at most 20\n"
         "characters, without \".dat\") and reads it from the current folder. With BASE or\n"
         "PATH/BASE.dat it runs on that file without asking; the name may be of any length.\n"
         "\n"
         "Files:\n"
         "  BASE.dat   the data file, read\n"
         "  BASE.out   the report, written beside the data file (an earlier one is replaced)\n"
         "  BASE.pos   the post-processing file, written beside the data file (likewise)\n"
         "\n"
         "Options:\n"
         "  -q, --quiet   write only errors and warnings: no welcome text, stage messages or\n"
         "                stop message\n"
         "  --help        write this text and stop\n"
         "  --version     write the version and stop\n"
         "\n"
         "Exit status:\n"
         "  0  the run ended with the stop message (after the results or a stiffness print)\n"
         "  1  a run-time error, or an input error in the data file\n"
         "  2  a command line kelmarino cannot use\n"
         "\n"
         "Manual: docs/manual.md in the source tree; share/doc/kelmarino/docs/manual.md under\n"
         "the installation prefix.\n";
}

std::string version_text() { return std::string("kelmarino ") + VERSION + "\n"; }

}  // namespace kelmarino
