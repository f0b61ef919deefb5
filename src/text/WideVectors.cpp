#include "text/WideVectors.h"

namespace vexalo {

bool HasWideVectors() {
#ifdef __x86_64__
  static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                          __builtin_cpu_supports("avx512vl") &&
                          __builtin_cpu_supports("avx512vbmi") &&
                          __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("bmi2") &&
                          __builtin_cpu_supports("pclmul");
  return has;
#else
  return false;
#endif
}

}  // namespace vexalo
