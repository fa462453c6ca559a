// UTF-8 output of the converter core.  See nkfutf8.h for what it does.
//
// The core's code (nkfcore_body.inc) is compiled here once more, in the
// same two namespaces as in nkfcore.cpp, so that the UTF-8 output reads
// the text with the very tokens, scans and decision of the Shift_JIS output
// while the DLL's library stays as it is.  Its own entry points for the
// Shift_JIS output come along unused.
#include "nkfutf8.h"

#include <cstdint>
#include <cstring>

// The tables come first, in the anonymous namespace that both inclusions
// of the code below live in.
namespace {
#include "nkfutf8_tables.inc"

// kJis0208's characters of three UTF-8 bytes (nearly all of a Japanese
// text) as those bytes, ready for one store of four (little-endian, the
// fourth byte zero and written over by the next character); any other
// entry (below U+0800, unassigned) has its fourth byte set, which sends
// its block back to the code that takes one pair at a time.
struct ReadyUtf8 {
    std::uint32_t value[sizeof kJis0208 / sizeof kJis0208[0]];
};

constexpr ReadyUtf8 MakeReadyUtf8() {
    ReadyUtf8 ready{};
    for (std::size_t p = 0; p < sizeof kJis0208 / sizeof kJis0208[0]; ++p) {
        std::uint32_t c = kJis0208[p];
        ready.value[p] = c < 0x800u ? 0xFF000000u : (0xE0u | c >> 12) | (0x80u | (c >> 6 & 0x3Fu)) << 8 | (0x80u | (c & 0x3Fu)) << 16;
    }
    return ready;
}

constexpr ReadyUtf8 kJis0208Ready = MakeReadyUtf8();
}  // namespace

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#endif
#define NKF_EXTRA_BODY "nkfutf8_body.inc"
#include "nkfcore_codes.inc"
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

NkfUtf8Result NkfCoreConvertToUtf8With(NkfCode code, char* output, const char* input, std::size_t length,
                                       NkfOptions options, NkfCharsetHint hint, NkfLineEnds lineEnds) {
    if (output == nullptr) return NkfUtf8Result{0, 0, NKF_READING_SHIFT_JIS};
    if (input == nullptr) length = 0;
#if NKF_SSE2_CODE
    if (code == NKF_CODE_SSE2 && NkfCoreProcessorHasSse2()) return sse2::ConvertToUtf8(output, input, length, options, hint, lineEnds);
#else
    (void)code;
#endif
    return portable::ConvertToUtf8(output, input, length, options, hint, lineEnds);
}

NkfUtf8Result NkfCoreConvertToUtf8(char* output, const char* input, std::size_t length, NkfOptions options,
                                   NkfCharsetHint hint, NkfLineEnds lineEnds) {
    return NkfCoreConvertToUtf8With(NkfCoreChosenCode(), output, input, length, options, hint, lineEnds);
}
