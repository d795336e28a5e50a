#ifndef RIRURIDE_SCAN_SOURCE_SCAN_H_
#define RIRURIDE_SCAN_SOURCE_SCAN_H_

// The one pass over the source: the byte-order probe, the line reader, and the
// scan loop that writes one embed line per page group to the page list and
// hands outline lines to the page outline.

#include <optional>
#include <string_view>

#include "platform/text_file.h"
#include "scan/line_buffer.h"

namespace source_scan {

enum class SourceEncoding { kPlainBytes = 0, kUtf16LittleEndian = 1, kUtf16BigEndian = 2 };

struct ScanResult {
  int page_count = 0;
  bool plain_page_bar = true;  // false once an outline entry has a title of its own
};

struct PageSize {
  int width = 0;
  int height = 0;
};

// Reads the first two bytes of the source and returns the encoding they
// select: FF FE little-endian, FE FF big-endian, anything else plain bytes.
// The two bytes are consumed in every case.
SourceEncoding probe_byte_order(text_file::ByteReader& source);

// Reads one line into `line`: at most 255 stored bytes, ending after a CR or
// LF, followed by a NUL. Of a UTF-16 code unit only the low byte is stored;
// a unit cut short by the end of the source is dropped. Returns the number of
// reads made, 0 exactly when the first read finds the end of the source.
int read_line(LineBuffer& line, SourceEncoding encoding, text_file::ByteReader& source);

// Returns the page size on a page-group line: the first run of digits after
// the first "width" and after the first "height". Returns nullopt when either
// word is missing or no digit follows it before the end of the line. A run of
// digits beyond INT_MAX gives INT_MAX.
std::optional<PageSize> find_page_size(const char* line);

// Scans the whole source: writes the page list and the outline fragment and
// returns the page count and the plain page bar flag. `line` is the work
// buffer. Stops at the end of the source or at a read error (source.failed()).
ScanResult scan_source(text_file::ByteReader& source, text_file::TextWriter& page_list,
                       text_file::TextWriter& outline, std::string_view source_path,
                       LineBuffer& line);

}  // namespace source_scan

#endif  // RIRURIDE_SCAN_SOURCE_SCAN_H_
