// The fuzz target: any bytes become the source file of one whole run of
// riruride (scan, fragments, document, cleanup) in a scratch folder of its
// own, and the written document is checked against rules that hold for every
// input. A broken rule aborts with a description, so that libFuzzer keeps the
// input; the same code replays saved inputs in the ordinary test build.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "app/run_sequence.h"

// Sends the sanitizers' reports to another descriptor; present only in a
// build with a sanitizer.
extern "C" [[gnu::weak]] void __sanitizer_set_report_fd(void* fd);

namespace fuzz_run {
namespace {

// The head rows of the document up to the page count, and from the line after
// it to the notice, written out here by hand. The Japanese texts are
// Shift-JIS: "ZUV Aduv マルチページビューア" and the notice "(ページの内容が
// 以前のままなら、最新の情報に更新を実行してください)".
constexpr std::string_view kTitleStart =
    "<html>\r\n<head>\r\n<title>"
    "ZUV Aduv \x83}\x83\x8B\x83`\x83y\x81[\x83W\x83r\x83\x85\x81[\x83" "A"
    " - ";
constexpr std::string_view kTitleEndToPageCount =
    "</title>\r\n"
    "\r\n"
    "<script language=\"JavaScript\"><!--\r\n"
    "var  mPage=";
constexpr std::string_view kPageCountToNotice =
    ";\r\n"
    "function  ShowEachPage() {\r\n"
    "  var  iPage;\r\n"
    "  var  page;\r\n"
    "\r\n"
    "  for ( iPage = 2; iPage <= mPage; iPage++ ) {\r\n"
    "    page = document.getElementById('svg'+iPage).getSVGDocument()"
    ".getElementById('page1');\r\n"
    "    page.setAttribute( \"visibility\", \"hidden\" );\r\n"
    "    page = document.getElementById('svg'+iPage).getSVGDocument()"
    ".getElementById('page'+iPage);\r\n"
    "    page.setAttribute( \"visibility\", \"visible\" );\r\n"
    "  }\r\n"
    "}\r\n"
    "\r\n"
    "// --></script>\r\n"
    "</head>\r\n"
    "<body onload='ShowEachPage()'>\r\n"
    "\r\n"
    "<FONT size=-2><P>"
    "(\x83y\x81[\x83W\x82\xCC\x93\xE0\x97" "e\x82\xAA\x88\xC8\x91O\x82\xCC\x82\xDC"
    "\x82\xDC\x82\xC8\x82\xE7\x81" "A\x8D\xC5\x90V\x82\xCC\x8F\xEE\x95\xF1\x82\xC9"
    "\x8DX\x90V\x82\xF0\x8E\xC0\x8Ds\x82\xB5\x82\xC4\x82\xAD\x82\xBE\x82\xB3\x82\xA2)"
    "</P></FONT>\r\n";
// "<H4>目次</H4>" and "<H4>内容</H4>" in Shift-JIS.
constexpr std::string_view kTableOfContentsHeading = "<H4>\x96\xDA\x8E\x9F</H4>\r\n";
constexpr std::string_view kContentsHeading = "<H4>\x93\xE0\x97" "e</H4>\r\n";
constexpr std::string_view kTail = "</body>\r\n</html>\r\n";

struct Scratch {
  std::string base;           // removed with everything in it when the process ends
  std::string work;           // the current directory during a run
  std::string temp;           // TEMP during a run
  std::string source;         // the source file, absolute
  std::string document;       // the viewer document
  std::string messages;       // what the run wrote to standard error
  std::string no_viewer;      // BROWSER: a program that does not exist
  int original_directory = -1;
  int report_fd = 2;          // the standard error this process started with
};

Scratch scratch;

// Writes `text` and a line end to the standard error the process started
// with, which the runs' own messages never reach, and aborts.
[[noreturn]] void fail(const std::string& text) {
  std::string line = "riruride fuzz: " + text + "\n";
  std::size_t done = 0;
  while (done < line.size()) {
    ssize_t count = write(scratch.report_fd, line.data() + done, line.size() - done);
    if (count <= 0) break;
    done += static_cast<std::size_t>(count);
  }
  std::abort();
}

[[noreturn]] void fail_setup(const std::string& what) {
  fail("setup failed: " + what + ": " + std::strerror(errno));
}

// Returns `bytes` with everything but printable ASCII as \xNN.
std::string printable(std::string_view bytes) {
  std::string shown;
  for (char byte : bytes) {
    unsigned char value = static_cast<unsigned char>(byte);
    if (value >= 0x20 && value < 0x7F) {
      shown += byte;
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", value);
      shown += escaped;
    }
  }
  return shown;
}

[[noreturn]] void fail_check(const std::string& what, std::string_view document,
                             std::size_t at) {
  std::size_t from = at < 80 ? 0 : at - 80;
  fail("check failed: " + what + " (document byte " + std::to_string(at) + " of " +
       std::to_string(document.size()) + ")\nnear: " + printable(document.substr(from, 160)));
}

void remove_scratch() {
  std::error_code ignored;
  std::filesystem::remove_all(scratch.base, ignored);
}

void write_whole_file(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) fail_setup("cannot create " + path);
  if ((size != 0 && std::fwrite(data, 1, size, file) != size) || std::fclose(file) != 0) {
    fail_setup("cannot write " + path);
  }
}

// Returns the whole file at `path`; aborts when it cannot be read.
std::string read_whole_file(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) fail_setup("cannot open " + path);
  std::string bytes;
  char chunk[64 * 1024];
  while (std::size_t count = std::fread(chunk, 1, sizeof chunk, file)) {
    bytes.append(chunk, count);
  }
  if (std::ferror(file)) fail_setup("cannot read " + path);
  std::fclose(file);
  return bytes;
}

// Reads through the document from its start; each expect_* step either
// consumes what it expects or fails the check.
struct Cursor {
  std::string_view document;
  std::size_t at = 0;

  bool starts_with(std::string_view text) const {
    return document.substr(at).starts_with(text);
  }
  void expect(std::string_view text, const char* what) {
    if (!starts_with(text)) fail_check(std::string("expected ") + what, document, at);
    at += text.size();
  }
  // Consumes a run of decimal digits of at most `max_digits` and returns it.
  std::string_view expect_digits(std::size_t max_digits, const char* what) {
    std::size_t end = at;
    while (end < document.size() && document[end] >= '0' && document[end] <= '9') ++end;
    if (end == at || end - at > max_digits) {
      fail_check(std::string("expected a number for ") + what, document, at);
    }
    std::string_view digits = document.substr(at, end - at);
    at = end;
    return digits;
  }
  // Consumes one line up to and with its CR LF and returns it without them.
  std::string_view expect_line(const char* what) {
    std::size_t end = document.find("\r\n", at);
    if (end == std::string_view::npos) fail_check(std::string("expected a line: ") + what,
                                                  document, at);
    std::string_view line = document.substr(at, end - at);
    at = end + 2;
    return line;
  }
};

void check_line_ends(std::string_view document) {
  for (std::size_t i = 0; i < document.size(); ++i) {
    if (document[i] == '\n' && (i == 0 || document[i - 1] != '\r')) {
      fail_check("a LF without CR before it", document, i);
    }
  }
}

void check_plain_page_bar(Cursor& cursor, long long page_count) {
  cursor.expect("Page\r\n", "the plain page bar");
  for (long long number = 1; number <= page_count; ++number) {
    std::string link = " <A href=\"#page" + std::to_string(number) + "\">[" +
                       std::to_string(number) + "]</A>";
    cursor.expect(link, "the next page link");
  }
  cursor.expect(" <BR><BR>\r\n", "the end of the page links");
}

// An outline line is some blanks, then a list item numbered in order, an
// opening or a closing list line. Titles never hold a line end, so the first
// empty line ends the outline.
void check_outline_layout(Cursor& cursor) {
  cursor.expect("<H3>" + scratch.source + "</H3>\r\n", "the outline heading");
  cursor.expect(kTableOfContentsHeading, "the table of contents heading");
  cursor.expect("<UL>\r\n", "the outer list");
  long long items = 0;
  std::string_view last;
  for (;;) {
    std::size_t line_start = cursor.at;
    std::string_view line = cursor.expect_line("an outline line");
    if (line.empty()) break;
    last = line;
    std::string_view text = line.substr(std::min(line.find_first_not_of(' '), line.size()));
    if (text == "<UL>" || text == "</UL>") continue;
    ++items;
    std::string item = "<LI><A href=\"#page" + std::to_string(items) + "\">[" +
                       std::to_string(items) + "] ";
    if (!text.starts_with(item) || !text.ends_with("</A>")) {
      fail_check("expected list item " + std::to_string(items), cursor.document, line_start);
    }
  }
  if (last != "</UL>") fail_check("expected the outer list closed", cursor.document, cursor.at);
  cursor.expect(kContentsHeading, "the contents heading");
}

void check_page_list(Cursor& cursor, long long page_count) {
  for (long long number = 1; number <= page_count; ++number) {
    std::string k = std::to_string(number);
    cursor.expect("<NOBR><A name=\"page" + k + "\"><embed src=\"" + scratch.source +
                      "\" width=\"",
                  "the next embed line");
    cursor.expect_digits(10, "the width");
    cursor.expect("px\" height=\"", "the height");
    cursor.expect_digits(10, "the height");
    cursor.expect("px\" name=\"svg" + (number == 1 ? std::string() : k) + "\"> " + k +
                      "</A></NOBR>\r\n",
                  "the end of the embed line");
  }
}

void check_document(std::string_view document) {
  check_line_ends(document);
  Cursor cursor{document};
  cursor.expect(kTitleStart, "the head rows up to the title");
  cursor.expect(scratch.source, "the source path in the title");
  cursor.expect(kTitleEndToPageCount, "the head rows up to the page count");
  std::string_view digits = cursor.expect_digits(10, "mPage");
  long long page_count = std::stoll(std::string(digits));
  cursor.expect(kPageCountToNotice, "the head rows after the page count");
  if (cursor.starts_with("Page\r\n")) {
    check_plain_page_bar(cursor, page_count);
  } else {
    check_outline_layout(cursor);
  }
  check_page_list(cursor, page_count);
  if (document.substr(cursor.at) != kTail) {
    fail_check("expected the tail and nothing after it", document, cursor.at);
  }
}

// Only the document may remain after a run: no fragment, nothing else.
void check_no_litter() {
  std::error_code code;
  for (const auto& entry : std::filesystem::directory_iterator(scratch.work, code)) {
    fail("check failed: " + entry.path().string() + " left behind");
  }
  if (code) fail_setup("cannot list " + scratch.work);
}

// The run's only message is the notice that the viewer could not be started,
// which names the document; any other message means the run went wrong.
void check_messages() {
  std::string messages = read_whole_file(scratch.messages);
  std::string start = "riruride: cannot start " + scratch.no_viewer + ": ";
  std::string end = "; the viewer document is " + scratch.document + "\n";
  if (!messages.starts_with(start) || !messages.ends_with(end) ||
      messages.find('\n') != messages.size() - 1) {
    fail("check failed: unexpected messages: " + printable(messages));
  }
}

// Runs riruride on the source with its standard error going to the messages
// file, and returns its exit status.
ExitStatus run_captured() {
  std::fflush(stderr);
  int messages = open(scratch.messages.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  int saved = dup(2);
  if (messages < 0 || saved < 0 || dup2(messages, 2) < 0) fail_setup("cannot capture");
  close(messages);
  if (chdir(scratch.work.c_str()) != 0) fail_setup("cannot enter " + scratch.work);
  ExitStatus status = run_sequence::run(scratch.source);
  if (fchdir(scratch.original_directory) != 0) fail_setup("cannot go back");
  std::fflush(stderr);
  if (dup2(saved, 2) < 0) fail_setup("cannot restore standard error");
  close(saved);
  return status;
}

}  // namespace

// Makes the scratch folder below TMPDIR (or /tmp) and points TEMP into it.
// BROWSER names a program that does not exist, so that no process is started
// per input; the run then says where the document is. Aborts on failure.
void set_up() {
  scratch.report_fd = dup(2);
  if (scratch.report_fd < 0) fail_setup("cannot keep standard error");
  if (__sanitizer_set_report_fd != nullptr) {
    __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<std::intptr_t>(scratch.report_fd)));
  }
  const char* tmpdir = std::getenv("TMPDIR");
  std::string pattern = std::string(tmpdir != nullptr && tmpdir[0] != '\0' ? tmpdir : "/tmp") +
                        "/riruride-fuzz-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) fail_setup("cannot make " + pattern);
  scratch.base = pattern;
  std::atexit(remove_scratch);
  scratch.work = scratch.base + "/work";
  scratch.temp = scratch.base + "/temp";
  scratch.source = scratch.base + "/source.svg";
  scratch.document = scratch.temp + "/" + run_sequence::kDocumentName;
  scratch.messages = scratch.base + "/messages.txt";
  scratch.no_viewer = scratch.base + "/no-viewer";
  std::error_code code;
  if (!std::filesystem::create_directory(scratch.work, code) ||
      !std::filesystem::create_directory(scratch.temp, code)) {
    fail_setup("cannot make the folders in " + scratch.base);
  }
  setenv("TEMP", scratch.temp.c_str(), 1);
  setenv("BROWSER", scratch.no_viewer.c_str(), 1);
  scratch.original_directory = open(".", O_RDONLY | O_DIRECTORY);
  if (scratch.original_directory < 0) fail_setup("cannot open the current directory");
}

// Runs riruride on `data` as its source, over a stale document of an earlier
// run, and checks the result. Aborts with a description when a rule breaks.
void run_one(const std::uint8_t* data, std::size_t size) {
  write_whole_file(scratch.source, data, size);
  std::string stale(4096, 'x');
  write_whole_file(scratch.document, reinterpret_cast<const std::uint8_t*>(stale.data()),
                   stale.size());
  ExitStatus status = run_captured();
  if (status != kExitDone) {
    fail("check failed: the run ended with " + std::to_string(static_cast<int>(status)) +
         ": " + printable(read_whole_file(scratch.messages)));
  }
  check_messages();
  check_no_litter();
  check_document(read_whole_file(scratch.document));
}

}  // namespace fuzz_run

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_run::set_up();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_run::run_one(data, size);
  return 0;
}
