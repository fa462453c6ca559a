// The converter against Debian's nkf as a black box (nkf -s -x -m0: Shift_JIS
// out, half-width kana kept, no MIME decoding) on generated mail in each
// input code, kept to what both read alike: JIS X 0208 rows 1-84 (nkf maps
// rows 89-92 to the IBM codes), half-width kana, shifts closed before their
// line end (nkf carries them over it), no JIS X 0212, and 8-bit bytes that
// settle their own reading.
#include <gtest/gtest.h>

#include <string>

#include "nkf_test_util.h"
#include "nkf_text_generator.h"
#include "nkfcore.h"

namespace {

TEST(NkfDifferential, GeneratedMailMatchesNkf) {
    ASSERT_TRUE(HaveProgram("nkf")) << "nkf is needed (Debian package nkf)";
    struct CodeCase {
        MailCode code;
        const char *name, *nkfGuess;  // what `nkf --guess` must say, so both read it alike
        NkfReading reading;
    };
    const CodeCase codes[] = {
        {MAIL_ISO2022JP, "ISO-2022-JP", "ISO-2022-JP", NKF_READING_SHIFT_JIS},
        {MAIL_EUCJP, "EUC-JP", "EUC-JP", NKF_READING_EUC_JP},
        {MAIL_SHIFTJIS, "Shift_JIS", "Shift_JIS", NKF_READING_SHIFT_JIS},
    };
    TestRandom random{19970407};
    for (const CodeCase& c : codes) {
        for (int k = 0; k < 8; ++k) {
            std::string mail = RandomMail(&random, c.code, 20 + 40 * k);
            SCOPED_TRACE(std::string(c.name) + " mail #" + std::to_string(k) + " of " + std::to_string(mail.size()) +
                         " bytes");
            int status = 0;
            std::string guess = RunFilter("nkf --guess", mail, &status);
            ASSERT_EQ(guess.substr(0, std::string(c.nkfGuess).size()), c.nkfGuess) << "nkf reads the text otherwise";
            if (c.code != MAIL_ISO2022JP) {
                for (const char* options : {"s", "Xs"}) {
                    EXPECT_EQ(NkfCoreDecideReading(mail.data(), mail.size(), NkfCoreParseOptions(options)), c.reading)
                        << "option " << options;
                }
            }
            std::string theirs = RunFilter("nkf -s -x -m0", mail, &status);
            ASSERT_EQ(status, 0);
            for (bool preferSjis : {false, true}) {
                std::string ours = CoreConvert(mail, preferSjis);
                // A failure shows the bytes around the first difference.
                std::size_t at = 0;
                while (at < ours.size() && at < theirs.size() && ours[at] == theirs[at]) ++at;
                std::size_t from = at < 16 ? 0 : at - 16;
                SCOPED_TRACE(std::string(preferSjis ? "option Xs" : "option s") + ": outputs agree up to byte " +
                             std::to_string(at));
                EXPECT_EQ(Hex(ours.substr(from, 48)), Hex(theirs.substr(from, 48))) << "ours, then nkf's";
                EXPECT_EQ(ours.size(), theirs.size());
            }
        }
    }
}

}  // namespace
