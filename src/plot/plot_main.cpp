// kelmarino-plot: the result diagrams of a KELMARINO run.
#include "plot/plot.hpp"

int main(int argc, char** argv) { return kelmarino::run_plot_command(argc, argv, stdout, stderr); }
