// NKF32.dll: the Win32 face of the converter core.  The exports are listed
// in nkf32.def (64-bit) and nkf32-x86.def (32-bit, stdcall decorations that
// the linker strips with --kill-at, so the DLL exports the plain names).
#include <windows.h>

#define NKF32_BUILDING_DLL
#include "nkf32.h"

#include "core/nkfcore.h"
#include "textlength.h"

namespace {

// The caller sets the option before each conversion; one setting serves the
// whole process, as the interface has no handle to keep it in.
NkfOptions CurrentOptions = {false, false};

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
    NkfCode code = NkfCoreChosenCode();
    NkfCoreConvertWith(code, output, input, TextLength(input, code == NKF_CODE_SSE2), CurrentOptions);
}
