// The inputs of the diagrams: the pile group from the data file, the check that the
// post-processing file belongs to it, and the cap displacements from the report.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "driver/driver.hpp"
#include "input/input.hpp"
#include "plot/plot.hpp"

namespace kelmarino {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File open_data(const std::string& data_name) {
  File file(std::fopen(data_name.c_str(), "r"));
  if (!file) throw PlotError("cannot open " + data_name + ": " + std::strerror(errno));
  return file;
}

// What the reader wrote on its console, kept so that its input errors can be quoted.
class ConsoleText {
 public:
  ConsoleText() : file_(open_memstream(&text_, &size_)) {}
  ~ConsoleText() {
    if (file_ != nullptr) std::fclose(file_);
    std::free(text_);
  }
  ConsoleText(const ConsoleText&) = delete;
  ConsoleText& operator=(const ConsoleText&) = delete;
  std::FILE* file() { return file_; }
  // The lines written so far that hold more than blanks, joined by "; ".
  std::string lines() {
    std::fflush(file_);
    std::string joined;
    std::string line;
    for (size_t i = 0; i <= size_; ++i) {
      if (i == size_ || text_[i] == '\n') {
        if (line.find_first_not_of(' ') != std::string::npos) {
          joined += (joined.empty() ? "" : "; ") + line.substr(line.find_first_not_of(' '));
        }
        line.clear();
      } else {
        line += text_[i];
      }
    }
    return joined;
  }

 private:
  char* text_ = nullptr;
  size_t size_ = 0;
  std::FILE* file_;
};

// The load points of the control section, read again: the reader keeps only their sum at the
// cap centre.
void read_load_points(const std::string& data_name, std::vector<LoadPoint>& loads) {
  const File file = open_data(data_name);
  InChannel data{file.get(), data_name};
  char heading[9];
  line_read(data, "(A9)", {text_target(heading, 9)});
  int32_t JCTR = 0;
  free_read(data, {integer_target(JCTR)});
  if (JCTR != 1) return;
  int32_t NACT = 0;
  free_read(data, {integer_target(NACT)});
  for (int32_t k = 1; k <= NACT; ++k) {
    LoadPoint point;
    free_read(data, {real_target(point.x), real_target(point.y)});
    float* a = point.act;
    free_read(data, {real_target(a[0]), real_target(a[1]), real_target(a[2]), real_target(a[3]),
                     real_target(a[4]), real_target(a[5])});
    loads.push_back(point);
  }
}

}  // namespace

void READ_GROUP(const std::string& data_name, GroupData& group) {
  const File file = open_data(data_name);
  InChannel data{file.get(), data_name};
  ConsoleText console_text;
  if (console_text.file() == nullptr) throw PlotError("cannot keep the reader's console output");
  OutChannel console{console_text.file(), "the console"};
  RunValues& run = group.model.run;
  try {
    // Read as the program reads it: arithmetic faults trapped, refusals thrown.
    const ArithmeticTraps traps;
    fault_context() = FaultContext{"input", 0};
    READ_INPUT(data, console, run.JCTR, run.INO, run.PNUM, run.SNUM, run.FORCE, run.ZFR, run.ZBL,
               group.model.piles);
    read_load_points(data_name, group.loads);
    fault_context() = FaultContext{};
  } catch (const RunError& error) {
    fault_context() = FaultContext{};
    throw PlotError(error.what());
  } catch (const RunStop&) {
    fault_context() = FaultContext{};
    throw PlotError("the reader stopped on an input error in " + data_name + ": " +
                    console_text.lines());
  }
}

int32_t ground_station(const PileData& piles, int32_t p) {
  int32_t KG = 1;
  for (int32_t s = 1; s <= piles.NFR(p); ++s) KG += piles.NSF(p, s);
  return KG;
}

int32_t station_count(const PileData& piles, int32_t p) {
  int32_t NSTA = ground_station(piles, p);
  for (int32_t s = 1; s <= piles.NBL(p); ++s) NSTA += piles.NSG(p, s);
  return NSTA;
}

void CHECK_POS_BELONGS(const GroupData& group, const PosFile& pos, const std::string& data_name,
                       const std::string& pos_name) {
  const std::string refusal = pos_name + " does not belong to " + data_name + ": ";
  const int32_t PNUM = group.model.run.PNUM;
  if (pos.PNUM != PNUM) {
    throw PlotError(refusal + "it holds " + std::to_string(pos.PNUM) + " piles, the data file " +
                    std::to_string(PNUM));
  }
  for (int32_t p = 1; p <= PNUM; ++p) {
    const int32_t NSTA = station_count(group.model.piles, p);
    const int32_t held = pos.piles[static_cast<size_t>(p - 1)].NSTA;
    if (held != NSTA) {
      throw PlotError(refusal + "pile " + std::to_string(p) + " has " + std::to_string(held) +
                      " stations in it, " + std::to_string(NSTA) +
                      " by the segments and steps of the data file");
    }
  }
}

std::vector<CapDisplacement> cap_displacements(const std::string& report_text) {
  static const char* const NAMES[6] = {"UX", "UY", "UZ", "SX", "SY", "SZ"};
  std::vector<CapDisplacement> cap;
  size_t at = report_text.find("DISPLACEMENTS AT THE CAP CENTER");
  for (int32_t i = 0; i < 6 && at != std::string::npos; ++i) {
    // "... UX=   .6603E-03 (m)": the value runs from the key to the unit in parentheses.
    at = report_text.find(std::string(NAMES[i]) + "=", at);
    if (at == std::string::npos) break;
    const size_t open = report_text.find('(', at);
    const size_t close = report_text.find(')', open == std::string::npos ? at : open);
    const size_t line_end = report_text.find('\n', at);
    if (open == std::string::npos || close == std::string::npos || close > line_end) break;
    const std::string field = report_text.substr(at + 3, open - at - 3);
    const size_t first = field.find_first_not_of(' ');
    if (first == std::string::npos) break;
    const std::string value = field.substr(first, field.find_last_not_of(' ') - first + 1);
    char* end = nullptr;
    std::strtof(value.c_str(), &end);
    if (end != value.c_str() + value.size()) break;
    cap.push_back({NAMES[i], value, report_text.substr(open + 1, close - open - 1)});
    at = line_end;
  }
  if (cap.size() != 6) cap.clear();
  return cap;
}

}  // namespace kelmarino
