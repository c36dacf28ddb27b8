// The files of a run: inputs read whole as regular files within the limits; outputs written
// beside their place and renamed into it, closed with every buffered line checked, so that a
// report cut short is never taken for a whole one.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "layout/layout.hpp"
#include "model/run_error.hpp"

namespace kelmarino {

void FileCloser::operator()(std::FILE* file) const { std::fclose(file); }

File open_file(const std::string& name, const char* mode) {
  File file(std::fopen(name.c_str(), mode));
  if (!file) throw RunError("run-time error opening " + name + ": " + std::strerror(errno));
  return file;
}

namespace {

// The buffer of an output file: large enough that its writes are few (about a hundred for the
// 15 MB of a run at the capacities), small enough that its pages, each faulted in once, stay few
// (a buffer of 1 MB made a run at the capacities a seventh slower).
constexpr size_t OUTPUT_BUFFER = size_t{1} << 17;

// Closes a file descriptor when it goes.
struct Descriptor {
  int fd;
  ~Descriptor() { ::close(fd); }
};

// What a file that is not a regular one is, as a refusal names it.
std::string not_regular(mode_t mode) {
  if (S_ISDIR(mode)) return std::strerror(EISDIR);
  const char* kind = S_ISFIFO(mode)   ? "a named pipe"
                     : S_ISCHR(mode)  ? "a character device"
                     : S_ISBLK(mode)  ? "a block device"
                     : S_ISSOCK(mode) ? "a socket"
                                      : "a special file";
  return std::string(kind) + ", not a regular file";
}

[[noreturn]] void refuse_reading(const std::string& name, const std::string& reason) {
  throw RunError("run-time error reading " + name + ": " + reason);
}

bool is_link(const std::string& name) {
  struct stat status {};
  return lstat(name.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

}  // namespace

std::string opening_failure(const std::string& name, int reason) {
  const bool to_nothing = reason == ENOENT && is_link(name);
  return std::string(std::strerror(reason)) + (to_nothing ? " (a link to nothing)" : "");
}

std::string missing_input(const std::string& name, int reason) {
  if (reason == ENOENT && !is_link(name)) return "";
  // A last name longer than the system allows: no file can stand there.
  const size_t last_name = std::filesystem::path(name).filename().string().size();
  if (reason == ENAMETOOLONG && last_name > NAME_MAX) return "";
  return opening_failure(name, reason);
}

bool read_whole_file(const std::string& name, std::string& text, size_t limit) {
  // Without waiting: a named pipe with no writer would hold the opening forever.
  const int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  const Descriptor closed{fd};
  struct stat status {};
  if (fstat(fd, &status) != 0) refuse_reading(name, std::strerror(errno));
  if (!S_ISREG(status.st_mode)) refuse_reading(name, not_regular(status.st_mode));
  const std::string longer = "the file is longer than " + std::to_string(limit >> 20) + " MB";
  if (static_cast<uintmax_t>(status.st_size) > limit) refuse_reading(name, longer);
  text.clear();
  text.reserve(static_cast<size_t>(status.st_size));  // one allocation
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got == 0) return true;
    if (got < 0) {
      if (errno == EINTR) continue;
      refuse_reading(name, std::strerror(errno));
    }
    if (static_cast<size_t>(got) > limit - text.size()) refuse_reading(name, longer);
    text.append(buffer, static_cast<size_t>(got));
  }
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

OutputFile::OutputFile(const std::string& name)
    : buffer_(new char[OUTPUT_BUFFER]), channel{nullptr, name} {
  struct stat status {};
  if (lstat(name.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
    throw RunError("run-time error opening " + name + ": " + std::strerror(EISDIR));
  }
  remove_leftovers(name, OutputKind::file);
  for (int32_t attempt = 1; !file; ++attempt) {
    made_.hold(new_name(name, attempt));
    // O_EXCL: the file is new; nothing that stood in its place is followed.
    const int fd = open(made_.name().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) file.reset(fdopen(fd, "w"));
    if (file) std::setvbuf(file.get(), buffer_.get(), _IOFBF, OUTPUT_BUFFER);
    if (fd >= 0 && !file) {
      const int reason = errno;
      ::close(fd);
      unlink(made_.name().c_str());
      made_.release();
      throw RunError("run-time error opening " + name + ": " + std::strerror(reason));
    }
    if (fd < 0 && (errno != EEXIST || attempt == 100)) {
      const std::string why = making_failure(name, made_.name(), errno);
      made_.release();
      throw RunError("run-time error opening " + name + ": " + why);
    }
  }
  channel.file = file.get();
}

OutputFile::~OutputFile() {
  file.reset();
  if (!made_.name().empty()) unlink(made_.name().c_str());
}

void OutputFile::finish() {
  channel.file = nullptr;
  close_written(file, channel.name);
}

void OutputFile::put_in_place() {
  if (std::rename(made_.name().c_str(), channel.name.c_str()) != 0) {
    throw RunError("run-time error replacing " + channel.name + ": " + std::strerror(errno));
  }
  made_.release();
}

SignalsHeld::SignalsHeld() {
  sigset_t ending;
  sigemptyset(&ending);
  for (const int signal : ENDING_SIGNALS) sigaddset(&ending, signal);
  pthread_sigmask(SIG_BLOCK, &ending, &before_);
}

SignalsHeld::~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &before_, nullptr); }

void close_together(std::initializer_list<OutputFile*> files) {
  for (OutputFile* file : files) file->finish();
  const SignalsHeld held;
  for (OutputFile* file : files) file->put_in_place();
}

}  // namespace kelmarino

namespace kelmarino {

bool flushed_whole(std::FILE* file, std::string& reason) {
  errno = 0;
  if (std::fflush(file) == 0 && !std::ferror(file)) return true;
  reason = errno != 0 ? std::strerror(errno) : "the text could not be written";
  return false;
}

int32_t standard_output_status(std::FILE* out, std::FILE* errors, const char* program) {
  std::string reason;
  if (flushed_whole(out, reason)) return 0;
  std::fprintf(errors, "%srun-time error writing the standard output: %s\n", program,
               reason.c_str());
  return 1;
}

void check_console(std::FILE* out, std::FILE* errors) {
  std::string reason;
  if (!flushed_whole(out, reason)) {
    throw RunError("run-time error writing the standard output: " + reason);
  }
  if (!flushed_whole(errors, reason)) {
    throw RunError("run-time error writing the standard error: " + reason);
  }
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
