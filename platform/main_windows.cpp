// The Windows entry point. riruride is a GUI-subsystem program without a
// window: Explorer starts it with the dropped file's path on its command line,
// and that line, after the program's name, is the command argument as a whole.

#include <windows.h>

#include "app/run_sequence.h"
#include "platform/command_line.h"
#include "platform/platform_windows.h"

// The command line the C runtime hands over is ignored: the argument is taken
// from the process command line by riruride's own rule.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const char* argument =
      command_line::command_argument(GetCommandLineA(), platform::windows::is_ansi_lead_byte);
  return run_sequence::run(argument);
}
