#ifndef RIRURIDE_PLATFORM_PLATFORM_WINDOWS_H_
#define RIRURIDE_PLATFORM_PLATFORM_WINDOWS_H_

// Helpers of platform_windows.cpp that its Windows unit tests reach as well.

#include <string>
#include <string_view>

namespace platform::windows {

// Returns the UTF-16 text of the Shift-JIS (code page 932) bytes `text`, or
// an empty string when the system cannot convert them.
std::wstring shift_jis_to_utf16(std::string_view text);

// Returns whether `byte` starts a double-byte character of the system's ANSI
// code page (IsDBCSLeadByte).
bool is_ansi_lead_byte(unsigned char byte);

}  // namespace platform::windows

#endif  // RIRURIDE_PLATFORM_PLATFORM_WINDOWS_H_
