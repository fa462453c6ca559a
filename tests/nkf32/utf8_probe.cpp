// The UTF-8 output for utf8_oracle.py: reads lines "HINT OPTIONS HEX" (HINT
// a digit of NkfCharsetHint, OPTIONS an option string or "-", HEX the input
// bytes, "-" for none) and answers each with "HEX REPLACED READING".  Both
// codes convert every input; a difference between them, a write past
// NkfUtf8Capacity or a missing terminating zero ends the probe with a
// message on stderr and exit status 2.
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "nkfutf8.h"

namespace {

std::string FromHex(const std::string& hex) {
    std::string bytes;
    for (std::size_t k = 0; k + 1 < hex.size(); k += 2) bytes += static_cast<char>(std::stoi(hex.substr(k, 2), nullptr, 16));
    return bytes;
}

std::string ToHex(const char* data, std::size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (std::size_t k = 0; k < n; ++k) {
        unsigned char b = static_cast<unsigned char>(data[k]);
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex.empty() ? "-" : hex;
}

}  // namespace

int main() {
    std::string line;
    const std::size_t guard = 16;
    while (std::getline(std::cin, line)) {
        std::istringstream fields(line);
        int hint = 0;
        std::string options, hex;
        fields >> hint >> options >> hex;
        std::string input = hex == "-" ? std::string() : FromHex(hex);
        NkfOptions parsed = NkfCoreParseOptions(options == "-" ? "" : options.c_str());
        std::vector<char> out[2];
        NkfUtf8Result result[2];
        for (int k = 0; k < 2; ++k) {
            out[k].assign(NkfUtf8Capacity(input.size()) + guard, '\x5A');
            result[k] = NkfCoreConvertToUtf8With(k ? NKF_CODE_PORTABLE : NKF_CODE_SSE2, out[k].data(), input.data(),
                                                 input.size(), parsed, static_cast<NkfCharsetHint>(hint));
            const char* fault = nullptr;
            if (result[k].length >= NkfUtf8Capacity(input.size())) fault = "output longer than the capacity";
            else if (out[k][result[k].length] != '\0') fault = "no terminating zero";
            else if (std::string(out[k].end() - guard, out[k].end()) != std::string(guard, '\x5A')) fault = "write past the capacity";
            if (fault) {
                std::fprintf(stderr, "utf8_probe: %s (%s code) for input %s\n", fault, k ? "portable" : "SSE2", hex.c_str());
                return 2;
            }
        }
        std::string a(out[0].data(), result[0].length), b(out[1].data(), result[1].length);
        if (a != b || result[0].replaced != result[1].replaced || result[0].reading != result[1].reading) {
            std::fprintf(stderr, "utf8_probe: SSE2 and portable code differ for input %s: %s %zu %d vs %s %zu %d\n",
                         hex.c_str(), ToHex(a.data(), a.size()).c_str(), result[0].replaced, result[0].reading,
                         ToHex(b.data(), b.size()).c_str(), result[1].replaced, result[1].reading);
            return 2;
        }
        std::cout << ToHex(a.data(), a.size()) << ' ' << result[0].replaced << ' ' << result[0].reading << '\n';
    }
    return 0;
}
