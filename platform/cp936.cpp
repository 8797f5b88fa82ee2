// Code page 936 <-> UTF-16 with the generated Windows tables.
//
// Both directions run over ASCII 16 units at a time (SSE2, or 8 or 4 at a
// time with plain 64-bit words elsewhere) and take the tables only for the
// rest; the encoder of quoted CSV cells, whose texts are short, takes 8 and
// then 4 at a time. Nothing is allocated but the growth of the caller's string.
#include "platform/cp936.h"

#include <cstdint>
#include <cstring>

#include "platform/cp936_tables.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ombrelk::platform {
namespace {

constexpr char16_t kUnmappedUnit = u'?';
constexpr char kUnmappedByte = '?';

// Copies the ASCII bytes at the front of [p, end) to d as code units and
// advances both past them. Stops at the first byte of 0x80 or above, or when
// fewer than one block is left (the scalar loop takes those).
inline void WidenAsciiRun(const unsigned char*& p, const unsigned char* end, char16_t*& d) {
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  while (end - p >= 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // Stored before the check: positions past the ASCII run are overwritten
    // later, and the room is there because the output holds one unit per
    // input byte.
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_unpacklo_epi8(bytes, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 8), _mm_unpackhi_epi8(bytes, zero));
    const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(bytes));
    if (high != 0) {
      const unsigned ascii = static_cast<unsigned>(__builtin_ctz(high));
      p += ascii;
      d += ascii;
      return;
    }
    p += 16;
    d += 16;
  }
#else
  while (end - p >= 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    if ((word & 0x8080808080808080ull) != 0) return;
    for (int k = 0; k < 8; ++k) d[k] = static_cast<char16_t>(p[k]);
    p += 8;
    d += 8;
  }
#endif
}

// Narrows the code units below 0x80 at the front of [p, end) to d.
inline void NarrowAsciiRun(const char16_t*& p, const char16_t* end, char*& d) {
#if defined(__SSE2__)
  const __m128i high_bits = _mm_set1_epi16(static_cast<short>(0xFF80));
  const __m128i zero = _mm_setzero_si128();
  while (end - p >= 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8));
    // Stored before the check, as above; the output holds two bytes per unit.
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_packus_epi16(a, b));
    const __m128i ascii_a = _mm_cmpeq_epi16(_mm_and_si128(a, high_bits), zero);
    const __m128i ascii_b = _mm_cmpeq_epi16(_mm_and_si128(b, high_bits), zero);
    const unsigned ascii = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(ascii_a, ascii_b)));
    if (ascii != 0xFFFF) {
      const unsigned run = static_cast<unsigned>(__builtin_ctz(~ascii));
      p += run;
      d += run;
      return;
    }
    p += 16;
    d += 16;
  }
#else
  while (end - p >= 4) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    if ((word & 0xFF80FF80FF80FF80ull) != 0) return;
    for (int k = 0; k < 4; ++k) d[k] = static_cast<char>(p[k]);
    p += 4;
    d += 4;
  }
#endif
}

// Converts [p, end) to code units at d, which has room for one per byte;
// returns the end of the units written.
char16_t* WidenFromCp936(const unsigned char* p, const unsigned char* const end, char16_t* d) {
  while (p != end) {
    WidenAsciiRun(p, end, d);
    // The scalar loop takes one run of non-ASCII characters (or the short
    // tail), then hands back to the block loop at the next ASCII byte.
    while (p != end) {
      const unsigned b = *p;
      if (b < 0x80) {
        *d++ = static_cast<char16_t>(b);
        ++p;
        if (end - p >= 16) break;
        continue;
      }
      const char16_t single = cp936::kByteToUtf16[b];
      if (single != cp936::kLeadByte) {  // 0x80 and 0xFF stand alone
        *d++ = single;
        ++p;
        continue;
      }
      // A lead byte at the end, or before a zero byte, is '?' on its own;
      // any other following byte is taken with it, and a pair without a
      // character gives one '?'.
      if (end - p < 2 || p[1] == 0) {
        *d++ = kUnmappedUnit;
        ++p;
        continue;
      }
      const unsigned trail = p[1];
      char16_t unit = 0;
      if (trail >= cp936::kFirstTrail) {
        unit = cp936::kPairToUtf16[(b - cp936::kFirstLead) * cp936::kTrailCount +
                                   (trail - cp936::kFirstTrail)];
      }
      *d++ = unit != 0 ? unit : kUnmappedUnit;
      p += 2;
    }
  }
  return d;
}

// Converts [p, end) to bytes at d, which has room for two per unit; returns
// the end of the bytes written.
char* NarrowToCp936(const char16_t* p, const char16_t* const end, char* d) {
  while (p != end) {
    NarrowAsciiRun(p, end, d);
    while (p != end) {
      const unsigned u = *p++;
      if (u < 0x80) {
        *d++ = static_cast<char>(u);
        if (end - p >= 16) break;
        continue;
      }
      // Surrogates have no entry, so each half of a pair becomes its own '?'.
      const unsigned bytes = cp936::kEncodeBlocks[cp936::kEncodeBlockOfPage[u >> 8] * 256u + (u & 0xFF)];
      if (bytes == 0) {
        *d++ = kUnmappedByte;
      } else if (bytes < 0x100) {
        *d++ = static_cast<char>(bytes);
      } else {
        d[0] = static_cast<char>(bytes >> 8);
        d[1] = static_cast<char>(bytes & 0xFF);
        d += 2;
      }
    }
  }
  return d;
}

// The quoted-cell form: as NarrowToCp936, but every '"' byte is written twice
// and the first zero code unit ends the text. d has room for two bytes per
// unit, which the doubled quotes need at most.
char* NarrowToCp936DoublingQuotes(const char16_t* p, const char16_t* const end, char* d) {
  while (p != end) {
#if defined(__SSE2__)
    // Eight units at a time while they are ASCII other than '"' and zero
    // (cells are short: most fit in one or two blocks).
    const __m128i high_bits = _mm_set1_epi16(static_cast<short>(0xFF80));
    const __m128i quote = _mm_set1_epi16(u'"');
    const __m128i zero = _mm_setzero_si128();
    while (end - p >= 8) {
      const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      // Stored before the check, as above.
      _mm_storel_epi64(reinterpret_cast<__m128i*>(d), _mm_packus_epi16(units, units));
      const __m128i plain = _mm_andnot_si128(
          _mm_or_si128(_mm_cmpeq_epi16(units, quote), _mm_cmpeq_epi16(units, zero)),
          _mm_cmpeq_epi16(_mm_and_si128(units, high_bits), zero));
      const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(plain));
      if (mask != 0xFFFF) {
        const unsigned run = static_cast<unsigned>(__builtin_ctz(~mask)) / 2;
        p += run;
        d += run;
        break;
      }
      p += 8;
      d += 8;
    }
    // Then four, which most short cells (numbers, codes) end with.
    if (end - p >= 4) {
      const __m128i units = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
      const __m128i plain = _mm_andnot_si128(
          _mm_or_si128(_mm_cmpeq_epi16(units, quote), _mm_cmpeq_epi16(units, zero)),
          _mm_cmpeq_epi16(_mm_and_si128(units, high_bits), zero));
      if ((_mm_movemask_epi8(plain) & 0xFF) == 0xFF) {
        const int bytes = _mm_cvtsi128_si32(_mm_packus_epi16(units, units));
        std::memcpy(d, &bytes, 4);
        p += 4;
        d += 4;
      }
    }
#endif
    while (p != end) {
      const unsigned u = *p++;
      if (u < 0x80) {
        if (u == 0) return d;
        *d++ = static_cast<char>(u);
        if (u == '"') *d++ = '"';
        if (end - p >= 8) break;
        continue;
      }
      const unsigned bytes = cp936::kEncodeBlocks[cp936::kEncodeBlockOfPage[u >> 8] * 256u + (u & 0xFF)];
      if (bytes == 0) {
        *d++ = kUnmappedByte;
      } else if (bytes < 0x100) {
        *d++ = static_cast<char>(bytes);
        if (bytes == '"') *d++ = '"';
      } else {
        d[0] = static_cast<char>(bytes >> 8);
        d[1] = static_cast<char>(bytes & 0xFF);
        d += 2;
      }
    }
  }
  return d;
}

// Short texts (paths, keys, most CSV cells) are converted into a buffer on the
// stack and appended once; longer ones are written straight into `out`, grown
// to the longest possible result and cut back.
constexpr size_t kShortText = 64;

}  // namespace

void AppendCp936AsUtf16(std::string_view bytes, std::u16string& out) {
  const auto* first = reinterpret_cast<const unsigned char*>(bytes.data());
  if (bytes.size() <= kShortText) {
    char16_t buffer[kShortText];
    out.append(buffer, WidenFromCp936(first, first + bytes.size(), buffer));
    return;
  }
  const size_t old_size = out.size();
  out.resize(old_size + bytes.size());
  char16_t* end = WidenFromCp936(first, first + bytes.size(), out.data() + old_size);
  out.resize(static_cast<size_t>(end - out.data()));
}

std::u16string Cp936ToUtf16(std::string_view bytes) {
  std::u16string out;
  AppendCp936AsUtf16(bytes, out);
  return out;
}

void AppendUtf16AsCp936(std::u16string_view text, std::string& out) {
  if (text.size() <= kShortText) {
    char buffer[2 * kShortText];
    out.append(buffer, NarrowToCp936(text.data(), text.data() + text.size(), buffer));
    return;
  }
  const size_t old_size = out.size();
  out.resize(old_size + 2 * text.size());
  char* end = NarrowToCp936(text.data(), text.data() + text.size(), out.data() + old_size);
  out.resize(static_cast<size_t>(end - out.data()));
}

char* WriteUtf16AsCp936DoublingQuotes(std::u16string_view text, char* out) {
  return NarrowToCp936DoublingQuotes(text.data(), text.data() + text.size(), out);
}

std::string Utf16ToCp936(std::u16string_view text) {
  std::string out;
  AppendUtf16AsCp936(text, out);
  return out;
}

}  // namespace ombrelk::platform
