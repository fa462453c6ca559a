// The program's walks and the portable store reader over the same files:
// the sample store and randomly damaged ones, deleted mail skipped and not.
// Both must hand on the same messages with the same marks, count the same,
// and fail at the same step with the box that step shows.
#include <gtest/gtest.h>

#include <windows.h>

#include <sstream>

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

struct Handed {
    std::string bytes;
    bool unread;
    bool operator==(const Handed &other) const { return bytes == other.bytes && unread == other.unread; }
};

struct Outcome {
    int result = 0;
    std::vector<Handed> handed;
    int messageNumber = 0;
    int deletedCount = 0;
    std::vector<std::string> boxes;
    bool operator==(const Outcome &other) const
    {
        return result == other.result && handed == other.handed && messageNumber == other.messageNumber &&
               deletedCount == other.deletedCount && boxes == other.boxes;
    }
};

std::string Show(const Outcome &outcome)
{
    std::ostringstream text;
    text << "result " << outcome.result << ", number " << outcome.messageNumber << ", deleted "
         << outcome.deletedCount << ", handed [";
    for (const Handed &handed : outcome.handed)
        text << " " << handed.bytes.size() << (handed.unread ? "u" : "r");
    text << " ], boxes [";
    for (const std::string &box : outcome.boxes)
        text << " \"" << box << "\"";
    text << " ]";
    return text.str();
}

std::vector<Handed> Recorded;

// Reads the message as the .eml export does, in pieces through ReadExact,
// so that a size past the end fails the way the output modes fail.
int Record(HANDLE mailbox, DWORD messageSize, int unread, HANDLE target)
{
    (void)target;
    std::string bytes;
    char piece[COPY_BUFFER_SIZE];
    for (DWORD left = messageSize; left > 0;) {
        DWORD count = left < sizeof piece ? left : (DWORD)sizeof piece;
        if (!ReadExact(mailbox, piece, count, IDS_READ_SOURCE_FAILED))
            return 0;
        bytes.append(piece, count);
        left -= count;
    }
    Recorded.push_back({bytes, unread != 0});
    return 1;
}

Outcome ProgramWalk(const std::string &folder, const std::string &name, bool skipDeleted)
{
    SetPathBuffer(SourceDir, folder);
    RunState = RunCounters();
    RunState.skipDeleted = skipDeleted;
    ClearRecordedBoxes();
    Recorded.clear();
    Outcome outcome;
    HANDLE mailbox = OpenMailbox(name.c_str());
    if (mailbox != INVALID_HANDLE_VALUE) {
        HANDLE index = ProbeIndex(name.c_str());
        outcome.result = WalkMailbox(mailbox, index, Record, NULL);
        CloseHandle(mailbox);
    }
    outcome.handed = Recorded;
    outcome.messageNumber = RunState.messageNumber;
    outcome.deletedCount = RunState.deletedCount;
    for (const RecordedBox &box : RecordedBoxes())
        outcome.boxes.push_back(box.text);
    return outcome;
}

// The box the program shows for the step the reader failed at: files in
// memory never fail but by ending early.
std::string BoxFor(const msim::Failure &failure)
{
    if (failure.kind == msim::FailureKind::kNotMailbox)
        return PlainText(IDS_NOT_A_MAILBOX);
    return SystemErrorText(failure.file == msim::FileRole::kIndex ? IDS_READ_INDEX_FAILED : IDS_READ_SOURCE_FAILED, 0);
}

Outcome ReaderWalk(const std::string &mailboxBytes, const std::string *indexBytes, bool skipDeleted)
{
    msim::MemorySource mailbox(mailboxBytes);
    msim::MemorySource index(indexBytes ? indexBytes->data() : nullptr, indexBytes ? indexBytes->size() : 0);
    msim::MailboxWalk walk(mailbox, indexBytes ? &index : nullptr, skipDeleted);
    Outcome outcome;
    if (walk.indexState() == msim::IndexState::kUnreadable)
        outcome.boxes.push_back(BoxFor(walk.indexWarning()));
    msim::Message message;
    msim::MailboxWalk::Step step;
    while ((step = walk.Next(message)) == msim::MailboxWalk::kMessage) {
        std::string bytes(message.size, '\0');
        EXPECT_TRUE(walk.ReadMessage(message, 0, &bytes[0], bytes.size())) << walk.failure().Describe("Box.mbx");
        EXPECT_EQ(walk.messageNumber(), message.ordinal);
        outcome.handed.push_back({bytes, message.unread});
    }
    outcome.result = step == msim::MailboxWalk::kEnd;
    if (walk.failed())
        outcome.boxes.push_back(BoxFor(walk.failure()));
    outcome.messageNumber = (int)walk.messageNumber();
    outcome.deletedCount = (int)walk.deletedCount();
    return outcome;
}

TEST(StoreDifferential, SampleStore)
{
    std::string folder = BesideProgram("e2e-sample\\Store\\Mail\\");
    std::vector<std::string> names;
    for (const auto &file : FolderFiles(folder))
        if (file.first.size() > 4 && file.first.substr(file.first.size() - 4) == ".mbx")
            names.push_back(file.first);
    ASSERT_LE(3u, names.size()) << folder;
    std::map<std::string, std::string> files = FolderFiles(folder);
    for (const std::string &name : names) {
        for (bool skipDeleted : {false, true}) {
            SCOPED_TRACE(name + (skipDeleted ? ", deleted mail skipped" : ", deleted mail included"));
            auto index = files.find(name.substr(0, name.size() - 3) + "idx");
            Outcome program = ProgramWalk(folder, name, skipDeleted);
            Outcome reader = ReaderWalk(files[name], index == files.end() ? nullptr : &index->second, skipDeleted);
            EXPECT_EQ(1, program.result) << Show(program);
            EXPECT_TRUE(program == reader) << "program: " << Show(program) << "\nreader:  " << Show(reader);
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
            Outcome program = ProgramWalk(root.path(), "Box.mbx", skipDeleted);
            Outcome reader = ReaderWalk(store.mailbox, store.indexed ? &store.index : nullptr, skipDeleted);
            EXPECT_TRUE(program == reader) << "program: " << Show(program) << "\nreader:  " << Show(reader);
            (program.result ? succeeded : failed)++;
        }
        if (testing::Test::HasFailure())
            break;
    }
    // The generator reaches both ends of the walks.
    EXPECT_LT(100, succeeded);
    EXPECT_LT(100, failed);
}

}  // namespace
