#ifndef RIRURIDE_APP_RUN_SEQUENCE_H_
#define RIRURIDE_APP_RUN_SEQUENCE_H_

// One run of riruride, independent of the system: from the command argument
// to the opened viewer document.

#include <string>

#include "app/exit_status.h"
#include "scan/line_buffer.h"

namespace run_sequence {

inline constexpr const char* kPageListName = "tmp2.htm";
inline constexpr const char* kOutlineName = "tmp3.htm";
inline constexpr const char* kDocumentName = "zuvaduv_multiview.htm";

// Removes a double quote at the start of `argument`, then one at its end.
// Each end loses its quote on its own; nothing else changes.
void remove_enclosing_quotes(std::string& argument);

// Forms "`folder``separator`zuvaduv_multiview.htm" into `path`. Returns false,
// leaving `path` empty, when it would not fit in 255 bytes.
bool format_document_path(const char* folder, char separator, LineBuffer& path);

// Runs the whole pass for `command_argument` (the command line after the
// program's name): shows the usage message when it names no file, else scans
// the file, writes the viewer document and opens it. Failures are reported
// through the platform layer; the result is the process exit status.
ExitStatus run(std::string command_argument);

}  // namespace run_sequence

#endif  // RIRURIDE_APP_RUN_SEQUENCE_H_
