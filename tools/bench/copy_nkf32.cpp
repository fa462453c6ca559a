// A stand-in NKF32.dll for the benchmark that converts nothing: NkfConvert
// finds the text's length as ours does and copies it with its zero.  With it
// beside bench_store, the WinBiff figures show what the program reaches when
// conversion costs no more than the interface itself (a scan for the zero
// and one pass that writes every byte): the ceiling that no converter can
// pass on that machine.
#include <windows.h>

#include <cstring>

#define NKF32_BUILDING_DLL
#include "nkf32.h"
#include "textlength.h"

extern "C" void WINAPI SetNkfOption(const char *) {}

extern "C" void WINAPI NkfConvert(char *output, const char *input)
{
    if (output == nullptr)
        return;
    if (input == nullptr) {
        output[0] = '\0';
        return;
    }
    static const bool sse2 = IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE) != FALSE;
    std::memcpy(output, input, TextLength(input, sse2) + 1);
}
