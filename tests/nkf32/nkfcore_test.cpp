// The converter core where nkf and iconv cannot judge it: the choice of
// reading, line ends, bytes that fit no reading, and the option string.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nkf_test_util.h"
#include "nkfcore.h"

namespace {

using namespace std::string_literals;

struct ConvertCase {
    const char* name;
    std::string input, expectedPreferEuc, expectedPreferSjis;  // options "s" and "Xs"
};

ConvertCase Same(const char* name, const std::string& input, const std::string& expected) {
    return ConvertCase{name, input, expected, expected};
}

void CheckCases(const std::vector<ConvertCase>& cases) {
    for (const ConvertCase& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ": input " + Hex(c.input));
        EXPECT_EQ(Hex(CoreConvert(c.input, false)), Hex(c.expectedPreferEuc)) << "option s";
        EXPECT_EQ(Hex(CoreConvert(c.input, true)), Hex(c.expectedPreferSjis)) << "option Xs";
    }
}

std::string Repeat(const std::string& s, int count) {
    std::string r;
    for (int i = 0; i < count; ++i) r += s;
    return r;
}

// Hiragana in the three codes: ko, n, ni, chi, ha, a, i.
const std::string kSjisKo = "\x82\xb1", kSjisN = "\x82\xf1", kSjisA = "\x82\xa0", kSjisI = "\x82\xa2";
const std::string kEucN = "\xa4\xf3", kEucA = "\xa4\xa2", kEucI = "\xa4\xa4";

// Each input code becomes Shift_JIS; text that both 8-bit readings allow
// goes by option X.
TEST(NkfCoreConversion, EachCodeBecomesShiftJis) {
    CheckCases({
        Same("ISO-2022-JP, ESC $ @", "\x1b$@$3$s\x1b(B!", kSjisKo + kSjisN + "!"),
        Same("ISO-2022-JP, ESC ( J keeps the bytes", "\x1b$B$3\x1b(J\\~", kSjisKo + "\\~"),
        Same("ISO-2022-JP, SO/SI half-width kana", "a\x0e" "12\x0f" "12", "a\xb1\xb2" "12"),
        Same("space inside the kana shift", "\x1b(I" "1 2", "\xb1 \xb2"),
        Same("space inside the kanji shift", "\x1b$B$3 $s\x1b(B", kSjisKo + " " + kSjisN),
        Same("EUC-JP SS3 becomes the geta mark", kEucN + "\x8f\xb0\xa1" + kEucN, kSjisN + "\x81\xac" + kSjisN),
        Same("ISO-2022-JP and EUC-JP in one text", "\x1b$B$3\x1b(B" + kEucN, kSjisKo + kSjisN),
        Same("MIME encoded word left alone", "Subject: =?ISO-2022-JP?B?GyRCJDMbKEI=?=\r\n",
             "Subject: =?ISO-2022-JP?B?GyRCJDMbKEI=?=\r\n"),
        Same("empty text", "", ""),
        {"EUC-JP kanji or two kana", "\xb0\xa1", "\x88\x9f", "\xb0\xa1"},
        {"EUC-JP hiragana or four kana", kEucA + kEucI, kSjisA + kSjisI, kEucA + kEucI},
        {"SS2 kana or a Shift_JIS pair", "\x8e\xb1", "\xb1", "\x8e\xb1"},
        {"SS3 or a Shift_JIS pair and a kana", "\x8f\xb0\xa1", "\x81\xac", "\x8f\xb0\xa1"},
        {"both reject the same byte", kEucA + "\x81", kSjisA + "\x81", kEucA + "\x81"},
        {"long ambiguous run", Repeat("\xb0\xa1", 30) + "\r\n", Repeat("\x88\x9f", 30) + "\r\n",
         Repeat("\xb0\xa1", 30) + "\r\n"},
    });
}

TEST(NkfCoreDecision, FirstByteOnlyOneReadingAllowsDecides) {
    struct ReadingCase {
        const char* name;
        std::string input;
        NkfReading preferEuc, preferSjis;
    };
    const NkfReading S = NKF_READING_SHIFT_JIS, E = NKF_READING_EUC_JP, U = NKF_READING_UTF8;
    const std::vector<ReadingCase> cases = {
        {"0xFF rejected by both, then Shift_JIS", "\xff " + kSjisA, S, S},
        {"0x80 rejected by both, then EUC-JP", "\x80 " + kEucN, E, E},
        {"EUC-JP lone byte at the end", "\xe0\xa1\xb0\xa1\xa1", S, S},
        {"ambiguous throughout", "\xb0\xa1", E, S},
        {"decided late for Shift_JIS", Repeat(kEucA, 30) + kSjisA, S, S},
        {"decided late for EUC-JP", Repeat(kEucA, 30) + kEucN, E, E},
        {"decided past a long ASCII stretch", std::string(300, 'a') + kSjisA, S, S},
        {"NEC row 13 in Shift_JIS", "\x87\x40", S, S},
        {"IBM extension in Shift_JIS", "\xfa\x40", S, S},
        {"EUC-JP row 89", "\xf9\xa1", E, E},
        {"UTF-8 four bytes", "\xf0\x9f\x98\x80", U, U},
        {"overlong form is no UTF-8", "\xc0\xaf", E, S},
        {"surrogate is no UTF-8", "\xed\xa0\x80", S, S},
        {"UTF-8 cut off is no UTF-8", "\xc3\xa9\xc3", S, S},
    };
    for (const ReadingCase& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ": input " + Hex(c.input));
        EXPECT_EQ(NkfCoreDecideReading(c.input.data(), c.input.size(), NkfCoreParseOptions("s")), c.preferEuc)
            << "option s";
        EXPECT_EQ(NkfCoreDecideReading(c.input.data(), c.input.size(), NkfCoreParseOptions("Xs")), c.preferSjis)
            << "option Xs";
    }
}

TEST(NkfCoreLineEnds, EndShiftStates) {
    CheckCases({
        Same("CR LF ends the kanji shift", "\x1b$B$3\r\n$3", kSjisKo + "\r\n$3"),
        Same("LF ends the kanji shift", "\x1b$B$3\n$3", kSjisKo + "\n$3"),
        Same("CR ends the kanji shift", "\x1b$B$3\r$3", kSjisKo + "\r$3"),
        Same("line end ends ESC ( I", "\x1b(I" "1\r\n1", "\xb1\r\n1"),
        Same("line end ends SO", "\x0e" "1\n1", "\xb1\n1"),
        Same("pair cut by a line end", "\x1b$B$\r\n3", "$\r\n3"),
        Same("lines of a missing ESC ( B", "\x1b$B$3$s\r\nabc\r\n", kSjisKo + kSjisN + "\r\nabc\r\n"),
    });
}

// Bytes that fit no reading, the Windows extensions in Shift_JIS and UTF-8
// are copied; escapes and shifts vanish.
TEST(NkfCoreKeptBytes, CopiedAsTheyAre) {
    CheckCases({
        Same("only escapes and shifts vanish", "\x1b$B\x1b(B\x1b(J\x1b(I\x1b$@\x0e\x0f\x0e\x0f", ""),
        Same("broken escape", "a\x1b$Zb", "a\x1b$Zb"),
        Same("escape cut off", "a\x1b$", "a\x1b$"),
        Same("lone ESC", "a\x1b", "a\x1b"),
        Same("unknown escape", "\x1b$(Da", "\x1b$(Da"),
        Same("lone JIS byte at the end", "\x1b$B$3$", kSjisKo + "$"),
        Same("DEL in the kanji shift", "\x1b$B\x7f$3", "\x7f" + kSjisKo),
        Same("non-kana bytes in the kana shift", "\x1b(I`~", "`~"),
        Same("EUC-JP pair with a 7-bit trail", kEucN + "\xa4" "A", kSjisN + "\xa4" "A"),
        Same("0x80, 0xA0 and 0xFF in EUC-JP text", kEucN + "\x80\xa0\xff", kSjisN + "\x80\xa0\xff"),
        Same("SS2 before a non-kana", kEucN + "\x8e\xe0", kSjisN + "\x8e\xe0"),
        Same("SS3 cut off", kEucN + "\x8f\xb0", kSjisN + "\x8f\xb0"),
        Same("Shift_JIS lone lead at the end", kSjisA + "\x82", kSjisA + "\x82"),
        Same("Shift_JIS lead before a space", kSjisA + "\x82 ", kSjisA + "\x82 "),
        Same("Shift_JIS user-defined area", kSjisA + "\xf0\x40", kSjisA + "\xf0\x40"),
        Same("NUL is an ordinary byte", "a\0\x1b$B$3"s, "a\0"s + kSjisKo),
        Same("invalid Shift_JIS in a long text",
             Repeat(kSjisA + "abc", 30) + "\xfd" + Repeat(kSjisA, 40), Repeat(kSjisA + "abc", 30) + "\xfd" + Repeat(kSjisA, 40)),
        Same("invalid EUC-JP in a long run", Repeat(kEucN, 12) + "\xa4\x20" + Repeat(kEucN, 12),
             Repeat(kSjisN, 12) + "\xa4\x20" + Repeat(kSjisN, 12)),
        Same("Shift_JIS NEC row 13", "\x87\x40\x87\x9c", "\x87\x40\x87\x9c"),
        Same("Shift_JIS NEC-selected 0xED, 0xEE", "\xed\x40\xee\xfc", "\xed\x40\xee\xfc"),
        Same("Shift_JIS IBM 0xFA-0xFC", "\xfa\x40\xfb\x9c\xfc\x4b", "\xfa\x40\xfb\x9c\xfc\x4b"),
        Same("UTF-8 Latin", "caf\xc3\xa9 au lait\r\n", "caf\xc3\xa9 au lait\r\n"),
        Same("UTF-8 Japanese", "\xe3\x81\x82\xe3\x81\x84", "\xe3\x81\x82\xe3\x81\x84"),
        Same("UTF-8 four bytes", "\xf0\x9f\x98\x80 smile", "\xf0\x9f\x98\x80 smile"),
        Same("long UTF-8 run", Repeat("\xc3\xa9\xc3\xbc", 40), Repeat("\xc3\xa9\xc3\xbc", 40)),
        Same("SS2 and a kana byte, read as EUC-JP", "\xce\x8e\xc3\xa9", "\xce\x8e\xc3\xa9"),
        Same("UTF-8 beside ISO-2022-JP", "\xc3\xa9\x1b$B$3\x1b(B", "\xc3\xa9" + kSjisKo),
    });
}

TEST(NkfCoreNullPointers, NoOutputOrAnEmptyText) {
    char out[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(NkfCoreConvert(nullptr, "abc", 3, NkfCoreParseOptions("s")), 0u);
    EXPECT_EQ(NkfCoreConvert(out, nullptr, 3, NkfCoreParseOptions("s")), 0u);
    EXPECT_EQ(out[0], '\0');
}

TEST(NkfCoreOptions, LettersSAndXOnly) {
    struct OptionCase {
        const char* options;
        bool shiftJisOutput, preferShiftJis;
    };
    const std::vector<OptionCase> cases = {
        {nullptr, false, false}, {"", false, false},    {"s", true, false},   {"Xs", true, true},
        {"sX", true, true},      {"x", false, false},   {"-X -s", true, true}, {"Sabc", false, false},
        {"eX", false, true},
    };
    for (const OptionCase& c : cases) {
        SCOPED_TRACE(std::string("options \"") + (c.options ? c.options : "(null)") + "\"");
        NkfOptions o = NkfCoreParseOptions(c.options);
        EXPECT_EQ(o.shiftJisOutput, c.shiftJisOutput);
        EXPECT_EQ(o.preferShiftJis, c.preferShiftJis);
    }
}

}  // namespace
