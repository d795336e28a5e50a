#include "platform/text_file.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "platform/platform.h"

namespace text_file {
namespace {

// A failed stream call that left errno at 0 still needs a reason.
int errno_or_io_error() { return errno != 0 ? errno : EIO; }

std::FILE* open_stream(const char* path, platform::OpenMode mode,
                       std::string_view action, std::string* error) {
  errno = 0;
  std::FILE* file = platform::open_file(path, mode);
  if (file == nullptr) *error = describe_failure(action, path, errno_or_io_error());
  return file;
}

}  // namespace

std::string describe_failure(std::string_view action, std::string_view path,
                             int errno_value) {
  std::string message(action);
  message += ' ';
  message += path;
  message += ": ";
  message += std::strerror(errno_value);
  return message;
}

const char* find_line_end(const char* bytes, std::size_t size) {
  const void* lf = std::memchr(bytes, '\n', size);
  std::size_t before_lf =
      lf != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lf) - bytes) : size;
  const void* cr = std::memchr(bytes, '\r', before_lf);
  return static_cast<const char*>(cr != nullptr ? cr : lf);
}

ByteReader::~ByteReader() { close(); }

bool ByteReader::open(const char* path, std::string* error) {
  close();
  path_ = path;
  read_errno_ = 0;
  pos_ = end_ = 0;
  file_ = open_stream(path, platform::OpenMode::kReadBytes, "cannot open", error);
  return file_ != nullptr;
}

void ByteReader::close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

bool ByteReader::refill() {
  if (file_ == nullptr || pos_ != end_) return pos_ != end_;
  errno = 0;
  std::size_t count = std::fread(buffer_, 1, sizeof buffer_, file_);
  if (count == 0) {
    if (std::ferror(file_)) read_errno_ = errno_or_io_error();
    close();
    return false;
  }
  pos_ = 0;
  end_ = count;
  return true;
}

std::string ByteReader::failure() const {
  return describe_failure("cannot read", path_, read_errno_);
}

TextWriter::~TextWriter() {
  if (file_ != nullptr) std::fclose(file_);
}

bool TextWriter::open(const char* path, std::string* error) {
  path_ = path;
  write_errno_ = 0;
  used_ = 0;
  file_ = open_stream(path, platform::OpenMode::kWriteBytes, "cannot create", error);
  return file_ != nullptr;
}

bool TextWriter::close(std::string* error) {
  if (file_ == nullptr) return true;
  flush_buffer();
  errno = 0;
  if (std::fclose(file_) != 0 && write_errno_ == 0) write_errno_ = errno_or_io_error();
  file_ = nullptr;
  if (write_errno_ == 0) return true;
  *error = describe_failure("cannot write", path_, write_errno_);
  return false;
}

// Copies the runs between line ends whole and puts CR LF for each "\n".
void TextWriter::write(std::string_view text) {
  while (!text.empty()) {
    const void* lf = std::memchr(text.data(), '\n', text.size());
    if (lf == nullptr) {
      put_run(text.data(), text.size());
      return;
    }
    std::size_t run = static_cast<std::size_t>(static_cast<const char*>(lf) - text.data());
    put_run(text.data(), run);
    put_run("\r\n", 2);
    text.remove_prefix(run + 1);
  }
}

void TextWriter::write_number(long long value) {
  char digits[24];
  auto result = std::to_chars(digits, digits + sizeof digits, value);
  write(std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)));
}

void TextWriter::write_blanks(std::size_t count) {
  static constexpr std::string_view kBlanks = "                                ";
  while (count != 0) {
    std::size_t part = std::min(count, kBlanks.size());
    put_run(kBlanks.data(), part);
    count -= part;
  }
}

void TextWriter::put_run(const char* bytes, std::size_t count) {
  while (count != 0) {
    if (used_ == sizeof buffer_) flush_buffer();
    std::size_t part = std::min(count, sizeof buffer_ - used_);
    std::memcpy(buffer_ + used_, bytes, part);
    used_ += part;
    bytes += part;
    count -= part;
  }
}

void TextWriter::flush_buffer() {
  if (used_ != 0 && write_errno_ == 0 && file_ != nullptr) {
    errno = 0;
    if (std::fwrite(buffer_, 1, used_, file_) != used_) write_errno_ = errno_or_io_error();
  }
  used_ = 0;
}

// The bytes before the next CR or LF are copied from the reader's buffer in
// runs; only at a CR or LF is the single byte looked at.
std::size_t TextReader::read_piece(char* piece, std::size_t capacity) {
  std::size_t count = 0;
  while (count + 1 < capacity && (bytes_.buffered_size() != 0 || bytes_.refill())) {
    std::size_t room = std::min(capacity - 1 - count, bytes_.buffered_size());
    const char* run = bytes_.buffered();
    const char* line_end = find_line_end(run, room);
    std::size_t run_size =
        line_end != nullptr ? static_cast<std::size_t>(line_end - run) : room;
    std::memcpy(piece + count, run, run_size);
    bytes_.take(run_size);
    count += run_size;
    if (line_end == nullptr) continue;
    int byte = bytes_.get();
    if (byte == '\r' && bytes_.peek() == '\n') byte = bytes_.get();
    piece[count++] = static_cast<char>(byte);
    if (byte == '\n') break;
  }
  piece[count] = '\0';
  return count;
}

CopyResult copy_text_file(const char* path, TextWriter& to, char* buffer,
                          std::size_t capacity, std::string* error) {
  TextReader reader;
  if (!reader.open(path, error)) return CopyResult::kNotOpened;
  while (std::size_t count = reader.read_piece(buffer, capacity)) {
    to.write(std::string_view(buffer, count));
  }
  if (reader.failed()) {
    *error = reader.failure();
    return CopyResult::kReadFailed;
  }
  return CopyResult::kCopied;
}

}  // namespace text_file
