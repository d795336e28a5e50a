#include "document/page_outline.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

struct Outlined {
  page_outline::OutlineState state;
  std::string fragment;
};

// Feeds `lines` to the outline as the scan does: "</page>" lines end an
// entry, every other line is an entry line. Returns the fragment's bytes.
Outlined outline(const std::vector<std::string>& lines) {
  test_support::ScratchDir dir;
  std::string path = dir.file("tmp3.htm");
  text_file::TextWriter fragment;
  std::string error;
  EXPECT_TRUE(fragment.open(path.c_str(), &error)) << error;
  Outlined result;
  for (const std::string& text : lines) {
    LineBuffer line{};
    text.copy(line.data(), line.size() - 1);
    if (text == "</page>\n") {
      page_outline::end_entry(result.state, fragment);
    } else {
      page_outline::add_entry(result.state, line.data(), fragment);
    }
  }
  EXPECT_TRUE(fragment.close(&error)) << error;
  result.fragment = test_support::read_bytes(path);
  return result;
}

struct OutlineCase {
  const char* name;
  std::vector<std::string> lines;
  std::string fragment;
  bool plain_page_bar;
  int depth;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const OutlineCase& c, std::ostream* out) { *out << c.name; }

class OutlineTest : public testing::TestWithParam<OutlineCase> {};

TEST_P(OutlineTest, WritesTheListLines) {
  const OutlineCase& c = GetParam();
  Outlined result = outline(c.lines);
  EXPECT_EQ(result.fragment, c.fragment);
  EXPECT_EQ(result.state.plain_page_bar, c.plain_page_bar);
  EXPECT_EQ(result.state.depth, c.depth);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, OutlineTest,
    testing::Values(
        OutlineCase{"SelfClosingChildren",
                    {"<page num=\"1\" title=\"Chapter\">\n",
                     "<page num=\"2\" title=\"Part a\"/>\n",
                     "<page num=\"3\" title=\"Part b\"/>\n", "</page>\n",
                     "<page num=\"4\" title=\"Appendix\"/>\n"},
                    "<LI><A href=\"#page1\">[1] Chapter</A>\r\n"
                    "  <UL>\r\n"
                    "  <LI><A href=\"#page2\">[2] Part a</A>\r\n"
                    "  <LI><A href=\"#page3\">[3] Part b</A>\r\n"
                    "  </UL>\r\n"
                    "<LI><A href=\"#page4\">[4] Appendix</A>\r\n",
                    false, 0},
        OutlineCase{"ChildrenWithSeparateEndTags",
                    {"<page num=\"1\" title=\"Chapter\">\n",
                     "<page num=\"2\" title=\"Part a\">\n", "</page>\n",
                     "<page num=\"3\" title=\"Part b\">\n", "</page>\n", "</page>\n",
                     "<page num=\"4\" title=\"Appendix\">\n", "</page>\n"},
                    "<LI><A href=\"#page1\">[1] Chapter</A>\r\n"
                    "  <UL>\r\n"
                    "  <LI><A href=\"#page2\">[2] Part a</A>\r\n"
                    "    <UL>\r\n"
                    "    </UL>\r\n"
                    "  <LI><A href=\"#page3\">[3] Part b</A>\r\n"
                    "    <UL>\r\n"
                    "    </UL>\r\n"
                    "  </UL>\r\n"
                    "<LI><A href=\"#page4\">[4] Appendix</A>\r\n"
                    "  <UL>\r\n"
                    "  </UL>\r\n",
                    false, 0},
        OutlineCase{"NewPageTitlesKeepThePlainPageBar",
                    {"<page num=\"1\" title=\"New Page\"/>\n",
                     "<page num=\"2\" title=\"New Page\"/>\n"},
                    "<LI><A href=\"#page1\">[1] </A>\r\n"
                    "<LI><A href=\"#page2\">[2] </A>\r\n",
                    true, 0},
        OutlineCase{"OneRealTitleAmongNewPages",
                    {"<page num=\"1\" title=\"New Page\"/>\n",
                     "<page num=\"2\" title=\"Plan\"/>\n",
                     "<page num=\"3\" title=\"New Page\"/>\n"},
                    "<LI><A href=\"#page1\">[1] </A>\r\n"
                    "<LI><A href=\"#page2\">[2] Plan</A>\r\n"
                    "<LI><A href=\"#page3\">[3] </A>\r\n",
                    false, 0},
        OutlineCase{"LetterCaseCountsAsATitle", {"<page num=\"1\" title=\"new page\"/>\n"},
                    "<LI><A href=\"#page1\">[1] new page</A>\r\n", false, 0},
        OutlineCase{"TrailingBlankCountsAsATitle", {"<page num=\"1\" title=\"New Page \"/>\n"},
                    "<LI><A href=\"#page1\">[1] New Page </A>\r\n", false, 0},
        OutlineCase{"EmptyTitleCountsAsATitle", {"<page num=\"1\" title=\"\"/>\n"},
                    "<LI><A href=\"#page1\">[1] </A>\r\n", false, 0},
        OutlineCase{"TitleIsWrittenAsItStands",
                    {"<page num=\"1\" title=\"<b>R&D 100%s %d</b>\"/>\n"},
                    "<LI><A href=\"#page1\">[1] <b>R&D 100%s %d</b></A>\r\n", false, 0},
        OutlineCase{"SlashInALaterAttributeOpensNoList",
                    {"<page num=\"1\" title=\"A\" href=\"x/y\">\n", "</page>\n",
                     "<page num=\"2\" title=\"B\"/>\n"},
                    "<LI><A href=\"#page1\">[1] A</A>\r\n"
                    "</UL>\r\n"
                    "  <LI><A href=\"#page2\">[2] B</A>\r\n",
                    false, -1},
        OutlineCase{"SlashInsideTheTitleDoesNotCount",
                    {"<page num=\"1\" title=\"a/b\">\n"},
                    "<LI><A href=\"#page1\">[1] a/b</A>\r\n"
                    "  <UL>\r\n",
                    false, 1},
        OutlineCase{"EndWithoutOpenEntryGoesBelowZero",
                    {"</page>\n", "<page num=\"1\" title=\"A\">\n", "</page>\n"},
                    "</UL>\r\n"
                    "  <LI><A href=\"#page1\">[1] A</A>\r\n"
                    "<UL>\r\n"
                    "</UL>\r\n",
                    false, -1},
        OutlineCase{"EntryWithoutTitleIsSkippedButItsEndCounts",
                    {"<page num=\"1\">\n", "</page>\n"}, "</UL>\r\n", true, -1},
        OutlineCase{"TitleWithoutClosingQuoteIsSkipped",
                    {"<page num=\"1\" title=\"Unclosed\n", "<page num=\"2\" title=\"B\"/>\n"},
                    "<LI><A href=\"#page1\">[1] B</A>\r\n", false, 0},
        OutlineCase{"TitleWordAtTheLineEndIsSkipped",
                    {"<page num=\"1\" title", "<page num=\"1\" title=",
                     "<page num=\"1\" title=\""},
                    "", true, 0},
        OutlineCase{"ByteOneAIsAnOrdinaryTitleByte",
                    {"<page num=\"1\" title=\"a\x1A" "b\"/>\n"},
                    "<LI><A href=\"#page1\">[1] a\x1A" "b</A>\r\n", false, 0}),
    [](const testing::TestParamInfo<OutlineCase>& info) {
      return std::string(info.param.name);
    });

TEST(OutlineEntry, CountsWrittenEntriesNotTheirNumAttribute) {
  Outlined result = outline({"<page num=\"7\" title=\"A\"/>\n", "<page num=\"3\">\n",
                             "<page num=\"9\" title=\"B\"/>\n"});
  EXPECT_EQ(result.state.entry_count, 2);
  EXPECT_EQ(result.fragment,
            "<LI><A href=\"#page1\">[1] A</A>\r\n"
            "<LI><A href=\"#page2\">[2] B</A>\r\n");
}

class OutlineLayoutTest : public testing::Test {
 protected:
  std::string layout(const char* fragment_name) {
    std::string path = dir_.file("document.htm");
    text_file::TextWriter document;
    std::string error;
    EXPECT_TRUE(document.open(path.c_str(), &error)) << error;
    LineBuffer buffer;
    EXPECT_TRUE(page_outline::write_layout(document, "C:\\a b\\x.svg", fragment_name, buffer,
                                           &error))
        << error;
    EXPECT_TRUE(document.close(&error)) << error;
    return test_support::read_bytes(path);
  }

  test_support::ScratchDir dir_;
};

TEST_F(OutlineLayoutTest, CopiesTheFragmentBetweenTheHeadings) {
  std::string title(300, 't');
  std::string fragment = dir_.file("tmp3.htm");
  test_support::write_bytes(fragment, "<LI><A href=\"#page1\">[1] " + title + "</A>\r\n  <UL>\r\n");
  EXPECT_EQ(layout(fragment.c_str()),
            "<H3>C:\\a b\\x.svg</H3>\r\n"
            "<H4>\x96\xDA\x8E\x9F</H4>\r\n"
            "<UL>\r\n"
            "<LI><A href=\"#page1\">[1] " + title + "</A>\r\n"
            "  <UL>\r\n"
            "</UL>\r\n"
            "\r\n"
            "<H4>\x93\xE0\x97" "e</H4>\r\n");
}

TEST_F(OutlineLayoutTest, MissingFragmentLeavesTheListEmpty) {
  EXPECT_EQ(layout(dir_.file("gone.htm").c_str()),
            "<H3>C:\\a b\\x.svg</H3>\r\n"
            "<H4>\x96\xDA\x8E\x9F</H4>\r\n"
            "<UL>\r\n"
            "</UL>\r\n"
            "\r\n"
            "<H4>\x93\xE0\x97" "e</H4>\r\n");
}

}  // namespace
