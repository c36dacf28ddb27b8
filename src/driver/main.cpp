// KELMARINO: spatial static analysis of the pile foundation of a bridge substructure.
// kelmarino asks for the base name of the data file; kelmarino BASE runs on BASE.dat.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>

#include "driver/driver.hpp"
#include "input/input.hpp"

int main(int argc, char** argv) {
  kelmarino::remove_new_on_signals();
  CLI::App app;
  app.set_help_flag();
  bool help = false;
  bool version = false;
  bool quiet = false;
  std::string name;
  app.add_flag("--help", help);
  app.add_flag("--version", version);
  app.add_flag("-q,--quiet", quiet);
  app.add_option("name", name);
  try {
    app.parse(argc, argv);
    const std::string why = kelmarino::base_name_refusal(kelmarino::data_base(name));
    if (app.count("name") > 0 && !why.empty()) throw CLI::ParseError("the base name " + why, 2);
  } catch (const CLI::ParseError& error) {
    std::fprintf(stderr, "kelmarino: %s\n%s\n", error.what(), kelmarino::USAGE);
    return 2;
  }
  if (help || version) {
    std::fputs((help ? kelmarino::help_text() : kelmarino::version_text()).c_str(), stdout);
    return kelmarino::standard_output_status(stdout, stderr, "");
  }
  if (app.count("name") == 0) return kelmarino::run_kelmarino(stdin, stdout, stderr, quiet);
  return kelmarino::run_kelmarino_on(kelmarino::data_base(name), stdout, stderr, quiet);
}
