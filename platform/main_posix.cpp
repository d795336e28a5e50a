// The entry point on Linux and macOS. Windows hands riruride the rest of its
// command line as one path; here the arguments are joined with single blanks
// to give the same command argument.

#include <csignal>
#include <string>

#include "app/run_sequence.h"

int main(int argc, char** argv) {
  // Past a file size limit (ulimit -f) the system would kill riruride with
  // SIGXFSZ and leave its fragments behind; ignored, the write fails instead
  // and the run cleans up and reports it like a full disk.
  std::signal(SIGXFSZ, SIG_IGN);
  std::string command_argument;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) command_argument += ' ';
    command_argument += argv[i];
  }
  return run_sequence::run(std::move(command_argument));
}
