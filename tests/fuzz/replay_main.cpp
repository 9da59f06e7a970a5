// Runs the fuzz target once per file of the given folders (the seed corpus), so
// the corpus is checked by an ordinary test without libFuzzer.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  int files = 0;
  for (int i = 1; i < argc; ++i) {
    for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
      // Every prefix too: truncation is the decoders' main hazard.
      for (std::size_t n = 0; n < bytes.size(); ++n) LLVMFuzzerTestOneInput(bytes.data(), n);
      ++files;
    }
  }
  std::printf("replayed %d corpus files\n", files);
  return files > 0 ? 0 : 1;
}
