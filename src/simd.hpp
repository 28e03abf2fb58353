// The vector paths: taken where the compiler offers SSE2 (every x86-64),
// unless the build asks for the portable byte-wise paths only, which give
// the same results. Where GCC or Clang build for x86-64, the AVX2 paths are
// built as well and taken when the processor has AVX2 (found at run time):
// the decoding of LD data and the digits of full records.
#pragma once

#if defined(__SSE2__) && !defined(TRELON_PORTABLE)
#define TRELON_SSE2 1
#include <emmintrin.h>
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TRELON_AVX2 1
#include <immintrin.h>
#endif
#endif

namespace trelon {

#ifdef TRELON_AVX2
// Whether the AVX2 paths are taken.
extern bool avx2;
#endif

// Whether the AVX2 paths are taken where the processor has AVX2, as they are
// unless this is called with false: the suite checks the SSE2 paths against
// them that way. Both give the same results. Returns whether there are AVX2
// paths to choose (the build has them, and the processor AVX2).
bool UseAvx2(bool allow);

}  // namespace trelon
