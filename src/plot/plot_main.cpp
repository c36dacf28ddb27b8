// kelmarino-plot: the result diagrams of a KELMARINO run.
#include "plot/plot.hpp"

int main(int argc, char** argv) {
  kelmarino::remove_new_on_signals();
  return kelmarino::run_plot_command(argc, argv, stdout, stderr);
}
