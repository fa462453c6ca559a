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
                                       NkfOptions options, NkfCharsetHint hint) {
    if (output == nullptr) return NkfUtf8Result{0, 0, NKF_READING_SHIFT_JIS};
    if (input == nullptr) length = 0;
#if NKF_SSE2_CODE
    if (code == NKF_CODE_SSE2 && NkfCoreProcessorHasSse2()) return sse2::ConvertToUtf8(output, input, length, options, hint);
#else
    (void)code;
#endif
    return portable::ConvertToUtf8(output, input, length, options, hint);
}

NkfUtf8Result NkfCoreConvertToUtf8(char* output, const char* input, std::size_t length, NkfOptions options,
                                   NkfCharsetHint hint) {
    return NkfCoreConvertToUtf8With(NkfCoreChosenCode(), output, input, length, options, hint);
}
