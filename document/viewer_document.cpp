#include "document/viewer_document.h"

#include "document/page_outline.h"

namespace viewer_document {
namespace {

// The notice "(ページの内容が以前のままなら、最新の情報に更新を実行してください)"
// ("if the page still shows its old content, refresh it") in Shift-JIS.
constexpr std::string_view kRefreshNotice =
    "<FONT size=-2><P>(\x83y\x81[\x83W\x82\xCC\x93\xE0\x97"
    "e\x82\xAA\x88\xC8\x91O\x82\xCC\x82\xDC\x82\xDC\x82\xC8\x82\xE7\x81"
    "A\x8D\xC5\x90V\x82\xCC\x8F\xEE\x95\xF1\x82\xC9\x8DX\x90V\x82\xF0\x8E\xC0\x8Ds"
    "\x82\xB5\x82\xC4\x82\xAD\x82\xBE\x82\xB3\x82\xA2)</P></FONT>\n";

// The script makes embedded copy k (k from 2 on) hide the file's page 1 and
// show its page k; copy 1 shows the file as it is.
constexpr std::string_view kScript =
    "function  ShowEachPage() {\n"
    "  var  iPage;\n"
    "  var  page;\n"
    "\n"
    "  for ( iPage = 2; iPage <= mPage; iPage++ ) {\n"
    "    page = document.getElementById('svg'+iPage).getSVGDocument().getElementById('page1');\n"
    "    page.setAttribute( \"visibility\", \"hidden\" );\n"
    "    page = document.getElementById('svg'+iPage).getSVGDocument().getElementById('page'+iPage);\n"
    "    page.setAttribute( \"visibility\", \"visible\" );\n"
    "  }\n"
    "}\n"
    "\n"
    "// --></script>\n"
    "</head>\n"
    "<body onload='ShowEachPage()'>\n"
    "\n";

void write_head(text_file::TextWriter& document, std::string_view source_path,
                int page_count) {
  document.write("<html>\n");
  document.write("<head>\n");
  document.write("<title>");
  document.write(kViewerCaption);
  document.write(" - ");
  document.write(source_path);
  document.write("</title>\n");
  document.write("\n");
  document.write("<script language=\"JavaScript\"><!--\n");
  document.write("var  mPage=");
  document.write_number(page_count);
  document.write(";\n");
  document.write(kScript);
  document.write(kRefreshNotice);
}

void write_plain_page_bar(text_file::TextWriter& document, int page_count) {
  document.write("Page\n");
  for (int number = 1; number <= page_count; ++number) {
    document.write(" <A href=\"#page");
    document.write_number(number);
    document.write("\">[");
    document.write_number(number);
    document.write("]</A>");
  }
  document.write(" <BR><BR>\n");
}

}  // namespace

bool write_document(text_file::TextWriter& document, const DocumentInputs& inputs,
                    LineBuffer& copy_buffer, std::string* error) {
  write_head(document, inputs.source_path, inputs.scan.page_count);
  if (inputs.scan.plain_page_bar) {
    write_plain_page_bar(document, inputs.scan.page_count);
  } else if (!page_outline::write_layout(document, inputs.source_path, inputs.outline_name,
                                         copy_buffer, error)) {
    return false;
  }
  text_file::CopyResult copied = text_file::copy_text_file(
      inputs.page_list_name, document, copy_buffer.data(), copy_buffer.size(), error);
  if (copied == text_file::CopyResult::kReadFailed) return false;
  document.write("</body>\n");
  document.write("</html>\n");
  return true;
}

}  // namespace viewer_document
