// The banner at the head of the report.
#include "results/results.hpp"

namespace kelmarino {

// The banner's lines are kept as they print.
// clang-format off
void write_banner(OutChannel& report) {
  write(report, "(//////)");
  write(report, "(7X,'++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++')");
  write(report, "(7X,'+                                                                                          +')");
  write(report, "(7X,'+    K     K  EEEEEEE  L        M     M     A     RRRRRR   IIIIIII  N     N   OOOOO        +')");
  write(report, "(7X,'+    K    K   E        L        MM   MM    A A    R     R     I     NN    N  O     O       +')");
  write(report, "(7X,'+    K   K    E        L        M M M M   A   A   R     R     I     N N   N  O     O       +')");
  write(report, "(7X,'+    KKKK     EEEEEE   L        M  M  M  A     A  RRRRRR      I     N  N  N  O     O       +')");
  write(report, "(7X,'+    K   K    E        L        M     M  AAAAAAA  R   R       I     N   N N  O     O       +')");
  write(report, "(7X,'+    K    K   E        L        M     M  A     A  R    R      I     N    NN  O     O       +')");
  write(report, "(7X,'+    K     K  EEEEEEE  LLLLLLL  M     M  A     A  R     R  IIIIIII  N     N   OOOOO        +')");
  write(report, "(7X,'+                                                                                          +')");
  write(report, "(7X,'+                              KELMARINO   Version 1.10                                    +')");
  write(report, "(7X,'+                                                                                          +')");
  write(report, "(7X,'++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++')");
  write(report, "(/,15X,'Welcome to use the KELMARINO program !!',/)");
  write(report, "(15X,'This program is aimed to execute spatial statical ana lysis of pile')");
  write(report, "(15X,'foundations of bridge substructures. If you have any questions about')");
  write(report, "(15X,'this program, please do not hesitate to write to :',/)");
  write(report, "(60X,'the KELMARINO project,')");
  write(report, "(60X,'as an issue in its repository,')");
  write(report, "(60X,'with the data file (.dat),')");
  write(report, "(60X,'the command that was run')");
  write(report, "(60X,'and the full console output')");
  write(report, "(60X,'(README.md, Reporting problems).',/)");
}
// clang-format on

}  // namespace kelmarino
