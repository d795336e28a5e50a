#include "scan/source_scan.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "document/page_outline.h"

namespace source_scan {
namespace {

constexpr std::size_t kMaxStored = kLineCapacity - 1;

constexpr const char* kPageGroupMarker = "<g id=\"page";
constexpr const char* kOutlineEntryMarker = "<page num=";
constexpr const char* kOutlineEndMarker = "</page>";

bool is_line_end(int byte) { return byte == '\r' || byte == '\n'; }
bool is_digit(char byte) { return byte >= '0' && byte <= '9'; }

// Plain bytes are taken from the reader's buffer in runs up to the next line
// end, which gives the same lines as taking them one at a time.
int read_plain_line(LineBuffer& line, text_file::ByteReader& source) {
  std::size_t stored = 0;
  while (stored < kMaxStored && (source.buffered_size() != 0 || source.refill())) {
    std::size_t room = std::min(kMaxStored - stored, source.buffered_size());
    const char* bytes = source.buffered();
    const void* lf = std::memchr(bytes, '\n', room);
    const void* cr = std::memchr(bytes, '\r', lf ? static_cast<std::size_t>(
                                                       static_cast<const char*>(lf) - bytes)
                                                 : room);
    const char* end = static_cast<const char*>(cr ? cr : lf);
    std::size_t count = end ? static_cast<std::size_t>(end - bytes) + 1 : room;
    std::memcpy(line.data() + stored, bytes, count);
    source.take(count);
    stored += count;
    if (end) break;
  }
  line[stored] = '\0';
  return static_cast<int>(stored);
}

int read_utf16_line(LineBuffer& line, SourceEncoding encoding,
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
  return reads;
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
  if (encoding == SourceEncoding::kPlainBytes) return read_plain_line(line, source);
  return read_utf16_line(line, encoding, source);
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
  while (read_line(line, encoding, source) != 0) {
    if (std::strstr(text, kPageGroupMarker) != nullptr) {
      if (std::optional<PageSize> size = find_page_size(text)) {
        write_page_entry(page_list, ++page_count, source_path, *size);
      }
    } else if (std::strstr(text, kOutlineEntryMarker) != nullptr) {
      page_outline::add_entry(outline_state, text, outline);
    } else if (std::strstr(text, kOutlineEndMarker) != nullptr) {
      page_outline::end_entry(outline_state, outline);
    }
  }
  return ScanResult{page_count, outline_state.plain_page_bar};
}

}  // namespace source_scan
