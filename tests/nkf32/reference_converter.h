// A slow, plainly written second implementation of the converter's rules for
// what nkf and iconv cannot judge, sharing no code with the core: the reading
// goes by the first position where exactly one reading rejects a token, the
// JIS arithmetic works on row and cell numbers, the walk goes token by token.
#ifndef VESTIBAR_TESTS_NKF32_REFERENCE_CONVERTER_H
#define VESTIBAR_TESTS_NKF32_REFERENCE_CONVERTER_H

#include <string>

std::string ReferenceConvert(const std::string& text, bool preferShiftJis);

// Shift_JIS bytes of the JIS X 0208 cell (row, cell), both 1-94.
std::string ReferenceSjisOfCell(int row, int cell);

#endif
