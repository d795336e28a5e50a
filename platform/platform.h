#ifndef RIRURIDE_PLATFORM_PLATFORM_H_
#define RIRURIDE_PLATFORM_PLATFORM_H_

// Everything riruride does differently per operating system. Each OS has one
// implementation file (platform_posix.cpp, platform_windows.cpp) and its own
// entry point, which hands the command argument to run_sequence::run.

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace platform {

enum class OpenMode { kReadBytes, kWriteBytes };

// Opens `path` as a binary stream, letting other programs read and write the
// file meanwhile. Returns nullptr with errno set on failure; a directory is
// refused for reading with EISDIR.
std::FILE* open_file(const char* path, OpenMode mode);

// Deletes `path`. Returns false when it could not be deleted.
bool remove_file(const char* path);

// Returns the byte that joins the document folder and the document's name.
char path_separator();

// Returns the folder that receives the viewer document, or nullptr (with the
// reason in `error`) when the environment names none.
const char* document_folder(std::string* error);

// Turns the source path, as the command argument gave it, into the path that
// the document's embeds can use from the document's folder. Returns false with
// the reason in `error` when that is not possible.
bool resolve_source_path(std::string& path, std::string* error);

// Shows the usage message. `caption` and `text` are Shift-JIS bytes.
void show_usage(std::string_view caption, std::string_view text);

// Tells the user about a failure or a notice, in one line of text.
void report(std::string_view message);

// Forms into `command` (of `capacity` bytes) the command that opens the
// document at `document_path`. Returns false with the reason in `error` when
// it cannot be formed or would not fit; the command is never truncated.
bool form_launch_command(const char* document_path, char* command,
                         std::size_t capacity, std::string* error);

// Starts the command formed by form_launch_command without waiting for it.
// Returns false with the reason in `error` when it is known not to have started.
bool start_launch_command(const char* command, const char* document_path,
                          std::string* error);

}  // namespace platform

#endif  // RIRURIDE_PLATFORM_PLATFORM_H_
