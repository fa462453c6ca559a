// The length of a zero-terminated text, for NKF32.dll's NkfConvert and for
// the benchmark's stand-in DLL that only copies.
#ifndef VESTIBAR_NKF32_TEXTLENGTH_H
#define VESTIBAR_NKF32_TEXTLENGTH_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#if defined(__x86_64__) || defined(__i386__)
#define VESTIBAR_TEXTLENGTH_SSE2 1
#include <emmintrin.h>
#endif

// strlen a block at a time: the C library's (Wine's msvcrt counts byte by
// byte) took a good part of a conversion.  Blocks are read only at aligned
// addresses; an aligned block that holds a byte of the text lies in the same
// page as that byte, so what is read before the text or past its zero (less
// than a block) is never memory that could be missing.  SSE2 where the
// processor has it (every x86-64); machine words otherwise, since the 32-bit
// DLL must run on processors without SSE2.  The caller says which.
#ifdef VESTIBAR_TEXTLENGTH_SSE2
__attribute__((target("sse2"))) inline std::size_t TextLengthSse2(const char* text) {
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(text);
    const char* block = reinterpret_cast<const char*>(address & ~static_cast<std::uintptr_t>(15));
    const __m128i zero = _mm_setzero_si128();
    unsigned zeros = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(block)), zero)));
    zeros >>= address & 15;  // the bytes before the text
    if (zeros != 0) return static_cast<std::size_t>(__builtin_ctz(zeros));
    for (;;) {
        block += 16;
        zeros = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(block)), zero)));
        if (zeros != 0) return static_cast<std::size_t>(block + __builtin_ctz(zeros) - text);
    }
}
#endif

inline std::size_t TextLengthWords(const char* text) {
    const char* p = text;
    for (; reinterpret_cast<std::uintptr_t>(p) % sizeof(std::size_t) != 0; ++p) {
        if (*p == '\0') return static_cast<std::size_t>(p - text);
    }
    const std::size_t ones = ~static_cast<std::size_t>(0) / 0xFF;  // 0x01 in every byte
    const std::size_t highs = ones << 7;                            // 0x80 in every byte
    for (;; p += sizeof(std::size_t)) {
        std::size_t word;
        std::memcpy(&word, p, sizeof word);
        if ((word - ones) & ~word & highs) break;  // a zero byte in this word
    }
    while (*p != '\0') ++p;
    return static_cast<std::size_t>(p - text);
}

inline std::size_t TextLength(const char* text, bool sse2) {
#ifdef VESTIBAR_TEXTLENGTH_SSE2
    if (sse2) return TextLengthSse2(text);
#else
    (void)sse2;
#endif
    return TextLengthWords(text);
}

#endif
