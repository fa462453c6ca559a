#include "nkf_text_generator.h"

namespace {

char B(int v) { return static_cast<char>(v); }

int Pick(TestRandom* r, int lo, int hi) { return lo + RandomBelow(r, hi - lo + 1); }

std::string AsciiWord(TestRandom* r) {
    static const char chars[] = "abcdefghijklmnopqrstuvwxyz0123456789 ,.:-=?@$()";
    std::string s;
    for (int i = Pick(r, 1, 12); i > 0; --i) s += chars[RandomBelow(r, sizeof chars - 1)];
    return s;
}

// The cells that JIS X 0208 defines, as (row, first cell, last cell).  nkf
// guesses another code for texts with undefined cells (CP932 or CP51932)
// and may then pass them through, so the mail keeps to these.
struct CellRange {
    int row;
    int first;
    int last;
};
const CellRange kDefinedCells[] = {
    {1, 1, 94},   {2, 1, 14},  {2, 26, 33}, {2, 42, 48}, {2, 60, 74}, {2, 82, 89}, {2, 94, 94},
    {3, 16, 25},  {3, 33, 58}, {3, 65, 90}, {4, 1, 83},  {5, 1, 86},  {6, 1, 24},  {6, 33, 56},
    {7, 1, 33},   {7, 49, 81}, {8, 1, 32},  {16, 1, 94}, {47, 1, 51}, {48, 1, 94}, {84, 1, 6},
};

// A defined JIS X 0208 cell as (j1, j2), 0x21-0x7E each.  Rows 16-46 and
// 48-83 are full; the table lists their first row only.
void RandomCell(TestRandom* r, int* j1, int* j2) {
    if (RandomBelow(r, 4) == 0) {
        const CellRange& range = kDefinedCells[RandomBelow(r, sizeof kDefinedCells / sizeof kDefinedCells[0])];
        *j1 = 0x20 + range.row;
        *j2 = 0x20 + Pick(r, range.first, range.last);
    } else {
        *j1 = 0x20 + (RandomBelow(r, 2) ? Pick(r, 16, 46) : Pick(r, 48, 83));
        *j2 = 0x20 + Pick(r, 1, 94);
    }
}

std::string CellInCode(MailCode code, int j1, int j2) {
    if (code == MAIL_EUCJP) return std::string() + B(j1 | 0x80) + B(j2 | 0x80);
    if (code == MAIL_ISO2022JP) return std::string() + B(j1) + B(j2);
    int lead = ((j1 + 1) >> 1) + (j1 <= 0x5E ? 0x70 : 0xB0);
    int trail = (j1 & 1) ? j2 + 0x1F + (j2 >= 0x60 ? 1 : 0) : j2 + 0x7E;
    return std::string() + B(lead) + B(trail);
}

std::string KanaInCode(MailCode code, int k) {  // k = 0xA1..0xDF
    if (code == MAIL_EUCJP) return std::string() + B(0x8E) + B(k);
    if (code == MAIL_ISO2022JP) return std::string(1, B(k - 0x80));
    return std::string(1, B(k));
}

// One stretch of Japanese: cells, or half-width kana, in the code's form.
std::string Japanese(TestRandom* r, MailCode code, int count, bool kana) {
    std::string s;
    if (code == MAIL_ISO2022JP) s += kana ? "\x1b(I" : "\x1b$B";
    for (int i = 0, j1, j2; i < count; ++i) {
        if (kana) s += KanaInCode(code, Pick(r, 0xA1, 0xDF));
        else RandomCell(r, &j1, &j2), s += CellInCode(code, j1, j2);
    }
    if (code == MAIL_ISO2022JP) s += "\x1b(B";
    return s;
}

}  // namespace

std::string RandomMail(TestRandom* r, MailCode code, int bodyLines) {
    std::string s = "From: sender" + std::to_string(Pick(r, 1, 999)) + "@example.jp\r\n";
    s += "To: someone@example.com\r\nDate: Mon, 7 Apr 1997 10:00:00 +0900\r\n";
    s += "Subject: " + AsciiWord(r) + " " + Japanese(r, code, Pick(r, 2, 10), false) + "\r\n\r\n";
    // A first character that settles the reading: a hiragana's lead byte 0x82
    // is no EUC-JP byte; a row 80-83 lead byte 0xF0-0xF3 is no Shift_JIS byte.
    if (code == MAIL_SHIFTJIS) s += "\x82\xb1\x82\xf1";
    if (code == MAIL_EUCJP) s += std::string() + B(Pick(r, 0xF0, 0xF3)) + B(Pick(r, 0xA1, 0xFE)) + "\xa4\xf3";
    s += "\r\n";
    for (int line = 0; line < bodyLines; ++line) {
        for (int pieces = Pick(r, 1, 6); pieces > 0; --pieces) {
            switch (RandomBelow(r, 5)) {
                case 0: s += AsciiWord(r); break;
                case 1: s += Japanese(r, code, Pick(r, 1, 6), true); break;
                default: s += Japanese(r, code, Pick(r, 1, 40), false); break;
            }
        }
        s += "\r\n";
    }
    return s;
}
