#include "reference_converter.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace {

enum RefReading { REF_SHIFT_JIS, REF_EUC_JP, REF_UTF8 };

bool Between(unsigned char b, int lo, int hi) { return b >= lo && b <= hi; }

// Token lengths (0 = rejected) of the two readings at position p.
std::size_t SjisToken(const std::string& t, std::size_t p) {
    unsigned char b = static_cast<unsigned char>(t[p]);
    if (b < 0x80 || Between(b, 0xA1, 0xDF)) return 1;
    bool lead = Between(b, 0x81, 0x9F) || Between(b, 0xE0, 0xEF) || Between(b, 0xFA, 0xFC);
    if (!lead || p + 1 >= t.size()) return 0;
    unsigned char c = static_cast<unsigned char>(t[p + 1]);
    return (Between(c, 0x40, 0x7E) || Between(c, 0x80, 0xFC)) ? 2 : 0;
}

std::size_t EucToken(const std::string& t, std::size_t p) {
    unsigned char b = static_cast<unsigned char>(t[p]);
    auto at = [&](std::size_t k) { return static_cast<unsigned char>(t[k]); };
    if (b < 0x80) return 1;
    if (Between(b, 0xA1, 0xFE)) return (p + 1 < t.size() && Between(at(p + 1), 0xA1, 0xFE)) ? 2 : 0;
    if (b == 0x8E) return (p + 1 < t.size() && Between(at(p + 1), 0xA1, 0xDF)) ? 2 : 0;
    if (b != 0x8F) return 0;
    return (p + 2 < t.size() && Between(at(p + 1), 0xA1, 0xFE) && Between(at(p + 2), 0xA1, 0xFE)) ? 3 : 0;
}

// Positions where a reading meets a token it rejects (it then goes on at
// the next byte).
std::vector<bool> RejectedStarts(const std::string& t, std::size_t (*token)(const std::string&, std::size_t)) {
    std::vector<bool> rejected(t.size() + 1, false);
    for (std::size_t p = 0, len; p < t.size(); p += len) {
        if ((len = token(t, p)) == 0) rejected[p] = true, len = 1;
    }
    return rejected;
}

bool IsWellFormedUtf8(const std::string& t) {
    static const unsigned long mask[4] = {0x7F, 0x1F, 0x0F, 0x07}, smallest[4] = {0, 0x80, 0x800, 0x10000};
    bool any = false;
    for (std::size_t p = 0; p < t.size();) {
        unsigned char b = static_cast<unsigned char>(t[p]);
        int more = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
        if (more < 0 || p + more >= t.size()) return false;
        any |= more > 0;
        unsigned long cp = b & mask[more];
        for (int k = 1; k <= more; ++k) {
            unsigned char c = static_cast<unsigned char>(t[p + k]);
            if ((c & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (cp < smallest[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        p += more + 1;
    }
    return any;
}

}  // namespace

std::string ReferenceSjisOfCell(int row, int cell) {
    int lead = row <= 62 ? (row + 0x101) / 2 : (row + 0x181) / 2;
    int trail = row % 2 == 1 ? cell + 0x3F + (cell >= 64 ? 1 : 0) : cell + 0x9E;
    return {static_cast<char>(lead), static_cast<char>(trail)};
}

static RefReading ReferenceReading(const std::string& text, bool preferShiftJis) {
    if (IsWellFormedUtf8(text)) return REF_UTF8;
    std::vector<bool> sjis = RejectedStarts(text, SjisToken);
    std::vector<bool> euc = RejectedStarts(text, EucToken);
    for (std::size_t p = 0; p < text.size(); ++p) {
        if (sjis[p] && !euc[p]) return REF_EUC_JP;
        if (euc[p] && !sjis[p]) return REF_SHIFT_JIS;
    }
    return preferShiftJis ? REF_SHIFT_JIS : REF_EUC_JP;
}

std::string ReferenceConvert(const std::string& text, bool preferShiftJis) {
    const RefReading reading = ReferenceReading(text, preferShiftJis);
    const std::size_t n = text.size();
    auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    enum { ASCII, KANJI, KANA };
    int g0 = ASCII;
    bool shiftOut = false;
    std::string out;
    for (std::size_t p = 0, len; p < n; p += len) {
        const unsigned char b = at(p);
        const std::string seq = b == 0x1B && p + 2 < n ? text.substr(p + 1, 2) : "";
        const int to = seq == "$@" || seq == "$B" ? KANJI : seq == "(B" || seq == "(J" ? ASCII : seq == "(I" ? KANA : -1;
        const bool kana = shiftOut || g0 == KANA;
        len = 1;
        if (b >= 0x80 && reading == REF_SHIFT_JIS) {
            len = std::max<std::size_t>(SjisToken(text, p), 1);
            out.append(text, p, len);
        } else if (b >= 0x80 && reading == REF_EUC_JP && (len = EucToken(text, p)) != 0) {
            out += b == 0x8E   ? std::string(1, text[p + 1])
                   : b == 0x8F ? std::string("\x81\xAC")  // JIS X 0212: the geta mark
                               : ReferenceSjisOfCell(b - 0xA0, at(p + 1) - 0xA0);
        } else if (to >= 0) {
            g0 = to;
            len = 3;
        } else if (b == 0x0E || b == 0x0F) {
            shiftOut = b == 0x0E;
        } else if (kana && Between(b, 0x21, 0x5F)) {
            out += static_cast<char>(b + 0x80);
        } else if (!kana && g0 == KANJI && Between(b, 0x21, 0x7E) && p + 1 < n && Between(at(p + 1), 0x21, 0x7E)) {
            out += ReferenceSjisOfCell(b - 0x20, at(p + 1) - 0x20);
            len = 2;
        } else {  // kept as it is; a line end also ends every shift
            if (b == '\r' || b == '\n') g0 = ASCII, shiftOut = false;
            out += static_cast<char>(b);
            len = 1;
        }
    }
    return out;
}
