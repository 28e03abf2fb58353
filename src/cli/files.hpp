// The two files of a run: opening them, with the checks that protect the
// user's files, and putting a finished output in place.
#pragma once

#include <cstdio>
#include <string>

#include "cli/console.hpp"
#include "io/input.hpp"

namespace trelon {

// A failure line "<what> <name>" (such as "Could not read in.muf"), then
// "trelon: <name>: <the system's reason>" on standard error. Returns false.
bool Failed(Console& console, const char* what, const char* name, int error);

// Opens the input ("-": standard input, refused where it was closed when the
// program started); after reporting why not (a folder included), nullptr.
std::FILE* OpenInput(Console& console, const char* name, bool stdin_closed);

// Whether `name` is the file that standard output has open.
bool IsStandardOutput(const char* name);

// Whether `path` names the file that `other` names ("-": the standard
// stream `fd`), under any name or link, or would once it is made.
bool SameFile(const char* path, const char* other, int fd);

// Whether the input, read ahead as far as it takes, begins with a module's
// command: its first two significant characters are the letters of one.
// What stands before the first is dropped, and its line feeds added to
// `lines`.
bool BeginsLikeModule(Input& input, int64_t& lines);

// Whether the output `name` could be opened for writing, found out without
// creating or truncating it (errno says why not).
bool CanOpenOutput(const char* name);

// What may be written to an output: all, nothing over an existing file (a
// new one is made), or nothing at all (no file is made either).
enum class Writing { kAll, kNotOverExisting, kNothing };

// The output file of a run.
class OutputFile {
 public:
  // Opens `name` ("-": standard output, refused where it was closed),
  // reporting a failure as OpenInput does; `input` itself (under any name
  // or link, "-" included, where it is a file) is refused. What `writing`
  // keeps from being written is not: an existing output is opened without
  // being emptied (`discard`), or nothing is opened (once it is known that
  // the output could be). With `strict`, a regular (or new) output is
  // written to a temporary file beside it, which Commit puts in its place.
  bool Open(Console& console, const char* name, std::FILE* input, bool input_is_standard, Writing writing,
            bool strict, bool stdout_closed);

  // The temporary output put in the output's place (`keep`), or removed;
  // false, after reporting it, if it could not be put there.
  bool Commit(Console& console, bool keep);

  std::FILE* file = nullptr;
  bool discard = false;
  bool existed = false;  // the output was there before the run

 private:
  const char* name_ = "";
  std::string path_, temp_;  // where the output goes, and its temporary file
  int slot_ = -1;             // where a signal finds the temporary file
};

// While it lives, SIGINT, SIGTERM and SIGHUP remove the temporary output
// and end the run as they would have; those ignored stay ignored.
struct Signals {
  void (*before[3])(int) = {};
  Signals();
  ~Signals();
};

}  // namespace trelon
