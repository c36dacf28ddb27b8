// The files of a run: opened with a run-time error naming the file when they cannot be, and
// closed with every buffered line checked, so that a report cut short is never taken for a whole
// one.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "layout/layout.hpp"
#include "model/run_error.hpp"

namespace kelmarino {

void FileCloser::operator()(std::FILE* file) const { std::fclose(file); }

File open_file(const std::string& name, const char* mode) {
  File file(std::fopen(name.c_str(), mode));
  if (!file) throw RunError("run-time error opening " + name + ": " + std::strerror(errno));
  return file;
}

bool read_whole_file(const std::string& name, std::string& text, size_t limit) {
  const File file(std::fopen(name.c_str(), "rb"));
  if (!file) return false;
  text.clear();
  struct stat status {};
  if (fstat(fileno(file.get()), &status) == 0 && S_ISREG(status.st_mode)) {
    text.reserve(std::min(limit, static_cast<size_t>(status.st_size)));  // one allocation
  }
  char buffer[65536];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    if (got > limit - text.size()) {
      throw RunError("run-time error reading " + name + ": the file is longer than " +
                     std::to_string(limit >> 20) + " MB");
    }
    text.append(buffer, got);
  }
  if (std::ferror(file.get()))
    throw RunError("run-time error reading " + name + ": " + std::strerror(errno));
  return true;
}

void close_written(File& file, const std::string& name) {
  std::FILE* const open = file.release();
  if (open == nullptr) return;
  errno = 0;
  const bool written = std::fflush(open) == 0 && !std::ferror(open);
  const int flush_error = errno;
  const bool closed = std::fclose(open) == 0;
  if (!written || !closed) {
    const int reason = !written && flush_error != 0 ? flush_error : errno;
    throw RunError("run-time error writing " + name + ": " +
                   (reason != 0 ? std::strerror(reason) : "the file could not be written"));
  }
}

}  // namespace kelmarino

namespace kelmarino {

bool flushed_whole(std::FILE* file, std::string& reason) {
  errno = 0;
  if (std::fflush(file) == 0 && !std::ferror(file)) return true;
  reason = errno != 0 ? std::strerror(errno) : "the text could not be written";
  return false;
}

MemoryText::MemoryText() : file_(open_memstream(&text_, &size_)) {}

MemoryText::~MemoryText() {
  if (file_ != nullptr) std::fclose(file_);
  std::free(text_);
}

std::string MemoryText::text() {
  if (file_ == nullptr) return std::string();
  std::fflush(file_);
  return std::string(text_, size_);
}

}  // namespace kelmarino
