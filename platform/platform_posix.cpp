// Linux and macOS. There is no shell to hand the document to, so the viewer
// is opened by the user's $BROWSER or the desktop's opener, and messages go to
// standard error.

#include <fcntl.h>
#include <iconv.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/platform.h"
#include "platform/text_file.h"

extern char** environ;

namespace platform {
namespace {

#if defined(__APPLE__)
constexpr const char* kDesktopOpener = "open";
#else
constexpr const char* kDesktopOpener = "xdg-open";
#endif

const char* non_empty_env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0' ? value : nullptr;
}

void write_to_stderr(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
}

// The usage texts are Shift-JIS; a terminal here expects UTF-8.
std::string shift_jis_to_utf8(std::string_view text) {
  iconv_t converter = iconv_open("UTF-8", "SHIFT_JIS");
  if (converter == reinterpret_cast<iconv_t>(-1)) return std::string(text);
  std::string input(text);
  std::string output(text.size() * 3 / 2 + 16, '\0');
  char* in = input.data();
  char* out = output.data();
  std::size_t in_left = input.size();
  std::size_t out_left = output.size();
  std::size_t converted = iconv(converter, &in, &in_left, &out, &out_left);
  iconv_close(converter);
  if (converted == static_cast<std::size_t>(-1)) return std::string(text);
  output.resize(output.size() - out_left);
  return output;
}

}  // namespace

// POSIX lets fopen open a directory for reading, and the read fails only
// later; riruride refuses it at once, before any file is made.
std::FILE* open_file(const char* path, OpenMode mode) {
  if (mode == OpenMode::kWriteBytes) return std::fopen(path, "wb");
  std::FILE* file = std::fopen(path, "rb");
  struct stat status;
  if (file != nullptr && fstat(fileno(file), &status) == 0 && S_ISDIR(status.st_mode)) {
    std::fclose(file);
    errno = EISDIR;
    return nullptr;
  }
  return file;
}

bool remove_file(const char* path) { return std::remove(path) == 0; }

char path_separator() { return '/'; }

// TEMP is the name riruride knows from Windows; here TMPDIR is the usual one.
const char* document_folder(std::string*) {
  if (const char* temp = non_empty_env("TEMP")) return temp;
  if (const char* tmpdir = non_empty_env("TMPDIR")) return tmpdir;
  return "/tmp";
}

// The document lies in another folder than the source, so the embeds need the
// source's absolute path.
bool resolve_source_path(std::string& path, std::string* error) {
  if (path.front() == '/') return true;
  std::error_code code;
  std::filesystem::path current = std::filesystem::current_path(code);
  if (code) {
    *error = "cannot find the current directory: " + code.message();
    return false;
  }
  path = current.native() + "/" + path;
  return true;
}

void show_usage(std::string_view caption, std::string_view text) {
  write_to_stderr(shift_jis_to_utf8(caption));
  write_to_stderr("\n");
  write_to_stderr(shift_jis_to_utf8(text));
  write_to_stderr("\n");
}

void report(std::string_view message) {
  write_to_stderr("riruride: ");
  write_to_stderr(message);
  write_to_stderr("\n");
}

// The command is the one program that opens the document, given the
// document's path as its only argument.
bool form_launch_command(const char*, char* command, std::size_t capacity,
                         std::string* error) {
  const char* browser = non_empty_env("BROWSER");
  const char* program = browser != nullptr ? browser : kDesktopOpener;
  std::size_t size = std::strlen(program);
  if (size >= capacity) {
    *error = "the browser command in BROWSER is longer than " +
             std::to_string(capacity - 1) + " bytes";
    return false;
  }
  std::memcpy(command, program, size + 1);
  return true;
}

// The viewer is started in a session of its own and never waited for, so
// that riruride ends at once and the browser outlives it.
bool start_launch_command(const char* command, const char* document_path,
                          std::string* error) {
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
#if defined(POSIX_SPAWN_SETSID)
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
#endif
  char* arguments[] = {const_cast<char*>(command), const_cast<char*>(document_path),
                       nullptr};
  pid_t child;
  int result = posix_spawnp(&child, command, nullptr, &attributes, arguments, environ);
  posix_spawnattr_destroy(&attributes);
  if (result != 0) {
    *error = text_file::describe_failure("cannot start", command, result);
    return false;
  }
  return true;
}

}  // namespace platform
