#include "app/run_sequence.h"

#include <cstring>
#include <string_view>

#include "document/viewer_document.h"
#include "platform/platform.h"
#include "platform/text_file.h"
#include "scan/source_scan.h"

namespace run_sequence {
namespace {

// "ZUV Aduv で作成した .svg ファイルを、riruride.exe にドラッグ＆ドロップしてください。"
// (drop a .svg file made with ZUV Aduv onto riruride.exe) in Shift-JIS.
constexpr std::string_view kUsageText =
    "ZUV Aduv \x82\xC5\x8D\xEC\x90\xAC\x82\xB5\x82\xBD .svg "
    "\x83t\x83@\x83\x43\x83\x8B\x82\xF0\x81"
    "Ariruride.exe \x82\xC9\x83h\x83\x89\x83\x62\x83O\x81\x95\x83h\x83\x8D\x83\x62\x83v"
    "\x82\xB5\x82\xC4\x82\xAD\x82\xBE\x82\xB3\x82\xA2\x81"
    "B";

ExitStatus fail(const std::string& message) {
  platform::report(message);
  return kExitFailed;
}

// Deletes the files it was given when the run leaves, whichever way it leaves.
class FilesToRemove {
 public:
  FilesToRemove() = default;
  FilesToRemove(const FilesToRemove&) = delete;
  FilesToRemove& operator=(const FilesToRemove&) = delete;
  ~FilesToRemove() { remove_all(); }

  void add(const char* path) { paths_[count_++] = path; }
  void remove_all() {
    for (std::size_t i = 0; i < count_; ++i) platform::remove_file(paths_[i]);
    count_ = 0;
  }

 private:
  const char* paths_[3] = {};
  std::size_t count_ = 0;
};

// Keeps the first failure of two: closes `second` even when `first_ok` is
// false, and returns whether both succeeded.
bool close_after(bool first_ok, text_file::TextWriter& second, std::string* error) {
  std::string second_error;
  if (second.close(&second_error)) return first_ok;
  if (first_ok) *error = second_error;
  return false;
}

// Creates the two fragments and scans the open source into them, leaving the
// outcome in `result`. Returns false with the reason in `error`.
bool scan_into_fragments(text_file::ByteReader& source, std::string_view source_path,
                         FilesToRemove& cleanup, LineBuffer& line,
                         source_scan::ScanResult& result, std::string* error) {
  text_file::TextWriter page_list;
  text_file::TextWriter outline;
  if (!page_list.open(kPageListName, error)) return false;
  cleanup.add(kPageListName);
  if (!outline.open(kOutlineName, error)) return false;
  cleanup.add(kOutlineName);

  result = source_scan::scan_source(source, page_list, outline, source_path, line);

  bool closed = close_after(outline.close(error), page_list, error);
  source.close();
  if (!closed) return false;
  if (source.failed()) {
    *error = source.failure();
    return false;
  }
  return true;
}

bool write_viewer(const char* document_path, std::string_view source_path,
                  const source_scan::ScanResult& scan, FilesToRemove& cleanup,
                  LineBuffer& line, std::string* error) {
  text_file::TextWriter document;
  if (!document.open(document_path, error)) return false;
  viewer_document::DocumentInputs inputs{source_path, scan, kPageListName, kOutlineName};
  bool written = viewer_document::write_document(document, inputs, line, error);
  if (close_after(written, document, error)) return true;
  // A half-written document would show a wrong viewer; take it away.
  cleanup.add(document_path);
  return false;
}

void open_viewer(const char* document_path, LineBuffer& line) {
  std::string error;
  if (!platform::form_launch_command(document_path, line.data(), line.size(), &error) ||
      !platform::start_launch_command(line.data(), document_path, &error)) {
    std::string notice = error;
    notice += "; the viewer document is ";
    notice += document_path;
    platform::report(notice);
  }
}

}  // namespace

void remove_enclosing_quotes(std::string& argument) {
  if (!argument.empty() && argument.front() == '"') argument.erase(0, 1);
  if (!argument.empty() && argument.back() == '"') argument.pop_back();
}

bool format_document_path(const char* folder, char separator, LineBuffer& path) {
  std::size_t folder_size = std::strlen(folder);
  std::size_t name_size = std::strlen(kDocumentName);
  path[0] = '\0';
  if (folder_size + 1 + name_size >= path.size()) return false;
  std::memcpy(path.data(), folder, folder_size);
  path[folder_size] = separator;
  std::memcpy(path.data() + folder_size + 1, kDocumentName, name_size + 1);
  return true;
}

ExitStatus run(std::string command_argument) {
  // An argument of quotes alone names no file either.
  remove_enclosing_quotes(command_argument);
  if (command_argument.empty()) {
    platform::show_usage(viewer_document::kViewerCaption, kUsageText);
    return kExitUsage;
  }

  std::string error;
  std::string& source_path = command_argument;
  if (!platform::resolve_source_path(source_path, &error)) return fail(error);

  const char* folder = platform::document_folder(&error);
  if (folder == nullptr) return fail(error);
  LineBuffer document_path;
  if (!format_document_path(folder, platform::path_separator(), document_path)) {
    return fail(std::string("the document path in ") + folder +
                " would be longer than 255 bytes");
  }

  // The line buffer is not in use yet: check now, before any file is made,
  // that the command which opens the document can be formed.
  LineBuffer line;
  if (!platform::form_launch_command(document_path.data(), line.data(), line.size(),
                                     &error)) {
    return fail(error);
  }

  text_file::ByteReader source;
  if (!source.open(source_path.c_str(), &error)) return fail(error);

  FilesToRemove cleanup;
  source_scan::ScanResult scan;
  if (!scan_into_fragments(source, source_path, cleanup, line, scan, &error) ||
      !write_viewer(document_path.data(), source_path, scan, cleanup, line, &error)) {
    return fail(error);
  }
  cleanup.remove_all();

  open_viewer(document_path.data(), line);
  return kExitDone;
}

}  // namespace run_sequence
