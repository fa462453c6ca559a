// NKF32.dll: the Win32 face of the converter core.  The exports are listed
// in nkf32.def (64-bit) and nkf32-x86.def (32-bit, stdcall decorations that
// the linker strips with --kill-at, so the DLL exports the plain names).
#include <windows.h>

#include <cstdint>
#include <cstring>

#define NKF32_BUILDING_DLL
#include "nkf32.h"

#include "core/nkfcore.h"

namespace {

// The caller sets the option before each conversion; one setting serves the
// whole process, as the interface has no handle to keep it in.
NkfOptions CurrentOptions = {false, false};

// strlen a machine word at a time: the C library's (Wine's msvcrt counts
// byte by byte) took a good part of a conversion.  Words are read only at
// aligned addresses; an aligned word that holds a byte of the text lies in
// the same page as that byte, so what is read past the terminating zero
// (less than a word) is never memory that could be missing.
std::size_t TextLength(const char* text) {
    const char* p = text;
    for (; reinterpret_cast<std::uintptr_t>(p) % sizeof(std::size_t) != 0; ++p) {
        if (*p == '\0') return static_cast<std::size_t>(p - text);
    }
    const std::size_t ones = ~static_cast<std::size_t>(0) / 0xFF;  // 0x01 in every byte
    const std::size_t highs = ones << 7;                            // 0x80 in every byte
    for (;; p += sizeof(std::size_t)) {
        std::size_t word;
        std::memcpy(&word, p, sizeof word);
        if ((word - ones) & ~word & highs) break;  // a zero byte in this word
    }
    while (*p != '\0') ++p;
    return static_cast<std::size_t>(p - text);
}

}  // namespace

extern "C" void WINAPI SetNkfOption(const char* options) {
    CurrentOptions = NkfCoreParseOptions(options);
}

extern "C" void WINAPI NkfConvert(char* output, const char* input) {
    if (output == nullptr) return;
    if (input == nullptr) {
        output[0] = '\0';
        return;
    }
    NkfCoreConvert(output, input, TextLength(input), CurrentOptions);
}
