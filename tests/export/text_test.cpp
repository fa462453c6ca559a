// The exporter's text helpers on the shapes old mail and Japanese Windows
// file names come in.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "maildate.h"
#include "names.h"

namespace {

constexpr std::int64_t kMay5 = 862795200;  // 1997-05-05 01:20:00 UTC

std::string Show(const std::optional<std::int64_t>& v) { return v ? std::to_string(*v) : "none"; }
std::string Show(const std::optional<std::string>& v) { return v ? "\"" + *v + "\"" : "none"; }

TEST(ParseMailDate, FormsOfOldMail)
{
    struct Case {
        const char* text;
        std::optional<std::int64_t> expected;
    };
    const Case cases[] = {
        {"  mon,  05  MAY  1997\r\n 10:20:00\t+0900  ", kMay5},       // folding, case
        {"Mon, 5 May 97 10:20:00 JST", kMay5},                          // two-digit year, JST
        {"Mon, 5 May 097 01:20:00 GMT", kMay5},                         // three-digit year
        {"Mon (Monday), 5 (fifth) May 1997 10:20:00 +0900 (JST (Tokyo))", kMay5},
        {"Mon, 5 May 1997 10:20:00 +0900 JST", kMay5},
        {"Mon, 5 May 1997 01:20:00 x", kMay5},                          // military letter: -0000
        {"Mon, 5 May 1997 01:20:00 XYZ", kMay5},                        // unknown name: -0000
        {"Mon, 5 May 1997 01:20:00 WET", kMay5},
        {"Mon, 5 May 1997 01:20:00 CHADT", kMay5},                      // five letters: still a name
        {"Mon, 5 May 1997 01:20:00", kMay5},                            // no zone
        {"5-May-97 10:20:00 +09:00", kMay5},
        {"1 Jan 50 00:00 UT", -631152000},                              // 50 is 1950
        {"31 Dec 1969 23:59:60 +0000", 0},                              // leap second
        {"5 May 1997 10:59:59 +0959", kMay5 - 1141},                    // last minute, of a zone too
        {"5 May 1997 10:60 +0900", std::nullopt},
        {"5 May 1997 10:20 +0960", std::nullopt},
        {"0 May 1997 10:20 +0900", std::nullopt},
        {"5 May 1997 100:20 +0900", std::nullopt},
        {"5 May 1997 10:2:00 +0900", std::nullopt},                     // one-digit minute
        {"5 May 1997 10:20 +", std::nullopt},
        {"5 May 1997 10:20 +9:00", std::nullopt},
        {"5 May 1997 10:20 +09-00", std::nullopt},
        {"30 Feb 1997 10:00 +0900", std::nullopt},
        {"29 Feb 1900 10:00 +0900", std::nullopt},
        {"5 May 1997 25:00 +0900", std::nullopt},
        {"5 May 1997 10:20 J", std::nullopt},
        {"5 May 1997 10:20 +0900 (JST", std::nullopt},                  // open comment
        {"5 May 1997 10:20 +0900 trailing words", std::nullopt},
        {"5 May 1997", std::nullopt},
        {"5 May 1899 10:20 +0000", std::nullopt},
        {"Mon, 5 May 1997 10:20:00 +0900\x80", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::optional<std::int64_t> actual = ParseMailDate(c.text);
        EXPECT_EQ(Show(c.expected), Show(actual)) << "input: " << c.text;
    }
}

TEST(FindHeader, FirstFieldOfTheHeaderBlock)
{
    struct Case {
        const char* message;
        const char* name;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"From: a\r\nDate: x\r\n\r\nDate: body\r\n", "date", "x"},
        {"Subject: one\r\n two\r\n\tthree\r\n\r\n", "Subject", "one two\tthree"},
        {"Subject: one\n two\n\nx", "subject", "one two"},
        {"X-Date: no\r\nDated: no\r\n\r\n", "Date", std::nullopt},
        {"To: a\r\n\r\nDate: in the body\r\n", "Date", std::nullopt},
        {"\r\nDate: body only\r\n", "Date", std::nullopt},
        {"\nDate: body only\n", "Date", std::nullopt},
        {"Date \t", "Date", std::nullopt},  // blanks up to the end, no colon
        {"Date:\r\n\r\n", "Date", ""},
        {"Date: last line without end", "Date", "last line without end"},
        {"Date: a\r\n", "", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        // In a buffer of its exact size: the sanitizer reports a read before or past it.
        const std::vector<char> exact(c.message, c.message + std::strlen(c.message));
        EXPECT_EQ(Show(c.expected), Show(FindHeader({exact.data(), exact.size()}, c.name))) << "field " << c.name;
    }
}

TEST(FromAddress, FirstMailbox)
{
    struct Case {
        const char* value;
        const char* expected;
    };
    const Case cases[] = {
        {"taro@example.jp", "taro@example.jp"},
        {"Yamada Taro <taro@example.jp>", "taro@example.jp"},
        {"\"Yamada, Taro\" <taro@example.jp>", "taro@example.jp"},
        {"\"a\\\" <b@c.jp>\" <taro@example.jp>", "taro@example.jp"},  // quoted pair
        {"taro@example.jp (Yamada (Taro))", "taro@example.jp"},
        {"< taro @ example.jp (x) >", "taro@example.jp"},
        {"<@relay.jp:taro@example.jp>", "taro@example.jp"},
        {"a@b.jp, c@d.jp", "a@b.jp"},
        {"Team: a@b.jp, c@d.jp;", "a@b.jp"},
        {"Taro taro@example.jp", "taro@example.jp"},
        {"root", "root"},
        {"<>", ""},
        {"Yamada Taro", ""},
        // Raw ISO-2022-JP name whose kanji bytes hold '(' ';' '<' ':' and '"'.
        {"\x1b$B(;<:\"\x1b(B <taro@example.jp>", "taro@example.jp"},
        // Shift_JIS name with 0x5C and '(' as trail bytes, in a quoted string.
        {"\"\x95\x5c\x81\x28\" <taro@example.jp>", "taro@example.jp"},
        {"\xbb\xb3\xc5\xc4 <taro@example.jp>", "taro@example.jp"},              // EUC-JP
        // EUC-JP name whose last byte would lead a Shift_JIS pair with the '\\' of a quoted pair.
        {"\"\xa4\xe8\\\"(\" <taro@example.jp>", "taro@example.jp"},
        // UTF-8 of three bytes before a quoted pair: the bytes go one by one.
        {"\"\xe6\x97\xa5\\\"(\" <taro@example.jp>", "taro@example.jp"},
        {"<\xe5\xb1\xb1@example.jp>", ""},
        {"<taro@example.jp> \xe6\x97", "taro@example.jp"},  // UTF-8 cut at the end of the value
        {"\"\xe5\xb1\xb1\\\"\" <taro@example.jp>", "taro@example.jp"},  // UTF-8, then a quoted pair
        // Shift_JIS: lead bytes of each end of their ranges before a 0x5C trail; a half-width
        // kana before a quoted pair; a trail byte 0xFC, then a lead byte before no trail byte.
        {"\"\x81\\\" \"\x9f\\\" \"\xe0\\\" \"\xfc\\\" <taro@example.jp>", "taro@example.jp"},
        {"\"\xb1\\\"\" <taro@example.jp>", "taro@example.jp"},
        {"\"\x81\xfc\\\"\" \x95<taro@example.jp>", "taro@example.jp"},
        {"\x1b(I(\x1b(B <taro@example.jp>", "taro@example.jp"},            // a half-width kana '('
        {"\x1b$B\x1b(B <taro@example.jp>", "taro@example.jp"},           // an empty kanji run
        {"<taro@example.jp> \x1b$", "taro@example.jp"},                   // cut inside an escape
        {"<taro@example.jp> \x95", "taro@example.jp"},                    // cut inside a character
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        // In a buffer of its exact size: the sanitizer reports a read past it.
        const std::vector<char> exact(c.value, c.value + std::strlen(c.value));
        EXPECT_EQ(std::string(c.expected), FromAddress({exact.data(), exact.size()})) << "From: " << c.value;
    }
}

TEST(MailboxNameToUtf8, Cp932AndEscapes)
{
    struct Case {
        std::string raw;
        std::string expected;
    };
    const Case cases[] = {
        {"\xe5\x8f\x97\xe4\xbf\xa1", "\xe5\x8f\x97\xe4\xbf\xa1"},                          // UTF-8 kept
        {"\x82\xa0\xff", "あ%FF"},                                                     // no such byte
        {"\x82\x20x", "%82 x"},                                                        // lead without trail
        {"\xed\xa0\x80", "恝%80"},  // a UTF-8 surrogate is no UTF-8
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.raw);
        EXPECT_EQ(c.expected, MailboxNameToUtf8(c.raw)) << "raw: " << c.raw;
    }
}

TEST(ImapModifiedUtf7, Rfc3501)
{
    struct Case {
        const char* utf8;
        const char* expected;
    };
    const Case cases[] = {
        {"~peter/mail/台北/日本語", "~peter/mail/&U,BTFw-/&ZeVnLIqe-"},
        {"Tom & Jerry", "Tom &- Jerry"},
        {"a\tb", "a&AAk-b"},
        {"😀", "&2D3eAA-"},
        {"\xff", "&,,0-"},  // not UTF-8: U+FFFD
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(std::string(c.expected), ImapModifiedUtf7(c.utf8)) << "name: " << c.utf8;
    }
}

TEST(SafeFileName, NothingEscapesOrHides)
{
    struct Case {
        std::string utf8;
        NameUse use;
        std::string expected;
    };
    const Case cases[] = {
        {"../x", NameUse::kFile, "%2E.%2Fx"},
        {"..", NameUse::kFile, "%2E."},
        {".", NameUse::kFile, "%2E"},
        {"a/b\\c", NameUse::kFile, "a%2Fb%5Cc"},
        {std::string("a\0b\x1f\x7f", 5), NameUse::kFile, "a%00b%1F%7F"},
        {"a\xc2\x85", NameUse::kFile, "a%C2%85"},  // C1 control
        {"a\xff", NameUse::kFile, "a%FF"},
        {"", NameUse::kFile, "%00"},
        {"Mail.old", NameUse::kFile, "Mail.old"},
        {"Mail.old", NameUse::kMaildirFolder, "Mail%2Eold"},
        {".hidden", NameUse::kMaildirFolder, "%2Ehidden"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(c.expected, SafeFileName(c.utf8, c.use)) << "maildir: " << (c.use == NameUse::kMaildirFolder);
    }
}

}  // namespace
