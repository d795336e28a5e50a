#ifndef RIRURIDE_PLATFORM_COMMAND_LINE_H_
#define RIRURIDE_PLATFORM_COMMAND_LINE_H_

// How a Windows program finds its command argument in the process command
// line. The rule is kept free of the system so that the unit tests check it
// everywhere; the Windows entry hands in the system's own lead-byte test.

namespace command_line {

// Returns true when `byte` starts a double-byte character of the system's
// ANSI code page.
using LeadByteTest = bool (*)(unsigned char byte);

// Returns the command argument inside the NUL-terminated process command
// line `line`: what follows the program's name and the bytes 0x01 to 0x20
// after it. A quoted name ends at the next double quote (a lead byte takes the
// byte after it unexamined), an unquoted one before the first byte of 0x20 or
// less. Never reads past the terminating NUL.
const char* command_argument(const char* line, LeadByteTest is_lead_byte);

}  // namespace command_line

#endif  // RIRURIDE_PLATFORM_COMMAND_LINE_H_
