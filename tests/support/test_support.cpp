#include "support/test_support.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace kelmarino::testing {
namespace {

// Removes the temporary folders of a test when it ends.
// Folders kept for a whole test program (shared by its tests) go when the program ends.
class FolderCleaner : public ::testing::EmptyTestEventListener {
 public:
  std::vector<std::string> folders;
  std::vector<std::string> program_folders;
  void OnTestEnd(const ::testing::TestInfo&) override { remove(folders); }
  void OnTestProgramEnd(const ::testing::UnitTest&) override { remove(program_folders); }

 private:
  static void remove(std::vector<std::string>& list) {
    for (const std::string& folder : list) {
      std::error_code ignored;
      std::filesystem::remove_all(folder, ignored);
    }
    list.clear();
  }
};

FolderCleaner& folder_cleaner() {
  static FolderCleaner* const cleaner = [] {
    auto* created = new FolderCleaner;
    ::testing::UnitTest::GetInstance()->listeners().Append(created);  // owned by the listeners
    return created;
  }();
  return *cleaner;
}

void write_file(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary);
  out << text;
}

std::string shell_quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

std::string temporary_folder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kelmarino-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a folder");
  folder_cleaner().folders.push_back(pattern);
  return pattern;
}

void keep_folder_for_program(const std::string& folder) {
  auto& folders = folder_cleaner().folders;
  std::erase(folders, folder);
  folder_cleaner().program_folders.push_back(folder);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string ProgramRun::file(const std::string& name) const {
  return read_file(folder + "/" + name);
}

bool ProgramRun::has_file(const std::string& name) const {
  return access((folder + "/" + name).c_str(), F_OK) == 0;
}

ProgramRun run_program(const std::map<std::string, std::string>& files, const char* typed) {
  return run_program(files, typed, temporary_folder());
}

namespace {

ProgramRun run_in(const std::string& folder, const std::map<std::string, std::string>& files,
                  const std::vector<std::string>& arguments, const char* typed) {
  ProgramRun run;
  run.folder = folder;
  for (const auto& [name, text] : files) write_file(run.folder + "/" + name, text);
  write_file(run.folder + "/typed.txt", typed == nullptr ? "" : std::string(typed) + "\n");
  std::string command = "cd " + shell_quote(run.folder) + " && " + KELMARINO_EXE;
  for (const std::string& argument : arguments) command.append(" ").append(shell_quote(argument));
  command += " < typed.txt > console.txt 2> errors.txt";
  const int status = std::system(command.c_str());
  if (WIFEXITED(status)) {
    run.exit_status = WEXITSTATUS(status);
    // The shell reports a signal that ended the program as 128 + the signal number.
    if (run.exit_status > 128) {
      run.signal = run.exit_status - 128;
      run.exit_status = -1;
    }
  }
  run.console = run.file("console.txt");
  run.errors = run.file("errors.txt");
  return run;
}

}  // namespace

ProgramRun run_program(const std::map<std::string, std::string>& files, const char* typed,
                       const std::string& folder) {
  return run_in(folder, files, {}, typed);
}

ProgramRun run_with_arguments(const std::map<std::string, std::string>& files,
                              const std::vector<std::string>& arguments, const char* typed) {
  return run_in(temporary_folder(), files, arguments, typed);
}

ProgramRun run_on_data(const std::string& data_text, const std::string& base) {
  return run_program({{base + ".dat", data_text}}, base.c_str());
}

namespace {

bool digit(char c) { return c >= '0' && c <= '9'; }

// The position after the leading blanks and an optional minus sign.
size_t number_start(const std::string& field) {
  size_t i = field.find_first_not_of(' ');
  if (i != std::string::npos && field[i] == '-') ++i;
  return i;
}

}  // namespace

bool is_e_field(const std::string& field, int digits) {
  size_t i = number_start(field);
  if (i == std::string::npos || field.size() != i + static_cast<size_t>(digits) + 5) return false;
  if (field[i++] != '.') return false;
  for (int d = 0; d < digits; ++d) {
    if (!digit(field[i++])) return false;
  }
  return field[i] == 'E' && (field[i + 1] == '+' || field[i + 1] == '-') && digit(field[i + 2]) &&
         digit(field[i + 3]);
}

bool is_i_field(const std::string& field) {
  size_t i = number_start(field);
  if (i == std::string::npos || i == field.size()) return false;
  for (; i < field.size(); ++i) {
    if (!digit(field[i])) return false;
  }
  return true;
}

std::string worked_example() { return read_file(example_path("worked.dat")); }

std::string edited_lines(const std::string& text, const LineEdits& edits, const std::string& eol) {
  std::string edited;
  const std::vector<std::string> lines = split_lines(text);
  for (size_t i = 0; i < lines.size(); ++i) {
    const auto edit = edits.find(static_cast<int>(i + 1));
    if (edit == edits.end()) {
      edited += lines[i] + eol;
      continue;
    }
    if (edit->second == nullptr) continue;
    for (const char* c = edit->second; *c != '\0'; ++c) {
      edited += *c == '\n' ? eol : std::string(1, *c);
    }
    edited += eol;
  }
  return edited;
}

std::string example_path(const std::string& name) {
  return std::string(KELMARINO_EXAMPLES) + "/" + name;
}

std::string test_data_path(const std::string& name) {
  return std::string(KELMARINO_TEST_DATA) + "/" + name;
}

}  // namespace kelmarino::testing
