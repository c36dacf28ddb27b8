#pragma once
// How a run ends early: a run-time error (message on standard error, exit status 1), or an input
// error the reader writes on the console (then the ordinary stop message, exit status 1).
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace kelmarino {

// The one exception of the programs: an error that ends a run, with its complete message. The
// messages of kelmarino and kelmarino-cases begin with "run-time error "; kelmarino-plot writes
// its own name before its messages.
class RunError : public std::runtime_error {
 public:
  explicit RunError(const std::string& message) : std::runtime_error(message) {}
};

// A mistake in the input: a run-time error whose parts are also kept apart, for callers that
// report them in their own way.
class InputError : public RunError {
 public:
  InputError(const std::string& message, std::string file_name, int64_t line_number,
             int32_t column_number, std::string what_text, std::string line_text)
      : RunError(message),
        file(std::move(file_name)),
        line(line_number),
        column(column_number),
        what_is_wrong(std::move(what_text)),
        text(std::move(line_text)) {}
  std::string file;           // as named in messages
  int64_t line = 0;           // 0: no line
  int32_t column = 0;         // 0-based
  std::string what_is_wrong;  // the message without its place
  std::string text;           // the line, when there is one
  // An input error of the console ("Error:<0>", "Error: <K>"): its lines as the reader wrote
  // them there, printed on the console rather than as a run-time error; empty for the others.
  std::string console;
};

// Index check of the fixed-capacity arrays. Checked builds stop at once on a wrong index; the
// reader refuses every input that could produce one.
#ifdef KELMARINO_BOUNDS_CHECK
[[noreturn]] void index_out_of_range(int32_t index, int32_t capacity);
inline void check_index(int32_t index, int32_t capacity) {
  if (index < 1 || index > capacity) index_out_of_range(index, capacity);
}
#else
inline void check_index(int32_t, int32_t) {}
#endif

}  // namespace kelmarino
