#include "platform/text_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

using test_support::ScratchDir;

std::string written_bytes(std::string_view text) {
  ScratchDir dir;
  std::string path = dir.file("out.htm");
  text_file::TextWriter writer;
  std::string error;
  EXPECT_TRUE(writer.open(path.c_str(), &error)) << error;
  writer.write(text);
  EXPECT_TRUE(writer.close(&error)) << error;
  return test_support::read_bytes(path);
}

// The pieces a text reader of `capacity` bytes gives for a file of `bytes`.
std::vector<std::string> pieces(std::string_view bytes, std::size_t capacity) {
  ScratchDir dir;
  std::string path = dir.file("in.htm");
  test_support::write_bytes(path, bytes);
  text_file::TextReader reader;
  std::string error;
  EXPECT_TRUE(reader.open(path.c_str(), &error)) << error;
  std::vector<std::string> result;
  std::vector<char> piece(capacity);
  while (std::size_t count = reader.read_piece(piece.data(), capacity)) {
    EXPECT_EQ(piece[count], '\0');
    result.emplace_back(piece.data(), count);
  }
  return result;
}

TEST(TextWriter, EveryLineEndReachesTheDiskAsCrLf) {
  EXPECT_EQ(written_bytes("a\nb\r\n\n"), "a\r\nb\r\r\n\r\n");
  EXPECT_EQ(written_bytes(std::string("\x1A\0\xFF", 3)), std::string("\x1A\0\xFF", 3));
}

TEST(TextWriter, LongTextCrossesItsBufferIntact) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i) + "\n";
  std::string expected;
  for (int i = 0; i < 20000; ++i) expected += "line " + std::to_string(i) + "\r\n";
  ASSERT_GT(expected.size(), 2 * text_file::TextWriter::kBufferSize);
  EXPECT_EQ(written_bytes(text), expected);
}

TEST(TextWriter, WritesNumbersAndBlanks) {
  ScratchDir dir;
  std::string path = dir.file("out.htm");
  text_file::TextWriter writer;
  std::string error;
  ASSERT_TRUE(writer.open(path.c_str(), &error)) << error;
  writer.write_number(-2147483648LL);
  writer.write_blanks(3);
  writer.write_number(0);
  ASSERT_TRUE(writer.close(&error)) << error;
  EXPECT_EQ(test_support::read_bytes(path), "-2147483648   0");
}

TEST(TextWriter, CreateFailureNamesThePath) {
  ScratchDir dir;
  std::string path = dir.file("missing-folder/out.htm");
  text_file::TextWriter writer;
  std::string error;
  EXPECT_FALSE(writer.open(path.c_str(), &error));
  EXPECT_NE(error.find(path), std::string::npos) << error;
  EXPECT_FALSE(writer.is_open());
}

TEST(TextWriter, FullDiskIsReportedByClose) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
  text_file::TextWriter writer;
  std::string error;
  ASSERT_TRUE(writer.open("/dev/full", &error)) << error;
  writer.write(std::string(100000, 'x'));
  EXPECT_FALSE(writer.close(&error));
  EXPECT_NE(error.find("/dev/full"), std::string::npos) << error;
}

TEST(TextReader, TurnsCrLfIntoLineEndsAndKeepsLoneCr) {
  EXPECT_EQ(pieces("a\r\nb\rc\r\r\n\x1A" "d", 256),
            (std::vector<std::string>{"a\n", "b\rc\r\n", "\x1A" "d"}));
}

TEST(TextReader, LongLineArrivesInPiecesOfAtMost255Bytes) {
  std::string line(300, 'x');
  EXPECT_EQ(pieces(line + "\r\n", 256),
            (std::vector<std::string>{std::string(255, 'x'), std::string(45, 'x') + "\n"}));
}

TEST(TextReader, CrLfAtAPieceBoundaryIsStillOneLineEnd) {
  std::string before(254, 'a');
  std::string full(255, 'b');
  EXPECT_EQ(pieces(before + "\r\n" + full + "\r\nz", 256),
            (std::vector<std::string>{before + "\n", full, "\n", "z"}));
}

TEST(TextReader, CrLfSplitByTheEndOfAReadIsStillOneLineEnd) {
  std::size_t before = text_file::ByteReader::kBufferSize - 1;
  std::vector<std::string> got = pieces(std::string(before, 'a') + "\r\nb", 256);
  ASSERT_EQ(got.size(), before / 255 + 2);
  for (std::size_t i = 0; i + 2 < got.size(); ++i) EXPECT_EQ(got[i], std::string(255, 'a'));
  EXPECT_EQ(got[got.size() - 2], std::string(before % 255, 'a') + "\n");
  EXPECT_EQ(got.back(), "b");
}

TEST(CopyTextFile, CopiesLongLinesWholeWithOneCrLf) {
  ScratchDir dir;
  std::string from = dir.file("from.htm");
  std::string to = dir.file("to.htm");
  std::string text = std::string(254, 'a') + "\r\n" + std::string(600, 'b') + "\r\nc\rd\r\n";
  test_support::write_bytes(from, text);
  text_file::TextWriter writer;
  std::string error;
  ASSERT_TRUE(writer.open(to.c_str(), &error)) << error;
  char buffer[256];
  EXPECT_EQ(text_file::copy_text_file(from.c_str(), writer, buffer, sizeof buffer, &error),
            text_file::CopyResult::kCopied);
  ASSERT_TRUE(writer.close(&error)) << error;
  EXPECT_EQ(test_support::read_bytes(to), text);
}

TEST(CopyTextFile, MissingFileIsNotOpened) {
  ScratchDir dir;
  text_file::TextWriter writer;
  std::string error;
  ASSERT_TRUE(writer.open(dir.file("to.htm").c_str(), &error)) << error;
  char buffer[256];
  std::string missing = dir.file("missing.htm");
  EXPECT_EQ(text_file::copy_text_file(missing.c_str(), writer, buffer, sizeof buffer, &error),
            text_file::CopyResult::kNotOpened);
  EXPECT_NE(error.find(missing), std::string::npos) << error;
}

TEST(ByteReader, DirectoryIsRefused) {
  ScratchDir dir;
  std::string folder = dir.file("folder");
  std::filesystem::create_directory(folder);
  text_file::ByteReader reader;
  std::string error;
  EXPECT_FALSE(reader.open(folder.c_str(), &error));
  EXPECT_NE(error.find(folder), std::string::npos) << error;
}

}  // namespace
