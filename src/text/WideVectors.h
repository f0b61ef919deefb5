#pragma once

// The byte-compressing vector instructions (AVX-512 with VBMI2) some
// converters use where the processor has them. A function built for them
// carries VEXALO_WIDE_VECTORS and is only called after HasWideVectors() said
// yes; every other processor takes the plain path next to it.

#ifdef __x86_64__
#define VEXALO_WIDE_VECTORS                                                      \
  __attribute__((                                                                \
      target("avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,bmi,bmi2,popcnt," \
             "pclmul")))
#define VEXALO_WIDE_VECTORS_INLINE VEXALO_WIDE_VECTORS inline __attribute__((always_inline))
#endif

namespace vexalo {

// Whether this processor runs VEXALO_WIDE_VECTORS code; false off x86-64.
bool HasWideVectors();

}  // namespace vexalo
