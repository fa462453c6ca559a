// libFuzzer target for the converter core.  For both options and both codes
// (SSE2 and portable) it checks what
// the program relies on: the output is zero-terminated and no longer than
// the input, nothing is written past length + 1 bytes, the CR and LF bytes
// come out exactly as they went in (so header block and line ends survive),
// a text without NUL gives an output without NUL, and the result equals the
// reference model's, so both codes give the same bytes.  Any violation aborts, which libFuzzer reports.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../reference_converter.h"
#include "nkfcore.h"

namespace {

NkfCode code = NKF_CODE_SSE2;

void Fail(const char* what, bool preferSjis) {
    std::fprintf(stderr, "nkf core fault (%s, %s code): %s\n", preferSjis ? "option Xs" : "option s",
                 code == NKF_CODE_SSE2 ? "SSE2" : "portable", what);
    std::abort();
}

std::string LineEnds(const char* s, std::size_t n) {
    std::string ends;
    for (std::size_t i = 0; i < n; ++i) {
        if (s[i] == '\r' || s[i] == '\n') ends += s[i];
    }
    return ends;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* input = reinterpret_cast<const char*>(data);
    const std::size_t guard = 32;
    for (int k = 0; k < 4; ++k) {
        code = k < 2 ? NKF_CODE_SSE2 : NKF_CODE_PORTABLE;
        bool preferSjis = (k & 1) != 0;
        NkfOptions options = NkfCoreParseOptions(preferSjis ? "Xs" : "s");
        std::vector<char> out(size + 1 + guard, '\x5A');
        std::size_t length = NkfCoreConvertWith(code, out.data(), input, size, options);
        if (length > size) Fail("output longer than input", preferSjis);
        if (out[length] != '\0') Fail("no terminating zero", preferSjis);
        for (std::size_t k = size + 1; k < out.size(); ++k) {
            if (out[k] != '\x5A') Fail("write past length + 1", preferSjis);
        }
        if (LineEnds(out.data(), length) != LineEnds(input, size)) Fail("CR/LF not kept", preferSjis);
        if (std::memchr(input, 0, size) == nullptr && std::memchr(out.data(), 0, length) != nullptr) {
            Fail("NUL in the output of a text without NUL", preferSjis);
        }
        std::string text(input, size);
        if (ReferenceConvert(text, preferSjis) != std::string(out.data(), length)) {
            Fail("output differs from the reference model", preferSjis);
        }
    }
    return 0;
}
