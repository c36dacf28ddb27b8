// kelmarino-plot: the result diagrams of a KELMARINO run.
#include "plot/plot.hpp"

int main(int argc, char** argv) { return kelmarino::KELMARINO_PLOT(argc, argv, stdout, stderr); }
