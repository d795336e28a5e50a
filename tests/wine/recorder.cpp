// The tests' stand-in for explorer.exe: writes its own command line, as
// GetCommandLineA gives it, byte for byte into the file named by the
// environment variable RIRURIDE_RECORDER_FILE, and ends. Exit code 0 when the
// line was written, 1 otherwise.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const char* record = std::getenv("RIRURIDE_RECORDER_FILE");
  if (record == nullptr || record[0] == '\0') return 1;
  const char* line = GetCommandLineA();
  std::FILE* file = std::fopen(record, "wb");
  if (file == nullptr) return 1;
  std::size_t size = std::strlen(line);
  bool written = std::fwrite(line, 1, size, file) == size;
  return std::fclose(file) == 0 && written ? 0 : 1;
}
