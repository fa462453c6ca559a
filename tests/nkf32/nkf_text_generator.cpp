#include "nkf_text_generator.h"

namespace {

char B(int v) { return static_cast<char>(v); }

int Pick(TestRandom* r, int lo, int hi) { return lo + RandomBelow(r, hi - lo + 1); }

std::string AsciiWord(TestRandom* r) {
    static const char chars[] = "abcdefghijklmnopqrstuvwxyz0123456789 ,.:-=?@$()";
    std::string s;
    int n = Pick(r, 1, 12);
    for (int i = 0; i < n; ++i) s += chars[RandomBelow(r, sizeof chars - 1)];
    return s;
}

std::string LineEnd(TestRandom* r) {
    switch (RandomBelow(r, 4)) {
        case 0: return "\n";
        case 1: return "\r";
        default: return "\r\n";
    }
}

std::string EucChar(TestRandom* r) {
    switch (RandomBelow(r, 10)) {
        case 0: return std::string() + B(0x8E) + B(Pick(r, 0xA1, 0xDF));
        case 1: return std::string() + B(0x8F) + B(Pick(r, 0xA1, 0xFE)) + B(Pick(r, 0xA1, 0xFE));
        default: return std::string() + B(Pick(r, 0xA1, 0xFE)) + B(Pick(r, 0xA1, 0xFE));
    }
}

int SjisLead(TestRandom* r) {
    switch (RandomBelow(r, 4)) {
        case 0: return Pick(r, 0xE0, 0xEF);
        case 1: return Pick(r, 0xFA, 0xFC);
        default: return Pick(r, 0x81, 0x9F);
    }
}

std::string SjisChar(TestRandom* r) {
    if (RandomBelow(r, 6) == 0) return std::string(1, B(Pick(r, 0xA1, 0xDF)));
    int trail = Pick(r, 0x40, 0xFB);
    if (trail >= 0x7F) ++trail;
    return std::string() + B(SjisLead(r)) + B(trail);
}

std::string JisSegment(TestRandom* r, int pairs) {
    std::string s = RandomBelow(r, 2) ? "\x1b$B" : "\x1b$@";
    for (int i = 0; i < pairs; ++i) s += std::string() + B(Pick(r, 0x21, 0x7E)) + B(Pick(r, 0x21, 0x7E));
    if (RandomBelow(r, 5)) s += RandomBelow(r, 2) ? "\x1b(B" : "\x1b(J";
    return s;
}

std::string KanaSegment(TestRandom* r) {
    bool so = RandomBelow(r, 2) != 0;
    std::string s = so ? "\x0e" : "\x1b(I";
    int n = Pick(r, 1, 8);
    for (int i = 0; i < n; ++i) s += B(Pick(r, 0x21, 0x7E));
    if (RandomBelow(r, 4)) s += so ? "\x0f" : "\x1b(B";
    return s;
}

std::string BrokenEscape(TestRandom* r) {
    static const char* const pieces[] = {"\x1b", "\x1b$", "\x1b(", "\x1b(Z", "\x1b$(D", "\x1b$A", "\x1b&@", "\x0f", "\x0e"};
    return pieces[RandomBelow(r, sizeof pieces / sizeof pieces[0])];
}

std::string Utf8Char(TestRandom* r) {
    unsigned long cp;
    switch (RandomBelow(r, 4)) {
        case 0: cp = static_cast<unsigned long>(Pick(r, 0x80, 0x7FF)); break;
        case 1: cp = static_cast<unsigned long>(Pick(r, 0x3000, 0x9FFF)); break;
        case 2: cp = static_cast<unsigned long>(Pick(r, 0xE000, 0xFFFD)); break;
        default: cp = static_cast<unsigned long>(Pick(r, 0x10000, 0x10FFFF)); break;
    }
    std::string s;
    if (cp < 0x800) {
        s += B(0xC0 | static_cast<int>(cp >> 6));
    } else if (cp < 0x10000) {
        s += B(0xE0 | static_cast<int>(cp >> 12));
        s += B(0x80 | static_cast<int>((cp >> 6) & 0x3F));
    } else {
        s += B(0xF0 | static_cast<int>(cp >> 18));
        s += B(0x80 | static_cast<int>((cp >> 12) & 0x3F));
        s += B(0x80 | static_cast<int>((cp >> 6) & 0x3F));
    }
    s += B(0x80 | static_cast<int>(cp & 0x3F));
    return s;
}

std::string AnyByte(TestRandom* r) {
    static const int interesting[] = {0x1B, '$', '(', 'B', '@', 'J', 'I', 0x0E, 0x0F, '\r', '\n', 0x8E, 0x8F,
                                      0x80, 0xA0, 0xA1, 0xDF, 0xE0, 0xEF, 0xF0, 0xFC, 0xFD, 0xFE, 0xFF, 0x7F, 0x40};
    if (RandomBelow(r, 2)) return std::string(1, B(interesting[RandomBelow(r, sizeof interesting / sizeof interesting[0])]));
    return std::string(1, B(RandomBelow(r, 256)));
}

std::string LongRun(TestRandom* r) {
    int n = Pick(r, 8, 90);
    std::string s;
    switch (RandomBelow(r, 4)) {
        case 0:
            for (int i = 0; i < n; ++i) s += std::string() + B(Pick(r, 0xA1, 0xFE)) + B(Pick(r, 0xA1, 0xFE));
            break;
        case 1:
            for (int i = 0; i < n; ++i) s += SjisChar(r);
            break;
        case 2:
            s = JisSegment(r, n);
            break;
        default:
            for (int i = 0; i < n; ++i) s += AsciiWord(r);
            break;
    }
    return s;
}

}  // namespace

std::string RandomText(TestRandom* r, TextFlavour flavour, int maxLength) {
    std::string s;
    int target = RandomBelow(r, maxLength + 1);
    while (static_cast<int>(s.size()) < target) {
        int k = RandomBelow(r, 20);
        if (k < 3) {
            s += AsciiWord(r);
        } else if (k < 5) {
            s += LineEnd(r);
        } else if (k == 5) {
            s += LongRun(r);
        } else if (k == 6) {
            s += AnyByte(r);
        } else if (k == 7) {
            s += BrokenEscape(r);
        } else {
            switch (flavour) {
                case FLAVOUR_EUC: s += EucChar(r); break;
                case FLAVOUR_SJIS: s += SjisChar(r); break;
                case FLAVOUR_JIS: s += RandomBelow(r, 4) ? JisSegment(r, Pick(r, 1, 12)) : KanaSegment(r); break;
                case FLAVOUR_UTF8: s += Utf8Char(r); break;
                case FLAVOUR_CHAOS: s += AnyByte(r); break;
                default:
                    switch (RandomBelow(r, 5)) {
                        case 0: s += EucChar(r); break;
                        case 1: s += SjisChar(r); break;
                        case 2: s += JisSegment(r, Pick(r, 1, 6)); break;
                        case 3: s += KanaSegment(r); break;
                        default: s += Utf8Char(r); break;
                    }
                    break;
            }
        }
    }
    if (flavour == FLAVOUR_UTF8 && RandomBelow(r, 2)) {
        // Mostly clean UTF-8, to reach the unchanged path too.
        std::string clean;
        for (int i = 0; i < target / 3; ++i) clean += RandomBelow(r, 3) ? Utf8Char(r) : AsciiWord(r);
        return clean;
    }
    return s;
}

namespace {

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
    int pick = RandomBelow(r, 4);
    int row;
    int cell;
    if (pick == 0) {
        const CellRange& range = kDefinedCells[RandomBelow(r, sizeof kDefinedCells / sizeof kDefinedCells[0])];
        row = range.row;
        cell = Pick(r, range.first, range.last);
    } else {
        row = RandomBelow(r, 2) ? Pick(r, 16, 46) : Pick(r, 48, 83);
        cell = Pick(r, 1, 94);
    }
    *j1 = 0x20 + row;
    *j2 = 0x20 + cell;
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
    for (int i = 0; i < count; ++i) {
        if (kana) {
            s += KanaInCode(code, Pick(r, 0xA1, 0xDF));
        } else {
            int j1, j2;
            RandomCell(r, &j1, &j2);
            s += CellInCode(code, j1, j2);
        }
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
        int pieces = Pick(r, 1, 6);
        for (int p = 0; p < pieces; ++p) {
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
