// The title block of the pages: the digest of the data file, the time of the run, the HTML table.
#include "diagram/title_block.hpp"

#include <openssl/evp.h>

#include <charconv>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "diagram/svg.hpp"
#include "tables/tables.hpp"

namespace kelmarino {

std::string sha256_hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
    throw std::runtime_error("run-time error: the SHA-256 digest failed");
  }
  static constexpr char HEX[] = "0123456789abcdef";
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    text += HEX[digest[i] >> 4];
    text += HEX[digest[i] & 15];
  }
  return text;
}

std::string utc_time_text(int64_t seconds) {
  const auto t = static_cast<std::time_t>(seconds);
  std::tm utc{};
  if (gmtime_r(&t, &utc) == nullptr) return "time " + std::to_string(seconds);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &utc);
  return text;
}

std::string run_time_text(const std::string& fixed, std::optional<std::string_view> epoch,
                          int64_t now) {
  if (!fixed.empty()) return fixed;
  if (epoch) {
    int64_t seconds = 0;
    const char* end = epoch->data() + epoch->size();
    const auto [at, error] = std::from_chars(epoch->data(), end, seconds);
    if (error == std::errc() && at == end && !epoch->empty()) return utc_time_text(seconds);
  }
  return utc_time_text(now);
}

std::string title_text_refusal(const std::string& text) {
  if (!text.starts_with("--")) return "";
  return "\"" + text + "\" is an option, not the text: the text after the option is left out";
}

TitleBlock data_title_block(TitleBlock block, const std::string& data_name,
                            std::string_view data_text) {
  block.data_name = data_name;
  std::string_view first = data_text.substr(0, data_text.find('\n'));
  while (!first.empty() && (first.back() == '\r' || first.back() == ' ')) first.remove_suffix(1);
  block.heading = first;
  block.sha256 = sha256_hex(data_text);
  return block;
}

namespace {

// Text as a CSS string, plain in HTML and XML alike.
std::string css_string(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : xml_characters(text)) {
    if (c == '"' || c == '\\') quoted += '\\';
    const bool ends_line = c == '\n' || c == '\r';
    quoted += (ends_line || c == '<' || c == '>' || c == '&') ? ' ' : c;
  }
  return quoted + '"';
}

}  // namespace

std::string print_css(const std::string& title, const TitleBlock& block) {
  std::string run;  // what a page taken from the print is traced by
  for (const auto& [name, value] : {std::pair{"job ", block.job},
                                    {"revision ", block.revision},
                                    {"data SHA-256 ", block.sha256.substr(0, 12)},
                                    {"run ", block.run_time}}) {
    if (!value.empty()) run.append(run.empty() ? "" : ", ").append(name).append(value);
  }
  std::string inputs;  // the other input files and their digests, so that a page names them too
  for (const auto& [file, sha256] : block.inputs) {
    inputs.append(inputs.empty() ? "" : ", ").append(std::filesystem::path(file).filename());
    inputs.append(" SHA-256 ").append(sha256.substr(0, 12));
  }
  return "@page { size: A4; margin: 14mm 12mm; "
         "@top-left { content: " +
         css_string(title) +
         "; font: 8pt sans-serif; } "
         "@top-right { content: " +
         css_string(run) +
         "; font: 8pt sans-serif; } "
         "@bottom-right { content: \"page \" counter(page) \" of \" counter(pages); "
         "font: 8pt sans-serif; } " +
         (inputs.empty()
              ? std::string()
              : "@bottom-left { content: " + css_string(inputs) + "; font: 8pt sans-serif; } ") +
         "} "
         "h1, h2, h3, h2 + p:not(:has(> img)), h3 + p "
         "{ break-after: avoid; page-break-after: avoid; } "
         "table.whole, tbody.kept { break-inside: avoid; page-break-inside: avoid; } ";
}

std::string title_block_html(const TitleBlock& block) {
  const std::pair<const char*, const std::string*> rows[] = {
      {"Project", &block.project},   {"Job", &block.job},           {"Data file", &block.data_name},
      {"Heading", &block.heading},   {"SHA-256", &block.sha256},    {"Program", &block.program},
      {"Run", &block.run_time},      {"Engineer", &block.engineer}, {"Checker", &block.checker},
      {"Revision", &block.revision},
  };
  std::string html = "<table id=\"title-block\">\n";
  for (const auto& [name, value] : rows) {
    if (value->empty()) continue;
    html.append("<tr><th>").append(name).append("</th><td>");
    html.append(escape_xml(*value)).append("</td></tr>\n");
    if (value != &block.sha256) continue;
    for (const auto& [file, sha256] : block.inputs) {
      html.append("<tr><th>Input file</th><td>").append(escape_xml(file));
      html.append(", SHA-256 ").append(sha256).append("</td></tr>\n");
    }
  }
  html += "</table>\n";
  return html;
}

}  // namespace kelmarino
