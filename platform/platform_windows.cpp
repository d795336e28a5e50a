// Windows. riruride runs without a window and without a console: the usage
// message is a message box, the viewer document is handed to explorer.exe in
// the SystemRoot folder, and every file is opened so that other programs may
// read and write it meanwhile.

#include <windows.h>

#include <share.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/platform_windows.h"

namespace platform {
namespace {

constexpr UINT kShiftJisCodePage = 932;
constexpr std::string_view kExplorer = "\\explorer.exe ";

const char* non_empty_env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0' ? value : nullptr;
}

bool is_directory(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Writes `text` to the standard error handle that the parent handed down.
// Returns false when there is none, as when Explorer started riruride.
bool write_to_stderr(std::string_view text) {
  HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  return WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) !=
             0 &&
         written == text.size();
}

}  // namespace

namespace windows {

std::wstring shift_jis_to_utf16(std::string_view text) {
  if (text.empty()) return std::wstring();
  int size = static_cast<int>(text.size());
  int wide_size = MultiByteToWideChar(kShiftJisCodePage, MB_ERR_INVALID_CHARS, text.data(),
                                      size, nullptr, 0);
  if (wide_size <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(wide_size), L'\0');
  if (MultiByteToWideChar(kShiftJisCodePage, MB_ERR_INVALID_CHARS, text.data(), size,
                          wide.data(), wide_size) != wide_size) {
    return std::wstring();
  }
  return wide;
}

bool is_ansi_lead_byte(unsigned char byte) { return IsDBCSLeadByte(byte) != 0; }

}  // namespace windows

// Windows refuses to open a directory as a file; the reason is made the same
// as on the other systems.
std::FILE* open_file(const char* path, OpenMode mode) {
  const char* how = mode == OpenMode::kWriteBytes ? "wb" : "rb";
  std::FILE* file = _fsopen(path, how, _SH_DENYNO);
  if (file == nullptr && mode == OpenMode::kReadBytes && is_directory(path)) errno = EISDIR;
  return file;
}

bool remove_file(const char* path) { return std::remove(path) == 0; }

char path_separator() { return '\\'; }

// An empty TEMP names no folder either; it would put the document at the
// root of the current drive.
const char* document_folder(std::string* error) {
  if (const char* temp = non_empty_env("TEMP")) return temp;
  if (const char* tmp = non_empty_env("TMP")) return tmp;
  *error = "neither TEMP nor TMP names a folder for the viewer document";
  return nullptr;
}

// Explorer opens the document from wherever it is, so the source path stays
// as the command argument gave it.
bool resolve_source_path(std::string&, std::string*) { return true; }

// The texts are shown through the wide call, converted from code page 932, so
// that they read right whatever the system's ANSI code page is. Should the
// conversion be missing, the bytes are shown as they are.
void show_usage(std::string_view caption, std::string_view text) {
  std::wstring wide_caption = windows::shift_jis_to_utf16(caption);
  std::wstring wide_text = windows::shift_jis_to_utf16(text);
  if (wide_caption.empty() || wide_text.empty()) {
    MessageBoxA(nullptr, std::string(text).c_str(), std::string(caption).c_str(), MB_OK);
    return;
  }
  MessageBoxW(nullptr, wide_text.c_str(), wide_caption.c_str(), MB_OK);
}

// riruride has no console. A parent that redirects standard error (a script,
// the tests) reads the message there and nothing blocks; when there is no
// such handle, as after a drag and drop, the user sees a message box instead.
// The message holds paths in the ANSI code page, so the ANSI call shows them.
void report(std::string_view message) {
  std::string line = "riruride: ";
  line += message;
  line += "\r\n";
  if (write_to_stderr(line)) return;
  MessageBoxA(nullptr, std::string(message).c_str(), "riruride", MB_OK | MB_ICONERROR);
}

// The command is "SystemRoot\explorer.exe document", the document path
// without quotes, as Explorer takes the rest of its command line as one path.
bool form_launch_command(const char* document_path, char* command, std::size_t capacity,
                         std::string* error) {
  const char* system_root = non_empty_env("SystemRoot");
  if (system_root == nullptr) {
    *error = "SystemRoot is not set, so explorer.exe cannot be found";
    return false;
  }
  std::size_t root_size = std::strlen(system_root);
  std::size_t path_size = std::strlen(document_path);
  if (root_size + kExplorer.size() + path_size >= capacity) {
    *error = "the command that opens the viewer would be longer than " +
             std::to_string(capacity - 1) + " bytes";
    return false;
  }
  std::memcpy(command, system_root, root_size);
  std::memcpy(command + root_size, kExplorer.data(), kExplorer.size());
  std::memcpy(command + root_size + kExplorer.size(), document_path, path_size + 1);
  return true;
}

// WinExec's result is not examined: Explorer tells the user about a document
// it cannot open, and riruride would have nothing to add.
bool start_launch_command(const char* command, const char*, std::string*) {
  WinExec(command, SW_SHOW);
  return true;
}

}  // namespace platform
