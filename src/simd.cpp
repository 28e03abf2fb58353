#include "simd.hpp"

namespace trelon {

namespace {

bool Avx2There() {
#ifdef TRELON_AVX2
  __builtin_cpu_init();  // this may run before the library's own constructors
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

}  // namespace

#ifdef TRELON_AVX2
bool avx2 = Avx2There();
#endif

bool UseAvx2(bool allow) {
  const bool there = Avx2There();
#ifdef TRELON_AVX2
  avx2 = allow && there;
#else
  static_cast<void>(allow);
#endif
  return there;
}

}  // namespace trelon
