// The standalone main of a fuzz target built without libFuzzer: each file named on the
// command line, and each file inside each folder named, goes once through the target's
// entry point, in name order. A fault aborts the program as it would abort the fuzzer,
// so the saved inputs of fuzz/corpus/ replay as plain regression tests with any compiler.
// A target's LLVMFuzzerInitialize, when it has one, runs first as under libFuzzer: a target
// that cannot reach what it tests ends the replay there with its own message.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

bool ReadWhole(const std::filesystem::path& path, std::vector<uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s INPUT|FOLDER...\n", argv[0]);
    return 2;
  }
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
  std::vector<std::filesystem::path> inputs;
  for (int i = 1; i < argc; ++i) {
    std::error_code error;
    const std::filesystem::path named(argv[i]);
    if (std::filesystem::is_directory(named, error)) {
      std::vector<std::filesystem::path> inside;
      for (const auto& entry : std::filesystem::directory_iterator(named, error))
        if (entry.is_regular_file()) inside.push_back(entry.path());
      std::sort(inside.begin(), inside.end());
      inputs.insert(inputs.end(), inside.begin(), inside.end());
    } else if (std::filesystem::is_regular_file(named, error)) {
      inputs.push_back(named);
    } else {
      std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[i]);
      return 1;
    }
  }
  std::vector<uint8_t> bytes;
  for (const auto& path : inputs) {
    if (!ReadWhole(path, &bytes)) {
      std::fprintf(stderr, "%s: cannot read %s\n", argv[0], path.c_str());
      return 1;
    }
    // An empty vector's data() may be null; libFuzzer always passes a valid pointer.
    const uint8_t none = 0;
    std::fprintf(stderr, "%s\n", path.c_str());
    LLVMFuzzerTestOneInput(bytes.empty() ? &none : bytes.data(), bytes.size());
  }
  std::printf("%zu inputs replayed clean\n", inputs.size());
  return 0;
}
