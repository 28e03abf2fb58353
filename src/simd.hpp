// The vector paths: taken where the compiler offers SSE2 (every x86-64),
// unless the build asks for the portable byte-wise paths only, which give
// the same results. Where GCC or Clang build for x86-64, the AVX2 paths are
// built as well and taken when the processor has AVX2 (found at run time).
#pragma once

#if defined(__SSE2__) && !defined(TRELON_PORTABLE)
#define TRELON_SSE2 1
#include <emmintrin.h>
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TRELON_AVX2 1
#include <immintrin.h>
#endif
#endif
