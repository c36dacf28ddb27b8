#pragma once
// Layout strings: the one mechanism that turns numbers into text lines (write calls on the
// console, the report and the post-processing file) and text back into numbers (the fixed-column
// line reads and the free reads of the data file and the console); the shortest reals; and the
// files of a run: inputs read whole, outputs renamed into place and removed when a signal ends
// the program before they are.
//
// Notation: a parenthesised list of nX, 'text', nHtext, /, Iw, Ew.d and Aw elements, with repeat
// counts (6E12.4) and letters in either case.
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "model/run_error.hpp"

namespace kelmarino {

// One value of a write call: an integer for an Iw field or a real for an Ew.d field.
struct Item {
  Item() : is_integer(false) {}
  Item(int32_t value) : is_integer(true), integer(value) {}  // NOLINT: items are built implicitly
  Item(float value) : is_integer(false), real(value) {}      // NOLINT
  bool is_integer;
  int32_t integer = 0;
  float real = 0.0f;
};

// An output channel: the console, the report file or the post-processing file.
struct OutChannel {
  std::FILE* file = nullptr;  // none: the channel takes nothing
  std::string name;           // as named in error messages
};

// Writes the items through the layout: starts a new line, ends its last line. A data element
// that finds no item ends the write; items left at the closing parenthesis restart the layout.
void write(OutChannel& channel, std::string_view layout, std::span<const Item> items);
void write(OutChannel& channel, std::string_view layout, std::initializer_list<Item> items = {});

// The same, appending the lines (each ended by a line feed) to a text.
void write_text(std::string& text, std::string_view layout, std::span<const Item> items);

// Appends one Ew.d field: the exact decimal value rounded half up on digit d+1, no 0 before the
// point, no sign for zero, two exponent digits, right-aligned in w columns; asterisks if too wide.
void append_e(std::string& text, float value, int32_t w, int32_t d);

// e_value: the single-precision value of a number as an Ew.d field prints it ("-.1234E+01"):
// subnormals (".1008E-38") as they are, and ".3403E+39", the float maximum rounded to four
// digits, as the float maximum. False for text that is not a number or lies beyond that.
bool e_value(const std::string& number, float& value);

// read_real_text: a real as the data file writes one: sign, digits with or without a point, an
// optional exponent with E or D; its nearest single-precision value. Or what the text is instead:
// no such real, or one beyond the range of single-precision reals.
enum class RealText { read, not_a_real, beyond_range };
// What a refusal of a real beyond_range says after the text.
inline constexpr std::string_view BEYOND_RANGE =
    "it lies beyond the range of single-precision reals (about 3.4E38)";
RealText read_real_text(std::string_view text, float& value);

// read_real: read_real_text's value; false for any text it does not read.
inline bool read_real(std::string_view text, float& value) {
  return read_real_text(text, value) == RealText::read;
}

// The single-precision value that an Ew.d field of `value` reads back as (e_value): the value
// rounded half up on digit d+1 as append_e prints it. A value that is not finite stays as it is.
float e_rounded(float value, int32_t d);

// The shortest text that reads back as the same single-precision value ("0.1", "-2.5e-07"), for
// messages and CSV files.
std::string shortest(float value);

// "1 pile", "3 piles": a count and its noun, the plural made with "s".
std::string counted(int64_t n, const std::string& thing);

// A file of the run, closed (unchecked) when it goes out of scope: the end of a run-time error.
struct FileCloser {
  void operator()(std::FILE* file) const;
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Opens a file, or throws the run-time error "run-time error opening NAME: <reason>".
File open_file(const std::string& name, const char* mode);

// The largest input file read whole (a data file, a post-processing file, a CSV file).
inline constexpr size_t MAX_INPUT_BYTES = size_t{256} << 20;

// The longest line of an input (a data file, the console, a CSV file, a post-processing file).
inline constexpr size_t MAX_LINE_BYTES = size_t{4} << 20;

// The whole text of a regular file; false, with errno set, when it cannot be opened. The file is
// opened without waiting (a named pipe never blocks the run) and must be a regular file: a folder
// throws "run-time error reading NAME: Is a directory", a pipe or a device "run-time error reading
// NAME: a named pipe, not a regular file" (or its kind). A read that fails throws "run-time error
// reading NAME: <reason>", and so does a file longer than `limit` bytes.
bool read_whole_file(const std::string& name, std::string& text, size_t limit = MAX_INPUT_BYTES);

// Why read_whole_file could not open `name` (errno `reason`), for a message: the system's reason,
// with " (a link to nothing)" for a link whose file has gone.
std::string opening_failure(const std::string& name, int reason);

// The same for an input that may be left out. Empty when
// nothing at all stands at the name, or none can (a name longer than the system allows): an
// optional input that is simply not given.
std::string missing_input(const std::string& name, int reason);

// A stream that writes into memory, for a channel whose text is wanted back: a reader's console
// or its warnings in a library call.
class MemoryText {
 public:
  MemoryText();
  ~MemoryText();
  MemoryText(const MemoryText&) = delete;
  MemoryText& operator=(const MemoryText&) = delete;
  std::FILE* file() const { return file_; }  // null when the stream could not be made
  std::string text();                        // what has been written so far

 private:
  char* text_ = nullptr;
  size_t size_ = 0;
  std::FILE* file_;
};

// Flushes and closes a written file, or throws "run-time error writing NAME: <reason>": the last
// buffered lines are written here, and a full disk or a file-size limit shows only here.
void close_written(File& file, const std::string& name);

// The name of the new file or folder made beside `target` before it takes the target's place:
// ".NAME.new-<pid>-<attempt>" in the target's folder.
std::string new_name(const std::string& target, int32_t attempt);

// Why the new file or folder `made` for `target` could not be made: the system's reason, and for
// a name too long that the target's own is not, by how much the base name must be shorter.
std::string making_failure(const std::string& target, const std::string& made, int reason);

// A new file or folder of the run, held by name from before it is made until it is put in place
// or removed, so that a signal that ends the program removes it (remove_new_on_signals). At most
// 16 names are held at once; a name beyond them is made all the same, without that guard.
class HeldTemporary {
 public:
  HeldTemporary() = default;
  ~HeldTemporary() { release(); }
  HeldTemporary(const HeldTemporary&) = delete;
  HeldTemporary& operator=(const HeldTemporary&) = delete;
  // Holds another name in place of the one held.
  void hold(const std::string& name);
  // Lets the name go: it has been put in place or removed.
  void release();
  const std::string& name() const { return name_; }

 private:
  std::string name_;
  int32_t slot_ = -1;
};

// The signals that end a run: they remove its new files and folders (remove_new_on_signals) and
// are held back while files are put in place together (SignalsHeld).
inline constexpr int ENDING_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

// The only signal handling of the programs, installed by each at its start: the ending signals
// remove the new files and folders held, then end the program by the signal's own default
// action; SIGXFSZ and SIGPIPE are ignored, so that a write beyond a file-size limit or into a
// closed pipe fails with its message, exit status 1 and nothing of the run left behind.
void remove_new_on_signals();

// Removes the new files and folders of `target` (".NAME.new-<pid>-...") left by a process that no
// longer runs. For a folder, a previous one that such a process set aside ("...-previous") is put
// back instead where nothing has taken its place; a file is never set aside, so nothing is put
// back in place of one.
enum class OutputKind { file, folder };
void remove_leftovers(const std::string& target, OutputKind kind);

// A file of the run written whole or not at all: the text goes into a new file made beside it
// (".NAME.new-<pid>-<n>"), which close_together checks and puts in the file's place, never writing
// through a link that stood there. A folder in the file's place is refused at once ("run-time error
// opening NAME: Is a directory"). A file not closed goes with the object, leaving the previous one.
class OutputFile {
 public:
  explicit OutputFile(const std::string& name);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // The two steps of close_together: the new file flushed and checked as close_written, then
  // renamed to the file's name ("run-time error replacing NAME: <reason>" when it cannot be).
  void finish();
  void put_in_place();

 private:
  std::unique_ptr<char[]> buffer_;  // the file's stream buffer, large: few write calls

 public:
  File file;
  OutChannel channel;

 private:
  HeldTemporary made_;
};

// close_together: the files of one run (the report and the .pos) each written whole first, then
// every one put in place with the ending signals held: a failure to write either leaves both old
// files as they were.
void close_together(std::initializer_list<OutputFile*> files);

// Holds back the ending signals of this thread while it lives,
// so that files put in place together are all put in place before a signal ends the run.
class SignalsHeld {
 public:
  SignalsHeld();
  ~SignalsHeld();
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t before_;
};

// Flushes a stream that stays open (the standard output): false, with the system's reason, when
// any of the text written on it could not be written (a full device, a closed pipe).
bool flushed_whole(std::FILE* file, std::string& reason);

// The exit status of a run whose only output is its standard output (its help, its version): 0,
// or 1 with the message "run-time error writing the standard output: REASON" after `program`
// ("kelmarino-plot: ", or "") on the standard error when any of it was lost.
int32_t standard_output_status(std::FILE* out, std::FILE* errors, const char* program);

// Throws the run-time error of a console that lost some of what was written to it, the standard
// output (flushed here) or the standard error of the warnings: a run whose messages were lost (a
// closed pipe, a full device) is not a success.
void check_console(std::FILE* out, std::FILE* errors);

// An input channel: the data file or the console, read line by line from a stream, or from a
// text in memory when there is no stream.
struct InChannel {
  std::FILE* file = nullptr;
  std::string name;               // as named in error messages: "pier.dat", "the console"
  int64_t line_number = 0;        // number of the last line taken
  std::string line;               // the last line taken, without its line end
  std::FILE* warnings = nullptr;  // where warnings about the input are written; none when null
  std::string_view text;          // the text read when `file` is null; it outlives the channel
  size_t next = 0;                // the position in `text` of the next line
};

// A channel that reads a text in memory, named `name` in messages.
inline InChannel text_channel(std::string_view text, std::string name) {
  InChannel channel;
  channel.name = std::move(name);
  channel.text = text;
  return channel;
}

// Where a value stood in its channel: the line (0: no line of the channel set it) and the column
// (0-based).
struct Place {
  int64_t line = 0;
  int32_t column = 0;
};

// A target of a read: an integer, a real, or a text variable of fixed length.
struct Target {
  enum class Kind { Integer, Real, Text };
  Kind kind;
  void* place;
  int32_t length;          // text length; unused for numbers
  Place* where = nullptr;  // receives where the value stood, when the read sets the target
};
inline Target integer_target(int32_t& value) { return {Target::Kind::Integer, &value, 0}; }
inline Target real_target(float& value) { return {Target::Kind::Real, &value, 0}; }
inline Target text_target(char* text, int32_t length) { return {Target::Kind::Text, text, length}; }
inline Target noting_place(Target target, Place& where) {
  target.where = &where;
  return target;
}

// The one way input mistakes are written: "in NAME, line N: WHAT", then the line with a caret
// under the column (the line is read again from the file when it is not the last one taken).
// A place without a line gives "in NAME: WHAT". refuse_at ends the run with the run-time error
// "run-time error in ..."; warn_at writes "warning in ..." on the channel's warning stream.
[[noreturn]] void refuse_at(InChannel& channel, Place where, const std::string& what);
// input_error_at: the run-time error refuse_at throws, returned.
InputError input_error_at(InChannel& channel, Place where, const std::string& what);
void warn_at(InChannel& channel, Place where, const std::string& what);

// The refusal of a carriage return (CR) inside a line: in a file whose lines end with LF
// (`line_feeds`: the line is not the first, or an LF ends it and more text follows), a stray
// one; else the file's lines end with CR alone.
std::string stray_carriage_return(bool line_feeds);

// Text as a message shows it: a tab as a blank, control and non-ASCII bytes escaped ("\0",
// "\r", "\x1b"), cut with "..." once it would be longer than `width` characters.
std::string printable_text(std::string_view text, size_t width);

// Reads exactly one line and walks the layout over it (Aw and Iw elements; nX skips columns).
// Aw takes the next w characters, blank-padded; Iw reads an integer field.
// An end of the file met instead of the line is refused as "end of file where WHAT was expected"
// ("the end line of the type section"; "a line" when not named).
void line_read(InChannel& channel, std::string_view what, std::string_view layout,
               std::span<const Target> targets);
void line_read(InChannel& channel, std::string_view what, std::string_view layout,
               std::initializer_list<Target> targets);
void line_read(InChannel& channel, std::string_view layout, std::initializer_list<Target> targets);

// A free read: values separated by blanks, tabs, commas or line ends, starting on the next line;
// r*v repeats, an empty value between commas or a "/" leaves targets unchanged, and the rest of
// the last line used is discarded. A read may fill its targets in several portions, so that a
// count read first can size the list that follows it.
//
// A read names what it takes ("type numbers, one per pile", after the count of values), so that
// a heading, end or tag line (a line beginning with "*" or "<") or the end of the file met before
// the last value is refused as "expected 9 type numbers, one per pile, found 8 before the line
// "<0>"". A number left on the last line used, or after the slash that ended the read, is warned
// about: a decimal comma splits one number in two.
struct FreeRead {
  InChannel* channel = nullptr;
  size_t pos = 0;             // next column of the current line
  bool ended = false;         // a "/" ended the read: further targets keep their values
  int32_t copies_left = 0;    // copies of the last r*v value still to be handed out
  std::string value;          // that value
  bool value_empty = false;   // r* with no value: the copies leave their targets unchanged
  bool value_quoted = false;  // the value was written in quotes
  // The last value was ended by blanks or a line end: a comma that comes next, on its line or
  // the next, still separates it from the next value, and is no empty value.
  bool comma_may_follow = false;
  size_t value_column = 0;  // its column, for the error message
  std::string what;         // what the read takes, named after the count of values
  int32_t expected = 0;     // the count of values it takes in all
  int32_t found = 0;        // the values (and empty values) handed out so far
  Place last;               // where the last value handed out stood
};
void start_free_read(InChannel& channel, FreeRead& read, std::string what = "values",
                     int32_t expected = 0);
void read_values(FreeRead& read, std::span<const Target> targets);
void read_values(FreeRead& read, std::initializer_list<Target> targets);
// After a list of `per_list` values that read_values took wholly from the copies of one r*v
// value (`copies_before` were left when it began), passes over as many further lists as those
// copies serve, at most `lists`, as read_values would for targets that keep nothing: they would
// take the same value. Returns the count of lists passed.
int32_t pass_repeated_lists(FreeRead& read, int32_t copies_before, int32_t per_list, int32_t lists);
// Ends a read: warns when the rest of its last line begins with a number.
void finish_free_read(FreeRead& read);

// A whole free read of one list of targets, named for its messages.
void free_read(InChannel& channel, std::string_view what, std::span<const Target> targets);
void free_read(InChannel& channel, std::string_view what, std::initializer_list<Target> targets);
void free_read(InChannel& channel, std::span<const Target> targets);
void free_read(InChannel& channel, std::initializer_list<Target> targets);

}  // namespace kelmarino
