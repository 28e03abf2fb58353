// The faults a module can have, and the text that reports each.
#pragma once

#include <cstddef>

namespace trelon {

enum class ModuleError {
  kNoHexNumber,     // a hex digit was expected
  kChecksum,        // a CS command with another sum than the module's
  kBadCommand,      // a command that is not one, or lacks its closing "."
  kImageTooLong,    // the image cannot hold what is loaded
  kIllegalFormat,   // no command where one begins, or the input ends inside one
  kAddressTooBig,   // more than 8 hex digits
  kIllegalNumber,   // bits per MAU not a multiple of 8
  kUnexpectedEnd,   // the input ends before the module end
  kNotContiguous,   // a streamed image loaded below what is written already
  kBadOptionWord,   // the option word, reported as line 0
};

inline constexpr const char* kModuleErrorText[] = {
    "No hex number",        "Checksum error", "No MUFOM command",       "Binary too long",
    "Illegal MUFOM format", "Address too big", "Illegal number",        "Unexpected end of file",
    "Binary not contiguous", "Bad command line options",
};

inline const char* TextOf(ModuleError error) { return kModuleErrorText[static_cast<std::size_t>(error)]; }

}  // namespace trelon
