// The program's walks and the portable store reader over the same files:
// the sample store and randomly damaged ones, deleted mail skipped and not.
// Both must hand on the same messages with the same marks, count the same,
// and fail at the same step with the box that step shows.
#include <gtest/gtest.h>

#include <windows.h>

#include "beside_program.h"
#include "fileio.h"
#include "files.h"
#include "mailbox.h"
#include "msgbox_recorder.h"
#include "msim_store.h"
#include "resource.h"
#include "state.h"
#include "store_builder.h"

namespace {

// A walk's outcome in one line: each message's size, mark and a hash of its
// bytes, the counters, the result and the boxes shown.
std::string Line;

void Hand(const char *bytes, size_t size, bool unread)
{
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < size; i++)
        hash = (hash ^ (unsigned char)bytes[i]) * 16777619u;
    Line += std::to_string(size) + (unread ? "u#" : "r#") + std::to_string(hash) + " ";
}

std::string Finish(int result, int messageNumber, int deletedCount, const std::string &boxes)
{
    std::string line = Line + "| result " + std::to_string(result) + ", number " + std::to_string(messageNumber) +
                       ", deleted " + std::to_string(deletedCount) + boxes;
    Line.clear();
    return line;
}

// Reads the message as the .eml export does, in pieces through ReadExact,
// so that a size past the end fails the way the output modes fail.
int Record(HANDLE mailbox, DWORD messageSize, int unread, HANDLE target)
{
    (void)target;
    std::string bytes;
    static char piece[COPY_BUFFER_SIZE];
    for (DWORD left = messageSize, count; left > 0; left -= count) {
        count = left < sizeof piece ? left : (DWORD)sizeof piece;
        if (!ReadExact(mailbox, piece, count, IDS_READ_SOURCE_FAILED))
            return 0;
        bytes.append(piece, count);
    }
    Hand(bytes.data(), bytes.size(), unread != 0);
    return 1;
}

std::string ProgramWalk(const std::string &folder, const std::string &name, bool skipDeleted)
{
    SetPathBuffer(SourceDir, folder);
    RunState = RunCounters();
    RunState.skipDeleted = skipDeleted;
    ClearRecordedBoxes();
    int result = 0;
    HANDLE mailbox = OpenMailbox(name.c_str());
    if (mailbox != INVALID_HANDLE_VALUE) {
        result = WalkMailbox(mailbox, ProbeIndex(name.c_str()), Record, NULL);
        CloseHandle(mailbox);
    }
    std::string boxes;
    for (const RecordedBox &box : RecordedBoxes())
        boxes += " | " + box.text;
    return Finish(result, RunState.messageNumber, RunState.deletedCount, boxes);
}

// The box the program shows for the step the reader failed at: files in
// memory fail only by ending early.
std::string BoxFor(const msim::Failure &failure)
{
    if (failure.kind == msim::FailureKind::kNotMailbox)
        return PlainText(IDS_NOT_A_MAILBOX);
    return SystemErrorText(failure.file == msim::FileRole::kIndex ? IDS_READ_INDEX_FAILED : IDS_READ_SOURCE_FAILED, 0);
}

std::string ReaderWalk(const std::string &mailboxBytes, const std::string *indexBytes, bool skipDeleted)
{
    msim::MemorySource mailbox(mailboxBytes);
    msim::MemorySource index(indexBytes ? indexBytes->data() : nullptr, indexBytes ? indexBytes->size() : 0);
    msim::MailboxWalk walk(mailbox, indexBytes ? &index : nullptr, skipDeleted);
    std::string boxes;
    if (walk.indexState() == msim::IndexState::kUnreadable)
        boxes += " | " + BoxFor(walk.indexWarning());
    msim::Message message;
    msim::MailboxWalk::Step step;
    while ((step = walk.Next(message)) == msim::MailboxWalk::kMessage) {
        std::string bytes(message.size, '\0');
        EXPECT_TRUE(walk.ReadMessage(message, 0, &bytes[0], bytes.size())) << walk.failure().Describe("Box.mbx");
        Hand(bytes.data(), bytes.size(), message.unread);
    }
    if (walk.failed())
        boxes += " | " + BoxFor(walk.failure());
    return Finish(step == msim::MailboxWalk::kEnd, (int)walk.messageNumber(), (int)walk.deletedCount(), boxes);
}

TEST(StoreDifferential, SampleStore)
{
    std::string folder = BesideProgram("e2e-sample\\Store\\Mail\\");
    std::map<std::string, std::string> files = FolderFiles(folder);
    ASSERT_LE(5u, files.size()) << folder;
    for (const auto &file : files) {
        const std::string &name = file.first;
        if (name.size() < 4 || name.substr(name.size() - 4) != ".mbx")
            continue;
        for (bool skipDeleted : {false, true}) {
            SCOPED_TRACE(name + (skipDeleted ? ", deleted mail skipped" : ", deleted mail included"));
            auto index = files.find(name.substr(0, name.size() - 3) + "idx");
            std::string program = ProgramWalk(folder, name, skipDeleted);
            EXPECT_NE(std::string::npos, program.find("| result 1")) << program;
            EXPECT_EQ(program, ReaderWalk(files[name], index == files.end() ? nullptr : &index->second, skipDeleted));
        }
    }
}

TEST(StoreDifferential, DamagedStores)
{
    ScratchDir root;
    int succeeded = 0, failed = 0;
    for (unsigned seed = 1; seed <= 400; seed++) {
        std::mt19937 random(seed);
        StoreFiles store = RandomStore(random);
        int kind = random() % (DAMAGE_KINDS + 1);  // DAMAGE_KINDS: left whole
        if (kind < DAMAGE_KINDS)
            DamageStore(random, store, kind);
        WriteBytes(root.path() + "Box.mbx", store.mailbox);
        if (store.indexed)
            WriteBytes(root.path() + "Box.idx", store.index);
        else
            DeleteFileA((root.path() + "Box.idx").c_str());
        for (bool skipDeleted : {false, true}) {
            SCOPED_TRACE("store seed " + std::to_string(seed) + ", damage " + std::to_string(kind) +
                         (store.indexed ? ", indexed" : "") + (skipDeleted ? ", deleted mail skipped" : ""));
            std::string program = ProgramWalk(root.path(), "Box.mbx", skipDeleted);
            EXPECT_EQ(program, ReaderWalk(store.mailbox, store.indexed ? &store.index : nullptr, skipDeleted));
            (program.find("| result 1") != std::string::npos ? succeeded : failed)++;
        }
        if (testing::Test::HasFailure())
            break;
    }
    // The generator reaches both ends of the walks.
    EXPECT_LT(100, succeeded);
    EXPECT_LT(100, failed);
}

}  // namespace
