// The inputs of the diagrams: the pile group from the data file, the check that the
// post-processing file belongs to it, and the cap displacements from the report.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "input/input.hpp"
#include "plot/plot.hpp"
#include "traps/traps.hpp"

namespace kelmarino {
namespace {

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

const char* const NAMES[6] = {"UX", "UY", "UZ", "SX", "SY", "SZ"};  // the cap displacements

}  // namespace

void read_group(const std::string& data_name, GroupData& group) {
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
    LoadPoints points;
    READ_INPUT(data, console, run.JCTR, run.INO, run.PNUM, run.SNUM, run.FORCE, run.ZFR, run.ZBL,
               group.model.piles, points);
    for (int32_t k = 1; k <= points.NACT; ++k) {
      LoadPoint load{points.AXY(k, 1), points.AXY(k, 2), {}};
      for (int32_t i = 1; i <= 6; ++i) load.act[i - 1] = points.ACT(k, i);
      group.loads.push_back(load);
    }
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

void check_pos_belongs(const GroupData& group, const PosFile& pos, const std::string& data_name,
                       const std::string& pos_name) {
  const std::string refusal = pos_name + " does not belong to " + data_name + ": ";
  const int32_t PNUM = group.model.run.PNUM;
  if (pos.PNUM != PNUM) {
    throw PlotError(refusal + "it holds " + std::to_string(pos.PNUM) + " piles, the data file " +
                    std::to_string(PNUM));
  }
  for (int32_t p = 1; p <= PNUM; ++p) {
    const int64_t NSTA = pile_stations(group.model.piles, p).NSTA;
    const int32_t held = pos.piles[static_cast<size_t>(p - 1)].NSTA;
    if (held != NSTA) {
      throw PlotError(refusal + "pile " + std::to_string(p) + " has " + std::to_string(held) +
                      " stations in it, " + std::to_string(NSTA) +
                      " by the segments and steps of the data file");
    }
  }
}

std::vector<CapDisplacement> cap_displacements(const std::string& report_text) {
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
