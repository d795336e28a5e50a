#ifndef RIRURIDE_DOCUMENT_VIEWER_DOCUMENT_H_
#define RIRURIDE_DOCUMENT_VIEWER_DOCUMENT_H_

// The viewer document: a head with the script that makes embedded copy k show
// page k, the plain page bar or the outline layout, the page list, the tail.

#include <string>
#include <string_view>

#include "platform/text_file.h"
#include "scan/line_buffer.h"
#include "scan/source_scan.h"

namespace viewer_document {

// "ZUV Aduv マルチページビューア" in Shift-JIS: the document's title and the
// caption of the usage message.
inline constexpr std::string_view kViewerCaption =
    "ZUV Aduv \x83}\x83\x8B\x83`\x83y\x81[\x83W\x83r\x83\x85\x81[\x83"
    "A";

struct DocumentInputs {
  std::string_view source_path;
  source_scan::ScanResult scan;
  const char* page_list_name = nullptr;
  const char* outline_name = nullptr;
};

// Writes the whole document to `document`, copying the fragments through
// `copy_buffer`. A fragment that cannot be opened again is left out. Returns
// false, with the reason in `error`, when a fragment could not be read.
bool write_document(text_file::TextWriter& document, const DocumentInputs& inputs,
                    LineBuffer& copy_buffer, std::string* error);

}  // namespace viewer_document

#endif  // RIRURIDE_DOCUMENT_VIEWER_DOCUMENT_H_
