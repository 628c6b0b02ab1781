#include "Blend.hpp"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace LvFltImg::Blend {

namespace {

// The clamp at 0 of Image - Filter is saturating subtraction.
inline std::uint8_t SubtractByte(std::uint8_t P, std::uint8_t W) { return P > W ? std::uint8_t(P - W) : 0; }

#if defined(__x86_64__)

// SSE2 is part of every x86-64 processor.
void SubtractSse2(std::uint8_t* Image, const std::uint8_t* Filter, std::size_t Count) {
  std::size_t I = 0;
  for (; I + 16 <= Count; I += 16) {
    const __m128i P = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Image + I));
    const __m128i W = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Filter + I));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Image + I), _mm_subs_epu8(P, W));
  }
  for (; I < Count; ++I) Image[I] = SubtractByte(Image[I], Filter[I]);
}

__attribute__((target("avx2"))) void SubtractAvx2(std::uint8_t* Image, const std::uint8_t* Filter,
                                                   std::size_t Count) {
  std::size_t I = 0;
  for (; I + 64 <= Count; I += 64) {
    const __m256i P0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Image + I));
    const __m256i P1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Image + I + 32));
    const __m256i W0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Filter + I));
    const __m256i W1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Filter + I + 32));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(Image + I), _mm256_subs_epu8(P0, W0));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(Image + I + 32), _mm256_subs_epu8(P1, W1));
  }
  SubtractSse2(Image + I, Filter + I, Count - I);
}

using TSubtract = void (*)(std::uint8_t*, const std::uint8_t*, std::size_t);
const TSubtract Subtract = __builtin_cpu_supports("avx2") ? &SubtractAvx2 : &SubtractSse2;

#else

void Subtract(std::uint8_t* Image, const std::uint8_t* Filter, std::size_t Count) {
  for (std::size_t I = 0; I < Count; ++I) Image[I] = SubtractByte(Image[I], Filter[I]);
}

#endif

}  // namespace

void SubtractRow(std::uint8_t* Image, const std::uint8_t* Filter, std::size_t Count) { Subtract(Image, Filter, Count); }

void InvertRow(std::uint8_t* Row, std::size_t Count) {
  for (std::size_t I = 0; I < Count; ++I) Row[I] = std::uint8_t(~Row[I]);
}

}  // namespace LvFltImg::Blend
