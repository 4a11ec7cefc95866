// Writes every image of the artwork table into the bundle folder:
//   artwork <bundle dir>     draw and write all PNGs
//   artwork --list           print the names, one a line
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tools/artwork/artwork_table.h"
#include "tools/artwork/painter.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--list") {
    for (const artwork::Entry& e : artwork::table()) std::printf("%s\n", e.name.c_str());
    return 0;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <bundle dir> | --list\n", argv[0]);
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  const auto& entries = artwork::table();
  std::atomic<size_t> next{0};
  std::atomic<int> failures{0};
  const unsigned workers = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
  std::vector<std::thread> threads;
  for (unsigned w = 0; w < workers; ++w) {
    threads.emplace_back([&] {
      for (size_t i = next++; i < entries.size(); i = next++) {
        const artwork::Entry& e = entries[i];
        auto image = artwork::paint(e);
        std::string error;
        if (!image || !image->writePNG(dir / (e.name + ".png"), &error)) {
          std::fprintf(stderr, "artwork: cannot write %s: %s\n", e.name.c_str(), error.c_str());
          ++failures;
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  return failures == 0 ? 0 : 1;
}
