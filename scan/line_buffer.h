#ifndef RIRURIDE_SCAN_LINE_BUFFER_H_
#define RIRURIDE_SCAN_LINE_BUFFER_H_

#include <array>
#include <cstddef>

// The one fixed buffer of a run. It holds each source line during the scan
// (at most 255 stored bytes and a NUL), then serves as the copy buffer when
// the fragments are copied into the document, and on some systems it holds
// the command that opens the document.
inline constexpr std::size_t kLineCapacity = 256;
using LineBuffer = std::array<char, kLineCapacity>;

#endif  // RIRURIDE_SCAN_LINE_BUFFER_H_
