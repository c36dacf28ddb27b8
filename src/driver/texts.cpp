// The welcome text on the console.
#include "driver/driver.hpp"

namespace kelmarino {

void write_welcome(OutChannel& console) {
  write(console, "(//////)");
  write(console, "(/,5X,'Welcome to use the KELMARINO program !!',/)");
  write(console, "(5X,'  This program is aimed to execute spatial statical analysis of pile')");
  write(console, "(5X,'foundations of bridge substructures. If you have any questions about')");
  write(console, "(5X,'this program, please do not hesitate to write to :',/)");
  write(console, "(50X,'the KELMARINO project,')");
  write(console, "(50X,'as an issue in its repository,')");
  write(console, "(50X,'with the data file (.dat),')");
  write(console, "(50X,'the command that was run')");
  write(console, "(50X,'and the full console output')");
  write(console, "(50X,'(README.md, Reporting problems).',/)");
}

}  // namespace kelmarino
