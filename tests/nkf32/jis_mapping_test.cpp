// The arithmetic JIS X 0208 to Shift_JIS mapping over all 94 x 94 cells,
// reached through EUC-JP and ISO-2022-JP input, in short and in long runs,
// against independent computations: Debian's nkf, glibc's iconv, and the
// reference model's row/cell formula.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nkf_test_util.h"
#include "reference_converter.h"

namespace {

constexpr int kCells = 94 * 94;  // cell i is row i / 94 + 1, cell i % 94 + 1

std::string Pair(int i, int offset) { return {static_cast<char>(offset + i / 94 + 1), static_cast<char>(offset + i % 94 + 1)}; }
std::string CellName(int i) { return "row " + std::to_string(i / 94 + 1) + " cell " + std::to_string(i % 94 + 1); }

std::vector<std::string> Lines(const std::string& text, std::size_t from = 0) {
    std::vector<std::string> lines;
    for (std::size_t end; (end = text.find('\n', from)) != std::string::npos; from = end + 1)
        lines.push_back(text.substr(from, end - from));
    return lines;
}

// One cell per line, or a whole row per line (long runs for the vector code,
// moved against its blocks by row % pad spaces).
struct Way {
    const char *name, *open, *close;
    int offset;  // 0xA0: EUC-JP, 0x20: ISO-2022-JP
    bool wholeRows;
    int pad;
};
const Way kWays[] = {
    {"EUC-JP lines", "", "", 0xA0, false, 1},
    {"ISO-2022-JP lines", "\x1b$B", "", 0x20, false, 1},  // the line end closes the shift
    {"EUC-JP rows", "", "", 0xA0, true, 7},
    {"ISO-2022-JP rows", "\x1b$B", "\x1b(B", 0x20, true, 5},
};

// The core's Shift_JIS for every cell.  EUC-JP text opens with "n" (0xA4
// 0xF3), which makes it plainly EUC-JP and no UTF-8; both texts leave the
// reading in no doubt, so one option does.
std::vector<std::string> CoreMapping(const Way& way) {
    const bool euc = way.offset == 0xA0;
    std::string text = euc ? "\xa4\xf3\n" : "";
    for (int i = 0; i < kCells; ++i) {
        if (!way.wholeRows || i % 94 == 0) text += std::string((i / 94 + 1) % way.pad, ' ') + way.open;
        text += Pair(i, way.offset);
        if (!way.wholeRows || i % 94 == 93) text += std::string(way.close) + "\n";
    }
    std::vector<std::string> cells;
    for (const std::string& line : Lines(CoreConvert(text, false), euc ? 3 : 0)) {
        for (std::size_t k = (cells.size() / 94 + 1) % way.pad; k < line.size(); k += 2) cells.push_back(line.substr(k, 2));
    }
    return cells;
}

TEST(JisMapping, EveryCellTheSameWhicheverWayIn) {
    for (const Way& way : kWays) {
        SCOPED_TRACE(way.name);
        std::vector<std::string> sjis = CoreMapping(way);
        ASSERT_EQ(sjis.size(), std::size_t{kCells});
        for (int i = 0, failures = 0; i < kCells && failures < 10; ++i) {
            std::string want = ReferenceSjisOfCell(i / 94 + 1, i % 94 + 1);
            if (sjis[i] != want && ++failures) EXPECT_EQ(Hex(sjis[i]), Hex(want)) << CellName(i);
        }
    }
}

// Forward conversions by other programs, each over the cells it maps the
// same way: nkf (-E, EUC-JP in) maps rows 89-92 to the IBM codes 0xFA-0xFC
// instead of by arithmetic; iconv only knows the cells JIS X 0208 defines.
TEST(JisMapping, OtherConvertersAgreeCellByCell) {
    struct Oracle {
        const char *program, *command;
        int skipRowsFrom, skipRowsTo;  // rows mapped otherwise
        int atLeast;                   // cells the program must convert at all
    };
    const Oracle oracles[] = {
        {"nkf", "nkf -E -s -x -m0", 89, 92, 94 * 90},
        {"iconv", "iconv -c -f EUC-JP -t SHIFT_JIS", 0, -1, 6879},
    };
    const std::vector<std::string> core = CoreMapping(kWays[0]);
    ASSERT_EQ(core.size(), std::size_t{kCells});
    std::string input;
    for (int i = 0; i < kCells; ++i) input += Pair(i, 0xA0) + "\n";
    for (const Oracle& oracle : oracles) {
        SCOPED_TRACE(oracle.command);
        ASSERT_TRUE(HaveProgram(oracle.program)) << oracle.program << " is needed";
        int status = 0;
        std::vector<std::string> theirs = Lines(RunFilter(oracle.command, input, &status));
        ASSERT_EQ(theirs.size(), std::size_t{kCells});
        int compared = 0;
        for (int i = 0, failures = 0; i < kCells && failures < 10; ++i) {
            int row = i / 94 + 1;
            if ((row >= oracle.skipRowsFrom && row <= oracle.skipRowsTo) || theirs[i].empty()) continue;
            ++compared;
            if (theirs[i] != core[i] && ++failures) EXPECT_EQ(Hex(core[i]), Hex(theirs[i])) << CellName(i);
        }
        EXPECT_GE(compared, oracle.atLeast);
    }
}

}  // namespace
