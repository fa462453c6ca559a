// The program's walks and the portable store reader over the same files: the sample store, randomly damaged ones, and
// indexes the walk reads ahead in pieces, cut anywhere, with lengths that repeat or wrap backwards.  Both must hand on
// the same messages with the same marks, count the same, and fail at the same step with the box that step shows.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

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

// A walk's outcome in one line: each message's size, mark and a hash of its bytes, the counters, the result and the
// boxes shown.
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

// Reads the message as the .eml export does, in pieces through ReadExact, so that a size past the end fails the way the
// output modes fail.
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

// The box the program shows for the step the reader failed at: files in memory fail only by ending early.
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

// Box.mbx and Box.idx (none when `index` is null) in `folder`, both walks compared with deleted mail included and
// skipped: the program's two lines.
std::vector<std::string> Compare(const std::string &folder, const std::string &mailbox, const std::string *index)
{
    WriteBytes(folder + "Box.mbx", mailbox);
    DeleteFileA((folder + "Box.idx").c_str());
    if (index)
        WriteBytes(folder + "Box.idx", *index);
    std::vector<std::string> lines;
    for (bool skipDeleted : {false, true}) {
        SCOPED_TRACE(skipDeleted ? "deleted mail skipped" : "deleted mail included");
        lines.push_back(ProgramWalk(folder, "Box.mbx", skipDeleted));
        EXPECT_EQ(lines.back(), ReaderWalk(mailbox, index, skipDeleted));
    }
    return lines;
}

// An entry at `at`, the index grown to hold `room` bytes from there.
void PutEntry(std::string &index, size_t at, size_t room, unsigned char flags, uint32_t length, uint32_t record)
{
    index.resize(std::max(index.size(), at + room), '\x3c');
    index[at] = (char)(flags | 0xf0);
    PutU32(index, at + ENTRY_LENGTH_FIELD, length);
    PutU32(index, at + RECORD_OFFSET_FIELD, record);
}

std::string WithCount(std::string bytes, uint32_t count)
{
    PutU32(bytes, COUNT_FIELD, count);
    return bytes;
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
        SCOPED_TRACE("store seed " + std::to_string(seed) + ", damage " + std::to_string(kind) +
                     (store.indexed ? ", indexed" : ""));
        for (const std::string &program : Compare(root.path(), store.mailbox, store.indexed ? &store.index : nullptr))
            (program.find("| result 1") != std::string::npos ? succeeded : failed)++;
        if (testing::Test::HasFailure())
            break;
    }
    // The generator reaches both ends of the walks.
    EXPECT_LT(100, succeeded);
    EXPECT_LT(100, failed);
}

TEST(StoreDifferential, FieldsAtTheirEdges)
{
    const MailboxImage three = BuildMailbox(
        {"Subject: one\r\n\r\nbody\r\n", "Subject: two\n\nbare LF\n", std::string("X: \x82\xa0\x00\xff\r\n\r\n", 11)});
    const std::string &box = three.bytes;
    const std::vector<uint32_t> &at = three.recordOffsets;
    std::string zeroLength = box;
    PutU32(zeroLength, at[0] + RECORD_LENGTH_FIELD, 0);
    const std::string lastDeleted = BuildIndex({{0, at[0]}, {ENTRY_DELETED, 0}});
    struct Case { const char *name; std::string mailbox; bool indexed; std::string index; };
    const Case cases[] = {
        {"records", box, false, ""},
        {"index picks and orders; messageCount unread", WithCount(box, 0), true,
         BuildIndex({{0, at[2]}, {ENTRY_UNREAD, at[0]}})},
        {"deleted entries", box, true, BuildIndex({{ENTRY_DELETED, at[0]}, {0, at[1]}, {ENTRY_DELETED | ENTRY_UNREAD, at[2]}})},
        {"last entry deleted, cut before its recordOffset", box, true, lastDeleted.substr(0, lastDeleted.size() - 9)},
        {"empty index", box, true, ""},
        {"index shorter than its magic", box, true, "JMF"},
        {"index magic JMF8", box, true, "JMF8" + BuildIndex({{0, at[1]}}).substr(4)},
        {"index magic jmf9", box, true, "jmf9" + BuildIndex({{0, at[1]}}).substr(4)},
        {"index cut in its header", box, true, "JMF9\x96\x96\x96\x96\x01"},
        {"mailbox magic JMF5", "JMF5" + box.substr(4), false, ""},
        {"mailbox magic jmf6, indexed", "jmf6" + box.substr(4), true, BuildIndex({{0, at[0]}})},
        {"mailbox of three bytes", "JMF", false, ""},
        {"mailbox cut before messageCount", box.substr(0, 10), false, ""},
        {"messageCount 0", WithCount(box, 0), false, ""},
        {"messageCount with top bit", WithCount(box, 0x80000003), false, ""},
        {"entryCount -1", box, true, WithCount(BuildIndex({{0, at[0]}}), 0xffffffff)},
        {"messageCount beyond the records", WithCount(box, 70000), false, ""},
        {"entryCount beyond the entries", box, true, WithCount(BuildIndex({{0, at[1]}}), 9)},
        {"recordLength 0 repeats the record", zeroLength, false, ""},
        {"recordOffset past the end", box, true, BuildIndex({{0, at[0]}, {0, (uint32_t)box.size() + 100}})},
        {"recordOffset of 2 GiB and more", box, true, BuildIndex({{0, at[1]}, {0, 0xfffffff0}})},
    };
    ScratchDir dir;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Compare(dir.path(), c.mailbox, c.indexed ? &c.index : nullptr);
    }
}

TEST(StoreDifferential, IndexOfManyEntriesWholeAndCutAnywhere)
{
    std::mt19937 random(4096);
    std::vector<std::string> messages(40);
    for (size_t i = 0; i < messages.size(); i++)
        messages[i] = "Subject: " + std::to_string(i) + "\r\n\r\n" + std::string(random() % 300, (char)('a' + i % 26));
    const MailboxImage image = BuildMailbox(messages);
    // 600 entries of 24 to 90 bytes, any flags: an index of several pieces, with entries across every piece's end.
    std::string index = WithCount(BuildIndex({}), 600);
    for (int i = 0; i < 600; i++) {
        uint32_t length = 24 + random() % 67;
        PutEntry(index, index.size(), length, (unsigned char)(random() % 4), length,
                 image.recordOffsets[random() % messages.size()]);
    }
    ASSERT_GT(index.size(), 4u * 4096);
    // Whole, cut at every length over two stretches, and at random lengths.
    std::vector<size_t> cuts = {index.size()};
    for (size_t at = 4096 - 100; at < 4096 + 100; at++)
        cuts.push_back(at);
    for (size_t at = index.size() - 150; at < index.size(); at++)
        cuts.push_back(at);
    for (int i = 0; i < 60; i++)
        cuts.push_back(INDEX_FIRST_ENTRY + random() % (index.size() - INDEX_FIRST_ENTRY));
    ScratchDir dir;
    for (size_t cut : cuts) {
        SCOPED_TRACE("index cut to " + std::to_string(cut) + " of " + std::to_string(index.size()) + " bytes");
        const std::string part = index.substr(0, cut);
        std::vector<std::string> lines = Compare(dir.path(), image.bytes, &part);
        EXPECT_TRUE(cut != index.size() || lines[0].find("| result 1") != std::string::npos) << lines[0];
        if (testing::Test::HasFailure())
            return;
    }
}

TEST(StoreDifferential, EntryLengthsThatRepeatOrGoBack)
{
    const MailboxImage image = BuildMailbox({"Subject: a\r\n\r\nA\r\n", "Subject: b\r\n\r\nB\r\n", "Subject: c\r\n\r\nC\r\n"});
    struct Placed { uint32_t at; unsigned char flags; uint32_t length, record; };
    struct Case { const char *name; std::vector<Placed> entries; uint32_t count; };
    const uint32_t back = 0u - 24u;  // added modulo 2^32: one entry back
    const Case cases[] = {
        {"length 0 repeats the entry", {{80, 2, 0, 1}}, 3},
        {"back by one entry, twice round", {{80, 0, 24, 0}, {104, 1, back, 2}}, 4},
        // Past the end of a piece and back to the start: each read lies outside the piece the one before it brought in.
        {"forward past a piece, then back", {{80, 0, 5000, 0}, {5080, 2, 0u - 5000u, 2}}, 5},
    };
    ScratchDir dir;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string index = WithCount(BuildIndex({}), c.count);
        for (const Placed &p : c.entries)
            PutEntry(index, p.at, ENTRY_HEADER_SIZE, p.flags, p.length, image.recordOffsets[p.record]);
        // With deleted mail included, every entry met is handed on.
        const std::string included = Compare(dir.path(), image.bytes, &index)[0];
        EXPECT_EQ((long)c.count, (long)std::count(included.begin(), included.end(), '#')) << included;
    }
}

}  // namespace
