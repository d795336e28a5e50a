#include "platform/command_line.h"

namespace command_line {

// Every comparison is made on unsigned bytes, so that bytes from 0x80 up
// belong to the name and to the argument like any other printable byte.
const char* command_argument(const char* line, LeadByteTest is_lead_byte) {
  const auto* byte = reinterpret_cast<const unsigned char*>(line);
  if (*byte == '"') {
    ++byte;
    while (*byte != '\0' && *byte != '"') {
      if (is_lead_byte(*byte) && byte[1] != '\0') ++byte;
      ++byte;
    }
    if (*byte == '"') ++byte;
  } else {
    while (*byte > 0x20) ++byte;
  }
  while (*byte != '\0' && *byte <= 0x20) ++byte;
  return reinterpret_cast<const char*>(byte);
}

}  // namespace command_line
