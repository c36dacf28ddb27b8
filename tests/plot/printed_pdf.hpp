#pragma once
// A page printed to PDF by Chromium and read back by poppler's pdftotext, for the tests of the
// printed pages: its sheets with their lines and words, and the checks every printed page passes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "plot/xml_check.hpp"
#include "support/test_support.hpp"

namespace kelmarino::testing {

inline const char* const CHROMIUM = "/usr/bin/chromium";
inline const char* const PDFTOTEXT = "/usr/bin/pdftotext";
inline const char* const PDFINFO = "/usr/bin/pdfinfo";

// A sheet of a page printed by Chromium, as poppler's pdftotext reads it: its size in points and
// its lines of text, each with its top and bottom and its words with their left and right ends.
struct PrintedWord {
  double x0, x1;
  std::string text;
};
struct PrintedLine {
  double top, bottom;
  std::string text;
  std::vector<PrintedWord> words;
};
struct Sheet {
  double width = 0.0, height = 0.0;
  std::vector<PrintedLine> lines;
};

inline bool can_print() { return access(CHROMIUM, X_OK) == 0 && access(PDFTOTEXT, X_OK) == 0; }

// The page printed to PDF by Chromium; the path of the PDF.
inline std::string printed_pdf(const std::string& folder, const std::string& page) {
  const std::string pdf = temporary_folder() + "/page.pdf";
  // Chromium headless now and then hangs on a busy machine and lets SIGTERM pass: it is killed
  // 10 s after, and tried once more with a profile of its own.
  const std::string command =
      std::string("for try in 1 2; do timeout -k 10 120 ") + CHROMIUM +
      " --headless --no-sandbox --disable-gpu --no-first-run"
      " --disable-background-networking --disable-component-update"
      " --user-data-dir=" +
      temporary_folder() + "/profile-$try" +
      " --no-pdf-header-footer --virtual-time-budget=10000 --print-to-pdf=" + pdf + " file://" +
      folder + "/" + page + " > /dev/null 2>&1 && break; done";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return pdf;
}

inline std::vector<Sheet> printed_sheets(const std::string& folder, const std::string& page) {
  const std::string pdf = printed_pdf(folder, page);
  const std::string command = std::string(PDFTOTEXT) + " -bbox-layout " + pdf + " " + pdf + ".html";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  const XmlDocument doc = read_xml(read_file(pdf + ".html"));
  EXPECT_EQ(doc.problem, "");
  auto number = [](const XmlElement& e, const char* name) {
    return std::strtod(e.attributes.at(name).c_str(), nullptr);
  };
  std::vector<Sheet> sheets;
  for (const XmlElement& e : doc.elements) {  // in document order: a sheet, its lines, their words
    if (e.name == "page") sheets.push_back({number(e, "width"), number(e, "height"), {}});
    if (e.name == "line" && !sheets.empty()) {
      sheets.back().lines.push_back({number(e, "yMin"), number(e, "yMax"), "", {}});
    }
    if (e.name == "word" && !sheets.empty() && !sheets.back().lines.empty()) {
      PrintedLine& line = sheets.back().lines.back();
      line.text += (line.text.empty() ? "" : " ") + e.text;
      line.words.push_back({number(e, "xMin"), number(e, "xMax"), e.text});
    }
  }
  return sheets;
}

// The number of sheets of a printed page, as poppler's pdfinfo counts them (reading every word,
// as printed_sheets does, takes minutes of a sanitizer build for a large group).
inline int32_t printed_pages(const std::string& folder, const std::string& page) {
  const std::string pdf = printed_pdf(folder, page);
  const std::string info = pdf + ".info";
  const std::string command = std::string(PDFINFO) + " " + pdf + " > " + info;
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  const std::string text = read_file(info);
  const size_t at = text.find("\nPages:");
  EXPECT_NE(at, std::string::npos) << text;
  return at == std::string::npos ? 0 : std::atoi(text.c_str() + at + 7);
}

// The middle of the first word of a text on a sheet; NAN when it holds none.
inline double printed_middle(const Sheet& sheet, const std::string& text) {
  for (const PrintedLine& line : sheet.lines) {
    for (const PrintedWord& word : line.words) {
      if (word.text == text) return (word.x0 + word.x1) / 2.0;
    }
  }
  return NAN;
}

// A printed page: the text of all its sheets, and the sheet with the first line that begins
// with a given text (-1 when none does).
struct PrintedDocument {
  std::vector<Sheet> sheets;
  std::string text;
  int32_t marked = -1;
};

// Prints `page` of `folder` and checks it as a document a checker files: every sheet A4 with
// `title` and `run` (what traces the sheet to its run) in its top margin and "page x of y" and
// `inputs` (the other input files, when there are) in its bottom one and nothing else there; no
// sheet ends on a heading of `html` (the page's document) or on the caption under one.
inline PrintedDocument printed_document(const std::string& folder, const std::string& page,
                                        const XmlDocument& html, const std::string& title,
                                        const std::string& run, const std::string& marker,
                                        const std::string& inputs = "") {
  PrintedDocument printed;
  printed.sheets = printed_sheets(folder, page);
  EXPECT_GE(printed.sheets.size(), 3u);
  std::set<std::string> headings;
  for (const char* h : {"h1", "h2", "h3"}) {
    for (const XmlElement* heading : html.all(h)) headings.insert(heading->content);
  }
  std::vector<std::string> captions;  // the paragraphs that follow a heading
  for (size_t e = 1; e < html.elements.size(); ++e) {
    const XmlElement& before = html.elements[e - 1];
    if (html.elements[e].name == "p" && (before.name == "h2" || before.name == "h3")) {
      captions.push_back(html.elements[e].content);
    }
  }
  const double margin = 14.0 / 25.4 * 72.0;  // the top and bottom margins of the print style
  const size_t count = printed.sheets.size();
  for (size_t s = 0; s < count; ++s) {
    const Sheet& sheet = printed.sheets[s];
    SCOPED_TRACE("sheet " + std::to_string(s + 1));
    EXPECT_NEAR(sheet.width, 595.28, 1.0);  // 210 mm x 297 mm
    EXPECT_NEAR(sheet.height, 841.89, 1.0);
    std::set<std::string> in_margins;
    const PrintedLine* last = nullptr;
    for (const PrintedLine& line : sheet.lines) {
      printed.text += line.text + "\n";
      if (line.bottom < margin || line.top > sheet.height - margin) {
        in_margins.insert(line.text);
      } else if (last == nullptr || line.top > last->top) {
        last = &line;
      }
      if (printed.marked < 0 && line.text.rfind(marker, 0) == 0) {
        printed.marked = static_cast<int32_t>(s);
      }
    }
    std::set<std::string> margins{title, run,
                                  "page " + std::to_string(s + 1) + " of " + std::to_string(count)};
    if (!inputs.empty()) margins.insert(inputs);
    EXPECT_EQ(in_margins, margins);
    if (last == nullptr) {
      ADD_FAILURE() << "an empty sheet";
      continue;
    }
    EXPECT_EQ(headings.count(last->text), 0u) << "the sheet ends on the heading " << last->text;
    for (const std::string& caption : captions) {
      EXPECT_FALSE(caption.ends_with(last->text)) << "the sheet ends on the caption " << caption;
    }
  }
  return printed;
}

// The diagrams of a pile (`svg`) as printed on `sheet`: at the scale measured between two of their
// panel titles, their smallest text is 7 pt or more.
inline void expect_readable_diagram(const XmlDocument& svg, const Sheet& sheet) {
  std::map<std::string, double> drawn;  // the x of the middle of the panel titles
  double smallest = 1e9;
  for (const XmlElement& e : svg.elements) {
    if (e.attributes.count("font-size")) {
      smallest = std::min(smallest, std::strtod(e.attributes.at("font-size").c_str(), nullptr));
    }
    if (e.name == "text" && (e.text == "Displacement" || e.text == "Rotation")) {
      drawn[e.text] = std::strtod(e.attributes.at("x").c_str(), nullptr);
    }
  }
  ASSERT_EQ(drawn.size(), 2u);
  const double scale =
      (printed_middle(sheet, "Rotation") - printed_middle(sheet, "Displacement")) /
      (drawn["Rotation"] - drawn["Displacement"]);  // points of the sheet per unit of the SVG
  EXPECT_GE(smallest * scale, 7.0)
      << "the smallest text, " << smallest << " units, at " << scale << " pt a unit";
}

}  // namespace kelmarino::testing
