#include "scan/source_scan.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "document/page_outline.h"

namespace source_scan {
namespace {

constexpr std::size_t kMaxStored = kLineCapacity - 1;

constexpr std::string_view kPageGroupMarker = "<g id=\"page";
constexpr std::string_view kOutlineEntryMarker = "<page num=";
constexpr std::string_view kOutlineEndMarker = "</page>";

// What a line is, by its markers. A higher value wins when a line holds
// several: a page group over an outline entry over an outline end.
enum class LineKind { kIgnored = 0, kOutlineEnd = 1, kOutlineEntry = 2, kPageGroup = 3 };

// What the line reader made of one call: the reads it counted and the bytes
// it stored before the NUL it put after them.
struct ReadLine {
  int reads = 0;
  std::size_t stored = 0;
};

bool is_line_end(int byte) { return byte == '\r' || byte == '\n'; }
bool is_digit(char byte) { return byte >= '0' && byte <= '9'; }

// Plain bytes are taken from the reader's buffer in runs up to the next line
// end, which gives the same lines as taking them one at a time.
ReadLine read_plain_line(LineBuffer& line, text_file::ByteReader& source) {
  std::size_t stored = 0;
  while (stored < kMaxStored && (source.buffered_size() != 0 || source.refill())) {
    std::size_t room = std::min(kMaxStored - stored, source.buffered_size());
    const char* bytes = source.buffered();
    const char* end = text_file::find_line_end(bytes, room);
    std::size_t count = end ? static_cast<std::size_t>(end - bytes) + 1 : room;
    std::memcpy(line.data() + stored, bytes, count);
    source.take(count);
    stored += count;
    if (end) break;
  }
  line[stored] = '\0';
  return ReadLine{static_cast<int>(stored), stored};
}

ReadLine read_utf16_line(LineBuffer& line, SourceEncoding encoding,
                         text_file::ByteReader& source) {
  int reads = 0;
  std::size_t stored = 0;
  while (stored < kMaxStored) {
    int first = source.get();
    if (first == EOF) break;
    ++reads;
    int second = source.get();
    if (second == EOF) break;
    ++reads;
    int low = encoding == SourceEncoding::kUtf16LittleEndian ? first : second;
    line[stored++] = static_cast<char>(low);
    if (is_line_end(low)) break;
  }
  line[stored] = '\0';
  return ReadLine{reads, stored};
}

ReadLine read_source_line(LineBuffer& line, SourceEncoding encoding,
                          text_file::ByteReader& source) {
  if (encoding == SourceEncoding::kPlainBytes) return read_plain_line(line, source);
  return read_utf16_line(line, encoding, source);
}

// Returns the marker that starts at `at`, a '<' before `end`.
LineKind marker_at(const char* at, const char* end) {
  auto starts_with = [&](std::string_view marker) {
    return static_cast<std::size_t>(end - at) >= marker.size() &&
           std::memcmp(at, marker.data(), marker.size()) == 0;
  };
  if (starts_with(kPageGroupMarker)) return LineKind::kPageGroup;
  if (starts_with(kOutlineEntryMarker)) return LineKind::kOutlineEntry;
  if (starts_with(kOutlineEndMarker)) return LineKind::kOutlineEnd;
  return LineKind::kIgnored;
}

// Returns the last CR or LF in [begin, end), or nullptr.
const char* last_line_end(const char* begin, const char* end) {
  while (end != begin) {
    --end;
    if (is_line_end(static_cast<unsigned char>(*end))) return end;
  }
  return nullptr;
}

// Takes from the reader's buffer, without reading them as lines, the bytes up
// to the last line end before the first marker in the buffer. Every line and
// every piece of a long line among them lacks a marker, so the scan loop would
// ignore them; after them the next line starts, as it would there. A marker
// cut off by the end of the buffer has no line end after its start, so the
// bytes taken end before its line.
void skip_lines_without_markers(text_file::ByteReader& source) {
  const char* bytes = source.buffered();
  const char* end = bytes + source.buffered_size();
  const char* at = bytes;
  while ((at = static_cast<const char*>(
              std::memchr(at, '<', static_cast<std::size_t>(end - at)))) != nullptr &&
         marker_at(at, end) == LineKind::kIgnored) {
    ++at;
  }
  const char* line_end = last_line_end(bytes, at != nullptr ? at : end);
  if (line_end != nullptr) source.take(static_cast<std::size_t>(line_end + 1 - bytes));
}

// Returns the kind of the line of `stored` bytes at `text`. Every marker
// starts with '<', so one search for '<' finds them all; as for a string
// search, the line's text ends at its first NUL and no marker after it counts.
LineKind classify_line(const char* text, std::size_t stored) {
  const char* end = text + stored;
  LineKind kind = LineKind::kIgnored;
  for (const char* at = text;
       (at = static_cast<const char*>(std::memchr(at, '<', static_cast<std::size_t>(
                                                               end - at)))) != nullptr;
       ++at) {
    LineKind here = marker_at(at, end);
    if (here == LineKind::kIgnored) continue;
    if (std::memchr(text, '\0', static_cast<std::size_t>(at - text)) != nullptr) break;
    kind = std::max(kind, here);
    if (kind == LineKind::kPageGroup) break;
  }
  return kind;
}

// Returns the run of digits that starts at the first digit at or after `text`,
// or nullopt when the line ends first.
std::optional<int> number_after(const char* text) {
  while (*text != '\0' && !is_digit(*text)) ++text;
  if (*text == '\0') return std::nullopt;
  int value = 0;
  for (; is_digit(*text); ++text) {
    int digit = *text - '0';
    value = value > (INT_MAX - digit) / 10 ? INT_MAX : value * 10 + digit;
  }
  return value;
}

void write_page_entry(text_file::TextWriter& page_list, int number,
                      std::string_view source_path, PageSize size) {
  page_list.write("<NOBR><A name=\"page");
  page_list.write_number(number);
  page_list.write("\"><embed src=\"");
  page_list.write(source_path);
  page_list.write("\" width=\"");
  page_list.write_number(size.width);
  page_list.write("px\" height=\"");
  page_list.write_number(size.height);
  page_list.write("px\"");
  if (number == 1) {
    page_list.write(" name=\"svg\"> 1</A></NOBR>\n");
    return;
  }
  page_list.write(" name=\"svg");
  page_list.write_number(number);
  page_list.write("\"> ");
  page_list.write_number(number);
  page_list.write("</A></NOBR>\n");
}

}  // namespace

SourceEncoding probe_byte_order(text_file::ByteReader& source) {
  int first = source.get();
  int second = source.get();
  if (first == 0xFF && second == 0xFE) return SourceEncoding::kUtf16LittleEndian;
  if (first == 0xFE && second == 0xFF) return SourceEncoding::kUtf16BigEndian;
  return SourceEncoding::kPlainBytes;
}

int read_line(LineBuffer& line, SourceEncoding encoding, text_file::ByteReader& source) {
  return read_source_line(line, encoding, source).reads;
}

std::optional<PageSize> find_page_size(const char* line) {
  const char* width_word = std::strstr(line, "width");
  const char* height_word = std::strstr(line, "height");
  if (width_word == nullptr || height_word == nullptr) return std::nullopt;
  std::optional<int> width = number_after(width_word);
  std::optional<int> height = number_after(height_word);
  if (!width || !height) return std::nullopt;
  return PageSize{*width, *height};
}

ScanResult scan_source(text_file::ByteReader& source, text_file::TextWriter& page_list,
                       text_file::TextWriter& outline, std::string_view source_path,
                       LineBuffer& line) {
  SourceEncoding encoding = probe_byte_order(source);
  page_outline::OutlineState outline_state;
  int page_count = 0;
  char* text = line.data();
  bool plain = encoding == SourceEncoding::kPlainBytes;
  for (ReadLine read;;) {
    if (plain) skip_lines_without_markers(source);
    read = read_source_line(line, encoding, source);
    if (read.reads == 0) break;
    switch (classify_line(text, read.stored)) {
      case LineKind::kPageGroup:
        if (std::optional<PageSize> size = find_page_size(text)) {
          write_page_entry(page_list, ++page_count, source_path, *size);
        }
        break;
      case LineKind::kOutlineEntry:
        page_outline::add_entry(outline_state, text, outline);
        break;
      case LineKind::kOutlineEnd:
        page_outline::end_entry(outline_state, outline);
        break;
      case LineKind::kIgnored:
        break;
    }
  }
  return ScanResult{page_count, outline_state.plain_page_bar};
}

}  // namespace source_scan
