#pragma once
// The work of the programs that write a folder of results (kelmarino-plot, kelmarino-cases): jobs
// shared among threads, and a folder of documents written whole or not at all.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "layout/layout.hpp"

namespace kelmarino {

// usage_error: the message of a usage error of such a program, from the arguments its parser left
// over and the parser's own message: the first left over that looks like an option is named
// alone, "unknown option --frob (kelmarino-plot --help lists the options)", as otherwise the value
// after it is taken as the base name and the base name reported as unexpected.
std::string usage_error(const std::string& program, const std::vector<std::string>& remaining,
                        const std::string& parsed);

// parallel_for: job(i, worker) for every i from 0 to count - 1, on `threads` threads (the calling
// one is worker 0, the others 1 .. threads - 1), each taking the next index not yet taken. After
// an exception in a job (a run-time error, std::bad_alloc, anything) no index is taken any more,
// and the first one caught is thrown again in the caller once every thread has ended. A thread
// that cannot be started is the run-time error "run-time error: cannot start a thread: <reason>".
void parallel_for(size_t count, int32_t threads,
                  const std::function<void(size_t index, int32_t worker)>& job);

// A folder of results written whole or not at all. The documents go into a new folder made beside
// the target (".NAME.new-<pid>-<n>", held as HeldTemporary holds it; the leftovers of runs that
// have gone are removed first); commit puts it in the target's place in one step, the previous
// folder going with it. A folder not committed is removed with its documents when the object goes,
// leaving the previous one as it was. The new folder holds only files the program made, so a link
// planted in the previous one is never followed.
class NewFolder {
 public:
  // Makes the new folder; a target that exists and is not a folder is refused, and so is one
  // that holds any of the run's `inputs` (reached through a link), which it would take away.
  // RunError.
  explicit NewFolder(const std::string& target, const std::vector<std::string>& inputs = {});
  ~NewFolder();
  NewFolder(const NewFolder&) = delete;
  NewFolder& operator=(const NewFolder&) = delete;

  // The name of a document as messages give it: TARGET/NAME.
  std::string shown(const std::string& name) const;
  // A new file of the folder, opened for writing; RunError naming it as shown.
  File create(const std::string& name) const;
  // Writes one document whole and closes it; RunError naming it as shown.
  void write(const std::string& name, std::string_view text) const;
  // Puts the new folder in the target's place. RunError when it cannot. Returns a warning when
  // the previous folder could not be removed: where it is left (empty: none).
  std::string commit();

 private:
  std::string target_;
  HeldTemporary made_;  // the new folder; none once committed
};

// Writes text into an open file; RunError "run-time error writing NAME: <reason>".
void write_text_to(File& file, const std::string& name, std::string_view text);

}  // namespace kelmarino
