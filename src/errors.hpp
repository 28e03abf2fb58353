// The faults a module can have, and the text that reports each.
#pragma once

#include <cstddef>

namespace trelon {

// In the order of their texts below. kBadCommand: a command that is none, or
// lacks its "."; kIllegalFormat: no command where one must begin, or the
// input ends inside one; kNotContiguous: a streamed image loaded below what
// is written already; kBadOptionWord: the option word, reported as line 0.
enum class ModuleError {
  kNoHexNumber, kChecksum, kBadCommand, kImageTooLong, kIllegalFormat,
  kAddressTooBig, kIllegalNumber, kUnexpectedEnd, kNotContiguous, kBadOptionWord,
};

// What would put each right, where something would ("" where not).
inline constexpr const char* kModuleErrorFix[] = {
    "hex digits are 0-9 and A-F, in upper case",
    "",  // the sums are given instead
    "",
    "the image holds 131072 bytes; /B and /H without H, /I, /M1-/M3 and /P without C stream larger sections",
    "",
    "an address has at most 8 hex digits",
    "bits per MAU are a multiple of 8",
    "the module has no ME command",
    "load in address order, or write records (/I, /M1-/M3, /P)",
    "",
};

inline constexpr const char* kModuleErrorText[] = {
    "No hex number",        "Checksum error", "No MUFOM command",       "Binary too long",
    "Illegal MUFOM format", "Address too big", "Illegal number",        "Unexpected end of file",
    "Binary not contiguous", "Bad command line options",
};

}  // namespace trelon
