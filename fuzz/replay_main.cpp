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
// folder in name order; none for a folder that does not exist (yet). Returns
// false, with a message, when the folder cannot be listed.
bool add_inputs_of(const char* argument, std::vector<std::filesystem::path>& files) {
  std::filesystem::path path(argument);
  std::error_code code;
  if (std::filesystem::is_regular_file(path, code)) {
    files.push_back(path);
    return true;
  }
  if (!std::filesystem::exists(path, code)) {
    std::fprintf(stderr, "replay: no %s, nothing to replay there\n", argument);
    return true;
  }
  std::vector<std::filesystem::path> found;
  for (const auto& entry : std::filesystem::directory_iterator(path, code)) {
    if (entry.is_regular_file()) found.push_back(entry.path());
  }
  if (code) {
    std::fprintf(stderr, "replay: cannot list %s: %s\n", argument, code.message().c_str());
    return false;
  }
  std::sort(found.begin(), found.end());
  files.insert(files.end(), found.begin(), found.end());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: riruride_fuzz_replay FILE_OR_FOLDER...\n");
    return 2;
  }
  std::vector<std::filesystem::path> files;
  for (int i = 1; i < argc; ++i) {
    if (!add_inputs_of(argv[i], files)) return 1;
  }
  if (files.empty()) {
    std::fprintf(stderr, "replay: no inputs found\n");
    return 1;
  }
  LLVMFuzzerInitialize(&argc, &argv);
  std::size_t replayed = 0;
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
  std::fprintf(stderr, "replay: %zu inputs passed every check\n", replayed);
  return 0;
}
