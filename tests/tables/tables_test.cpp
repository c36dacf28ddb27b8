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

TEST(Tables, ReadableNumbersHaveFourDigitsInPlainDecimals) {
  const struct {
    double value;
    double zero_below;
    const char* text;
  } cases[] = {{0.0, 0.0, "0"},
               {-0.0, 0.0, "0"},
               {0.003996, 0.0, "0.003996"},
               {27.08, 0.0, "27.08"},
               {-1234.56, 0.0, "-1235"},
               {12345678.0, 0.0, "12350000"},
               {9.99961, 0.0, "10"},
               {0.5, 0.0, "0.5"},
               {-2.5e-7, 0.0, "-0.00000025"},
               {8.525e-11, 1e-9, "0"},
               {-8.525e-11, 1e-9, "0"},
               {2e-9, 1e-9, "0.000000002"},
               {-4.509e32, 0.0, "-450900000000000000000000000000000"}};
  for (const auto& c : cases) EXPECT_EQ(readable(c.value, c.zero_below), c.text) << c.value;
}

TEST(Tables, ReadableTableWritesNoiseOfEachColumnAsZero) {
  const ResultTable table = readable_table(
      {{"pile", ""}, {"UX", "mm"}, {"SX", "mrad"}},
      {{"1", 3.996, 1.2e-9}, {"2", 8.525e-6, 3.4e-10}, {"3", "-", -5e-16}}, ForceUnit::t);
  const std::vector<std::vector<std::string>> expected = {
      {"1", "3.996", "0.0000000012"}, {"2", "0.000008525", "0.00000000034"}, {"3", "-", "0"}};
  EXPECT_EQ(table.rows, expected);
}

// In kN every unit of force turns and takes the factor 9.80665; every other unit, and every unit
// in t, stays as it is.
TEST(Tables, ShownUnitTurnsUnitsOfForceIntoKn) {
  const struct {
    const char* unit;
    const char* in_kn;
  } cases[] = {{"t", "kN"},
               {"t*m", "kN*m"},
               {"t/m2", "kPa"},
               {"t/m", "kN/m"},
               {"t*m/rad", "kN*m/rad"},
               {"t/m4", "kN/m4"},
               {"t*m2", "kN*m2"},
               {"m", "m"},
               {"rad", "rad"},
               {"", ""},
               {"1/m", "1/m"},
               {"degrees", "degrees"}};
  for (const auto& c : cases) {
    const ReaderUnit kn = shown_unit(c.unit, ForceUnit::kN);
    EXPECT_EQ(kn.unit, c.in_kn) << c.unit;
    EXPECT_EQ(kn.factor, kn.unit == c.unit ? 1.0 : 9.80665) << c.unit;
    const ReaderUnit t = shown_unit(c.unit, ForceUnit::t);
    EXPECT_EQ(t.unit, c.unit);
    EXPECT_EQ(t.factor, 1.0) << c.unit;
  }
  const ResultTable table = exact_table({{"Z", "m"}, {"MX", "t*m"}}, {{2.5, 1.0}}, ForceUnit::kN);
  EXPECT_EQ(csv_text(table), "Z (m),MX (kN*m)\n2.5,9.80665\n");
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
            "<table id=\"heads\" "
            "class=\"whole\">\n<thead><tr><th>name</th><th>MY<br/>(t*m)</th></tr></thead>\n"
            "<tbody>\n<tr><td>&lt;a&amp;b&gt;</td><td>1</td></tr>\n"
            "<tr><td>c</td><td>2</td></tr>\n</tbody>\n</table>\n");
}

TEST(Tables, PrintedSheetsKeepShortTablesAndRunsOfAFirstCellWhole) {
  // 20 rows: KCAP twice, 16 of their own, pile 1 twice.
  std::vector<std::vector<std::string>> rows = {{"KCAP"}, {"KCAP"}};
  for (int32_t i = 0; i < 16; ++i) rows.push_back({std::to_string(i)});
  rows.insert(rows.end(), {{"pile 1"}, {"pile 1"}});
  const std::string html = html_table({{{"k", ""}}, rows}, "t");
  EXPECT_EQ(html.find("class=\"whole\""), std::string::npos);
  EXPECT_NE(html.find("<tbody class=\"kept\">\n<tr><td>KCAP</td></tr>\n<tr><td>KCAP</td></tr>\n"
                      "</tbody>\n<tbody>\n<tr><td>0</td></tr>"),
            std::string::npos);
  EXPECT_NE(html.find("<tr><td>15</td></tr>\n</tbody>\n<tbody class=\"kept\">\n<tr><td>pile 1"),
            std::string::npos);
  // 17 rows of one first cell are no run kept whole; 16 rows are a table kept whole.
  EXPECT_EQ(html_table({{{"k", ""}}, std::vector<std::vector<std::string>>(17, {"p"})}, "t")
                .find("class="),
            std::string::npos);
  rows.resize(16);
  EXPECT_NE(html_table({{{"k", ""}}, rows}, "t").find("<table id=\"t\" class=\"whole\">"),
            std::string::npos);
}

TEST(Tables, EscapedTextIsWellFormedXml) {
  const std::string replaced = "\xEF\xBF\xBD";
  const struct {
    std::string text, escaped;
  } rows[] = {
      {"a<b & \"c\" 'd'>", "a&lt;b &amp; &quot;c&quot; &apos;d&apos;&gt;"},
      {"tab\tline\nreturn\r", "tab\tline\nreturn\r"},
      {std::string("nul") + '\0' + "bell" + '\x07' + "esc" + '\x1b' + "[31m del" + '\x7f',
       "nul" + replaced + "bell" + replaced + "esc" + replaced + "[31m del" + replaced},
      {"\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x99\x82 \xEF\xBF\xBD",
       "\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x99\x82 \xEF\xBF\xBD"},
      {"\xEF\xBF\xBE\xEF\xBF\xBF", replaced + replaced + replaced + replaced + replaced + replaced},
      {"\xff\xfe \xC3 \xC0\xAF \xED\xA0\x80 \xF4\x90\x80\x80 \xE2\x82",
       replaced + replaced + " " + replaced + " " + replaced + replaced + " " + replaced +
           replaced + replaced + " " + replaced + replaced + replaced + replaced + " " + replaced +
           replaced},
  };
  for (const auto& row : rows) EXPECT_EQ(escape_html(row.text), row.escaped) << row.text;
}

}  // namespace
}  // namespace kelmarino
