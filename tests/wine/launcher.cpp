// The tests' stand-in for Explorer when it starts riruride.exe on a dropped
// file. Wine would rewrite a command line given to it from Linux and replace
// TEMP and TMP, so the test writes what it wants into a job file and this
// program, already inside Wine, sets the environment and hands the command
// line to CreateProcessA byte for byte.
//
//   launcher.exe JOB-FILE
//   launcher.exe --acp      prints the system's ANSI code page, such as 1252
//
// The job file holds lines "program PATH", "set NAME=VALUE" and "unset NAME",
// then a line "--"; every byte after that line is the command line. The
// launcher waits for the program and for every process it started (through a
// job object), then ends with the program's exit code; 100 and up are its own
// failures.

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int kLauncherFailed = 100;
constexpr DWORD kDescendantsTimeoutMs = 20000;

struct Job {
  std::string program;
  std::string command_line;
};

int fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "launcher: %s %s (error %lu)\n", what, detail.c_str(),
               static_cast<unsigned long>(GetLastError()));
  return kLauncherFailed;
}

bool read_file(const char* path, std::string& bytes) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  char buffer[4096];
  std::size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, file)) != 0) bytes.append(buffer, count);
  bool ok = std::ferror(file) == 0;
  return std::fclose(file) == 0 && ok;
}

// Applies the job file's lines before "--". Returns false with the faulty
// line in `bad` when a line is not understood or cannot be applied.
bool apply_job(const std::string& bytes, Job& job, std::string& bad) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    std::size_t end = bytes.find('\n', pos);
    if (end == std::string::npos) break;
    std::string line = bytes.substr(pos, end - pos);
    pos = end + 1;
    if (line == "--") {
      job.command_line = bytes.substr(pos);
      bad = "no program line";
      return !job.program.empty();
    }
    bad = line;
    if (line.rfind("program ", 0) == 0) {
      job.program = line.substr(8);
    } else if (line.rfind("set ", 0) == 0 && line.find('=') != std::string::npos) {
      std::size_t equals = line.find('=');
      std::string name = line.substr(4, equals - 4);
      if (!SetEnvironmentVariableA(name.c_str(), line.c_str() + equals + 1)) return false;
    } else if (line.rfind("unset ", 0) == 0) {
      SetEnvironmentVariableA(line.c_str() + 6, nullptr);
    } else {
      return false;
    }
  }
  bad = "no line \"--\"";
  return false;
}

// Waits until no process of `job` is left, or until the time is up.
void wait_for_descendants(HANDLE job) {
  for (DWORD waited = 0; waited < kDescendantsTimeoutMs; waited += 20) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
    if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info,
                                   sizeof info, nullptr) ||
        info.ActiveProcesses == 0) {
      return;
    }
    Sleep(20);
  }
  std::fprintf(stderr, "launcher: processes still running after %lu ms\n",
               static_cast<unsigned long>(kDescendantsTimeoutMs));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--acp") == 0) {
    std::printf("%u\n", GetACP());
    return 0;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: launcher.exe JOB-FILE\n");
    return kLauncherFailed;
  }
  std::string bytes;
  if (!read_file(argv[1], bytes)) return fail("cannot read", argv[1]);
  Job job;
  std::string bad;
  if (!apply_job(bytes, job, bad)) return fail("cannot apply the job line", bad);

  HANDLE descendants = CreateJobObjectA(nullptr, nullptr);
  if (descendants == nullptr) return fail("cannot create a job object", "");

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(job.program.c_str(), job.command_line.data(), nullptr, nullptr, TRUE,
                      CREATE_SUSPENDED, nullptr, nullptr, &startup, &process)) {
    return fail("cannot start", job.program);
  }
  if (!AssignProcessToJobObject(descendants, process.hProcess)) {
    TerminateProcess(process.hProcess, kLauncherFailed);
    return fail("cannot put into the job object:", job.program);
  }
  ResumeThread(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exit_code = kLauncherFailed;
  GetExitCodeProcess(process.hProcess, &exit_code);
  wait_for_descendants(descendants);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  CloseHandle(descendants);
  return static_cast<int>(exit_code);
}
