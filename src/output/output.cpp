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

std::string usage_error(const std::string& program, const std::vector<std::string>& remaining,
                        const std::string& parsed) {
  for (const std::string& argument : remaining) {
    if (argument.size() > 1 && argument[0] == '-') {
      return "unknown option " + argument + " (" + program + " --help lists the options)";
    }
  }
  return parsed;
}

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

// Exchanges two names in one step; false where the file system cannot.
bool exchange_folders(const std::string& a, const std::string& b) {
  return renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0;
}

// The first of `inputs` whose file lies within the folder `target`, links followed; empty: none.
std::string input_within(const std::string& target, const std::vector<std::string>& inputs) {
  std::error_code error;
  const fs::path folder = fs::canonical(target, error);
  if (error) return {};
  for (const std::string& input : inputs) {
    const fs::path file = fs::canonical(input, error);
    if (error) continue;
    const fs::path within = file.lexically_relative(folder);
    if (!within.empty() && *within.begin() != "..") return input;
  }
  return {};
}

}  // namespace

NewFolder::NewFolder(const std::string& target, const std::vector<std::string>& inputs)
    : target_(target) {
  std::error_code error;
  const fs::file_status status = fs::symlink_status(target, error);
  if (fs::exists(status) && !fs::is_directory(status)) {
    throw RunError("run-time error making the folder " + target + ": " + target +
                   " exists and is not a folder");
  }
  if (const std::string input = input_within(target, inputs); !input.empty()) {
    throw RunError("run-time error making the folder " + target + ": " + input +
                   " is a file in it (through a link), which the new folder would take away: "
                   "move the file out of " +
                   target + " first");
  }
  remove_leftovers(target, OutputKind::folder);
  for (int32_t attempt = 1; made_.name().empty(); ++attempt) {
    made_.hold(new_name(target, attempt));  // held before it is made
    if (mkdir(made_.name().c_str(), 0777) == 0) break;
    const int reason = errno;
    const std::string why = making_failure(target, made_.name(), reason);
    made_.release();
    if (reason != EEXIST || attempt == 100) {
      throw RunError("run-time error making the folder " + target + ": " + why);
    }
  }
}

NewFolder::~NewFolder() {
  if (made_.name().empty()) return;
  std::error_code ignored;
  fs::remove_all(made_.name(), ignored);
}

std::string NewFolder::shown(const std::string& name) const { return target_ + "/" + name; }

File NewFolder::create(const std::string& name) const {
  // "x": the file is new; nothing that stood in its place is followed.
  File file(std::fopen((made_.name() + "/" + name).c_str(), "wbx"));
  if (!file) throw RunError("run-time error opening " + shown(name) + ": " + std::strerror(errno));
  return file;
}

void NewFolder::write(const std::string& name, std::string_view text) const {
  File file = create(name);
  write_text_to(file, shown(name), text);
  close_written(file, shown(name));
}

std::string NewFolder::commit() {
  // A folder new to the target is renamed to it. Where the target is there (or appears meanwhile,
  // made by another run) the two are exchanged and the previous one removed; where the file system
  // cannot exchange, the previous one is first moved aside.
  const std::string made = made_.name();
  std::error_code error;
  if (!fs::exists(fs::symlink_status(target_, error))) {
    if (std::rename(made.c_str(), target_.c_str()) == 0) {
      made_.release();
      return {};
    }
    if (errno != ENOTEMPTY && errno != EEXIST) {
      throw RunError("run-time error renaming the new folder to " + target_ + ": " +
                     std::strerror(errno));
    }
  }
  if (!exchange_folders(made, target_)) {
    // The previous folder is held for removal only once the new one is in its place: a signal
    // between the two renames leaves it aside, never removes it.
    const std::string aside = made + "-previous";
    if (std::rename(target_.c_str(), aside.c_str()) != 0) {
      const int reason = errno;
      throw RunError("run-time error replacing the folder " + target_ + ": " +
                     std::strerror(reason));
    }
    if (std::rename(made.c_str(), target_.c_str()) != 0) {
      const int reason = errno;
      std::rename(aside.c_str(), target_.c_str());
      throw RunError("run-time error replacing the folder " + target_ + ": " +
                     std::strerror(reason));
    }
    made_.hold(aside);
  }
  // The previous folder: where it cannot be removed it is left, and said, until a later run can
  // remove it.
  fs::remove_all(made_.name(), error);
  std::string warning;
  if (error) {
    warning = "warning: the previous " + target_ + " could not be removed (" + error.message() +
              "): it is left as " + made_.name();
  }
  made_.release();
  return warning;
}

void write_text_to(File& file, const std::string& name, std::string_view text) {
  if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size()) {
    throw RunError("run-time error writing " + name + ": " + std::strerror(errno));
  }
}

}  // namespace kelmarino
