#ifndef RIRURIDE_DOCUMENT_PAGE_OUTLINE_H_
#define RIRURIDE_DOCUMENT_PAGE_OUTLINE_H_

// The nested table of contents: outline entries found by the scan become list
// lines of the outline fragment, and the outline layout copies that fragment
// into the document in place of the plain page bar.

#include <string>
#include <string_view>

#include "platform/text_file.h"
#include "scan/line_buffer.h"

namespace page_outline {

struct OutlineState {
  int entry_count = 0;         // entries written; entry k links to page k
  int depth = 0;               // open lists; negative once more ends than opens came
  bool plain_page_bar = true;  // false from the first title other than "New Page"
};

// Handles a line holding "<page num=": writes its list item, and an opening
// list line when nothing after the title closes the entry. A line without a
// title, or whose title has no closing quote, is skipped. Writes a NUL into
// `line` over the title's closing quote.
void add_entry(OutlineState& state, char* line, text_file::TextWriter& outline);

// Handles a line holding "</page>": writes a closing list line and lowers the
// depth.
void end_entry(OutlineState& state, text_file::TextWriter& outline);

// Writes the outline layout: the source path as heading, the table of contents
// with the outline fragment at `outline_name` copied in through `copy_buffer`.
// A fragment that cannot be opened leaves the list empty. Returns false, with
// the reason in `error`, when the fragment could not be read.
bool write_layout(text_file::TextWriter& document, std::string_view source_path,
                  const char* outline_name, LineBuffer& copy_buffer, std::string* error);

}  // namespace page_outline

#endif  // RIRURIDE_DOCUMENT_PAGE_OUTLINE_H_
