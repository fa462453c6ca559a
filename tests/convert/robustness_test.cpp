// Damaged stores: truncated files, random bytes in header and record or entry fields, counts far beyond what the files
// hold.  Each is exported into a fresh folder; the export must end, show exactly one box when it fails and none when it
// succeeds, write nothing but its own numbered files, hold nothing open and leave the sources as they were.
#include <gtest/gtest.h>

#include <algorithm>

#include "eml.h"
#include "mailbox.h"
#include "msgbox_recorder.h"
#include "state.h"
#include "store_builder.h"

namespace {

std::string Number(int number)
{
    char name[32];
    wsprintfA(name, "m%05d.eml", number);
    return name;
}

TEST(Robustness, DamagedStoresFailCleanly)
{
    std::mt19937 random(20261207);
    ScratchDir root;
    for (int n = 0; n < 1500; n++) {
        StoreFiles store = RandomStore(random);
        int kind = random() % DAMAGE_KINDS;
        DamageStore(random, store, kind);
        SCOPED_TRACE("case " + std::to_string(n) + ", damage " + std::to_string(kind));
        // The outputs go beside the sources: whatever else appears in the folder, or beside it, was written outside the
        // prefix.
        std::string folder = root.path() + std::to_string(n) + "\\";
        CreateDirectoryA(folder.c_str(), NULL);
        WriteBytes(folder + "Box.mbx", store.mailbox);
        std::vector<std::string> expected = {"Box.mbx"};
        if (store.indexed) {
            WriteBytes(folder + "Box.idx", store.index);
            expected.push_back("Box.idx");
        }
        SetPathBuffer(SourceDir, folder);
        SetPathBuffer(OutputBase, folder + "m");
        RunState = RunCounters();
        RunState.skipDeleted = random() % 2;
        ClearRecordedBoxes();

        int result = ExportMailboxAsEml("Box.mbx");

        // An index too short for its magic is reported, and the mailbox is then exported without it.
        size_t probeBoxes = store.indexed && store.index.size() < 4 ? 1 : 0;
        EXPECT_EQ(probeBoxes + (result ? 0 : 1), RecordedBoxes().size()) << "result " << result;
        // A message taken from the index may fail before its file is made.
        int written = RunState.messageNumber;
        std::vector<std::string> found = ListTree(folder);
        if (!result && store.indexed && found.size() == expected.size() + written - 1)
            written--;
        for (int i = 1; i <= written; i++)
            expected.push_back(Number(i));
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(expected, found);
        // Read without sharing: the sources are unchanged and nothing holds them, nor the last file written, open.
        std::string mailbox, index, last;
        EXPECT_TRUE(ReadBytes(folder + "Box.mbx", &mailbox, 0) && mailbox == store.mailbox);
        EXPECT_TRUE(!store.indexed || (ReadBytes(folder + "Box.idx", &index, 0) && index == store.index));
        EXPECT_TRUE(written == 0 || ReadBytes(folder + Number(written), &last, 0));
        for (const std::string &name : found)
            DeleteFileA((folder + name).c_str());
        RemoveDirectoryA(folder.c_str());
        if (testing::Test::HasFailure())
            break;
    }
    EXPECT_EQ(std::vector<std::string>(), ListTree(root.path()));
}

}  // namespace
