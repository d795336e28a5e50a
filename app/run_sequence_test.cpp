#include "app/run_sequence.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct QuoteCase {
  const char* argument;
  const char* path;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const QuoteCase& c, std::ostream* out) { *out << c.argument; }

class QuoteRemovalTest : public testing::TestWithParam<QuoteCase> {};

TEST_P(QuoteRemovalTest, RemovesOneQuoteAtEachEnd) {
  std::string argument = GetParam().argument;
  run_sequence::remove_enclosing_quotes(argument);
  EXPECT_EQ(argument, GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, QuoteRemovalTest,
    testing::Values(QuoteCase{"\"C:\\My Files\\plan.svg\"", "C:\\My Files\\plan.svg"},
                    QuoteCase{"C:\\My Files\\plan.svg\"", "C:\\My Files\\plan.svg"},
                    QuoteCase{"\"C:\\My Files\\plan.svg", "C:\\My Files\\plan.svg"},
                    QuoteCase{"\"C:\\a.svg\" \"C:\\b.svg\"", "C:\\a.svg\" \"C:\\b.svg"},
                    QuoteCase{"C:\\a \"b\" c.svg", "C:\\a \"b\" c.svg"},
                    QuoteCase{" plan.svg ", " plan.svg "},
                    QuoteCase{"\"\"\"", "\""},
                    QuoteCase{"\"\"", ""},
                    QuoteCase{"\"", ""},
                    QuoteCase{"", ""}));

TEST(DocumentPath, JoinsFolderSeparatorAndName) {
  LineBuffer path;
  ASSERT_TRUE(run_sequence::format_document_path("C:\\Temp\\", '\\', path));
  EXPECT_STREQ(path.data(), "C:\\Temp\\\\zuvaduv_multiview.htm");
}

TEST(DocumentPath, FitsUpTo255BytesAndIsNeverCut) {
  const std::size_t name_and_separator = 1 + std::string("zuvaduv_multiview.htm").size();
  std::string longest(255 - name_and_separator, 'd');
  LineBuffer path;
  ASSERT_TRUE(run_sequence::format_document_path(longest.c_str(), '/', path));
  EXPECT_EQ(std::string(path.data()), longest + "/zuvaduv_multiview.htm");

  std::string too_long = longest + "d";
  EXPECT_FALSE(run_sequence::format_document_path(too_long.c_str(), '/', path));
  EXPECT_STREQ(path.data(), "");
}

}  // namespace
