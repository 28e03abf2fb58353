// Whole conversions from one input: the first line is the option word, the
// rest the module. Every run must end in a way the program defines, its
// output must agree with what it printed, and invisible bytes spread through
// the module must change nothing.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "harness.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string word, module;
  trelon::fuzz::SplitInput(std::string_view(reinterpret_cast<const char*>(data), size), word, module);
  trelon::fuzz::Run run(word, module);
  run.Execute();
  std::string why = trelon::fuzz::Check(run);
  if (why.empty()) why = trelon::fuzz::CheckSkippedBytesChangeNothing(run);
  if (!why.empty()) {
    std::fprintf(stderr, "\n*** %s\n--- option word: %s\n--- console:\n%s\n", why.c_str(), word.c_str(),
                 run.console.c_str());
    std::abort();
  }
  return 0;
}
