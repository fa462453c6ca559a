// The arithmetic JIS X 0208 to Shift_JIS mapping over all 94 x 94 cells,
// reached through EUC-JP and ISO-2022-JP input, in short and in long runs,
// against independent computations: Debian's nkf, glibc's iconv, and the
// reference model's row/cell formula.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nkf_test_util.h"
#include "nkfcore.h"
#include "reference_converter.h"

namespace {

struct Cell {
    int row;
    int cell;
};

std::vector<Cell> AllCells() {
    std::vector<Cell> cells;
    for (int row = 1; row <= 94; ++row) {
        for (int cell = 1; cell <= 94; ++cell) cells.push_back(Cell{row, cell});
    }
    return cells;
}

std::string EucOf(const Cell& c) { return std::string() + static_cast<char>(0xA0 + c.row) + static_cast<char>(0xA0 + c.cell); }
std::string JisOf(const Cell& c) { return std::string() + static_cast<char>(0x20 + c.row) + static_cast<char>(0x20 + c.cell); }

std::vector<std::string> SplitLines(const std::string& s) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\n') {
            lines.push_back(s.substr(start, i - start));
            start = i + 1;
        }
    }
    return lines;
}

std::string CellName(const Cell& c) { return "row " + std::to_string(c.row) + " cell " + std::to_string(c.cell); }

// The core's Shift_JIS for every cell, through each way in.  Each list holds
// one string per cell.
struct CoreMappings {
    const char* name;
    std::vector<std::string> sjis;
};

std::vector<CoreMappings> ConvertAllCells() {
    const std::vector<Cell> cells = AllCells();
    std::vector<CoreMappings> ways;

    // One cell per line.  The leading EUC-JP "n" (0xA4 0xF3) makes the text
    // plainly EUC-JP and no UTF-8.
    std::string eucLines = "\xa4\xf3\n";
    std::string jisLines;
    for (const Cell& c : cells) {
        eucLines += EucOf(c) + "\n";
        jisLines += "\x1b$B" + JisOf(c) + "\n";  // the line end closes the shift
    }
    // Both texts leave the reading in no doubt, so one option does.
    for (bool euc : {true, false}) {
        std::vector<std::string> lines = SplitLines(CoreConvert(euc ? eucLines : jisLines, false));
        if (euc && !lines.empty()) lines.erase(lines.begin());
        ways.push_back(CoreMappings{euc ? "EUC-JP lines" : "ISO-2022-JP lines", lines});
    }

    // A whole row per line: long runs for the vector code.
    std::string eucRows = "\xa4\xf3\n";
    std::string jisRows;
    for (int row = 1; row <= 94; ++row) {
        eucRows += std::string(row % 7, ' ');  // shift the runs against the blocks
        jisRows += std::string(row % 5, ' ') + "\x1b$B";
        for (int cell = 1; cell <= 94; ++cell) {
            eucRows += EucOf(Cell{row, cell});
            jisRows += JisOf(Cell{row, cell});
        }
        eucRows += "\n";
        jisRows += "\x1b(B\n";
    }
    for (int way = 0; way < 2; ++way) {
        std::string out = CoreConvert(way == 0 ? eucRows : jisRows, false);
        std::vector<std::string> rowLines = SplitLines(out);
        if (way == 0 && !rowLines.empty()) rowLines.erase(rowLines.begin());
        std::vector<std::string> perCell;
        for (std::size_t r = 0; r < rowLines.size(); ++r) {
            std::string line = rowLines[r].substr(way == 0 ? (r + 1) % 7 : (r + 1) % 5);
            for (std::size_t k = 0; k < line.size(); k += 2) perCell.push_back(line.substr(k, 2));
        }
        ways.push_back(CoreMappings{way == 0 ? "EUC-JP rows" : "ISO-2022-JP rows", perCell});
    }
    return ways;
}

TEST(JisMapping, EveryCellTheSameWhicheverWayIn) {
    const std::vector<Cell> cells = AllCells();
    for (const CoreMappings& way : ConvertAllCells()) {
        SCOPED_TRACE(way.name);
        ASSERT_EQ(way.sjis.size(), cells.size());
        int failures = 0;
        for (std::size_t i = 0; i < cells.size() && failures < 10; ++i) {
            std::string want = ReferenceSjisOfCell(cells[i].row, cells[i].cell);
            if (way.sjis[i] != want) {
                ++failures;
                EXPECT_EQ(Hex(way.sjis[i]), Hex(want)) << CellName(cells[i]);
            }
        }
    }
}

// Forward conversions by other programs, each over the cells it maps the
// same way: nkf (-E, EUC-JP in) maps rows 89-92 to the IBM codes 0xFA-0xFC
// instead of by arithmetic; iconv only knows the cells JIS X 0208 defines.
TEST(JisMapping, OtherConvertersAgreeCellByCell) {
    struct Oracle {
        const char* program;
        const char* command;
        int skipRowsFrom;  // rows skipRowsFrom..skipRowsTo are mapped otherwise
        int skipRowsTo;
        std::size_t atLeast;  // cells the program must convert at all
    };
    const Oracle oracles[] = {
        {"nkf", "nkf -E -s -x -m0", 89, 92, 94 * 90},
        {"iconv", "iconv -c -f EUC-JP -t SHIFT_JIS", 0, -1, 6879},
    };
    const std::vector<Cell> cells = AllCells();
    const std::vector<std::string> core = ConvertAllCells()[0].sjis;
    ASSERT_EQ(core.size(), cells.size());
    std::string input;
    for (const Cell& c : cells) input += EucOf(c) + "\n";
    for (const Oracle& oracle : oracles) {
        SCOPED_TRACE(oracle.command);
        ASSERT_TRUE(HaveProgram(oracle.program)) << oracle.program << " is needed";
        int status = 0;
        std::vector<std::string> theirs = SplitLines(RunFilter(oracle.command, input, &status));
        ASSERT_EQ(theirs.size(), cells.size());
        std::size_t compared = 0;
        int failures = 0;
        for (std::size_t i = 0; i < cells.size() && failures < 10; ++i) {
            if (cells[i].row >= oracle.skipRowsFrom && cells[i].row <= oracle.skipRowsTo) continue;
            if (theirs[i].empty()) continue;  // a cell the program does not know
            ++compared;
            if (theirs[i] != core[i]) {
                ++failures;
                EXPECT_EQ(Hex(core[i]), Hex(theirs[i])) << CellName(cells[i]);
            }
        }
        EXPECT_GE(compared, oracle.atLeast);
    }
}

}  // namespace
