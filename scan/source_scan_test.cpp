#include "scan/source_scan.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

using source_scan::SourceEncoding;
using test_support::ScratchDir;

// The lines the reader delivers for `bytes`, the probe included, with the
// count each call returned.
struct ReadLines {
  SourceEncoding encoding;
  std::vector<std::string> lines;
  std::vector<int> counts;
};

ReadLines read_all_lines(std::string_view bytes) {
  ScratchDir dir;
  std::string path = dir.file("source.svg");
  test_support::write_bytes(path, bytes);
  text_file::ByteReader source;
  std::string error;
  EXPECT_TRUE(source.open(path.c_str(), &error)) << error;
  ReadLines result{source_scan::probe_byte_order(source), {}, {}};
  LineBuffer line;
  while (int count = source_scan::read_line(line, result.encoding, source)) {
    result.lines.emplace_back(line.data());
    result.counts.push_back(count);
  }
  return result;
}

// Each ASCII byte of `text` as one UTF-16 code unit.
std::string utf16(std::string_view text, bool little_endian) {
  std::string units;
  for (char byte : text) {
    units += little_endian ? byte : '\0';
    units += little_endian ? '\0' : byte;
  }
  return units;
}

struct LineCase {
  const char* name;
  std::string bytes;
  SourceEncoding encoding;
  std::vector<std::string> lines;
};

class LineReaderTest : public testing::TestWithParam<LineCase> {};

TEST_P(LineReaderTest, DeliversTheLines) {
  const LineCase& c = GetParam();
  ReadLines read = read_all_lines(c.bytes);
  EXPECT_EQ(read.encoding, c.encoding);
  EXPECT_EQ(read.lines, c.lines);
}

const std::string kLong300 = std::string(300, 'x');

INSTANTIATE_TEST_SUITE_P(
    Sources, LineReaderTest,
    testing::Values(
        LineCase{"ProbeConsumesTwoPlainBytes", "ab<g id=\"page1\">\nnext\n",
                 SourceEncoding::kPlainBytes, {"<g id=\"page1\">\n", "next\n"}},
        LineCase{"CrLfGivesCrLineThenLfLine", "xxone\r\ntwo", SourceEncoding::kPlainBytes,
                 {"one\r", "\n", "two"}},
        LineCase{"LoneCrEndsALine", "xxa\rb", SourceEncoding::kPlainBytes, {"a\r", "b"}},
        LineCase{"LongLineIsCutAt255WithNothingLost", "xx" + kLong300 + "\n",
                 SourceEncoding::kPlainBytes,
                 {std::string(255, 'x'), std::string(45, 'x') + "\n"}},
        LineCase{"LineOfExactly255BytesEndsWithoutItsLf", "xx" + std::string(254, 'y') + "\n",
                 SourceEncoding::kPlainBytes, {std::string(254, 'y') + "\n"}},
        LineCase{"Utf8ByteOrderMarkLosesTwoBytes", "\xEF\xBB\xBFsvg\n",
                 SourceEncoding::kPlainBytes, {"\xBFsvg\n"}},
        LineCase{"NulEndsTheLineText", std::string("xxab\0cd\nef", 10),
                 SourceEncoding::kPlainBytes, {"ab", "ef"}},
        LineCase{"SourceOfOneByteHasNoLines", "x", SourceEncoding::kPlainBytes, {}},
        LineCase{"LittleEndianKeepsLowBytes", "\xFF\xFE" + utf16("ab\ncd\n", true),
                 SourceEncoding::kUtf16LittleEndian, {"ab\n", "cd\n"}},
        LineCase{"BigEndianKeepsLowBytes", "\xFE\xFF" + utf16("ab\ncd\n", false),
                 SourceEncoding::kUtf16BigEndian, {"ab\n", "cd\n"}},
        // U+3042 keeps 0x42; U+300D keeps 0x0D and so ends the line.
        LineCase{"Utf16HighCharactersKeepTheirLowByte",
                 std::string("\xFF\xFE" "a\0" "\x42\x30" "\x0D\x30" "z\0", 10),
                 SourceEncoding::kUtf16LittleEndian, {"aB\r", "z"}},
        LineCase{"Utf16LongLineIsCutAt255", "\xFE\xFF" + utf16(kLong300, false),
                 SourceEncoding::kUtf16BigEndian,
                 {std::string(255, 'x'), std::string(45, 'x')}},
        LineCase{"Utf16WithoutMarkIsPlainBytes", utf16("xx<g id=\"page1\">\n", true),
                 SourceEncoding::kPlainBytes,
                 {"x", ""}},
        LineCase{"LittleEndianOddLastByteIsDropped", "\xFF\xFE" + utf16("ab", true) + "c",
                 SourceEncoding::kUtf16LittleEndian, {"ab"}},
        LineCase{"BigEndianOddLastByteIsDropped", "\xFE\xFF" + utf16("ab", false) + "c",
                 SourceEncoding::kUtf16BigEndian, {"ab"}}),
    [](const testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

TEST(LineReader, CountsEveryReadAndReportsTheEndOnce) {
  ReadLines plain = read_all_lines("xxab\nc");
  EXPECT_EQ(plain.counts, (std::vector<int>{3, 1}));
  ReadLines utf16_source = read_all_lines("\xFF\xFE" + utf16("ab\nc", true) + "z");
  EXPECT_EQ(utf16_source.counts, (std::vector<int>{6, 3}));
  EXPECT_EQ(utf16_source.lines, (std::vector<std::string>{"ab\n", "c"}));
}

struct SizeCase {
  const char* line;
  std::optional<source_scan::PageSize> size;
};

class PageSizeTest : public testing::TestWithParam<SizeCase> {};

TEST_P(PageSizeTest, FindsTheFirstNumbers) {
  const SizeCase& c = GetParam();
  std::optional<source_scan::PageSize> size = source_scan::find_page_size(c.line);
  ASSERT_EQ(size.has_value(), c.size.has_value()) << c.line;
  if (size) {
    EXPECT_EQ(size->width, c.size->width) << c.line;
    EXPECT_EQ(size->height, c.size->height) << c.line;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, PageSizeTest,
    testing::Values(
        SizeCase{"<g id=\"page1\" width=\"595.28\" height=\"841.89\">", {{595, 841}}},
        SizeCase{"<g id=\"page1\" height=\"20\" width=\"10\">", {{10, 20}}},
        SizeCase{"<g id=\"page1\" stroke-width=\"3\" height=\"20\">", {{3, 20}}},
        SizeCase{"<g id=\"page1\" width=\"auto\" height=\"77\">", {{77, 77}}},
        SizeCase{"<g id=\"page1\" width=\"-12\" height=\"\xE3\x80\x80" "9\">", {{12, 9}}},
        SizeCase{"<g id=\"page1\" height=\"20\">", std::nullopt},
        SizeCase{"<g id=\"page1\" width=\"20\">", std::nullopt},
        SizeCase{"<g id=\"page1\" height=\"20\" width=\"none\">", std::nullopt},
        SizeCase{"<g id=\"page1\" width=\"99999999999999\" height=\"2147483647\">",
                 {{INT_MAX, INT_MAX}}},
        SizeCase{"<g id=\"page1\" width=\"2147483648\" height=\"2147483646\">",
                 {{INT_MAX, 2147483646}}}));

// Scans `source` and returns the page list it writes.
struct Scanned {
  source_scan::ScanResult result;
  std::string page_list;
  std::string outline;
};

Scanned scan(std::string_view source_bytes, std::string_view source_path) {
  ScratchDir dir;
  std::string source_file = dir.file("source.svg");
  test_support::write_bytes(source_file, source_bytes);
  std::string error;
  text_file::ByteReader source;
  text_file::TextWriter page_list;
  text_file::TextWriter outline;
  EXPECT_TRUE(source.open(source_file.c_str(), &error)) << error;
  EXPECT_TRUE(page_list.open(dir.file("tmp2.htm").c_str(), &error)) << error;
  EXPECT_TRUE(outline.open(dir.file("tmp3.htm").c_str(), &error)) << error;
  LineBuffer line;
  Scanned scanned{source_scan::scan_source(source, page_list, outline, source_path, line), {},
                  {}};
  EXPECT_TRUE(page_list.close(&error)) << error;
  EXPECT_TRUE(outline.close(&error)) << error;
  scanned.page_list = test_support::read_bytes(dir.file("tmp2.htm"));
  scanned.outline = test_support::read_bytes(dir.file("tmp3.htm"));
  return scanned;
}

TEST(ScanSource, WritesOneEmbedLinePerPageGroup) {
  Scanned scanned = scan(
      "<?xml version=\"1.0\"?>\n"
      "<g id=\"page1\" width=\"595.28\" height=\"841.89\">\r\n"
      "<g id=\"page2\" height=\"300\">\n"
      "<rect width=\"5\" height=\"5\"/>\n"
      "<g id=\"page3\" width=\"100\" height=\"200\" title=\"x\">\n"
      "<g id=\"page4\" width=\"10\" height=\"20\"><page num=\"1\" title=\"T\"/>\n",
      "/d/a b%s.svg");
  EXPECT_EQ(scanned.result.page_count, 3);
  EXPECT_TRUE(scanned.result.plain_page_bar);
  EXPECT_EQ(scanned.page_list,
            "<NOBR><A name=\"page1\"><embed src=\"/d/a b%s.svg\" width=\"595px\" "
            "height=\"841px\" name=\"svg\"> 1</A></NOBR>\r\n"
            "<NOBR><A name=\"page2\"><embed src=\"/d/a b%s.svg\" width=\"100px\" "
            "height=\"200px\" name=\"svg2\"> 2</A></NOBR>\r\n"
            "<NOBR><A name=\"page3\"><embed src=\"/d/a b%s.svg\" width=\"10px\" "
            "height=\"20px\" name=\"svg3\"> 3</A></NOBR>\r\n");
  EXPECT_EQ(scanned.outline, "");
}

TEST(ScanSource, PageGroupAtTheFirstByteIsLostToTheProbe) {
  Scanned scanned = scan("<g id=\"page1\" width=\"1\" height=\"2\">\n", "s.svg");
  EXPECT_EQ(scanned.result.page_count, 0);
  EXPECT_EQ(scanned.page_list, "");
}

TEST(ScanSource, SizeBeyondTheCutOfALongLineIsNotCounted) {
  std::string filler(260, ' ');
  Scanned scanned = scan("xx<g id=\"page1\"" + filler + "width=\"1\" height=\"2\">\n", "s.svg");
  EXPECT_EQ(scanned.result.page_count, 0);
}

TEST(ScanSource, Utf16SourceGivesTheSamePageListAsPlainBytes) {
  std::string text = "<g id=\"page1\" width=\"12\" height=\"34\">\n</page>\n";
  Scanned plain = scan("xx" + text, "p.svg");
  Scanned little = scan("\xFF\xFE" + utf16(text, true), "p.svg");
  Scanned big = scan("\xFE\xFF" + utf16(text, false), "p.svg");
  EXPECT_EQ(plain.result.page_count, 1);
  EXPECT_EQ(little.page_list, plain.page_list);
  EXPECT_EQ(big.page_list, plain.page_list);
  EXPECT_EQ(little.outline, "</UL>\r\n");
  EXPECT_EQ(big.outline, little.outline);
}

TEST(ScanSource, Utf16WithoutMarkFindsNoPage) {
  Scanned scanned = scan(utf16("xx<g id=\"page1\" width=\"1\" height=\"2\">\n", true), "p.svg");
  EXPECT_EQ(scanned.result.page_count, 0);
}

TEST(ScanSource, OutlineLinesGoToTheOutline) {
  Scanned scanned = scan(
      "xx<page num=\"1\" title=\"Intro\"/>\n"
      "<page num=\"2\" title=\"Body\">\n"
      "</page>\n",
      "p.svg");
  EXPECT_FALSE(scanned.result.plain_page_bar);
  EXPECT_EQ(scanned.outline,
            "<LI><A href=\"#page1\">[1] Intro</A>\r\n"
            "<LI><A href=\"#page2\">[2] Body</A>\r\n"
            "  <UL>\r\n"
            "  </UL>\r\n");
}

// A line's markers rank page group over outline entry over outline end,
// wherever they stand on the line, and none after a NUL counts.
struct MarkerCase {
  const char* name;
  std::string source;
  int page_count;
  std::string outline;
};

class MarkerRankTest : public testing::TestWithParam<MarkerCase> {};

TEST_P(MarkerRankTest, ActsOnTheStrongestMarkerBeforeANul) {
  const MarkerCase& c = GetParam();
  Scanned scanned = scan(c.source, "s.svg");
  EXPECT_EQ(scanned.result.page_count, c.page_count);
  EXPECT_EQ(scanned.outline, c.outline);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MarkerRankTest,
    testing::Values(
        MarkerCase{"PageGroupAfterAnEndStillWins",
                   "xx</page><g id=\"page1\" width=\"1\" height=\"2\">\n", 1, ""},
        MarkerCase{"EntryBeforeAnEndWins", "xx<page num=\"1\" title=\"T\"></page>\n", 0,
                   "<LI><A href=\"#page1\">[1] T</A>\r\n"},
        MarkerCase{"EntryAfterAnEndWins", "xx</page> <page num=\"1\" title=\"T\">\n", 0,
                   "<LI><A href=\"#page1\">[1] T</A>\r\n  <UL>\r\n"},
        MarkerCase{"PageGroupAfterANulIsNotSeen",
                   std::string("xxa") + '\0' + "<g id=\"page1\" width=\"1\" height=\"2\">\n", 0,
                   ""},
        MarkerCase{"EntryBeforeANulStandsAlone",
                   std::string("xx<page num=\"1\" title=\"T\"/>") + '\0' + "<g id=\"page2\">\n", 0,
                   "<LI><A href=\"#page1\">[1] T</A>\r\n"}),
    [](const testing::TestParamInfo<MarkerCase>& info) { return info.param.name; });

// Lines without markers are passed over in the read buffer; a marker at any
// place around the end of one read, after a line end of any kind, at a cut
// of a long line or behind another tag, must still be found, and one that
// straddles a cut must still be missed.
TEST(ScanSource, MarkersAroundTheEndOfAReadKeepTheLineRules) {
  struct Marker {
    std::string line;
    int page_count;
    std::string outline;
  };
  const Marker markers[] = {
      {"<g id=\"page1\" width=\"1\" height=\"2\">\n", 1, ""},
      {"<page num=\"1\" title=\"T\"/>\n", 0, "<LI><A href=\"#page1\">[1] T</A>\r\n"},
      {"</page>\n", 0, "</UL>\r\n"},
  };
  struct Before {
    std::string bytes;  // on the marker's line, before it
    bool seen;
  };
  const Before before_marker[] = {
      {"", true}, {std::string(255, 'y'), true}, {"<rect/> ", true}, {std::string(250, 'y'), false}};
  const std::string line_ends[] = {"\n", "\r\n", "\r"};
  const std::size_t read_end = text_file::ByteReader::kBufferSize;
  for (const Marker& marker : markers) {
    for (const Before& before : before_marker) {
      for (int shift = -12; shift <= 40; ++shift) {
        const std::string& line_end = line_ends[static_cast<std::size_t>(shift + 12) % 3];
        std::string filler = "<rect width=\"5\"/>" + line_end;
        std::size_t marker_at = read_end - static_cast<std::size_t>(shift);
        std::size_t line_start = marker_at - before.bytes.size();
        std::string source = "xx";
        while (source.size() + filler.size() + line_end.size() <= line_start) source += filler;
        source += std::string(line_start - source.size() - line_end.size(), ' ') + line_end;
        source += before.bytes + marker.line + filler;
        Scanned scanned = scan(source, "s.svg");
        EXPECT_EQ(scanned.result.page_count, before.seen ? marker.page_count : 0)
            << marker.line << " at " << marker_at << " after " << before.bytes.size();
        EXPECT_EQ(scanned.outline, before.seen ? marker.outline : "")
            << marker.line << " at " << marker_at << " after " << before.bytes.size();
      }
    }
  }
}

}  // namespace
