// Jobs shared among threads, and the folder of results written whole or not at all.
#include "output/output.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "model/run_error.hpp"

namespace kelmarino {

void parallel_for(size_t count, int32_t threads,
                  const std::function<void(size_t index, int32_t worker)>& job) {
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  std::exception_ptr failure;
  std::mutex mutex;
  auto work = [&](int32_t worker) {
    try {
      for (size_t i = next++; i < count && !failed; i = next++) job(i, worker);
    } catch (...) {
      const std::lock_guard<std::mutex> lock(mutex);
      if (!failure) failure = std::current_exception();
      failed = true;
    }
  };
  {
    std::vector<std::jthread> helpers;  // joined when they go, also when a start fails
    try {
      helpers.reserve(static_cast<size_t>(threads > 1 ? threads - 1 : 0));
      for (int32_t t = 1; t < threads && static_cast<size_t>(t) < count; ++t) {
        helpers.emplace_back(work, t);
      }
    } catch (const std::system_error& error) {
      failed = true;
      throw RunError(std::string("run-time error: cannot start a thread: ") +
                     std::strerror(error.code().value()));
    }
    work(0);
  }
  if (failure) std::rethrow_exception(failure);
}

namespace {

namespace fs = std::filesystem;

// The target's folder, and the name of the new folder beside it.
std::string new_name(const std::string& target, int32_t attempt) {
  const fs::path path(target);
  std::string name(1, '.');
  name.append(path.filename().string()).append(".new-").append(std::to_string(getpid()));
  name.append("-").append(std::to_string(attempt));
  return (path.parent_path() / name).string();
}

// Exchanges two names in one step; false where the file system cannot.
bool exchange_folders(const std::string& a, const std::string& b) {
  return renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0;
}

}  // namespace

NewFolder::NewFolder(const std::string& target) : target_(target) {
  std::error_code error;
  const fs::file_status status = fs::symlink_status(target, error);
  if (fs::exists(status) && !fs::is_directory(status)) {
    throw RunError("run-time error making the folder " + target + ": " + target +
                   " exists and is not a folder");
  }
  for (int32_t attempt = 1; made_.empty(); ++attempt) {
    const std::string name = new_name(target, attempt);
    if (mkdir(name.c_str(), 0777) == 0) {
      made_ = name;
    } else if (errno != EEXIST || attempt == 100) {
      throw RunError("run-time error making the folder " + target + ": " + std::strerror(errno));
    }
  }
}

NewFolder::~NewFolder() {
  if (made_.empty()) return;
  std::error_code ignored;
  fs::remove_all(made_, ignored);
}

std::string NewFolder::shown(const std::string& name) const { return target_ + "/" + name; }

File NewFolder::create(const std::string& name) const {
  // "x": the file is new; nothing that stood in its place is followed.
  File file(std::fopen((made_ + "/" + name).c_str(), "wbx"));
  if (!file) throw RunError("run-time error opening " + shown(name) + ": " + std::strerror(errno));
  return file;
}

void NewFolder::write(const std::string& name, std::string_view text) const {
  File file = create(name);
  write_text_to(file, shown(name), text);
  close_written(file, shown(name));
}

void NewFolder::commit() {
  // The previous folder is exchanged with the new one and then removed; where the file system
  // cannot exchange, it is first moved aside.
  std::error_code error;
  if (!fs::exists(fs::symlink_status(target_, error))) {
    if (std::rename(made_.c_str(), target_.c_str()) != 0) {
      throw RunError("run-time error renaming the new folder to " + target_ + ": " +
                     std::strerror(errno));
    }
  } else if (!exchange_folders(made_, target_)) {
    const std::string aside = made_ + "-previous";
    if (std::rename(target_.c_str(), aside.c_str()) != 0) {
      throw RunError("run-time error replacing the folder " + target_ + ": " +
                     std::strerror(errno));
    }
    if (std::rename(made_.c_str(), target_.c_str()) != 0) {
      const int reason = errno;
      std::rename(aside.c_str(), target_.c_str());
      throw RunError("run-time error replacing the folder " + target_ + ": " +
                     std::strerror(reason));
    }
    made_ = aside;
  }
  if (made_ != target_ && fs::exists(fs::symlink_status(made_, error))) {
    fs::remove_all(made_, error);  // the previous folder; a leftover is harmless
  }
  made_.clear();
}

void write_text_to(File& file, const std::string& name, std::string_view text) {
  if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size()) {
    throw RunError("run-time error writing " + name + ": " + std::strerror(errno));
  }
}

}  // namespace kelmarino
