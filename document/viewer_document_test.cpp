#include "document/viewer_document.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/test_support.h"

namespace {

// The head as it stands in every document, up to the mPage value.
const std::string kHeadBeforeCount =
    "<html>\r\n"
    "<head>\r\n"
    "<title>ZUV Aduv \x83}\x83\x8B\x83`\x83y\x81[\x83W\x83r\x83\x85\x81[\x83"
    "A - /w/a&b %d.svg</title>\r\n"
    "\r\n"
    "<script language=\"JavaScript\"><!--\r\n"
    "var  mPage=";

const std::string kHeadAfterCount =
    ";\r\n"
    "function  ShowEachPage() {\r\n"
    "  var  iPage;\r\n"
    "  var  page;\r\n"
    "\r\n"
    "  for ( iPage = 2; iPage <= mPage; iPage++ ) {\r\n"
    "    page = document.getElementById('svg'+iPage).getSVGDocument().getElementById('page1');\r\n"
    "    page.setAttribute( \"visibility\", \"hidden\" );\r\n"
    "    page = document.getElementById('svg'+iPage).getSVGDocument().getElementById('page'+iPage);\r\n"
    "    page.setAttribute( \"visibility\", \"visible\" );\r\n"
    "  }\r\n"
    "}\r\n"
    "\r\n"
    "// --></script>\r\n"
    "</head>\r\n"
    "<body onload='ShowEachPage()'>\r\n"
    "\r\n"
    "<FONT size=-2><P>(\x83y\x81[\x83W\x82\xCC\x93\xE0\x97"
    "e\x82\xAA\x88\xC8\x91O\x82\xCC\x82\xDC\x82\xDC\x82\xC8\x82\xE7\x81"
    "A\x8D\xC5\x90V\x82\xCC\x8F\xEE\x95\xF1\x82\xC9\x8DX\x90V\x82\xF0\x8E\xC0\x8Ds\x82\xB5"
    "\x82\xC4\x82\xAD\x82\xBE\x82\xB3\x82\xA2)</P></FONT>\r\n";

const std::string kTail = "</body>\r\n</html>\r\n";

class ViewerDocumentTest : public testing::Test {
 protected:
  // Writes the document for `scan` with the fragments as they are on disk.
  std::string write(source_scan::ScanResult scan) {
    std::string path = dir_.file("zuvaduv_multiview.htm");
    text_file::TextWriter document;
    std::string error;
    EXPECT_TRUE(document.open(path.c_str(), &error)) << error;
    viewer_document::DocumentInputs inputs{"/w/a&b %d.svg", scan, page_list_.c_str(),
                                           outline_.c_str()};
    LineBuffer buffer;
    EXPECT_TRUE(viewer_document::write_document(document, inputs, buffer, &error)) << error;
    EXPECT_TRUE(document.close(&error)) << error;
    return test_support::read_bytes(path);
  }

  test_support::ScratchDir dir_;
  std::string page_list_ = dir_.file("tmp2.htm");
  std::string outline_ = dir_.file("tmp3.htm");
};

TEST_F(ViewerDocumentTest, NoPagesGiveAnEmptyPageBar) {
  test_support::write_bytes(page_list_, "");
  test_support::write_bytes(outline_, "<LI>never read\r\n");
  EXPECT_EQ(write({0, true}),
            kHeadBeforeCount + "0" + kHeadAfterCount + "Page\r\n <BR><BR>\r\n" + kTail);
}

TEST_F(ViewerDocumentTest, PageBarLinksEveryPageAndThePageListFollows) {
  const std::string embeds =
      "<NOBR><A name=\"page1\"><embed src=\"/w/a&b %d.svg\" width=\"1px\" height=\"2px\" "
      "name=\"svg\"> 1</A></NOBR>\r\n"
      "<NOBR><A name=\"page2\"><embed src=\"/w/a&b %d.svg\" width=\"3px\" height=\"4px\" "
      "name=\"svg2\"> 2</A></NOBR>\r\n"
      "<NOBR><A name=\"page3\"><embed src=\"/w/a&b %d.svg\" width=\"5px\" height=\"6px\" "
      "name=\"svg3\"> 3</A></NOBR>\r\n";
  test_support::write_bytes(page_list_, embeds);
  EXPECT_EQ(write({3, true}),
            kHeadBeforeCount + "3" + kHeadAfterCount +
                "Page\r\n"
                " <A href=\"#page1\">[1]</A> <A href=\"#page2\">[2]</A> <A href=\"#page3\">[3]</A>"
                " <BR><BR>\r\n" +
                embeds + kTail);
}

TEST_F(ViewerDocumentTest, OutlineLayoutTakesThePlaceOfThePageBar) {
  const std::string embed =
      "<NOBR><A name=\"page1\"><embed src=\"/w/a&b %d.svg\" width=\"1px\" height=\"2px\" "
      "name=\"svg\"> 1</A></NOBR>\r\n";
  test_support::write_bytes(page_list_, embed);
  test_support::write_bytes(outline_, "<LI><A href=\"#page1\">[1] One</A>\r\n");
  EXPECT_EQ(write({1, false}),
            kHeadBeforeCount + "1" + kHeadAfterCount +
                "<H3>/w/a&b %d.svg</H3>\r\n"
                "<H4>\x96\xDA\x8E\x9F</H4>\r\n"
                "<UL>\r\n"
                "<LI><A href=\"#page1\">[1] One</A>\r\n"
                "</UL>\r\n"
                "\r\n"
                "<H4>\x93\xE0\x97"
                "e</H4>\r\n" +
                embed + kTail);
}

TEST_F(ViewerDocumentTest, MissingPageListLeavesThePagesOut) {
  EXPECT_EQ(write({2, true}),
            kHeadBeforeCount + "2" + kHeadAfterCount +
                "Page\r\n <A href=\"#page1\">[1]</A> <A href=\"#page2\">[2]</A> <BR><BR>\r\n" +
                kTail);
}

}  // namespace
