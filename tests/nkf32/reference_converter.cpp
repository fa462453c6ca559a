#include "reference_converter.h"

#include <cstddef>
#include <vector>

namespace {

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
    if (b == 0x8F) {
        return (p + 2 < t.size() && Between(at(p + 1), 0xA1, 0xFE) && Between(at(p + 2), 0xA1, 0xFE)) ? 3 : 0;
    }
    return 0;
}

// Positions where a reading meets a token it rejects (it then goes on at
// the next byte).
std::vector<bool> RejectedStarts(const std::string& t, std::size_t (*token)(const std::string&, std::size_t)) {
    std::vector<bool> rejected(t.size() + 1, false);
    std::size_t p = 0;
    while (p < t.size()) {
        std::size_t len = token(t, p);
        if (len == 0) {
            rejected[p] = true;
            len = 1;
        }
        p += len;
    }
    return rejected;
}

bool IsWellFormedUtf8(const std::string& t) {
    bool any = false;
    std::size_t p = 0;
    while (p < t.size()) {
        unsigned char b = static_cast<unsigned char>(t[p]);
        if (b < 0x80) {
            ++p;
            continue;
        }
        any = true;
        int more;
        unsigned long cp;
        if ((b & 0xE0) == 0xC0) {
            more = 1;
            cp = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            more = 2;
            cp = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            more = 3;
            cp = b & 0x07;
        } else {
            return false;
        }
        if (p + more >= t.size()) return false;
        for (int k = 1; k <= more; ++k) {
            unsigned char c = static_cast<unsigned char>(t[p + k]);
            if ((c & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        static const unsigned long smallest[4] = {0, 0x80, 0x800, 0x10000};
        if (cp < smallest[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        p += more + 1;
    }
    return any;
}

void AppendCell(std::string* out, int row, int cell) { *out += ReferenceSjisOfCell(row, cell); }

}  // namespace

std::string ReferenceSjisOfCell(int row, int cell) {
    int lead = row <= 62 ? (row + 0x101) / 2 : (row + 0x181) / 2;
    int trail;
    if (row % 2 == 1) {
        trail = cell + 0x3F + (cell >= 64 ? 1 : 0);
    } else {
        trail = cell + 0x9E;
    }
    std::string s;
    s += static_cast<char>(lead);
    s += static_cast<char>(trail);
    return s;
}

RefReading ReferenceReading(const std::string& text, bool preferShiftJis) {
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
    RefReading reading = ReferenceReading(text, preferShiftJis);
    std::string out;
    enum { ASCII, KANJI, KANA } g0 = ASCII;
    bool shiftOut = false;
    std::size_t p = 0;
    const std::size_t n = text.size();
    auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    while (p < n) {
        unsigned char b = at(p);
        if (b >= 0x80) {
            std::size_t len = 1;
            if (reading == REF_SHIFT_JIS) {
                len = SjisToken(text, p);
                if (len == 0) len = 1;
                out.append(text, p, len);
            } else if (reading == REF_EUC_JP) {
                len = EucToken(text, p);
                if (len == 0) {
                    out += static_cast<char>(b);
                    len = 1;
                } else if (b == 0x8E) {
                    out += static_cast<char>(at(p + 1));
                } else if (b == 0x8F) {
                    out += "\x81\xAC";
                } else {
                    AppendCell(&out, at(p) - 0xA0, at(p + 1) - 0xA0);
                }
            } else {
                out += static_cast<char>(b);
            }
            p += len;
            continue;
        }
        if (b == 0x1B && p + 2 < n) {
            std::string seq = text.substr(p + 1, 2);
            if (seq == "$@" || seq == "$B") {
                g0 = KANJI;
                p += 3;
                continue;
            }
            if (seq == "(B" || seq == "(J") {
                g0 = ASCII;
                p += 3;
                continue;
            }
            if (seq == "(I") {
                g0 = KANA;
                p += 3;
                continue;
            }
        }
        if (b == 0x0E) {
            shiftOut = true;
            ++p;
            continue;
        }
        if (b == 0x0F) {
            shiftOut = false;
            ++p;
            continue;
        }
        if (b == '\r' || b == '\n') {
            g0 = ASCII;
            shiftOut = false;
            out += static_cast<char>(b);
            ++p;
            continue;
        }
        bool kana = shiftOut || g0 == KANA;
        if (kana && Between(b, 0x21, 0x5F)) {
            out += static_cast<char>(b + 0x80);
            ++p;
            continue;
        }
        if (!kana && g0 == KANJI && Between(b, 0x21, 0x7E) && p + 1 < n && Between(at(p + 1), 0x21, 0x7E)) {
            AppendCell(&out, b - 0x20, at(p + 1) - 0x20);
            p += 2;
            continue;
        }
        out += static_cast<char>(b);
        ++p;
    }
    return out;
}
