// The two entry points of NKF32.dll, the kanji-code converter that
// vestibar.exe imports by name through the DLL's import library.
//
// SetNkfOption(options): takes a zero-terminated option string; the letter s
// asks for Shift_JIS output (the only output there is) and X reads 8-bit text
// that is valid both as Shift_JIS and as EUC-JP as Shift_JIS (without X: as
// EUC-JP).  Other letters are ignored.  The setting holds until the next call.
//
// NkfConvert(output, input): converts the zero-terminated text `input` into
// zero-terminated Shift_JIS in `output`.  The output is never longer than the
// input, so `output` needs room for strlen(input) + 1 bytes; its line ends are
// those of the input.
#ifndef VESTIBAR_NKF32_NKF32_H
#define VESTIBAR_NKF32_NKF32_H

#include <windows.h>

#if defined(NKF32_BUILDING_DLL)
#define NKF32_API
#else
#define NKF32_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

NKF32_API void WINAPI SetNkfOption(const char* options);
NKF32_API void WINAPI NkfConvert(char* output, const char* input);

#ifdef __cplusplus
}
#endif

#endif
