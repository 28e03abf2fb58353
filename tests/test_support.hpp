// Running conversions from tests: in-process and through the built binary.
#pragma once

#include <string>

#include "run_state.hpp"

namespace trelon::test {

struct Outcome {
  std::string console;  // everything printed, banner included
  std::string output;   // the output file's bytes
  int status = -1;
  bool output_exists = false;
};

// Writes `module` to a fresh temporary file and converts it in-process with
// `trelon::Run`.
Outcome RunInProcess(const std::string& word, const std::string& module);

// The same through the built command-line binary.
Outcome RunBinary(const std::string& word, const std::string& module);

// A fresh temporary directory for one test.
std::string TempDir();

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

// A run state reading `module` from memory and writing to memory, for the
// unit tests of single functions.
struct MemoryRun {
  RunState s;
  char* console_buf = nullptr;
  std::size_t console_len = 0;
  char* out_buf = nullptr;
  std::size_t out_len = 0;
  std::string input;

  explicit MemoryRun(const std::string& module);
  ~MemoryRun();
  MemoryRun(const MemoryRun&) = delete;
  MemoryRun& operator=(const MemoryRun&) = delete;

  // Runs Init with `word`; returns the error code thrown, or -1.
  int Init(const char* word);
  // Runs `step`; returns the error code thrown, or -1.
  template <typename F>
  int Try(F step) {
    try {
      step();
    } catch (const MufomError& e) {
      return e.code;
    }
    return -1;
  }
  std::string Console();
  std::string Output();  // flushes the output buffer first
};

// The module text with a correct CS command appended: sums the significant
// characters of `body` modulo 128 and adds "CSxx." (and "ME." if `end`).
std::string WithChecksum(const std::string& body, bool end = true);

}  // namespace trelon::test

namespace trelon::test {

// The three banner lines that start every console text.
inline constexpr const char* kBannerText =
    "Trelon-C version 1.0\n"
    "Written by the Trelon developers\n"
    "Converts MUFOM object modules into loadable files\n";

// The two lines that end every run stopped by an error in the module.
std::string ErrorLines(const std::string& text, int line);

// A module's bytes as hex text, for readable comparisons.
std::string Hex(const std::string& bytes);

}  // namespace trelon::test
