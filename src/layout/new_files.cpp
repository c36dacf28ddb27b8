// The new files and folders of a run, held by name until they are put in place: removed by a
// signal that ends the program, or by a later run once the process that made them has gone.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

#include "layout/layout.hpp"

namespace kelmarino {
namespace {

namespace fs = std::filesystem;

constexpr int32_t SLOTS = 16;
constexpr size_t NAME_BYTES = 4096;

// One held name. The handler reads it between two equal even counts of `changes`: a name read
// while it changed is left alone.
struct Slot {
  std::atomic<bool> taken{false};
  std::atomic<uint32_t> changes{0};  // odd while the name changes
  std::atomic<bool> held{false};
  char name[NAME_BYTES] = {};
};

Slot slots[SLOTS];

bool is_dot_entry(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Removes a file, or a folder with the files in it, with calls a signal handler may make. A
// document another thread adds meanwhile is found by the next pass.
void remove_named(const char* name) {
  if (unlink(name) == 0 || errno == ENOENT) return;
  for (int32_t pass = 0; pass < 100; ++pass) {
    const int folder = open(name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0) return;
    alignas(dirent64) char entries[4096];
    for (ssize_t size = 0; (size = getdents64(folder, entries, sizeof entries)) > 0;) {
      for (ssize_t at = 0; at < size;) {
        const auto* entry = reinterpret_cast<const dirent64*>(entries + at);
        if (!is_dot_entry(entry->d_name)) unlinkat(folder, entry->d_name, 0);
        at += entry->d_reclen;
      }
    }
    close(folder);
    if (rmdir(name) == 0 || errno != ENOTEMPTY) return;
  }
}

extern "C" void remove_new_and_end(int signal) {
  for (Slot& slot : slots) {
    const uint32_t before = slot.changes.load(std::memory_order_acquire);
    if ((before & 1) != 0 || !slot.held.load(std::memory_order_acquire)) continue;
    char name[NAME_BYTES];
    std::memcpy(name, slot.name, NAME_BYTES);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (slot.changes.load(std::memory_order_relaxed) != before) continue;
    name[NAME_BYTES - 1] = '\0';
    remove_named(name);
  }
  // The action was reset to the default on entry: the signal, pending until the handler returns,
  // then ends the program with its own status.
  raise(signal);
}

// Whether the end of a name after ".NAME.new-" is one the programs make: PID-N, or PID-N-previous
// for a folder set aside. Anything else (a copy of a leftover, "... copy", "-1.keep") is the
// user's and stays.
bool is_new_name(std::string_view end) {
  auto digits = [&end] {
    const size_t n = std::min(end.find_first_not_of("0123456789"), end.size());
    end.remove_prefix(n);
    return n > 0;
  };
  if (!digits() || !end.starts_with('-')) return false;
  end.remove_prefix(1);
  return digits() && (end.empty() || end == "-previous");
}

}  // namespace

std::string new_name(const std::string& target, int32_t attempt) {
  const fs::path path(target);
  std::string name(1, '.');
  name.append(path.filename().string()).append(".new-").append(std::to_string(getpid()));
  name.append("-").append(std::to_string(attempt));
  return (path.parent_path() / name).string();
}

std::string making_failure(const std::string& target, const std::string& made, int reason) {
  std::string why = std::strerror(reason);
  const size_t longest = NAME_MAX;
  const size_t own = fs::path(target).filename().string().size();
  const size_t longer = fs::path(made).filename().string().size();
  // The most new_name adds: ".", ".new-", a process number of 7 digits, "-", an attempt of 3.
  constexpr size_t MOST_ADDED = 17;
  if (reason == ENAMETOOLONG && own <= longest && longer > longest) {
    why += " (the run first writes it under a name up to " + std::to_string(MOST_ADDED) +
           " characters longer: give a base name at least " +
           std::to_string(own + MOST_ADDED - longest) + " characters shorter)";
  }
  return why;
}

void HeldTemporary::hold(const std::string& name) {
  release();
  name_ = name;
  if (name.size() >= NAME_BYTES) return;
  for (int32_t s = 0; s < SLOTS; ++s) {
    Slot& slot = slots[s];
    bool free = false;
    if (!slot.taken.compare_exchange_strong(free, true)) continue;
    slot.changes.fetch_add(1, std::memory_order_acq_rel);
    std::memcpy(slot.name, name.c_str(), name.size() + 1);
    slot.held.store(true, std::memory_order_release);
    slot.changes.fetch_add(1, std::memory_order_acq_rel);
    slot_ = s;
    return;
  }
}

void HeldTemporary::release() {
  if (slot_ >= 0) {
    Slot& slot = slots[slot_];
    slot.changes.fetch_add(1, std::memory_order_acq_rel);
    slot.held.store(false, std::memory_order_release);
    slot.changes.fetch_add(1, std::memory_order_acq_rel);
    slot.taken.store(false, std::memory_order_release);
    slot_ = -1;
  }
  name_.clear();
}

void remove_new_on_signals() {
  struct sigaction action {};
  action.sa_handler = remove_new_and_end;
  sigemptyset(&action.sa_mask);
  for (const int signal : ENDING_SIGNALS) sigaddset(&action.sa_mask, signal);
  action.sa_flags = static_cast<int>(SA_RESETHAND);
  for (const int signal : ENDING_SIGNALS) {
    struct sigaction previous {};
    // A signal ignored from the start (nohup, a background job) stays ignored.
    if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
}

void remove_leftovers(const std::string& target, OutputKind kind) {
  const fs::path path(target);
  std::string prefix(1, '.');
  prefix.append(path.filename().string()).append(".new-");
  const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
  std::vector<fs::path> left;
  std::error_code error;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    if (!name.starts_with(prefix)) continue;
    if (!is_new_name(std::string_view(name).substr(prefix.size()))) continue;
    const long owner = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
    if (owner <= 0 || owner == getpid()) continue;
    if (kill(static_cast<pid_t>(owner), 0) != 0 && errno == ESRCH) left.push_back(entry->path());
  }
  for (const fs::path& name : left) {
    // A previous folder set aside by a run that ended before the new one took its place is put
    // back where nothing has taken it.
    if (kind == OutputKind::folder && name.filename().string().ends_with("-previous") &&
        !fs::exists(fs::symlink_status(target, error)) &&
        std::rename(name.c_str(), target.c_str()) == 0) {
      continue;
    }
    fs::remove_all(name, error);
  }
}

}  // namespace kelmarino
