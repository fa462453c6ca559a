// Helpers shared by the converter's tests.
#ifndef VESTIBAR_TESTS_NKF32_NKF_TEST_UTIL_H
#define VESTIBAR_TESTS_NKF32_NKF_TEST_UTIL_H

#include <cstdint>
#include <string>

// Both codes of the core on `input`, checked for the length bound, the
// terminating zero, no write past size + 1 bytes and the same bytes.
std::string CoreConvert(const std::string& input, bool preferShiftJis);

// "82 A0 0D 0A" style dump for failure messages.
std::string Hex(const std::string& bytes);

// What a shell command writes to stdout with `input` as its stdin, and its
// exit status; whether a program can be run from the shell.
std::string RunFilter(const std::string& command, const std::string& input, int* exitStatus);
bool HaveProgram(const char* name);

// Small deterministic generator, so every run sees the same texts.
struct TestRandom { std::uint64_t state; };
std::uint64_t NextRandom(TestRandom* r);
int RandomBelow(TestRandom* r, int bound);

#endif
