// UTF-8 output of the converter core.  See nkfutf8.h for what it does.
//
// The core's code (nkfcore_body.inc) is compiled here once more, in the
// same two namespaces as in nkfcore.cpp, so that the UTF-8 output reads
// the text with the very tokens, scans and decision of the Shift_JIS output
// while the DLL's library stays as it is.  Its own entry points for the
// Shift_JIS output come along unused.
#include "nkfutf8.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__)
#define NKF_SSE2_CODE 1
#include <emmintrin.h>
#if !defined(__x86_64__) && !defined(_M_X64)
#include <cpuid.h>
#endif
#else
#define NKF_SSE2_CODE 0
#endif

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#endif

namespace {

#include "nkfutf8_tables.inc"

namespace portable {
#define NKF_HAVE_SSE2 0
#include "nkfcore_body.inc"
#include "nkfutf8_body.inc"
#undef NKF_HAVE_SSE2
}  // namespace portable

#if NKF_SSE2_CODE
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("sse2"))), apply_to = function)
#elif defined(__GNUC__)
#pragma GCC push_options
#pragma GCC target("sse2")
#endif
namespace sse2 {
#define NKF_HAVE_SSE2 1
#include "nkfcore_body.inc"
#include "nkfutf8_body.inc"
#undef NKF_HAVE_SSE2
}  // namespace sse2
#if defined(__clang__)
#pragma clang attribute pop
#elif defined(__GNUC__)
#pragma GCC pop_options
#endif
#endif

bool ProcessorHasSse2() {
#if !NKF_SSE2_CODE
    return false;
#elif defined(__x86_64__) || defined(_M_X64)
    return true;
#else
    static const bool present = [] {
        unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
        return __get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0 && (edx & bit_SSE2) != 0;
    }();
    return present;
#endif
}

}  // namespace

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

NkfUtf8Result NkfCoreConvertToUtf8With(NkfCode code, char* output, const char* input, std::size_t length,
                                       NkfOptions options, NkfCharsetHint hint) {
    if (output == nullptr) return NkfUtf8Result{0, 0, NKF_READING_SHIFT_JIS};
    if (input == nullptr) length = 0;
#if NKF_SSE2_CODE
    if (code == NKF_CODE_SSE2 && ProcessorHasSse2()) return sse2::ConvertToUtf8(output, input, length, options, hint);
#else
    (void)code;
#endif
    return portable::ConvertToUtf8(output, input, length, options, hint);
}

NkfUtf8Result NkfCoreConvertToUtf8(char* output, const char* input, std::size_t length, NkfOptions options,
                                   NkfCharsetHint hint) {
    return NkfCoreConvertToUtf8With(NkfCoreChosenCode(), output, input, length, options, hint);
}
