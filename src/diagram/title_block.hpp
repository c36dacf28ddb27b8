#pragma once
// The title block at the head of every page of the results: what made it, when, from which data
// file, and the project's names a checker signs against.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelmarino {

struct TitleBlock {
  std::string program;   // "kelmarino-plot 1.10-3-g5876935"
  std::string run_time;  // "2026-12-08 01:26 UTC"
  std::string data_name;
  std::string heading;  // the data file's first line
  std::string sha256;   // of the data file's bytes, in hex
  std::string project;
  std::string job;
  std::string engineer;
  std::string checker;
  std::string revision;
  // The other input files read (a loads file, a combinations file): name and SHA-256 in hex.
  std::vector<std::pair<std::string, std::string>> inputs;
};

// The SHA-256 digest of `bytes` as 64 lower-case hex digits.
std::string sha256_hex(std::string_view bytes);

// A time in seconds since 1970 written in UTC as "2026-12-08 01:26 UTC".
std::string utc_time_text(int64_t seconds);

// The time of a run: `fixed` when given, else SOURCE_DATE_EPOCH (`epoch`, a count of seconds)
// when it reads as one, else `now`.
std::string run_time_text(const std::string& fixed, std::optional<std::string_view> epoch,
                          int64_t now);

// Why a text of the title block given on the command line (--project, --date, ...) is refused:
// one that begins with "--" is the next option, taken for the text that was left out. Empty: none.
std::string title_text_refusal(const std::string& text);

// A title block with the data file's fields filled in: its name, first line and digest.
TitleBlock data_title_block(TitleBlock block, const std::string& data_name,
                            std::string_view data_text);

// The print rules of a page titled `title`: A4 sheets with the title in the top margin and, on
// its right, the job, revision, data file's digest (its first 12 digits) and time of the run of
// `block`, so that a page taken from the print is traced to its run; "page x of y" in the bottom
// margin, and on its left the other input files read with their digests' first 12 digits;
// headings and their captions kept with what follows them, and the tables and runs of rows that
// html_table marks as printed whole ("whole", "kept") on one sheet.
std::string print_css(const std::string& title, const TitleBlock& block);

// The title block as an HTML table of id "title-block"; the names not given are left out.
std::string title_block_html(const TitleBlock& block);

}  // namespace kelmarino
