// Kanji-code converter core behind NKF32.dll: turns a text in ASCII,
// ISO-2022-JP, EUC-JP or Shift_JIS into Shift_JIS.
//
// Portable C++17 without any platform calls and without allocation, so the
// same code runs in the DLL, in native tests, under sanitizers and fuzzers,
// and in the benchmark.
//
// What the converter does with a text:
//  - 7-bit bytes follow ISO-2022-JP: ESC $ @ and ESC $ B switch to JIS X 0208
//    pairs, ESC ( B and ESC ( J back to single bytes, ESC ( I and SO ... SI to
//    half-width kana.  The escapes and shifts vanish from the output.  CR and
//    LF are copied and end any shift state.
//  - Bytes 0x80-0xFF get one reading for the whole text: Shift_JIS (kept as
//    it is) or EUC-JP (pairs converted, SS2 kana become single bytes, SS3
//    JIS X 0212 characters become the geta mark 0x81 0xAC).  The first place
//    where exactly one of the two readings rejects the bytes decides; a text
//    that both readings accept throughout takes the preferred one (option X:
//    Shift_JIS, otherwise EUC-JP).  A text whose 8-bit bytes are well-formed
//    UTF-8 throughout is taken as UTF-8, which is no input code: its bytes
//    pass unchanged.
//  - JIS X 0208 cells map to Shift_JIS by arithmetic, so every one of the
//    94 x 94 cells converts (NEC row 13 and rows 85-94 included).
//  - A byte that fits no reading (broken escape, lone lead byte, invalid
//    pair) is copied unchanged.  Nothing is ever dropped except escapes and
//    shifts, and nothing grows, so the output is never longer than the input.
//
// The output never contains a CR, LF or NUL that was not in the input, and
// holds every CR and LF of the input in the same order.
#ifndef VESTIBAR_NKF32_CORE_NKFCORE_H
#define VESTIBAR_NKF32_CORE_NKFCORE_H

#include <cstddef>

// How the bytes 0x80-0xFF of one text are read.
enum NkfReading {
    NKF_READING_SHIFT_JIS = 0,  // kept as they are (pairs stay pairs)
    NKF_READING_EUC_JP = 1,     // converted from EUC-JP
    NKF_READING_UTF8 = 2        // well-formed UTF-8: kept byte by byte
};

// The setting made by an option string.
struct NkfOptions {
    bool shiftJisOutput;  // letter s; Shift_JIS is the only output anyway
    bool preferShiftJis;  // letter X; ambiguous 8-bit text read as Shift_JIS
};

// The two codes that convert, which give the same bytes: vector code for
// processors with SSE2, and portable code a machine word at a time.
enum NkfCode {
    NKF_CODE_PORTABLE = 0,
    NKF_CODE_SSE2 = 1
};

// The code that NkfCoreConvert and NkfCoreDecideReading run, chosen once per
// process: SSE2 where the processor has it, unless the environment variable
// VESTIBAR_PORTABLE_CODE is set (not empty, not "0"), which tests and
// benchmarks use to run the portable code on any machine.
NkfCode NkfCoreChosenCode();

// Whether the processor runs the SSE2 code, asked once (NKF_CODE_SSE2
// runs the portable code where it does not).
bool NkfCoreProcessorHasSse2();

// Reads an option string.  Letters other than s and X are ignored; a null
// pointer gives the default setting (no letter given).
NkfOptions NkfCoreParseOptions(const char* options);

// The reading that NkfCoreConvert gives the 8-bit bytes of the text.
// Meaningless (but harmless) for a text without 8-bit bytes.
NkfReading NkfCoreDecideReading(const char* input, std::size_t length,
                                NkfOptions options);

// Converts `length` bytes of `input` (NUL bytes are ordinary bytes here) to
// Shift_JIS in `output`, appends a terminating zero and returns the number of
// bytes before it, which is at most `length`.  `output` must hold at least
// `length` + 1 bytes and must not overlap `input`; bytes after the
// terminating zero may be overwritten.  A null `output` converts nothing and
// returns 0; a null `input` counts as an empty text.
std::size_t NkfCoreConvert(char* output, const char* input, std::size_t length,
                           NkfOptions options);

// NkfCoreConvert on the given code; SSE2 where the processor lacks it (or
// on other architectures) runs the portable code.
std::size_t NkfCoreConvertWith(NkfCode code, char* output, const char* input, std::size_t length,
                               NkfOptions options);

#endif
