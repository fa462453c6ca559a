#include "nkf_test_util.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "nkfcore.h"

namespace {

std::string ConvertOn(NkfCode code, const std::string& input, NkfOptions options) {
    // The converter may use all size + 1 bytes; the guard bytes after them
    // must stay untouched (the sanitizers cannot see into the same block).
    const std::size_t guard = 32;
    std::vector<char> out(input.size() + 1 + guard, '\x5A');
    std::size_t length = NkfCoreConvertWith(code, out.data(), input.data(), input.size(), options);
    EXPECT_LE(length, input.size()) << "output longer than input " << Hex(input);
    if (length > input.size()) return std::string();
    EXPECT_EQ(out[length], '\0') << "no terminating zero after " << length << " bytes, input " << Hex(input);
    std::size_t touched = 0;
    for (std::size_t k = input.size() + 1; k < out.size(); ++k) touched += out[k] != '\x5A';
    EXPECT_EQ(touched, 0u) << "bytes written past the output bound, input " << Hex(input);
    return std::string(out.data(), length);
}

}  // namespace

std::string CoreConvert(const std::string& input, bool preferShiftJis) {
    NkfOptions options = NkfCoreParseOptions(preferShiftJis ? "Xs" : "s");
    std::string portable = ConvertOn(NKF_CODE_PORTABLE, input, options);
    EXPECT_EQ(Hex(ConvertOn(NKF_CODE_SSE2, input, options)), Hex(portable)) << "SSE2 code against portable, input " << Hex(input);
    return portable;
}

std::string Hex(const std::string& bytes) {
    std::string s;
    char three[4];
    for (unsigned char b : bytes) s += (std::snprintf(three, sizeof three, s.empty() ? "%02X" : " %02X", b), three);
    return s;
}

#ifndef _WIN32
// The filters are Debian's programs; the Windows benchmark uses only the
// generators.
std::string RunFilter(const std::string& command, const std::string& input, int* exitStatus) {
    char path[] = "/tmp/nkf32_test_XXXXXX";
    int fd = mkstemp(path);
    FILE* file = fd < 0 ? nullptr : fdopen(fd, "wb");
    *exitStatus = -1;
    if (file == nullptr) return std::string();
    bool written = std::fwrite(input.data(), 1, input.size(), file) == input.size();
    std::fclose(file);
    FILE* pipe = written ? popen((command + " < " + path).c_str(), "r") : nullptr;
    std::string output;
    if (pipe != nullptr) {
        char buffer[65536];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, got);
        int status = pclose(pipe);
        *exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    unlink(path);
    return output;
}

bool HaveProgram(const char* name) {
    std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

#endif

std::uint64_t NextRandom(TestRandom* r) {
    // splitmix64
    std::uint64_t z = (r->state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int RandomBelow(TestRandom* r, int bound) { return static_cast<int>(NextRandom(r) % static_cast<std::uint64_t>(bound)); }
