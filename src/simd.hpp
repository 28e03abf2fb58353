// The vector paths: taken where the compiler offers SSE2 (every x86-64),
// unless the build asks for the portable byte-wise paths only, which give
// the same results.
#pragma once

#if defined(__SSE2__) && !defined(TRELON_PORTABLE)
#define TRELON_SSE2 1
#include <emmintrin.h>
#endif
