#include "platform/command_line.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Stand-ins for the system's lead-byte test: the lead bytes of Shift-JIS
// (0x81-0x9F, 0xE0-0xFC), and a single-byte code page without any.
bool shift_jis_lead(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}
bool no_lead(unsigned char) { return false; }

struct ArgumentCase {
  const char* name;
  std::string line;
  command_line::LeadByteTest is_lead_byte;
  std::string argument;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ArgumentCase& c, std::ostream* out) { *out << c.name; }

class CommandArgumentTest : public testing::TestWithParam<ArgumentCase> {};

TEST_P(CommandArgumentTest, IsTheRestAfterTheName) {
  const ArgumentCase& c = GetParam();
  EXPECT_EQ(std::string(command_line::command_argument(c.line.c_str(), c.is_lead_byte)),
            c.argument);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CommandArgumentTest,
    testing::Values(
        ArgumentCase{"QuotedNameAndQuotedPath",
                     "\"C:\\Program Files\\riruride.exe\" \"C:\\My Files\\plan.svg\"",
                     shift_jis_lead, "\"C:\\My Files\\plan.svg\""},
        ArgumentCase{"UnquotedNameEndsAtTheBlank", "riruride.exe C:\\My Files\\plan.svg",
                     shift_jis_lead, "C:\\My Files\\plan.svg"},
        ArgumentCase{"NameAloneGivesNothing", "riruride.exe", shift_jis_lead, ""},
        ArgumentCase{"QuotedNameAloneGivesNothing", "\"riruride.exe\"", shift_jis_lead, ""},
        ArgumentCase{"BlanksAndControlBytesAfterTheNameAreSkippedTrailingOnesKept",
                     "riruride.exe \t\x01\x1F\x20 a b  ", shift_jis_lead, "a b  "},
        ArgumentCase{"UnquotedNameEndsAtAControlByte", "riru\x01ride x", shift_jis_lead,
                     "ride x"},
        ArgumentCase{"BytesFrom0x80AreNoBlanksInAnUnquotedName", "ri\xE9\xFFru.exe a",
                     no_lead, "a"},
        ArgumentCase{"BytesFrom0x80AreNotSkippedAfterTheName", "r.exe  \x81\x40x", no_lead,
                     "\x81\x40x"},
        ArgumentCase{"QuotedNameNeedsNoBlankAfterIt", "\"r.exe\"b.svg", shift_jis_lead,
                     "b.svg"},
        ArgumentCase{"QuotedNameWithoutItsClosingQuoteTakesTheLine", "\"C:\\a b\\r.exe x",
                     shift_jis_lead, ""},
        // 0x95 0x22 is one Shift-JIS character whose second byte is a double quote.
        ArgumentCase{"LeadByteTakesAQuoteIntoAQuotedName",
                     "\"C:\\\x95\"\\r.exe\" plan.svg", shift_jis_lead, "plan.svg"},
        ArgumentCase{"WithoutLeadBytesThatQuoteEndsTheName", "\"C:\\\x95\"\\r.exe\" plan.svg",
                     no_lead, "\\r.exe\" plan.svg"},
        ArgumentCase{"LeadByteDoesNotMatterInAnUnquotedName", "a\x95 .exe x",
                     shift_jis_lead, ".exe x"},
        ArgumentCase{"LeadByteBeforeTheEndDoesNotReadPastIt", "\"r\x95", shift_jis_lead,
                     ""},
        ArgumentCase{"EmptyLineGivesNothing", "", shift_jis_lead, ""}),
    [](const testing::TestParamInfo<ArgumentCase>& info) { return info.param.name; });

}  // namespace
