// Feeds every file of the given folders to a fuzz target once, for the normal test suite.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  size_t count = 0;
  for (int a = 1; a < argc; ++a) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(argv[a])) {
      if (entry.is_regular_file()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
      std::cout << file.filename().string() << std::endl;  // names the culprit of a crash
      std::ifstream in(file, std::ios::binary);
      const std::string data((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(data.data()), data.size());
      ++count;
    }
  }
  std::cout << count << " inputs replayed" << std::endl;
  return count > 0 ? 0 : 1;
}
