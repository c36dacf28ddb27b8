// The result-table writers: round-trip numbers, CSV quoting, aligned text and escaped HTML.
#include "tables/tables.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <limits>

namespace kelmarino {
namespace {

TEST(Tables, ShortestTextReadsBackAsTheSameFloat) {
  const float values[] = {0.0f,    -0.0f,  0.1f,      -2.5e-7f,  1.0f / 3.0f,
                          3.4e38f, 1e-45f, 123456.7f, -1039.25f, 16777217.0f};
  for (const float v : values) {
    const std::string text = shortest(v);
    EXPECT_EQ(std::bit_cast<uint32_t>(std::strtof(text.c_str(), nullptr)),
              std::bit_cast<uint32_t>(v))
        << text;
  }
  EXPECT_EQ(shortest(0.1f), "0.1");
  EXPECT_EQ(printed(12.5f), ".1250E+02");
  EXPECT_EQ(printed(-0.000123456f), "-.1235E-03");
}

TEST(Tables, CsvQuotesOnlyWhatNeedsIt) {
  const ResultTable table{{{"combination", ""}, {"UX", "m"}},
                          {{"dead+wind", "0.5"}, {"a,b", "-1"}, {"say \"x\"", "2"}}};
  EXPECT_EQ(csv_text(table),
            "combination,UX (m)\n"
            "dead+wind,0.5\n"
            "\"a,b\",-1\n"
            "\"say \"\"x\"\"\",2\n");
}

TEST(Tables, AlignedTextRightAlignsEveryColumnUnderNameAndUnit) {
  const ResultTable table{{{"pile", ""}, {"NZ", "t"}, {"Z", "m"}},
                          {{"1", "-123.5", "0"}, {"12", "7", "10.25"}}};
  EXPECT_EQ(aligned_text(table),
            "pile      NZ      Z\n"
            "         (t)    (m)\n"
            "----  ------  -----\n"
            "   1  -123.5      0\n"
            "  12       7  10.25\n");
}

TEST(Tables, HtmlTableEscapesTextAndCountsOneRowPerTableRow) {
  const ResultTable table{{{"name", ""}, {"MY", "t*m"}}, {{"<a&b>", "1"}, {"c", "2"}}};
  EXPECT_EQ(html_table(table, "heads"),
            "<table id=\"heads\">\n<thead><tr><th>name</th><th>MY<br/>(t*m)</th></tr></thead>\n"
            "<tbody>\n<tr><td>&lt;a&amp;b&gt;</td><td>1</td></tr>\n"
            "<tr><td>c</td><td>2</td></tr>\n</tbody>\n</table>\n");
}

}  // namespace
}  // namespace kelmarino
