// Write calls: the walk of a layout string over an item list, line by line; output files put in
// place together.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "layout/layout.hpp"
#include "support/test_support.hpp"

namespace kelmarino {
namespace {

std::string written(const char* layout, const std::vector<Item>& items) {
  std::string text;
  write_text(text, layout, items);
  return text;
}

std::string blanks(size_t n) { return std::string(n, ' '); }

// The E12.4 field of a whole number 1..99, built by hand: n = 0.n x 10^1 or 0.nn x 10^2.
std::string e12_of_whole(int32_t n) {
  char field[16];
  if (n < 10) {
    std::snprintf(field, sizeof field, "   .%d000E+01", n);
  } else {
    std::snprintf(field, sizeof field, "   .%02d00E+02", n);
  }
  return field;
}

// Items 1, 2, ..., count as reals, and the lines "(6E12.4)" makes of them.
std::vector<Item> wholes(int32_t count) {
  std::vector<Item> items;
  for (int32_t n = 1; n <= count; ++n) items.emplace_back(static_cast<float>(n));
  return items;
}
std::string six_per_line(int32_t count) {
  std::string text;
  for (int32_t n = 1; n <= count; ++n) {
    text += e12_of_whole(n);
    if (n % 6 == 0 || n == count) text += '\n';
  }
  return text;
}

struct WriteCase {
  const char* name;
  const char* layout;
  std::vector<Item> items;
  std::string expected;
};

TEST(LayoutWrite, EachLayoutWritesItsExactLines) {
  const std::string stiffness_header = "*** To execute entire pile foundation analysis ***    ";
  const WriteCase cases[] = {
      {"each slash and the end of the call end one line", "(//////)", {}, "\n\n\n\n\n\n\n"},
      {"slashes before a literal",
       "(/,/,7X,'*** To calculate axis stiffness of piles ***')",
       {},
       "\n\n" + blanks(7) + "*** To calculate axis stiffness of piles ***\n"},
      {"slash after a literal",
       "(7X,'*** To read input information ***',/)",
       {},
       blanks(7) + "*** To read input information ***\n\n"},
      {"slashes on both sides", "(/,/,/,'Error:<0>',/)", {}, "\n\n\nError:<0>\n\n"},
      {"trailing literal blanks are written",
       "(/,/,7X,'*** To execute entire pile foundation analysis ***    ',/,/)",
       {},
       "\n\n" + blanks(7) + stiffness_header + "\n\n\n"},
      {"one full line of six fields", "(6E12.4)", wholes(6), six_per_line(6)},
      {"seventh item starts a second line", "(6E12.4)", wholes(7), six_per_line(7)},
      {"36 items make six lines", "(6E12.4)", wholes(36), six_per_line(36)},
      {"no items: one empty line", "(6e14.4)", {}, "\n"},
      {"no items: blanks of nX before the first field not written", "(7X,5E14.4)", {}, "\n"},
      {"literal before the first field still written", "(7X,'a=',I3,' b')", {}, blanks(7) + "a=\n"},
      {"lower-case repeated integers", "(2i5)", {3, -12}, "    3  -12\n"},
      {"lower-case real and Hollerith", "(1x,e12.4,2hok)", {12.5f}, "    .1250E+02ok\n"},
      {"Hollerith with parentheses, slash before 15X",
       "(/15X,3HUX=,E12.4,4H (m),9X,3HNX=,E12.4,4H (t))",
       {12.5f, -12.5f},
       "\n" + blanks(15) + "UX=   .1250E+02 (m)" + blanks(9) + "NX=  -.1250E+02 (t)\n"},
      {"Hollerith holds commas, slashes and parentheses", "(3H,/),I2)", {5}, ",/) 5\n"},
      {"two slashes before the closing parenthesis",
       "(15X,3HSZ=,E12.4,6H (rad),7X,3HMZ=,E12.4,6H (t*m)//)",
       {0.0f, -12.5f},
       blanks(15) + "SZ=   .0000E+00 (rad)" + blanks(7) + "MZ=  -.1250E+02 (t*m)\n\n\n"},
      {"literal after the last field is written", "('Error: <',I2,'>')", {-2}, "Error: <-2>\n"},
      {"walk stops at a field with no item", "('<',I2,'|',I2,'>')", {7}, "< 7|\n"},
      {"trailing nX blanks not written", "(5X,I3,5X)", {1}, blanks(7) + "1\n"},
      {"reversion restarts the layout on a new line",
       "(5X,I3,5X)",
       {1, 2},
       blanks(7) + "1\n" + blanks(7) + "2\n"},
      {"reversion ends at the first field with no item",
       "(I2,'a',I3,'b')",
       {1, 2, 3},
       " 1a  2b\n 3a\n"},
      {"column 1 is not a carriage control", "('1',I1,' 0')", {2}, "12 0\n"},
      {"nX followed by a literal is written", "(3X,'x',2X,'y',4X)", {}, "   x  y\n"},
      {"overfull field is asterisks, rest of line kept", "('[',I2,']')", {100}, "[**]\n"},
  };
  for (const WriteCase& c : cases) {
    EXPECT_EQ(written(c.layout, c.items), c.expected) << c.name << ": " << c.layout;
  }
}

TEST(LayoutWrite, WriteCallsOnAChannelNeverShareALine) {
  char* buffer = nullptr;
  size_t size = 0;
  std::FILE* file = open_memstream(&buffer, &size);
  ASSERT_NE(file, nullptr);
  OutChannel channel{file, "memory"};
  write(channel, "(I3)", {1});
  write(channel, "('a',2X)");
  const std::vector<Item> items = {2, 3};
  write(channel, "(I2,1X)", items);
  std::fclose(file);
  const std::string text(buffer, size);
  std::free(buffer);
  EXPECT_EQ(text, "  1\na\n 2\n 3\n");
}

// Files closed together are put in place only when every one is written whole: under a file-size
// limit that the second exceeds, the first keeps its old content too.
TEST(OutputFiles, OneFailedFileLeavesEveryOldFile) {
  const std::string folder = testing::temporary_folder();
  const std::string small = folder + "/case.out", large = folder + "/case.pos";
  for (const std::string& name : {small, large}) {
    OutputFile old(name);
    write(old.channel, "('old')");
    close_together({&old});
  }
  rlimit before{};
  getrlimit(RLIMIT_FSIZE, &before);
  const auto no_signal = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit = before;
  limit.rlim_cur = 4096;
  setrlimit(RLIMIT_FSIZE, &limit);
  try {
    OutputFile first(small), second(large);
    write(first.channel, "('new')");
    for (int32_t i = 0; i < 1000; ++i) write(second.channel, "(I12)", {i});
    close_together({&first, &second});
    ADD_FAILURE() << "no failure beyond the file-size limit";
  } catch (const RunError& error) {
    EXPECT_NE(std::string(error.what()).find("File too large"), std::string::npos) << error.what();
  }
  setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, no_signal);
  EXPECT_EQ(testing::read_file(small), "old\n");
  EXPECT_EQ(testing::read_file(large), "old\n");
}

}  // namespace
}  // namespace kelmarino
