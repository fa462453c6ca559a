// A slow, plainly written second implementation of the converter's rules,
// used by the tests and the fuzzer to check the fast core byte for byte.
// It shares no code with the core: its decision is phrased as "the first
// position at which exactly one reading rejects a token", its JIS to
// Shift_JIS arithmetic works on row and cell numbers, and it walks the text
// one token at a time.
#ifndef VESTIBAR_TESTS_NKF32_REFERENCE_CONVERTER_H
#define VESTIBAR_TESTS_NKF32_REFERENCE_CONVERTER_H

#include <string>

std::string ReferenceConvert(const std::string& text, bool preferShiftJis);

// Shift_JIS bytes of the JIS X 0208 cell (row, cell), both 1-94.
std::string ReferenceSjisOfCell(int row, int cell);

#endif
