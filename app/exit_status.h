#ifndef RIRURIDE_APP_EXIT_STATUS_H_
#define RIRURIDE_APP_EXIT_STATUS_H_

// The process exit codes of riruride, in one place.
enum ExitStatus : int {
  kExitDone = 0,     // the document was written (whether or not a viewer could be started)
  kExitFailed = 1,   // a file could not be read or written; nothing was launched
  kExitUsage = 2,    // started without a path: the usage message was shown
};

#endif  // RIRURIDE_APP_EXIT_STATUS_H_
