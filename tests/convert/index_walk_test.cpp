// The indexed walk over indexes of many entries: the walk reads the index
// ahead in pieces, so entries that straddle the end of a piece, indexes cut
// anywhere (inside an entry's head, inside its record offset, right after
// the length of a skipped entry), lengths of 0 and lengths that wrap the
// position backwards must give what reading each field where it lies gives.
// Each case is checked against a model of the walk written from the file
// layout alone.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <random>

#include "mailbox.h"
#include "msgbox_recorder.h"
#include "resource.h"
#include "state.h"
#include "store_builder.h"

namespace {

struct Handed {
    std::string bytes;
    int unread;
};
std::vector<Handed> Walked;

int Record(HANDLE mailbox, DWORD messageSize, int unread, HANDLE target)
{
    (void)target;
    std::string bytes(messageSize, '\0');
    DWORD done = 0;
    ReadFile(mailbox, &bytes[0], messageSize, &done, NULL);
    Walked.push_back({bytes.substr(0, done), unread});
    return 1;
}

struct Entry {
    unsigned char flags;
    uint32_t length;  // entryLength as stored
    uint32_t record;  // which message its recordOffset names
};

struct Expected {
    int result;
    std::vector<Handed> handed;
    int messageNumber;
    int deletedCount;
    bool shortIndex;  // failed with message 54, code 0
};

// What the walk must do, field by field, over `index` (possibly cut).
Expected Model(const std::string &index, const std::vector<std::string> &messages, const MailboxImage &image,
               bool skipDeleted)
{
    Expected e = {1, {}, 0, 0, false};
    uint32_t count = (uint32_t)(unsigned char)index[8] | (uint32_t)(unsigned char)index[9] << 8 |
                     (uint32_t)(unsigned char)index[10] << 16 | (uint32_t)(unsigned char)index[11] << 24;
    auto has = [&](uint32_t at, uint32_t size) { return (uint64_t)at + size <= index.size(); };
    auto u32 = [&](uint32_t at) {
        uint32_t v = 0;
        for (int i = 3; i >= 0; i--)
            v = v << 8 | (unsigned char)index[at + i];
        return v;
    };
    uint32_t position = INDEX_FIRST_ENTRY;
    for (uint32_t i = 0; i < count; i++) {
        uint32_t entry = position;
        if (!has(entry, 20)) {
            e.result = 0, e.shortIndex = true;
            return e;
        }
        unsigned char flags = (unsigned char)index[entry];
        position += u32(entry + ENTRY_LENGTH_FIELD);
        if ((flags & ENTRY_DELETED) && skipDeleted)
            continue;
        if (flags & ENTRY_DELETED)
            e.deletedCount++;
        e.messageNumber++;
        if (!has(entry + 20, 4)) {
            e.result = 0, e.shortIndex = true;
            return e;
        }
        uint32_t offset = u32(entry + RECORD_OFFSET_FIELD);
        size_t which = std::find(image.recordOffsets.begin(), image.recordOffsets.end(), offset) -
                       image.recordOffsets.begin();
        e.handed.push_back({messages.at(which), (flags & ENTRY_UNREAD) != 0});
    }
    return e;
}

// Entries one after another, each as long as it says.
std::string BuildEntries(const std::vector<Entry> &entries, const MailboxImage &image)
{
    std::string bytes = "JMF9" + std::string(76, '\x96');
    PutU32(bytes, COUNT_FIELD, (uint32_t)entries.size());
    for (const Entry &entry : entries) {
        size_t at = bytes.size();
        bytes += std::string(entry.length, '\x3c');
        bytes[at] = (char)(entry.flags | 0xf0);
        PutU32(bytes, at + ENTRY_LENGTH_FIELD, entry.length);
        PutU32(bytes, at + RECORD_OFFSET_FIELD, image.recordOffsets[entry.record]);
    }
    return bytes;
}

class IndexWalk : public testing::Test {
protected:
    void SetUp() override
    {
        ClearRecordedBoxes();
        SetPathBuffer(SourceDir, dir.path());
    }

    // Walks Inbox.mbx through `index` and compares with the model.
    void Check(const std::string &index, const std::vector<std::string> &messages, const MailboxImage &image,
               bool skipDeleted)
    {
        WriteBytes(dir.path() + "Inbox.idx", index);
        RunState = RunCounters();
        RunState.skipDeleted = skipDeleted;
        Walked.clear();
        ClearRecordedBoxes();
        HANDLE mailbox = OpenMailbox("Inbox.mbx");
        ASSERT_NE(INVALID_HANDLE_VALUE, mailbox);
        HANDLE probed = ProbeIndex("Inbox.mbx");
        ASSERT_NE(INVALID_HANDLE_VALUE, probed);
        int result = WalkIndexEntries(mailbox, probed, Record, NULL);
        CloseHandle(probed);
        CloseHandle(mailbox);

        Expected e = Model(index, messages, image, skipDeleted);
        EXPECT_EQ(e.result, result);
        EXPECT_EQ(e.messageNumber, RunState.messageNumber);
        EXPECT_EQ(e.deletedCount, RunState.deletedCount);
        ASSERT_EQ(e.handed.size(), Walked.size());
        for (size_t i = 0; i < Walked.size(); i++) {
            SCOPED_TRACE("message " + std::to_string(i));
            EXPECT_TRUE(e.handed[i].bytes == Walked[i].bytes) << "another message was handed on";
            EXPECT_EQ(e.handed[i].unread, Walked[i].unread);
        }
        ExpectErrorBoxes(e.shortIndex ? std::vector<std::string>{SystemErrorText(IDS_READ_INDEX_FAILED, 0)}
                                      : std::vector<std::string>{});
    }
    ScratchDir dir;
};

TEST_F(IndexWalk, ManyEntriesWholeAndCutAnywhere)
{
    std::mt19937 random(4096);
    std::vector<std::string> messages(40);
    for (size_t i = 0; i < messages.size(); i++)
        messages[i] = "Subject: " + std::to_string(i) + "\r\n\r\n" + std::string(random() % 300, (char)('a' + i % 26));
    MailboxImage image = BuildMailbox(messages);
    WriteBytes(dir.path() + "Inbox.mbx", image.bytes);

    // Some 600 entries of 24 to 90 bytes: an index of several pieces, with
    // entries across every piece's end.
    std::vector<Entry> entries;
    for (int i = 0; i < 600; i++)
        entries.push_back({(unsigned char)(random() % 4), (uint32_t)(24 + random() % 67),
                           (uint32_t)(random() % messages.size())});
    std::string index = BuildEntries(entries, image);
    ASSERT_GT(index.size(), 4u * 4096);

    for (bool skip : {false, true}) {
        SCOPED_TRACE(skip ? "deleted left out" : "deleted handed on");
        {
            SCOPED_TRACE("whole index");
            Check(index, messages, image, skip);
        }
        // Cut at every length over two stretches of a few entries, and at
        // random lengths elsewhere.
        std::vector<size_t> cuts;
        for (size_t at = 4096 - 100; at < 4096 + 100; at++)
            cuts.push_back(at);
        for (size_t at = index.size() - 150; at < index.size(); at++)
            cuts.push_back(at);
        for (int i = 0; i < 60; i++)
            cuts.push_back(INDEX_FIRST_ENTRY + random() % (index.size() - INDEX_FIRST_ENTRY));
        for (size_t cut : cuts) {
            SCOPED_TRACE("index cut to " + std::to_string(cut) + " bytes");
            Check(index.substr(0, cut), messages, image, skip);
            if (HasFailure())
                return;
        }
    }
}

TEST_F(IndexWalk, LengthsThatRepeatOrGoBack)
{
    std::vector<std::string> messages = {"Subject: a\r\n\r\nA\r\n", "Subject: b\r\n\r\nB\r\n",
                                         "Subject: c\r\n\r\nC\r\n"};
    MailboxImage image = BuildMailbox(messages);
    WriteBytes(dir.path() + "Inbox.mbx", image.bytes);
    struct Placed {
        uint32_t at;
        Entry entry;
    };
    struct Case {
        const char *name;
        std::vector<Placed> entries;
        uint32_t count;
    };
    const uint32_t back = 0u - 24u;  // added modulo 2^32: one entry back
    const Case cases[] = {
        {"length 0 repeats the entry", {{80, {2, 0, 1}}}, 3},
        {"back by one entry, twice round", {{80, {0, 24, 0}}, {104, {1, back, 2}}}, 4},
        // Past the end of a piece and back to the start: each read lies
        // outside the piece the one before it brought in.
        {"forward past a piece, then back", {{80, {0, 5000, 0}}, {5080, {2, 0u - 5000u, 2}}}, 5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string index = "JMF9" + std::string(76, '\x96');
        PutU32(index, COUNT_FIELD, c.count);
        for (const Placed &p : c.entries) {
            if (index.size() < (size_t)p.at + ENTRY_HEADER_SIZE)
                index.resize((size_t)p.at + ENTRY_HEADER_SIZE, '\x3c');
            index[p.at] = (char)(p.entry.flags | 0xf0);
            PutU32(index, p.at + ENTRY_LENGTH_FIELD, p.entry.length);
            PutU32(index, p.at + RECORD_OFFSET_FIELD, image.recordOffsets[p.entry.record]);
        }
        for (bool skip : {false, true}) {
            SCOPED_TRACE(skip ? "deleted left out" : "deleted handed on");
            Check(index, messages, image, skip);
        }
        Expected e = Model(index, messages, image, false);
        EXPECT_EQ((size_t)c.count, e.handed.size()) << "the case should hand on every entry it meets";
    }
}

}  // namespace
