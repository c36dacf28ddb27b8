// The title block: the digest of the data file and the time of the run.
#include "diagram/title_block.hpp"

#include <gtest/gtest.h>

#include <string>

namespace kelmarino {
namespace {

TEST(TitleBlock, DigestIsSha256) {
  EXPECT_EQ(sha256_hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha256_hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(TitleBlock, RunTimeIsGivenThenSourceDateEpochThenTheClock) {
  const int64_t now = 1796693400;  // 2026-12-08 01:30 UTC
  const struct {
    const char* fixed;
    const char* epoch;  // null: not set
    const char* time;
  } cases[] = {
      {"8 Dec 2026", "0", "8 Dec 2026"},     {"", "0", "1970-01-01 00:00 UTC"},
      {"", "86399", "1970-01-01 23:59 UTC"}, {"", "12x", "2026-12-08 01:30 UTC"},
      {"", "", "2026-12-08 01:30 UTC"},      {"", nullptr, "2026-12-08 01:30 UTC"},
  };
  for (const auto& c : cases) {
    const auto epoch = c.epoch ? std::optional<std::string_view>(c.epoch) : std::nullopt;
    EXPECT_EQ(run_time_text(c.fixed, epoch, now), c.time)
        << c.fixed << " " << (c.epoch ? c.epoch : "-");
  }
}

TEST(TitleBlock, DataFileGivesNameHeadingAndDigest) {
  const TitleBlock block =
      data_title_block({.program = "kelmarino-plot"}, "pier.dat", "* control: river pier\r\n1\n");
  EXPECT_EQ(block.program, "kelmarino-plot");
  EXPECT_EQ(block.data_name, "pier.dat");
  EXPECT_EQ(block.heading, "* control: river pier");
  EXPECT_EQ(block.sha256, sha256_hex("* control: river pier\r\n1\n"));
}

TEST(TitleBlock, PrintMarginsHoldTheTitleAndTheRunAsCssStringsOfCharactersXmlTakes) {
  TitleBlock block;
  block.job = "J<1>";
  block.sha256 = sha256_hex("");
  block.run_time = "2026-12-08 01:26 UTC";
  std::string css = print_css("a\"b\\c\rd\ne<f&g\x01h\xEF\xBF\xBEi]]>j", block);
  const auto content = [&](const char* box) {
    const size_t begin = css.find("content: \"", css.find(box)) + 10;
    return css.substr(begin, css.find("\";", begin) - begin);
  };
  EXPECT_EQ(content("@top-left"),
            "a\\\"b\\\\c d e f g\xEF\xBF\xBDh\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBDi]] j");
  EXPECT_EQ(content("@top-right"), "job J 1 , data SHA-256 e3b0c44298fc, run 2026-12-08 01:26 UTC");
  EXPECT_EQ(css.find("@bottom-left"), std::string::npos);  // no other input file
  block.inputs = {{"sub/p.loads.csv", sha256_hex("a")}, {"p.combinations.csv", sha256_hex("")}};
  css = print_css("t", block);
  EXPECT_EQ(content("@bottom-left"),
            "p.loads.csv SHA-256 ca978112ca1b, p.combinations.csv SHA-256 "
            "e3b0c44298fc");
}

}  // namespace
}  // namespace kelmarino
