// The fast core against the plainly written reference model where the
// vector and word-at-a-time code meet the ends of their blocks: every kind
// of byte at every offset.  (The fuzzer compares the two on arbitrary text.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nkf_test_util.h"
#include "reference_converter.h"

namespace {

std::vector<std::string> BlockBoundaryTexts() {
    std::vector<std::string> texts;
    // Every split of runs of mixed pieces at every offset.
    const std::string pieces[] = {
        std::string(70, 'a'), "\xa4\xa2\xa4\xf3\xb0\xa1\x8e\xb1\xa4\xa2", "\x82\xa0\x82\xa0\xb1\x88\x9f\x82",
        "\x1b$B$3$s$3$s$3$s$3$s$3$s$3$s$3$s$3$s\x1b(B", "\r\n", "\x1b(I" "123\x0e" "45\x0f", "\xfa\x40\xed\xa1\xa4",
    };
    for (const std::string& a : pieces) {
        for (const std::string& b : pieces) {
            std::string base = a + b + a + b + a;
            for (std::size_t cut = 0; cut <= base.size(); ++cut)
                texts.push_back(std::string(cut % 67, 'x') + base.substr(0, cut) + b + base.substr(cut));
        }
    }
    // EUC-JP that Shift_JIS pairs up otherwise, around the 64-byte blocks of
    // the vector Shift_JIS check: a pair straddling a block end must keep its
    // alignment, or the check misses the byte Shift_JIS rejects.
    for (const char* tail : {"\xe0\xe0\xf0\xa1", "\xe0\xe0\xe0\xe0\xf0\xa1", "\xe0\xe0\xe0\xe0\xe0\xe0\xfe\xa1",
                             "\xa4\xa2\xe0\xe0\xf3\xa4", "\x82\xa0\x82\xa0\xfd\x40"}) {
        for (std::size_t prefix = 0; prefix < 200; ++prefix) {
            for (std::size_t suffix : {0, 3, 70, 150})
                texts.push_back(std::string(prefix, 'a') + tail + std::string(suffix, 'b'));
        }
    }
    // EUC-JP goes in 16-byte blocks from its first 8-bit byte on: a lead at
    // every place of a block, then its trail or what makes it a lone lead.
    for (const char* follower : {"\xa2", "a", "\r\n", "\x8e\xb1", "\x8f\xa1\xa1", "\xff", "\x1b$B$3\x1b(B"}) {
        for (std::size_t gap = 0; gap < 40; ++gap)
            texts.push_back("\xa4\xa2" + std::string(gap, 'b') + "\xb0" + follower + std::string(20, 'c'));
    }
    // ISO-2022-JP goes in 16-byte blocks too: a run of JIS X 0208 pairs from
    // every place of a block, ended in each way a run can end.
    for (const char* ending : {"\x1b(Bab", "\x1b(J", "\x1b$@$3", "$", "$\r\n$3", "\r\n", " \x1b(Bx", "\x1b$A$3",
                               "\x1b(I12", "\x0e" "12", "\xa4\xa2", "\x1b(", "\x1b", "\x7f$3"}) {
        for (std::size_t gap = 0; gap < 40; ++gap) {
            for (std::size_t pairs : {1, 7, 8, 9}) {
                std::string text = std::string(gap, 'a') + "\x1b$B";
                for (std::size_t k = 0; k < pairs; ++k) text += "$3";
                texts.push_back(text + ending);
                texts.push_back(text + ending + std::string(20, 'c'));
            }
        }
    }
    return texts;
}

TEST(NkfCoreModel, MatchesReferenceAcrossBlockBoundaries) {
    int failures = 0;
    for (const std::string& text : BlockBoundaryTexts()) {
        for (bool preferSjis : {false, true}) {
            std::string got = CoreConvert(text, preferSjis), want = ReferenceConvert(text, preferSjis);
            if (got != want && ++failures <= 5) {
                EXPECT_EQ(Hex(got), Hex(want)) << (preferSjis ? "option Xs" : "option s") << ", input " << Hex(text);
            }
        }
    }
    EXPECT_EQ(failures, 0);
}

}  // namespace
