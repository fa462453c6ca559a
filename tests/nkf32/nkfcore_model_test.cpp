// The fast core against the plainly written reference model where the fast
// code has its edges: every kind of byte at every offset of its blocks, with
// both options (the fuzzer compares the two on random input).  Differences
// show the first text that differs, in hex, with both outputs.
#include <gtest/gtest.h>

#include <string>

#include "nkf_test_util.h"
#include "nkfcore.h"
#include "reference_converter.h"

namespace {

// The core against the model on one text under both options; a difference
// counts in *failures and shows `context` and the input.
void CompareWithReference(const std::string& text, const std::string& context, int* failures) {
    for (bool preferSjis : {false, true}) {
        std::string got = CoreConvert(text, preferSjis);
        std::string want = ReferenceConvert(text, preferSjis);
        if (got != want) {
            ++*failures;
            SCOPED_TRACE(std::string(preferSjis ? "option Xs" : "option s") + context + ", input " + Hex(text));
            EXPECT_EQ(Hex(got), Hex(want));
        }
    }
}

// Every split of a long text at every offset, so that each vector block
// boundary meets every kind of byte.
TEST(NkfCoreModel, EveryOffsetOfMixedRuns) {
    const std::string pieces[] = {
        std::string(70, 'a'),
        "\xa4\xa2\xa4\xf3\xb0\xa1\x8e\xb1\xa4\xa2",
        "\x82\xa0\x82\xa0\xb1\x88\x9f\x82",
        "\x1b$B$3$s$3$s$3$s$3$s$3$s$3$s$3$s$3$s\x1b(B",
        "\r\n",
        "\x1b(I" "123\x0e" "45\x0f",
        "\xfa\x40\xed\xa1\xa4",
    };
    int failures = 0;
    for (const std::string& a : pieces) {
        for (const std::string& b : pieces) {
            std::string base = a + b + a + b + a;
            for (std::size_t cut = 0; cut <= base.size() && failures < 5; ++cut) {
                std::string text = std::string(cut % 67, 'x') + base.substr(0, cut) + b + base.substr(cut);
                CompareWithReference(text, "", &failures);
            }
        }
    }
    EXPECT_EQ(failures, 0);
}

// EUC-JP text whose bytes Shift_JIS pairs up otherwise, placed at every
// offset around the 64-byte blocks of the vector Shift_JIS check: a pair
// that straddles a block end must keep its alignment into the next block,
// or the check misses the byte that Shift_JIS rejects (0xF0 here) and takes
// the text for Shift_JIS.
TEST(NkfCoreModel, AlignmentAcrossBlockBoundaries) {
    const std::string tails[] = {
        "\xe0\xe0\xf0\xa1",
        "\xe0\xe0\xe0\xe0\xf0\xa1",
        "\xe0\xe0\xe0\xe0\xe0\xe0\xfe\xa1",
        "\xa4\xa2\xe0\xe0\xf3\xa4",
        "\x82\xa0\x82\xa0\xfd\x40",
    };
    int failures = 0;
    for (const std::string& tail : tails) {
        for (std::size_t prefix = 0; prefix < 200 && failures < 5; ++prefix) {
            for (std::size_t suffix : {0, 3, 70, 150}) {
                std::string text = std::string(prefix, 'a') + tail + std::string(suffix, 'b');
                CompareWithReference(text, ", prefix " + std::to_string(prefix) + ", suffix " + std::to_string(suffix),
                                     &failures);
            }
        }
    }
    EXPECT_EQ(failures, 0);
}

// EUC-JP text goes in 16-byte blocks from its first 8-bit byte on.  A lead
// at every distance from there, followed by its trail or by what makes it a
// lone lead, meets each place of a block, the last one included, where the
// trail is the next block's first byte.
TEST(NkfCoreModel, EucLeadAtEveryPlaceOfABlock) {
    const std::string followers[] = {"\xa2", "a", "\r\n", "\x8e\xb1", "\x8f\xa1\xa1", "\xff", "\x1b$B$3\x1b(B"};
    int failures = 0;
    for (const std::string& follower : followers) {
        for (std::size_t gap = 0; gap < 40 && failures < 5; ++gap) {
            std::string text = "\xa4\xa2" + std::string(gap, 'b') + "\xb0" + follower + std::string(20, 'c');
            CompareWithReference(text, "", &failures);
        }
    }
    EXPECT_EQ(failures, 0);
}

// ISO-2022-JP text goes in 16-byte blocks too, escapes and all.  A run of
// JIS X 0208 pairs that starts at every place of a block and ends in each
// way a run can end: an escape back or to JIS X 0208 again, half a pair, a
// line end, a byte outside 0x21-0x7E, an escape of another kind, a shift,
// an escape cut off by the end of the text.
TEST(NkfCoreModel, JisRunAtEveryPlaceOfABlock) {
    const std::string endings[] = {"\x1b(Bab",   "\x1b(J", "\x1b$@$3", "$",        "$\r\n$3", "\r\n",
                                   " \x1b(Bx", "\x1b$A$3", "\x1b(I12", "\x0e" "12", "\xa4\xa2", "\x1b(",
                                   "\x1b",      "\x7f$3"};
    int failures = 0;
    for (const std::string& ending : endings) {
        for (std::size_t gap = 0; gap < 40 && failures < 5; ++gap) {
            for (std::size_t pairs : {1, 7, 8, 9}) {
                std::string run;
                for (std::size_t k = 0; k < pairs; ++k) run += "$3";
                std::string text = std::string(gap, 'a') + "\x1b$B" + run + ending;
                CompareWithReference(text, "", &failures);
                CompareWithReference(text + std::string(20, 'c'), "", &failures);
            }
        }
    }
    EXPECT_EQ(failures, 0);
}

}  // namespace
