// The plot command: read the three files of a run, check that they belong together, write the
// documents into BASE-plots/.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <utility>

#include "layout/layout.hpp"
#include "plot/plot.hpp"

namespace kelmarino {
namespace {

bool read_text(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream all;
  all << in.rdbuf();
  text = all.str();
  return true;
}

PosFile read_results(const GroupData& group, const std::string& pos_name,
                     const std::string& data_name) {
  std::string text;
  if (!read_text(pos_name, text)) {
    throw PlotError("cannot open " + pos_name + ": " + std::strerror(errno) +
                    " (kelmarino writes it when it runs on " + data_name + ")");
  }
  try {
    return read_pos(text, pos_name);
  } catch (const PosError& error) {
    const int32_t JCTR = group.model.run.JCTR;
    if (JCTR == 2 || JCTR == 3) {
      throw PlotError(std::string(error.what()) + "; " + data_name +
                      " asks only for a stiffness print (control code " + std::to_string(JCTR) +
                      "), which writes no pile results");
    }
    throw PlotError(error.what());
  }
}

// Writes one document whole; a short write or a failed close is refused with the system's reason.
void write_document(const std::string& path, const std::string& text) {
  File file = open_file(path, "wb");
  if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size()) {
    throw PlotError("cannot write " + path + ": " + std::strerror(errno));
  }
  close_written(file, path);
}

// Reads BASE.dat, BASE.pos and BASE.out and writes the folder BASE-plots; returns its name.
std::string draw(const std::string& base) {
  const std::string data_name = base + ".dat";
  const std::string pos_name = base + ".pos";
  const auto group = std::make_unique<GroupData>();
  read_group(data_name, *group);
  const PosFile pos = read_results(*group, pos_name, data_name);
  check_pos_belongs(*group, pos, data_name, pos_name);
  std::string report;
  const std::vector<CapDisplacement> cap =
      read_text(base + ".out", report) ? cap_displacements(report) : std::vector<CapDisplacement>{};

  const std::string folder = base + "-plots";
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) throw PlotError("cannot make the folder " + folder + ": " + error.message());
  const int32_t PNUM = group->model.run.PNUM;
  for (int32_t p = 1; p <= PNUM; ++p) {
    write_document(folder + "/" + pile_file_name(p),
                   pile_svg(group->model.piles, p, pos.piles[static_cast<size_t>(p - 1)]));
  }
  write_document(folder + "/plan.svg", plan_svg(*group));
  const std::string title = std::filesystem::path(base).filename().string();
  write_document(folder + "/index.html", index_html(title, PNUM, cap, pos));
  return folder;
}

}  // namespace

int32_t run_plot_command(int argc, const char* const* argv, std::FILE* out, std::FILE* errors) {
  try {
    if (argc != 2 || argv[1][0] == '\0') {
      throw PlotError(
          "usage: kelmarino-plot BASE (reads BASE.dat, BASE.pos and BASE.out of a kelmarino run, "
          "writes the diagrams into BASE-plots/)");
    }
    const std::string folder = draw(argv[1]);
    std::fprintf(out, "kelmarino-plot: wrote %s/index.html, plan.svg and the pile diagrams\n",
                 folder.c_str());
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(errors, "kelmarino-plot: %s\n", error.what());
    return 1;
  }
}

}  // namespace kelmarino
