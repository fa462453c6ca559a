// Kanji-code converter core.  See nkfcore.h for what it does; the notes here
// are about how it is made fast and why it stays within its bounds.
//
// Bounds: every step consumes at least as many input bytes as it produces
// (escapes and shifts vanish, pairs stay pairs, SS2 kana shrink to one byte,
// SS3 triples become the two-byte geta mark), so the write position never
// passes the read position.  The vector paths store whole 16-byte blocks at
// the write position only while 16 input bytes remain from the read
// position, so they stay inside the `length` + 1 bytes of the output too.
//
// Speed: a text is converted in one pass in the common case.  The pass runs
// with the preferred reading and gives up at the first 8-bit byte that this
// reading rejects; only then is the full decision made (from the start, and
// it stops as soon as one reading is refused) and the pass repeated with the
// reading found.  A text that the preferred reading accepts throughout needs
// no decision: whatever the other reading does, the preferred one wins.
#include "nkfcore.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "nkfcore_codes.inc"

namespace {

bool AskProcessorForSse2() {
#if !NKF_SSE2_CODE
    return false;
#elif defined(__x86_64__) || defined(_M_X64)
    return true;
#else
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0 && (edx & bit_SSE2) != 0;
#endif
}

// Asked once: a cpuid costs more than a short text's conversion in a
// virtual machine.
bool ProcessorHasSse2() {
    static const bool present = AskProcessorForSse2();
    return present;
}

NkfCode ChooseCode() {
    const char* forced = std::getenv("VESTIBAR_PORTABLE_CODE");
    if (forced != nullptr && forced[0] != '\0' && std::strcmp(forced, "0") != 0) return NKF_CODE_PORTABLE;
    return ProcessorHasSse2() ? NKF_CODE_SSE2 : NKF_CODE_PORTABLE;
}

}  // namespace

bool NkfCoreProcessorHasSse2() { return ProcessorHasSse2(); }

NkfCode NkfCoreChosenCode() {
    // Chosen once, so that every text of a run takes the same code.
    static const NkfCode chosen = ChooseCode();
    return chosen;
}

NkfOptions NkfCoreParseOptions(const char* options) {
    NkfOptions result;
    result.shiftJisOutput = false;
    result.preferShiftJis = false;
    if (options == nullptr) return result;
    for (const char* p = options; *p != '\0'; ++p) {
        if (*p == 's') result.shiftJisOutput = true;
        if (*p == 'X') result.preferShiftJis = true;
    }
    return result;
}

NkfReading NkfCoreDecideReading(const char* input, std::size_t length, NkfOptions options) {
    if (input == nullptr) length = 0;
#if NKF_SSE2_CODE
    if (NkfCoreChosenCode() == NKF_CODE_SSE2) return sse2::Decide(input, length, options);
#endif
    return portable::Decide(input, length, options);
}

std::size_t NkfCoreConvertWith(NkfCode code, char* output, const char* input, std::size_t length,
                               NkfOptions options) {
    if (output == nullptr) return 0;
    if (input == nullptr) length = 0;
#if NKF_SSE2_CODE
    if (code == NKF_CODE_SSE2 && ProcessorHasSse2()) return sse2::Convert(output, input, length, options);
#else
    (void)code;
#endif
    return portable::Convert(output, input, length, options);
}

std::size_t NkfCoreConvert(char* output, const char* input, std::size_t length, NkfOptions options) {
    return NkfCoreConvertWith(NkfCoreChosenCode(), output, input, length, options);
}
