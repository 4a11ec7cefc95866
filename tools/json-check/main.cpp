// json-check: parses one JSON file with the codec's decoder and prints it
// re-serialized, or the decoder's error with its position.

#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>

#include "tools/json-check/json_check.h"

int main(int argc, char** argv) {
  std::string standardInput;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "-") {
      standardInput.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
      break;
    }
  }
  const jsoncheck::Result result = jsoncheck::runCommandLine(argc, argv, standardInput);
  std::fwrite(result.out.data(), 1, result.out.size(), stdout);
  std::fwrite(result.err.data(), 1, result.err.size(), stderr);
  return result.exitCode;
}
