// Runs the fuzz target's checks over saved inputs without libFuzzer, so that
// any compiler's test build replays the seed corpus and every input that once
// broke a rule. Each argument is a file or a folder of files.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

// Returns the files named by `argument`: the file itself, or the files in the
// folder in name order. Returns an empty list, with a message, when neither.
std::vector<std::filesystem::path> inputs_of(const char* argument) {
  std::filesystem::path path(argument);
  std::error_code code;
  if (std::filesystem::is_regular_file(path, code)) return {path};
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(path, code)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  if (code) std::fprintf(stderr, "replay: cannot list %s: %s\n", argument, code.message().c_str());
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: riruride_fuzz_replay FILE_OR_FOLDER...\n");
    return 2;
  }
  LLVMFuzzerInitialize(&argc, &argv);
  std::size_t replayed = 0;
  for (int i = 1; i < argc; ++i) {
    std::vector<std::filesystem::path> files = inputs_of(argv[i]);
    if (files.empty()) {
      std::fprintf(stderr, "replay: no inputs in %s\n", argv[i]);
      return 1;
    }
    for (const auto& file : files) {
      std::ifstream in(file, std::ios::binary);
      std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (!in.eof() && in.fail()) {
        std::fprintf(stderr, "replay: cannot read %s\n", file.c_str());
        return 1;
      }
      std::fprintf(stderr, "replay: %s (%zu bytes)\n", file.c_str(), bytes.size());
      LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
      ++replayed;
    }
  }
  std::fprintf(stderr, "replay: %zu inputs passed every check\n", replayed);
  return 0;
}
