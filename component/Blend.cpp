#include "Blend.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace LvFltImg::Blend {

void SubtractRow(std::uint8_t* Image, const std::uint8_t* Filter, std::size_t Count) {
  std::size_t I = 0;
#if defined(__SSE2__)
  // Saturating subtraction is exactly the clamp at 0, sixteen bytes at a time.
  for (; I + 64 <= Count; I += 64)
    for (std::size_t J = 0; J < 64; J += 16) {
      const __m128i P = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Image + I + J));
      const __m128i W = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Filter + I + J));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(Image + I + J), _mm_subs_epu8(P, W));
    }
  for (; I + 16 <= Count; I += 16) {
    const __m128i P = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Image + I));
    const __m128i W = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Filter + I));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Image + I), _mm_subs_epu8(P, W));
  }
#endif
  for (; I < Count; ++I) Image[I] = Image[I] > Filter[I] ? std::uint8_t(Image[I] - Filter[I]) : 0;
}

void InvertRow(std::uint8_t* Row, std::size_t Count) {
  for (std::size_t I = 0; I < Count; ++I) Row[I] = std::uint8_t(~Row[I]);
}

}  // namespace LvFltImg::Blend
