// Forced into the SSE converters when the fuzz build compiles them with
// clang: they store through GCC's unaligned MMX type __m64_u, which clang's
// <mmintrin.h> does not provide. Defined here as GCC defines it (8 bytes,
// byte-aligned, may alias), on clang's own __m64 element type.
#pragma once

#include <mmintrin.h>

#if defined(__clang__)
typedef long long __m64_u __attribute__((__vector_size__(8), __aligned__(1), __may_alias__));
#endif
