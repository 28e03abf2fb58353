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

inline constexpr const char* kModuleErrorText[] = {
    "No hex number",        "Checksum error", "No MUFOM command",       "Binary too long",
    "Illegal MUFOM format", "Address too big", "Illegal number",        "Unexpected end of file",
    "Binary not contiguous", "Bad command line options",
};

}  // namespace trelon
