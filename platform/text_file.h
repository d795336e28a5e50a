#ifndef RIRURIDE_PLATFORM_TEXT_FILE_H_
#define RIRURIDE_PLATFORM_TEXT_FILE_H_

// riruride's own file layer on top of binary streams, so that every system
// writes the same bytes: in text written by TextWriter each "\n" reaches the
// disk as CR LF and every other byte is written as it is; TextReader turns
// each CR LF back into "\n", keeps a CR that no LF follows and treats every
// other byte, 0x1A included, as an ordinary byte. ByteReader reads raw bytes.

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace text_file {

// Returns "`action` `path`: `the system's reason for errno_value`".
std::string describe_failure(std::string_view action, std::string_view path,
                             int errno_value);

// Returns the first CR or LF among the `size` bytes at `bytes`, or nullptr.
const char* find_line_end(const char* bytes, std::size_t size);

// Reads a binary stream through a fixed buffer of its own. A read error ends
// the stream like its end does; failed() tells the two apart afterwards.
class ByteReader {
 public:
  // The most bytes one read of the stream takes in.
  static constexpr std::size_t kBufferSize = 128 * 1024;

  ByteReader() = default;
  ByteReader(const ByteReader&) = delete;
  ByteReader& operator=(const ByteReader&) = delete;
  ~ByteReader();

  // Opens `path` for reading. Returns false with the reason in `error`.
  bool open(const char* path, std::string* error);
  // Closes the stream; safe to call when it is not open.
  void close();

  // Returns the next byte (0-255), or EOF at the end or after a read error.
  int get() {
    if (pos_ == end_ && !refill()) return EOF;
    return static_cast<unsigned char>(buffer_[pos_++]);
  }
  // Returns the next byte without taking it, or EOF.
  int peek() {
    if (pos_ == end_ && !refill()) return EOF;
    return static_cast<unsigned char>(buffer_[pos_]);
  }
  // The bytes buffered but not yet taken; take(n) consumes n of them.
  const char* buffered() const { return buffer_ + pos_; }
  std::size_t buffered_size() const { return end_ - pos_; }
  void take(std::size_t count) { pos_ += count; }
  // Fills the buffer when it is empty. Returns false at the end of the stream.
  bool refill();

  bool failed() const { return read_errno_ != 0; }
  // Returns the failed read described with the path and the system's reason.
  std::string failure() const;

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
  int read_errno_ = 0;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  char buffer_[kBufferSize];
};

// Writes a text file through a fixed buffer. The first failure (of a write or
// of the close) is kept and reported by close().
class TextWriter {
 public:
  // The most bytes gathered before they are written to the stream.
  static constexpr std::size_t kBufferSize = 64 * 1024;

  TextWriter() = default;
  TextWriter(const TextWriter&) = delete;
  TextWriter& operator=(const TextWriter&) = delete;
  // Closes the file without reporting; see close() for the checked way.
  ~TextWriter();

  // Creates or truncates `path`. Returns false with the reason in `error`.
  bool open(const char* path, std::string* error);
  // Flushes and closes the file. Returns false, with the path and the
  // system's reason in `error`, when any write or the close failed.
  bool close(std::string* error);
  bool is_open() const { return file_ != nullptr; }

  void write(std::string_view text);
  void write_number(long long value);
  void write_blanks(std::size_t count);

 private:
  // Appends `count` bytes as they are, flushing the buffer whenever it is full.
  void put_run(const char* bytes, std::size_t count);
  void flush_buffer();

  std::FILE* file_ = nullptr;
  std::string path_;
  int write_errno_ = 0;
  std::size_t used_ = 0;
  char buffer_[kBufferSize];
};

// Reads a text file piece by piece.
class TextReader {
 public:
  // Opens `path` for reading. Returns false with the reason in `error`.
  bool open(const char* path, std::string* error) {
    return bytes_.open(path, error);
  }
  // Reads into `piece` at most `capacity` - 1 bytes, ending after the first
  // "\n", and puts a NUL after them. Returns the number of bytes, 0 at the end.
  std::size_t read_piece(char* piece, std::size_t capacity);
  bool failed() const { return bytes_.failed(); }
  std::string failure() const { return bytes_.failure(); }

 private:
  ByteReader bytes_;
};

enum class CopyResult { kCopied, kNotOpened, kReadFailed };

// Copies the text file at `path` onto `to`, read into `buffer` (of `capacity`
// bytes) one piece at a time and written piece by piece. Returns kNotOpened
// or kReadFailed, with the reason in `error`, when it could not be read.
CopyResult copy_text_file(const char* path, TextWriter& to, char* buffer,
                          std::size_t capacity, std::string* error);

}  // namespace text_file

#endif  // RIRURIDE_PLATFORM_TEXT_FILE_H_
