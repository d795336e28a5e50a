// The Windows platform layer, on Windows (or Wine) only.

#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "document/viewer_document.h"
#include "platform/platform.h"
#include "platform/platform_windows.h"
#include "tests/test_support.h"

namespace {

// Sets or removes an environment variable for one test and restores it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    set(value);
  }
  ~ScopedEnv() { set(old_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  // "NAME=" removes the variable from the C runtime's environment.
  void set(const std::optional<std::string>& value) {
    std::string entry = name_ + "=" + value.value_or("");
    _putenv(entry.c_str());
  }

  std::string name_;
  std::optional<std::string> old_;
};

std::string launch_command(const char* document_path, std::size_t capacity,
                           bool* formed, std::string* error) {
  std::string command(capacity, '#');
  *formed = platform::form_launch_command(document_path, command.data(), capacity, error);
  return *formed ? std::string(command.c_str()) : std::string();
}

TEST(LaunchCommand, IsExplorerInSystemRootWithTheUnquotedDocumentPath) {
  ScopedEnv root("SystemRoot", "C:\\WINDOWS");
  bool formed = false;
  std::string error;
  EXPECT_EQ(launch_command("C:\\My Temp\\\\zuvaduv_multiview.htm", 256, &formed, &error),
            "C:\\WINDOWS\\explorer.exe C:\\My Temp\\\\zuvaduv_multiview.htm");
  EXPECT_TRUE(formed) << error;
}

TEST(LaunchCommand, FitsWith255BytesAndIsRefusedWith256) {
  ScopedEnv root("SystemRoot", "C:\\windows");
  const std::string prefix = "C:\\windows\\explorer.exe ";
  std::string fits = "C:\\" + std::string(255 - prefix.size() - 3, 'd');
  bool formed = false;
  std::string error;
  EXPECT_EQ(launch_command(fits.c_str(), 256, &formed, &error), prefix + fits);
  EXPECT_TRUE(formed) << error;

  std::string too_long = fits + "x";
  launch_command(too_long.c_str(), 256, &formed, &error);
  EXPECT_FALSE(formed);
  EXPECT_NE(error.find("255 bytes"), std::string::npos) << error;
}

TEST(LaunchCommand, IsRefusedWithoutSystemRoot) {
  ScopedEnv root("SystemRoot", std::nullopt);
  bool formed = true;
  std::string error;
  launch_command("C:\\Temp\\zuvaduv_multiview.htm", 256, &formed, &error);
  EXPECT_FALSE(formed);
  EXPECT_NE(error.find("SystemRoot"), std::string::npos) << error;
}

struct FolderCase {
  const char* name;
  std::optional<std::string> temp;
  std::optional<std::string> tmp;
  const char* folder;  // nullptr: none
};

class DocumentFolderTest : public testing::TestWithParam<FolderCase> {};

TEST_P(DocumentFolderTest, ComesFromTempThenTmp) {
  const FolderCase& c = GetParam();
  ScopedEnv temp("TEMP", c.temp);
  ScopedEnv tmp("TMP", c.tmp);
  std::string error;
  const char* folder = platform::document_folder(&error);
  if (c.folder == nullptr) {
    EXPECT_EQ(folder, nullptr);
    EXPECT_NE(error.find("TEMP"), std::string::npos) << error;
  } else {
    ASSERT_NE(folder, nullptr) << error;
    EXPECT_STREQ(folder, c.folder);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Environments, DocumentFolderTest,
    testing::Values(FolderCase{"TempWins", "C:\\T e m p\\", "C:\\Tmp", "C:\\T e m p\\"},
                    FolderCase{"TmpWithoutTemp", std::nullopt, "C:\\Tmp", "C:\\Tmp"},
                    FolderCase{"NeitherGivesNone", std::nullopt, std::nullopt, nullptr}),
    [](const testing::TestParamInfo<FolderCase>& info) { return info.param.name; });

// Another program asking for read and write access, sharing both, gets in
// while riruride holds the file; one that wants the file to itself does not,
// which shows that the file is indeed held.
TEST(OpenFile, LetsOtherProgramsReadAndWriteMeanwhile) {
  test_support::ScratchDir dir;
  std::string path = dir.file("shared.htm");
  for (platform::OpenMode mode : {platform::OpenMode::kWriteBytes,
                                  platform::OpenMode::kReadBytes}) {
    std::FILE* file = platform::open_file(path.c_str(), mode);
    ASSERT_NE(file, nullptr) << path;
    HANDLE exclusive = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(exclusive, INVALID_HANDLE_VALUE);
    if (exclusive != INVALID_HANDLE_VALUE) CloseHandle(exclusive);
    HANDLE shared = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(shared, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    if (shared != INVALID_HANDLE_VALUE) CloseHandle(shared);
    EXPECT_EQ(std::fclose(file), 0);
  }
}

TEST(OpenFile, RefusesADirectoryForReadingAsADirectory) {
  test_support::ScratchDir dir;
  std::string path = dir.file("folder.svg");
  ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
  errno = 0;
  EXPECT_EQ(platform::open_file(path.c_str(), platform::OpenMode::kReadBytes), nullptr);
  EXPECT_EQ(errno, EISDIR);
}

TEST(ShiftJis, CaptionBecomesItsJapaneseText) {
  EXPECT_EQ(platform::windows::shift_jis_to_utf16(viewer_document::kViewerCaption),
            L"ZUV Aduv \u30DE\u30EB\u30C1\u30DA\u30FC\u30B8\u30D3\u30E5\u30FC\u30A2");
}

TEST(ShiftJis, InvalidBytesGiveNothing) {
  // 0x81 0x20: a lead byte followed by a byte that cannot end a character.
  EXPECT_EQ(platform::windows::shift_jis_to_utf16("a\x81\x20"), std::wstring());
}

}  // namespace
