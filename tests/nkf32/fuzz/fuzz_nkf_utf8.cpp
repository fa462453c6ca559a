// libFuzzer target for the core's UTF-8 output, both codes, both options
// and a hint taken from the input: the output is zero-terminated and within
// NkfUtf8Capacity, well-formed UTF-8 without ESC, SO or SI, keeps the CR, LF
// and NUL bytes of the input in order, is the same for both codes, reads the
// 8-bit bytes as the Shift_JIS output's detection does when there is no
// hint, and keeps a plain ASCII text as it is; with CR LF made LF it gives
// the same output with every CR right before an LF left out.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "nkfutf8.h"

namespace {

std::string KeptControls(const char* s, std::size_t n) {
    std::string kept;
    for (std::size_t i = 0; i < n; ++i)
        if (s[i] == '\r' || s[i] == '\n' || s[i] == '\0') kept += s[i];
    return kept;
}

// Well-formed UTF-8 (no overlong form, surrogate or code point above U+10FFFF).
bool IsWellFormed(const unsigned char* s, std::size_t n) {
    for (std::size_t i = 0; i < n;) {
        unsigned b = s[i];
        std::size_t more = b < 0x80 ? 0 : b >= 0xC2 && b <= 0xDF ? 1 : b >= 0xE0 && b <= 0xEF ? 2 : b >= 0xF0 && b <= 0xF4 ? 3 : 9;
        if (more == 9 || n - i <= more) return more == 0 && i < n;
        unsigned lo = b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
        unsigned hi = b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
        for (std::size_t k = 1; k <= more; ++k) {
            unsigned c = s[i + k];
            if (c < (k == 1 ? lo : 0x80) || c > (k == 1 ? hi : 0xBF)) return false;
        }
        i += more + 1;
    }
    return true;
}

// `text` with every CR that stands right before an LF left out.
std::string LfOnly(const std::string& text) {
    std::string lf;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) lf += text[i];
    return lf;
}

bool IsPlainAscii(const char* s, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char b = static_cast<unsigned char>(s[i]);
        if (b >= 0x80 || b == 0x1B || b == 0x0E || b == 0x0F) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* input = reinterpret_cast<const char*>(data);
    const std::size_t guard = 32;
    const std::size_t capacity = NkfUtf8Capacity(size);
    const NkfCharsetHint hint = static_cast<NkfCharsetHint>(size ? data[size - 1] % 5 : 0);
    const bool high = std::find_if(data, data + size, [](std::uint8_t b) { return b >= 0x80; }) != data + size;
    for (int option = 0; option < 2; ++option) {
        NkfOptions options = NkfCoreParseOptions(option ? "X" : "");
        std::string first;
        NkfUtf8Result firstResult{};
        for (int k = 0; k < 2; ++k) {
            NkfCode code = k == 0 ? NKF_CODE_SSE2 : NKF_CODE_PORTABLE;
            std::vector<char> out(capacity + guard, '\x5A');
            NkfUtf8Result r = NkfCoreConvertToUtf8With(code, out.data(), input, size, options, hint);
            const unsigned char* bytes = reinterpret_cast<const unsigned char*>(out.data());
            const char* fault = nullptr;
            if (r.length >= capacity) fault = "output beyond the capacity";
            else if (out[r.length] != '\0') fault = "no terminating zero";
            else if (std::string(out.end() - guard, out.end()) != std::string(guard, '\x5A')) fault = "write past the capacity";
            else if (!IsWellFormed(bytes, r.length)) fault = "output not well-formed UTF-8";
            else if (std::memchr(out.data(), 0x1B, r.length) || std::memchr(out.data(), 0x0E, r.length) ||
                     std::memchr(out.data(), 0x0F, r.length))
                fault = "escape or shift byte in the output";
            else if (KeptControls(out.data(), r.length) != KeptControls(input, size)) fault = "CR, LF or NUL not kept";
            else if (k == 1 && (std::string(out.data(), r.length) != first || r.replaced != firstResult.replaced ||
                                r.reading != firstResult.reading))
                fault = "SSE2 and portable code differ";
            else if (hint == NKF_HINT_NONE && high && r.reading != NkfCoreDecideReading(input, size, options))
                fault = "reading differs from the Shift_JIS output's detection";
            else if (IsPlainAscii(input, size) && (r.replaced != 0 || std::string(out.data(), r.length) != std::string(input, size)))
                fault = "plain ASCII text changed";
            std::vector<char> lfOut(capacity + guard, '\x5A');
            NkfUtf8Result lf = NkfCoreConvertToUtf8With(code, lfOut.data(), input, size, options, hint, NKF_LINE_ENDS_LF);
            if (!fault && (lf.length >= capacity || lfOut[lf.length] != '\0' ||
                           std::string(lfOut.end() - guard, lfOut.end()) != std::string(guard, '\x5A')))
                fault = "LF output beyond its bounds or without its zero";
            else if (!fault && (std::string(lfOut.data(), lf.length) != LfOnly(std::string(out.data(), r.length)) ||
                                lf.replaced != r.replaced || lf.reading != r.reading))
                fault = "LF output differs from the output with CR before LF left out";
            if (fault) {
                std::fprintf(stderr, "nkf UTF-8 fault (option %s, hint %d, %s code): %s\n", option ? "X" : "none",
                             static_cast<int>(hint), k == 0 ? "SSE2" : "portable", fault);
                std::abort();
            }
            if (k == 0) {
                first.assign(out.data(), r.length);
                firstResult = r;
            }
        }
    }
    return 0;
}
