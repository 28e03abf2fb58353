// One module converted into every format: the first line of the input holds
// the modifiers (offset, fill byte, filter), the rest is the module. Each run
// must pass the checks of the harness, and the formats must agree with each
// other (CheckFormats).
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "harness.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string line, module;
  trelon::fuzz::SplitInput(std::string_view(reinterpret_cast<const char*>(data), size), line, module);
  if (const std::string why = trelon::fuzz::CheckFormats(line, module); !why.empty()) {
    std::fprintf(stderr, "\n*** %s\n", why.c_str());
    std::abort();
  }
  return 0;
}
