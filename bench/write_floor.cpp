// The floor of a run's writing: given files written again, each from memory that already holds
// its bytes, on a thread of its own as the program writes its two files. With --replace, each is
// written into a new file then renamed over its copy, as the program replaces a previous run's
// files; without, into a copy that is not there yet.
// Usage: write_floor [--replace] FILE...   (writes FILE.copy beside each)
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

// The bytes of a file as mapped memory, read in before any writing begins; none when it cannot be
// read.
std::optional<std::string_view> mapped(const char* name) {
  const int fd = open(name, O_RDONLY);
  if (fd < 0) return std::nullopt;
  struct stat status {};
  const bool sized = fstat(fd, &status) == 0;
  const auto size = static_cast<size_t>(status.st_size);
  void* data = sized && size > 0 ? mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0)
                                 : nullptr;
  close(fd);
  if (!sized || data == MAP_FAILED) return std::nullopt;
  return std::string_view(static_cast<char*>(data), size);
}

bool write_copy(std::string_view bytes, const std::string& name, bool replace) {
  const std::string made = replace ? name + ".new" : name;
  const int fd = open(made.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  for (size_t at = 0; at < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + at, std::min<size_t>(bytes.size() - at, 1 << 20));
    if (n <= 0) return close(fd), false;
    at += static_cast<size_t>(n);
  }
  return close(fd) == 0 && (!replace || std::rename(made.c_str(), name.c_str()) == 0);
}

}  // namespace

int main(int argc, char** argv) {
  const bool replace = argc > 1 && std::strcmp(argv[1], "--replace") == 0;
  const std::vector<std::string> names(argv + (replace ? 2 : 1), argv + argc);
  std::vector<std::string_view> bytes;
  for (const std::string& name : names) {
    const std::optional<std::string_view> read = mapped(name.c_str());
    if (!read) {
      std::fprintf(stderr, "write_floor: cannot read %s\n", name.c_str());
      return 1;
    }
    bytes.push_back(*read);
  }
  std::vector<char> written(names.size());
  {
    std::vector<std::jthread> writers;
    for (size_t i = 0; i < names.size(); ++i) {
      writers.emplace_back(
          [&, i] { written[i] = write_copy(bytes[i], names[i] + ".copy", replace); });
    }
  }
  for (size_t i = 0; i < names.size(); ++i) {
    if (!written[i]) {
      std::fprintf(stderr, "write_floor: cannot write a copy of %s\n", names[i].c_str());
      return 1;
    }
  }
  return 0;
}
