// Line reads and free reads of the data file and the console, and their input errors.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "faults/faults.hpp"
#include "layout/layout.hpp"
#include "model/run_error.hpp"

namespace kelmarino {
namespace {

// An input channel reading the given text as if it were a file of that name.
class TextSource {
 public:
  explicit TextSource(std::string text, std::string name = "case.dat")
      : text_(std::move(text)), channel_(text_channel(text_, std::move(name))) {}
  TextSource(const TextSource&) = delete;
  TextSource& operator=(const TextSource&) = delete;
  InChannel& channel() { return channel_; }

 private:
  std::string text_;
  InChannel channel_;
};

// The message of the run-time error that the call ends with, or "no error".
template <typename Call>
std::string error_of(Call call) {
  try {
    call();
  } catch (const RunError& error) {
    return error.what();
  }
  return "no error";
}

template <size_t N>
std::string text_of(const char (&text)[N]) {
  return std::string(text, N);
}

TEST(LineRead, A20PadsShortLinesAndCutsLongOnes) {
  TextSource source("my pile\nabcdefghijklmnopqrstuvwxyz\nnext\n");
  char base[20];
  line_read(source.channel(), "(A20)", {text_target(base, 20)});
  EXPECT_EQ(text_of(base), "my pile" + std::string(13, ' '));
  line_read(source.channel(), "(A20)", {text_target(base, 20)});
  EXPECT_EQ(text_of(base), "abcdefghijklmnopqrst");
  // Characters after the 20th are never read: the next read takes the next line.
  line_read(source.channel(), "(A20)", {text_target(base, 20)});
  EXPECT_EQ(text_of(base), "next" + std::string(16, ' '));
}

TEST(LineRead, TagLinesReadTheirTypeNumber) {
  struct Case {
    const char* line;
    int32_t number;
  } cases[] = {{"< 1>", 1}, {"<12>", 12}, {"<-3>", -3}, {"<  >", 0}, {"<", 0}, {"< 7> more", 7}};
  for (const Case& c : cases) {
    TextSource source(std::string(c.line) + "\n");
    char open[1] = {'?'};
    char close[1] = {'?'};
    int32_t number = 99;
    line_read(source.channel(), "(A1,I2,A1)",
              {text_target(open, 1), integer_target(number), text_target(close, 1)});
    EXPECT_EQ(number, c.number) << c.line;
    EXPECT_EQ(open[0], '<') << c.line;
  }
}

TEST(LineRead, CrLfLineReadsLikeLfLine) {
  TextSource source("abc\r\n< 4>\r\n");
  char text[6];
  line_read(source.channel(), "(A6)", {text_target(text, 6)});
  EXPECT_EQ(text_of(text), "abc   ");
  char open[1];
  char close[1];
  int32_t number = 0;
  line_read(source.channel(), "(A1,I2,A1)",
            {text_target(open, 1), integer_target(number), text_target(close, 1)});
  EXPECT_EQ(number, 4);
  EXPECT_EQ(close[0], '>');
}

TEST(LineRead, TagWithoutBlankIsAnInputError) {
  TextSource source("<0>\n<1>\n");
  char check[3];
  line_read(source.channel(), "(A3)", {text_target(check, 3)});
  char open[1];
  char close[1];
  int32_t number = 0;
  EXPECT_EQ(error_of([&] {
              line_read(source.channel(), "(A1,I2,A1)",
                        {text_target(open, 1), integer_target(number), text_target(close, 1)});
            }),
            "run-time error in case.dat, line 2: cannot read \"1>\" as an integer\n"
            "  <1>\n"
            "   ^");
}

// The end of the file names the line that was expected; line numbers run past 2^31.
TEST(LineRead, EndOfFileIsAnInputError) {
  const struct Case {
    int64_t lines_taken;
    const char* what;
    std::string message;
  } cases[] = {
      {0, "the base name of the data file",
       "run-time error in the console input, line 1: end of file where the base name of the data "
       "file was expected"},
      {0, nullptr,
       "run-time error in the console input, line 1: end of file where a line was expected"},
      {2147483647, nullptr,
       "run-time error in the console input, line 2147483648: end of file where a line was "
       "expected"},
  };
  for (const Case& c : cases) {
    TextSource source("", "the console input");
    source.channel().line_number = c.lines_taken;
    char base[20];
    EXPECT_EQ(error_of([&] {
                if (c.what == nullptr) {
                  line_read(source.channel(), "(A20)", {text_target(base, 20)});
                } else {
                  line_read(source.channel(), c.what, "(A20)", {text_target(base, 20)});
                }
              }),
              c.message);
  }
}

TEST(FreeRead, SeparatorsAndLineEndsGiveTheSameValues) {
  const char* texts[] = {"1 2\t3,4 , 5\n", "1\n2\n\n3\n4,5\n", "  1,2 3\t\t4  5 6 7\n",
                         "1 2\r\n3 4\r\n5\r\n"};
  for (const char* text : texts) {
    TextSource source(text);
    int32_t v[5] = {};
    free_read(source.channel(), {integer_target(v[0]), integer_target(v[1]), integer_target(v[2]),
                                 integer_target(v[3]), integer_target(v[4])});
    EXPECT_EQ(v[0], 1) << text;
    EXPECT_EQ(v[1], 2) << text;
    EXPECT_EQ(v[2], 3) << text;
    EXPECT_EQ(v[3], 4) << text;
    EXPECT_EQ(v[4], 5) << text;
  }
}

TEST(FreeRead, RestOfTheLastLineIsDiscarded) {
  TextSource source("4 0 9\n7, 8 /\n");
  int32_t a = 0;
  int32_t b = 0;
  free_read(source.channel(), {integer_target(a), integer_target(b)});
  free_read(source.channel(), {integer_target(b)});
  EXPECT_EQ(a, 4);
  EXPECT_EQ(b, 7);
}

TEST(FreeRead, RepeatsEmptyValuesAndSlash) {
  TextSource source("3*2.5 1\n1.0,,3.0 , ,5.0\n8.0 /\n6.0\n");
  float r[4] = {};
  free_read(source.channel(),
            {real_target(r[0]), real_target(r[1]), real_target(r[2]), real_target(r[3])});
  EXPECT_EQ(r[0], 2.5f);
  EXPECT_EQ(r[1], 2.5f);
  EXPECT_EQ(r[2], 2.5f);
  EXPECT_EQ(r[3], 1.0f);
  // Empty values between commas leave their targets unchanged.
  float s[5] = {-1.0f, -2.0f, -3.0f, -4.0f, -5.0f};
  free_read(source.channel(), {real_target(s[0]), real_target(s[1]), real_target(s[2]),
                               real_target(s[3]), real_target(s[4])});
  EXPECT_EQ(s[0], 1.0f);
  EXPECT_EQ(s[1], -2.0f);
  EXPECT_EQ(s[2], 3.0f);
  EXPECT_EQ(s[3], -4.0f);
  EXPECT_EQ(s[4], 5.0f);
  // "/" ends the read: the targets after it keep their values, and the line is done.
  float t[3] = {-1.0f, -2.0f, -3.0f};
  free_read(source.channel(), {real_target(t[0]), real_target(t[1]), real_target(t[2])});
  EXPECT_EQ(t[0], 8.0f);
  EXPECT_EQ(t[1], -2.0f);
  EXPECT_EQ(t[2], -3.0f);
  float u = 0.0f;
  free_read(source.channel(), {real_target(u)});
  EXPECT_EQ(u, 6.0f);
}

// A line end and a comma after it are one separator, as blanks and a comma are; a comma after
// a comma, or at the start of a read, is an empty value (-1: the target keeps its value).
TEST(FreeRead, CommaAfterALineEndSeparatesOnce) {
  const struct {
    const char* text;
    float expected[3];
  } rows[] = {
      {"1\n,2 3\n", {1, 2, 3}},   {"1 \n\n  ,2 3\n", {1, 2, 3}}, {"2*5\n,6 7\n", {5, 5, 6}},
      {"1\n,,3 4\n", {1, -1, 3}}, {"1,\n,3 4\n", {1, -1, 3}},    {",1 2 3\n", {-1, 1, 2}},
      {"1 2\n, 3\n", {1, 2, 3}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    TextSource source(row.text);
    float r[3] = {-1.0f, -1.0f, -1.0f};
    free_read(source.channel(), {real_target(r[0]), real_target(r[1]), real_target(r[2])});
    EXPECT_EQ(std::vector<float>(r, r + 3), std::vector<float>(row.expected, row.expected + 3));
  }
}

TEST(FreeRead, RealsWithAndWithoutPointAndExponent) {
  TextSource source("5000 5000.0 5.0E3 2.6E6 2.6D6 1.5d-2 -.5 +3. 7e+1\n");
  float r[9] = {};
  free_read(source.channel(), {real_target(r[0]), real_target(r[1]), real_target(r[2]),
                               real_target(r[3]), real_target(r[4]), real_target(r[5]),
                               real_target(r[6]), real_target(r[7]), real_target(r[8])});
  const float expected[9] = {5000.0f, 5000.0f, 5000.0f, 2.6e6f, 2.6e6f,
                             1.5e-2f, -0.5f,   3.0f,    70.0f};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(r[i], expected[i]) << "value " << i + 1;
}

// Reals at the ends of the single-precision range, read raising no arithmetic fault: a value
// that rounds beyond the largest real is refused as such, one below the smallest keeps its
// denormal or reads as a signed zero with a warning, and long exponents and many digits read like
// their short forms.
TEST(FreeRead, RealsAtTheEndsOfTheSinglePrecisionRange) {
  constexpr float largest = std::numeric_limits<float>::max();
  struct Case {
    const char* text;
    bool refused;
    float value;
    bool warned;  // read as 0, with a warning
  } cases[] = {
      {"3.4028234E38", false, largest, false},
      {"340282346638528859811704183484516925440", false, largest, false},
      {"99999999999999999999999999999999999999", false, 1e38f, false},
      {".5E38", false, 5e37f, false},
      {"00000000000000000000000000000000000000001", false, 1.0f, false},
      {"0E99999", false, 0.0f, false},
      {"3.4028236E38", true, 0.0f, false},
      {"1E39", true, 0.0f, false},
      {"-1D39", true, 0.0f, false},
      {"1E+0039", true, 0.0f, false},
      {"1000000000000000000000000000000000000000", true, 0.0f, false},
      {"-1E99999", true, 0.0f, false},
      {"1.17549435E-38", false, std::numeric_limits<float>::min(), false},
      {"7E-45", false, 7e-45f, false},
      {"1.4E-45", false, std::numeric_limits<float>::denorm_min(), false},
      {"1E-46", false, 0.0f, true},
      {"-1E-50", false, -0.0f, true},
      {"1E-99999", false, 0.0f, true},
  };
  const FaultFlags flags;
  for (const Case& c : cases) {
    TextSource source(std::string(c.text) + "\n");
    MemoryText warnings;
    source.channel().warnings = warnings.file();
    float value = 7.0f;
    const std::string message =
        error_of([&] { free_read(source.channel(), {real_target(value)}); });
    const bool warned =
        warnings.text().find("reads as 0: it lies below the smallest") != std::string::npos;
    EXPECT_EQ(warned, c.warned) << c.text;
    if (c.refused) {
      EXPECT_NE(message.find("as a real number: it lies beyond the range of single-precision"),
                std::string::npos)
          << c.text;
    } else {
      EXPECT_EQ(message, "no error") << c.text;
      EXPECT_EQ(std::bit_cast<uint32_t>(value), std::bit_cast<uint32_t>(c.value)) << c.text;
    }
    EXPECT_NO_THROW(check_faults()) << c.text;  // the read raises no arithmetic fault
  }
  // The copies of r*v are one value, warned about once.
  TextSource copies("3*1E-50\n");
  MemoryText warnings;
  copies.channel().warnings = warnings.file();
  float v[3] = {1.0f, 1.0f, 1.0f};
  free_read(copies.channel(), {real_target(v[0]), real_target(v[1]), real_target(v[2])});
  EXPECT_EQ(warnings.text(),
            "warning in case.dat, line 1: \"1E-50\" reads as 0: it lies below the smallest "
            "single-precision real (about 1.4E-45)\n  3*1E-50\n  ^\n");
  EXPECT_EQ(v[2], 0.0f);
}

// The shortest text of a real, which a group built from values writes into its data file, reads
// back as the same real: for random bit patterns and at the ends of the range.
TEST(FreeRead, ReadsTheShortestTextOfARealBackBitForBit) {
  std::vector<float> values = {std::numeric_limits<float>::max(),
                               -std::numeric_limits<float>::max(),
                               std::numeric_limits<float>::min(),
                               std::numeric_limits<float>::denorm_min(),
                               -0.0f,
                               0.1f,
                               123456792.0f};
  std::mt19937 random(7);
  while (values.size() < 20000) {
    const float value = std::bit_cast<float>(static_cast<uint32_t>(random()));
    if (std::isfinite(value)) values.push_back(value);
  }
  std::string text;
  for (const float value : values) text += shortest(value) + "\n";
  TextSource source(text);
  const FaultFlags flags;
  for (const float value : values) {
    float back = 7.0f;
    free_read(source.channel(), {real_target(back)});
    ASSERT_EQ(std::bit_cast<uint32_t>(back), std::bit_cast<uint32_t>(value)) << shortest(value);
  }
  EXPECT_NO_THROW(check_faults());
}

TEST(FreeRead, TextValuesQuotedOrBareAreCutOrPadded) {
  TextSource source("'ab cd' \"x\" bare,NSF=2 1 6\nHFR= 1 3.0\nab/cd\n");
  char a[4];
  char b[3];
  char c[6];
  char key[4];
  int32_t index = 0;
  float value = 0.0f;
  free_read(source.channel(), {text_target(a, 4), text_target(b, 3), text_target(c, 6),
                               text_target(key, 4), integer_target(index), real_target(value)});
  EXPECT_EQ(text_of(a), "ab c");
  EXPECT_EQ(text_of(b), "x  ");
  EXPECT_EQ(text_of(c), "bare  ");
  // "=" is an ordinary character: the bare key runs to the blank and loses the 2.
  EXPECT_EQ(text_of(key), "NSF=");
  EXPECT_EQ(index, 1);
  EXPECT_EQ(value, 6.0f);
  free_read(source.channel(), {text_target(key, 4), integer_target(index), real_target(value)});
  EXPECT_EQ(text_of(key), "HFR=");
  EXPECT_EQ(index, 1);
  EXPECT_EQ(value, 3.0f);
  // A bare value ends at "/", which then ends the read.
  char d[4] = {'k', 'e', 'e', 'p'};
  free_read(source.channel(), {text_target(a, 4), text_target(d, 4)});
  EXPECT_EQ(text_of(a), "ab  ");
  EXPECT_EQ(text_of(d), "keep");
}

TEST(FreeRead, ReadInPortionsSizedByACountReadFirst) {
  TextSource source("3 1.0\n2*2.0 9.0\n-1\n");
  FreeRead read;
  start_free_read(source.channel(), read);
  int32_t count = 0;
  read_values(read, {integer_target(count)});
  ASSERT_EQ(count, 3);
  float r[3] = {};
  read_values(read, {real_target(r[0]), real_target(r[1])});
  read_values(read, {real_target(r[2])});  // the second copy of 2*2.0
  EXPECT_EQ(r[0], 1.0f);
  EXPECT_EQ(r[1], 2.0f);
  EXPECT_EQ(r[2], 2.0f);
  // The 9.0 is the rest of the last line used.
  int32_t next = 0;
  free_read(source.channel(), {integer_target(next)});
  EXPECT_EQ(next, -1);
}

TEST(FreeRead, InputErrorsNameFileLineAndValue) {
  struct Case {
    const char* text;
    bool integers;
    std::string message;
  } cases[] = {
      {"* types\n2 5.0 1.2x 5000.0\n", false,
       "run-time error in case.dat, line 2: cannot read \"1.2x\" as a real number\n"
       "  2 5.0 1.2x 5000.0\n"
       "        ^"},
      {"* piles\n4 2.5\n", true,
       "run-time error in case.dat, line 2: cannot read \"2.5\" as an integer\n"
       "  4 2.5\n"
       "    ^"},
      {"* piles\n4 'a'\n", true,
       "run-time error in case.dat, line 2: cannot read \"a\" as an integer\n"
       "  4 'a'\n"
       "    ^"},
      {"* piles\n1.5E 2\n", false,
       "run-time error in case.dat, line 2: cannot read \"1.5E\" as a real number\n"
       "  1.5E 2\n"
       "  ^"},
      {"* piles\n4\n", true,
       "run-time error in case.dat, line 3: expected 2 values, found 1 before the end of the file"},
  };
  for (const Case& c : cases) {
    TextSource source(c.text);
    char heading[9];
    line_read(source.channel(), "(A9)", {text_target(heading, 9)});
    int32_t i[2] = {};
    float r[4] = {};
    const std::string message = error_of([&] {
      if (c.integers) {
        free_read(source.channel(), {integer_target(i[0]), integer_target(i[1])});
      } else {
        free_read(source.channel(),
                  {real_target(r[0]), real_target(r[1]), real_target(r[2]), real_target(r[3])});
      }
    });
    EXPECT_EQ(message, c.message) << c.text;
  }
}

// A heading, end or tag line (first character "*" or "<") ends a read that still needs values:
// the message says what the read takes and how many values it found. A value that only starts
// with "*" inside a number line is an unreadable value as before.
TEST(FreeRead, HeadingMetBeforeTheLastValueSaysWhatWasExpected) {
  struct Case {
    const char* text;
    std::string message;
  } cases[] = {
      {"1,,\n  *end\n",
       "run-time error in case.dat, line 2: expected 3 type numbers, one per pile, found 2 before "
       "the line \"*end\"\n    *end\n    ^"},
      {"1 *2\n",
       "run-time error in case.dat, line 1: cannot read \"*2\" as an integer\n  1 *2\n    ^"},
  };
  for (const Case& c : cases) {
    TextSource source(c.text);
    int32_t v[3] = {};
    EXPECT_EQ(error_of([&] {
                free_read(source.channel(), "type numbers, one per pile",
                          {integer_target(v[0]), integer_target(v[1]), integer_target(v[2])});
              }),
              c.message);
  }
}

// A number left after the last value of a read is warned about with its line and a caret (a
// decimal comma reads as two numbers); words after the values are a comment and stay silent.
TEST(FreeRead, NumberLeftOnTheLastLineIsWarnedAbout) {
  struct Case {
    const char* text;
    std::string warning;
  } cases[] = {
      {"3059,0 1.5\n",
       "warning in case.dat, line 1: the rest of the line from \"1.5\" is not read: the read of 2 "
       "values, x y, is complete before it (a decimal comma splits a number in two)\n"
       "  3059,0 1.5\n         ^\n"},
      // No comma between digits on the line: no word of a decimal comma.
      {"1\n2 3*4.5\n",
       "warning in case.dat, line 2: the rest of the line from \"3*4.5\" is not read: the read of "
       "2 values, x y, is complete before it\n"
       "  2 3*4.5\n    ^\n"},
      // Copies of r*v left over: the number after them is left as well.
      {" 3*1 9\n",
       "warning in case.dat, line 1: the rest of the line from \"9\" is not read: the read of 2 "
       "values, x y, is complete before it\n"
       "   3*1 9\n       ^\n"},
      {"4*1\n", ""},
      {"1 2  pile top\n", ""},
      {"1 2 ! 3\n", ""},
      {"1 2 /\n", ""},
      // A number after the slash that ended the read is lost as well.
      {"1/2\n",
       "warning in case.dat, line 1: the rest of the line from \"2\" is not read: the slash before "
       "it ends the read\n  1/2\n    ^\n"},
      {"1 / dead load\n", ""},
  };
  for (const Case& c : cases) {
    TextSource source(c.text);
    char* buffer = nullptr;
    size_t size = 0;
    source.channel().warnings = open_memstream(&buffer, &size);
    float x = 0.0f;
    float y = 0.0f;
    free_read(source.channel(), "values, x y", {real_target(x), real_target(y)});
    std::fclose(source.channel().warnings);
    EXPECT_EQ(std::string(buffer, size), c.warning) << c.text;
    std::free(buffer);
    EXPECT_EQ(x, c.text[0] == '3' ? 3059.0f : 1.0f) << c.text;
  }
}

}  // namespace
}  // namespace kelmarino
