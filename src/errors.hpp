// The faults a module can have, and the text that reports each.
#pragma once

#include <cstddef>

namespace trelon {

// In the order of kModuleErrors below. kBadCommand: a command that is none, or
// lacks its "."; kIllegalFormat: no command where one must begin, or the
// input ends inside one; kNotContiguous: a streamed image loaded below what
// is written already; kBadOptionWord: the option word, reported as line 0.
enum class ModuleError {
  kNoHexNumber, kChecksum, kBadCommand, kImageTooLong, kIllegalFormat,
  kAddressTooBig, kIllegalNumber, kUnexpectedEnd, kNotContiguous, kBadOptionWord,
};

// Each error's text, and what would put it right where something would.
inline constexpr struct {
  const char* text;
  const char* fix;
} kModuleErrors[] = {
    {"No hex number", "hex digits are 0-9 and A-F, in upper case"},
    {"Checksum error", ""},  // the two sums are given instead
    {"No MUFOM command", ""},
    {"Binary too long",
     "the image holds 131072 bytes; /B and /H without H, /I, /M1-/M3 and /P without C stream larger sections"},
    {"Illegal MUFOM format", ""},
    {"Address too big", "an address has at most 8 hex digits"},
    {"Illegal number", "bits per MAU are a multiple of 8"},
    {"Unexpected end of file", "the module has no ME command"},
    {"Binary not contiguous", "load in address order, or write records (/I, /M1-/M3, /P)"},
    {"Bad command line options", ""},
};

}  // namespace trelon
