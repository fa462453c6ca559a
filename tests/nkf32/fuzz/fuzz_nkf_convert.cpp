// libFuzzer target for the converter core, both codes (SSE2 and portable)
// and both options: the output is zero-terminated and no longer than the
// input, nothing is written past length + 1 bytes, CR and LF come out
// exactly as they went in (header block and line ends survive), a text
// without NUL gives no NUL, and the bytes equal the reference model's.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../reference_converter.h"
#include "nkfcore.h"

namespace {

std::string LineEnds(const char* s, std::size_t n) {
    std::string ends;
    for (std::size_t i = 0; i < n; ++i)
        if (s[i] == '\r' || s[i] == '\n') ends += s[i];
    return ends;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* input = reinterpret_cast<const char*>(data);
    const std::size_t guard = 32;
    for (int k = 0; k < 4; ++k) {
        NkfCode code = k < 2 ? NKF_CODE_SSE2 : NKF_CODE_PORTABLE;
        bool preferSjis = (k & 1) != 0;
        std::vector<char> out(size + 1 + guard, '\x5A');
        std::size_t length = NkfCoreConvertWith(code, out.data(), input, size, NkfCoreParseOptions(preferSjis ? "Xs" : "s"));
        const char* fault = nullptr;
        if (length > size) fault = "output longer than input";
        else if (out[length] != '\0') fault = "no terminating zero";
        else if (std::string(out.begin() + size + 1, out.end()) != std::string(guard, '\x5A')) fault = "write past length + 1";
        else if (LineEnds(out.data(), length) != LineEnds(input, size)) fault = "CR/LF not kept";
        else if (!std::memchr(input, 0, size) && std::memchr(out.data(), 0, length)) fault = "NUL in the output of a text without NUL";
        else if (ReferenceConvert(std::string(input, size), preferSjis) != std::string(out.data(), length))
            fault = "output differs from the reference model";
        if (fault) {
            std::fprintf(stderr, "nkf core fault (%s, %s code): %s\n", preferSjis ? "option Xs" : "option s",
                         code == NKF_CODE_SSE2 ? "SSE2" : "portable", fault);
            std::abort();
        }
    }
    return 0;
}
