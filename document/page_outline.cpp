#include "document/page_outline.h"

#include <climits>
#include <cstring>

namespace page_outline {
namespace {

constexpr std::string_view kUntitled = "New Page";

// "<H4>目次</H4>\n" (table of contents) and "<H4>内容</H4>\n" (contents) in
// Shift-JIS.
constexpr std::string_view kTableOfContentsHeading = "<H4>\x96\xDA\x8E\x9F</H4>\n";
constexpr std::string_view kContentsHeading = "<H4>\x93\xE0\x97"
                                              "e</H4>\n";

// A list line is indented by two blanks per level; a negative depth indents
// by its absolute value, as the depth below zero is still a level away from
// the enclosing list.
void write_indent(text_file::TextWriter& outline, int depth) {
  long long width = 2LL * depth;
  outline.write_blanks(static_cast<std::size_t>(width < 0 ? -width : width));
}

int raised(int depth) { return depth == INT_MAX ? depth : depth + 1; }
int lowered(int depth) { return depth == INT_MIN ? depth : depth - 1; }

}  // namespace

// The title text starts 7 bytes after the word title (past `="`) and runs to
// the next double quote. When fewer than two bytes follow the word, or no
// quote closes the title within the line, the entry is skipped like one
// without a title: taking the rest of the line would put its line end into
// the list item.
void add_entry(OutlineState& state, char* line, text_file::TextWriter& outline) {
  char* word = std::strstr(line, "title");
  if (word == nullptr || word[5] == '\0' || word[6] == '\0') return;
  char* title = word + 7;
  char* closing_quote = std::strchr(title, '"');
  if (closing_quote == nullptr) return;
  *closing_quote = '\0';

  std::string_view shown_title(title, static_cast<std::size_t>(closing_quote - title));
  if (shown_title == kUntitled) {
    shown_title = {};
  } else {
    state.plain_page_bar = false;
  }
  if (state.entry_count < INT_MAX) ++state.entry_count;

  write_indent(outline, state.depth);
  outline.write("<LI><A href=\"#page");
  outline.write_number(state.entry_count);
  outline.write("\">[");
  outline.write_number(state.entry_count);
  outline.write("] ");
  outline.write(shown_title);
  outline.write("</A>\n");

  if (std::strchr(closing_quote + 1, '/') != nullptr) return;
  state.depth = raised(state.depth);
  write_indent(outline, state.depth);
  outline.write("<UL>\n");
}

void end_entry(OutlineState& state, text_file::TextWriter& outline) {
  write_indent(outline, state.depth);
  outline.write("</UL>\n");
  state.depth = lowered(state.depth);
}

bool write_layout(text_file::TextWriter& document, std::string_view source_path,
                  const char* outline_name, LineBuffer& copy_buffer, std::string* error) {
  document.write("<H3>");
  document.write(source_path);
  document.write("</H3>\n");
  document.write(kTableOfContentsHeading);
  document.write("<UL>\n");
  text_file::CopyResult copied = text_file::copy_text_file(
      outline_name, document, copy_buffer.data(), copy_buffer.size(), error);
  if (copied == text_file::CopyResult::kReadFailed) return false;
  document.write("</UL>\n");
  document.write("\n");
  document.write(kContentsHeading);
  return true;
}

}  // namespace page_outline
