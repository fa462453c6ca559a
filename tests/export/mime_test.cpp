// The readable layer on the shapes of mail the store test does not hold:
// folding, words beside words, address syntax, nested and broken multipart
// bodies, the ambiguous reading.  Every expected output here was read back
// by Python's email (policy default) as the input means.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "readable.h"
#include "words.h"

namespace {

TEST(Readable, Messages)
{
    struct Case {
        const char* name;
        bool preferEuc;
        std::string message, readable;
    } cases[] = {
        {"long subject folded, address list with a group", false,
         std::string("Subject: \x1b""$BD9$$7oL>D9$$7oL>D9$$7oL>D9$$7oL>D9$$7oL>D9$$7oL>D9$$7oL>D9$$7oL>D9$$7oL>D9$$7oL>D9$$7oL>D9$$7oL>\x1b""(B end\n"
         "From: \x1b""$B;3ED\x1b""(B <a@b.jp>, \"Sato\" <s@b.jp>, group: \x1b""$BEDCf\x1b""(B <t@b.jp>;\n"
         "\n"
         "x\n", 191),
         std::string("Subject: =?UTF-8?B?6ZW344GE5Lu25ZCN6ZW344GE5Lu25ZCN6ZW344GE5Lu25ZCN6ZW3?=\n"
         " =?UTF-8?B?44GE5Lu25ZCN6ZW344GE5Lu25ZCN6ZW344GE5Lu25ZCN6ZW344GE5Lu25ZCN?=\n"
         " =?UTF-8?B?6ZW344GE5Lu25ZCN6ZW344GE5Lu25ZCN6ZW344GE5Lu25ZCN6ZW344GE5Lu2?=\n"
         " =?UTF-8?B?5ZCN6ZW344GE5Lu25ZCN?= end\n"
         "From: =?UTF-8?B?5bGx55Sw?= <a@b.jp>, \"Sato\" <s@b.jp>, group:\n"
         " =?UTF-8?B?55Sw5Lit?= <t@b.jp>;\n"
         "\n"
         "x\n", 356)},
        {"words kept, decoded, joined; blanks beside kept words are text", false,
         std::string("Subject: Re: =?iso-8859-1?Q?caf=E9?= \x1b""$BF|K\\\x1b""(B =?ISO-2022-JP?B?GyRCRnwbKEI=?= =?ISO-2022-JP?B?GyRCS1wbKEI=?= \x8f""I =?iso-8859-1?Q?caf=E9?=\n"
         "\n", 138),
         std::string("Subject: Re: =?iso-8859-1?Q?caf=E9?= =?UTF-8?B?IOaXpeacrCDml6XmnKwg57WC?=\n"
         " =?UTF-8?B?IA==?= =?iso-8859-1?Q?caf=E9?=\n"
         "\n", 117)},
        {"a character split between two words; raw text after ASCII words", false,
         std::string("Subject: =?ISO-2022-JP?B?GyRCRnw=?= =?ISO-2022-JP?B?S1wbKEI=?=\n"
         "Comments: plain words and \x1b""$B0l8l\x1b""(B\n"
         "\n", 101),
         std::string("Subject: =?UTF-8?B?5pel5pys?=\n"
         "Comments: plain words and =?UTF-8?B?5LiA6Kqe?=\n"
         "\n", 78)},
        {"comments and quoted names; addresses kept, Japanese ones too; a list of one name", false,
         std::string("To: a@b.jp (\x1b""$B;3ED\x1b""(B \x1b""$BB@O:\x1b""(B), \"\x8d""\xb2""\x93""\xa1""\" <s@b.jp>,\x0d""\n"
         " undisclosed:;\x0d""\n"
         "Cc: \"Plain Name\" <p@b.jp> (a comment)\x0d""\n"
         "Reply-To: (\x1b""$BEDCf\x1b""(B) <a@b.jp>, Taro =?ISO-2022-JP?B?GyRCOzNFRBsoQg==?= <t@b.jp>,\x0d""\n"
         " \x1b""$BEDCf\x1b""(B: \x1b""$B;3ED\x1b""(B@\x1b""$BNc\x1b""(B.jp;, \x1b""$B;3ED\x1b""(B<u@b.jp>, c@d.jp\x0d""\n"
         "Bcc: \x1b""$B;3ED\x1b""(B\x0d""\n"
         "\x0d""\n", 278),
         std::string("To: a@b.jp (=?UTF-8?B?5bGx55SwIOWkqumDjg==?=), =?UTF-8?B?5L2Q6Jek?= <s@b.jp>,\n"
         " undisclosed:;\n"
         "Cc: \"Plain Name\" <p@b.jp> (a comment)\n"
         "Reply-To: (=?UTF-8?B?55Sw5Lit?=) <a@b.jp>, =?UTF-8?B?VGFybyDlsbHnlLA=?=\n"
         " <t@b.jp>, =?UTF-8?B?55Sw5Lit?= : \xe5""\xb1""\xb1""\xe7""\x94""\xb0""@\xe4""\xbe""\x8b"".jp;, =?UTF-8?B?5bGx55Sw?=\n"
         " <u@b.jp>, c@d.jp\n"
         "Bcc: =?UTF-8?B?5bGx55Sw?=\n"
         "\n", 319)},
        {"a quoted name the field cuts off after a quoted-pair keeps its backslash", false,
         std::string("From: \"\x1b""$B;3ED\x1b""(B\\\"\n\nx\n", 23),
         std::string("From: =?UTF-8?B?5bGx55SwXA==?=\n\nx\n", 34)},
        {"nested multipart, message/rfc822, signed, binary and other charsets kept", false,
         std::string("Content-Type: multipart/mixed; boundary=a\n"
         "\n"
         "--a\n"
         "Content-Type: multipart/alternative; boundary=b\n"
         "\n"
         "--b\n"
         "Content-Type: TEXT/PLAIN; CHARSET=iso-2022-jp\n"
         "\n"
         "\x1b""$BFbB&\x1b""(B\n"
         "--b--\n"
         "--a\n"
         "Content-Type: message/rfc822\n"
         "\n"
         "Subject: \x1b""$BE>Aw\x1b""(B\n"
         "\n"
         "\x1b""$BK\\J8\x1b""(B\n"
         "--a\n"
         "Content-Type: multipart/signed; boundary=s\n"
         "\n"
         "--s\n"
         "\n"
         "\x1b""$B=pL>\x1b""(B\n"
         "--s--\n"
         "--a\n"
         "Content-Type: application/octet-stream; name=\"\x8e""\x91""\x97""\xbf"".doc\"\n"
         "Content-Transfer-Encoding: binary\n"
         "\n"
         "\x0d""\n"
         "\x00""\xff""\x0d""\n"
         "--a\n"
         "Content-Type: text/plain; charset=iso-8859-1\n"
         "\n"
         "caf\xe9""\n", 456),
         std::string("Content-Type: multipart/mixed; boundary=a\n"
         "\n"
         "--a\n"
         "Content-Type: multipart/alternative; boundary=b\n"
         "\n"
         "--b\n"
         "Content-Type: TEXT/PLAIN; charset=UTF-8\n"
         "Content-Transfer-Encoding: 8bit\n"
         "\n"
         "\xe5""\x86""\x85""\xe5""\x81""\xb4""\n"
         "--b--\n"
         "--a\n"
         "Content-Type: message/rfc822\n"
         "\n"
         "Subject: =?UTF-8?B?6Lui6YCB?=\n"
         "MIME-Version: 1.0\n"
         "Content-Type: text/plain; charset=UTF-8\n"
         "Content-Transfer-Encoding: 8bit\n"
         "\n"
         "\xe6""\x9c""\xac""\xe6""\x96""\x87""\n"
         "--a\n"
         "Content-Type: multipart/signed; boundary=s\n"
         "\n"
         "--s\n"
         "\n"
         "\x1b""$B=pL>\x1b""(B\n"
         "--s--\n"
         "--a\n"
         "Content-Type: application/octet-stream; name*=UTF-8''%E8%B3%87%E6%96%99.doc\n"
         "Content-Transfer-Encoding: binary\n"
         "\n"
         "\x0d""\n"
         "\x00""\xff""\n"
         "--a\n"
         "Content-Type: text/plain; charset=iso-8859-1\n"
         "\n"
         "caf\xe9""\n", 593)},
        {"base64 kept but for its line ends; no close delimiter; an empty part", false,
         std::string("MIME-Version: 1.0\x0d""\n"
         "Content-Type: multipart/mixed; boundary=\"x y\"\x0d""\n"
         "\x0d""\n"
         "pre\x0d""\n"
         "--x y\x0d""\n"
         "--x y\x0d""\n"
         "Content-Type: text/plain; charset=ISO-2022-JP\x0d""\n"
         "Content-Transfer-Encoding: base64\x0d""\n"
         "\x0d""\n"
         "GyRCRnwbKEI=\x0d""\n"
         "--x yz\x0d""\n"
         "--x y  \x0d""\n"
         "\x0d""\n"
         "\x94""\xbc""\x8a""p\xb6""\xc5""\x0d""\n", 212),
         std::string("MIME-Version: 1.0\n"
         "Content-Type: multipart/mixed; boundary=\"x y\"\n"
         "\n"
         "pre\n"
         "--x y\n"
         "\n"
         "--x y\n"
         "Content-Type: text/plain; charset=ISO-2022-JP\n"
         "Content-Transfer-Encoding: base64\n"
         "\n"
         "GyRCRnwbKEI=\n"
         "--x yz\n"
         "--x y  \n"
         "Content-Type: text/plain; charset=UTF-8\n"
         "Content-Transfer-Encoding: 8bit\n"
         "\n"
         "\xe5""\x8d""\x8a""\xe8""\xa7""\x92""\xef""\xbd""\xb6""\xef""\xbe""\x85""\n", 277)},
        {"headers only, without a line end", false,
         std::string("Subject: \x1b""$B7oL>\x1b""(B", 19),
         std::string("Subject: =?UTF-8?B?5Lu25ZCN?=\n"
         "\n", 31)},
        {"unlabelled, ambiguous: half-width kana by default", false,
         std::string("Subject: a\n"
         "\n"
         "\xcb""\xdc""\xca""\xb8""\n", 17),
         std::string("Subject: a\n"
         "MIME-Version: 1.0\n"
         "Content-Type: text/plain; charset=UTF-8\n"
         "Content-Transfer-Encoding: 8bit\n"
         "\n"
         "\xef""\xbe""\x8b""\xef""\xbe""\x9c""\xef""\xbe""\x8a""\xef""\xbd""\xb8""\n", 115)},
        {"unlabelled, ambiguous: EUC-JP with --prefer-euc", true,
         std::string("Subject: a\n"
         "\n"
         "\xcb""\xdc""\xca""\xb8""\n", 17),
         std::string("Subject: a\n"
         "MIME-Version: 1.0\n"
         "Content-Type: text/plain; charset=UTF-8\n"
         "Content-Transfer-Encoding: 8bit\n"
         "\n"
         "\xe6""\x9c""\xac""\xe6""\x96""\x87""\n", 109)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        vexport::mime::Readable readable(c.preferEuc);
        std::string out;
        readable.Transform(c.message, out);
        EXPECT_EQ(out, c.readable);
        EXPECT_EQ(readable.replaced(), 0u);
        // The same bytes on every run, with the buffer reused.
        std::string again = "left over";
        readable.Transform(c.message, again);
        EXPECT_EQ(again, out);
    }
}

// One encoded word at the start of a text: its length, its charset label and
// its bytes, or none for what is not one.
TEST(ReadEncodedWord, WordsAndNearWords)
{
    struct Case {
        std::string text;
        bool ok;
        std::size_t length;
        const char* charset;
        std::string bytes;
    } cases[] = {
        {"=?ISO-2022-JP?Q?=1B$B=30!F|=1b(B_abc=09=3d=?= rest", true, 45, "ISO-2022-JP",
         "\x1b$B0!F|\x1b(B abc\t=="},
        {"=?x?Q?=41?=", true, 11, "x", "A"},  // a "?=" before the end
        {"=?x?Q??=", true, 8, "x", ""},        // the shortest
        {"=?x?b?QUJD?=", true, 12, "x", "ABC"},
        {"x?x?Q?b?=", false, 0, "", ""},
        {"=xx?Q?b?=", false, 0, "", ""},
        {"=??Q?b?=", false, 0, "", ""},      // no charset
        {"=?x?QQb?=", false, 0, "", ""},
        {"=?x?X?b?=", false, 0, "", ""},     // no such encoding
        {"=?x?Q?b c?=", false, 0, "", ""},
        {"=?x?Q?b\tc?=", false, 0, "", ""},
        {"=?x?Q?b\rc?=", false, 0, "", ""},
        {"=?x?Q?\x80?=", false, 0, "", ""},
        {"=?iso-2022-jp?", false, 0, "", ""},  // cut after the charset
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        // In a buffer of its exact size: the sanitizer reports a read past it.
        const std::vector<char> exact(c.text.begin(), c.text.end());
        vexport::mime::EncodedWord word;
        bool ok = vexport::mime::ReadEncodedWord({exact.data(), exact.size()}, word);
        EXPECT_EQ(ok, c.ok);
        if (ok && c.ok) {
            EXPECT_EQ(word.length, c.length);
            EXPECT_EQ(word.charset, c.charset);
            EXPECT_EQ(word.bytes, c.bytes);
        }
    }
}

}  // namespace
