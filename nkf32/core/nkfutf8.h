// UTF-8 output of the converter core, beside its Shift_JIS one: the same
// detection of the 8-bit reading and the same reading of escapes and shifts
// (see nkfcore.h), with characters mapped as the WHATWG Encoding Standard
// maps them (what mail readers and browsers use):
//  - JIS X 0208 cells of ISO-2022-JP and EUC-JP and the pairs of Shift_JIS
//    through one table, windows-31j's: NEC row 13, the NEC-selected IBM
//    extensions (rows 89-92) and the IBM extensions (Shift_JIS 0xFA-0xFC)
//    included, 0x2141 as U+FF5E, 0x215D as U+FF0D;
//  - JIS X 0212 (EUC-JP SS3, ISO-2022-JP ESC $ ( D) through its own table;
//  - half-width kana (Shift_JIS 0xA1-0xDF, EUC-JP SS2, ESC ( I, SO ... SI)
//    as U+FF61-U+FF9F;
//  - ESC ( J as ASCII, as the Shift_JIS output reads it (WHATWG reads 0x5C
//    and 0x7E there as U+00A5 and U+203E, which breaks the paths and URLs
//    that follow such an escape in mail).
// No escape or shift byte reaches the output.  A byte or sequence that is
// no character (an unknown escape, half a JIS pair, a byte the reading
// rejects, an unassigned cell, Shift_JIS's user-defined area 0xF0-0xF9)
// becomes U+FFFD and is counted; nothing is dropped silently.  NUL bytes are
// ordinary bytes.  CR and LF end any shift and come out as they went in, or,
// on request, with every CR that would come out right before an LF left out
// (CR LF as LF, as Unix mail stores keep line ends) in the same pass.
#ifndef VESTIBAR_NKF32_CORE_NKFUTF8_H
#define VESTIBAR_NKF32_CORE_NKFUTF8_H

#include <cstddef>

#include "nkfcore.h"

// What a charset label says the text should be; a hint wins where the text is valid in it.
enum NkfCharsetHint { NKF_HINT_NONE = 0, NKF_HINT_ISO2022JP, NKF_HINT_SHIFT_JIS, NKF_HINT_EUC_JP, NKF_HINT_UTF8 };

enum NkfLineEnds { NKF_LINE_ENDS_KEPT = 0, NKF_LINE_ENDS_LF = 1 };

struct NkfUtf8Result {
    std::size_t length;    // bytes written before the terminating zero
    std::size_t replaced;  // places shown as U+FFFD (bytes valid in no code)
    NkfReading reading;    // how the 8-bit bytes were read
};

// Room the output needs for `length` input bytes (terminating zero included).
constexpr std::size_t NkfUtf8Capacity(std::size_t length) { return 3 * length + 1; }

// Converts `length` bytes of `input` (any of ASCII, ISO-2022-JP, Shift_JIS, EUC-JP, UTF-8, detected as the
// Shift_JIS output detects them) to UTF-8 in `output`, which holds NkfUtf8Capacity(length) bytes.
//
// The hint: with NKF_HINT_SHIFT_JIS, NKF_HINT_EUC_JP or NKF_HINT_UTF8 the
// 8-bit bytes are read in that code when every one of them makes a
// character of it (a well-formed sequence that the code assigns), otherwise
// as the detection decides (option X: the ambiguous text as Shift_JIS);
// NKF_HINT_ISO2022JP and NKF_HINT_NONE leave the 8-bit reading to the
// detection.  `reading` of a text without 8-bit bytes is the one the hint or
// the option names.  A null `output` converts nothing (a zero result); a
// null `input` counts as an empty text.  `output` must not overlap `input`;
// bytes after the terminating zero may be overwritten.
NkfUtf8Result NkfCoreConvertToUtf8(char* output, const char* input, std::size_t length, NkfOptions options,
                                   NkfCharsetHint hint, NkfLineEnds lineEnds = NKF_LINE_ENDS_KEPT);

// NkfCoreConvertToUtf8 on the given code (both give the same bytes); SSE2
// where the processor lacks it runs the portable code.
NkfUtf8Result NkfCoreConvertToUtf8With(NkfCode code, char* output, const char* input, std::size_t length,
                                       NkfOptions options, NkfCharsetHint hint,
                                       NkfLineEnds lineEnds = NKF_LINE_ENDS_KEPT);

#endif
