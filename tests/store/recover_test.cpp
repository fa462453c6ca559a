// The recovery scan over stores laid out as real ones are (record markers,
// numbers, 4-byte alignment) with the damage that old disks and backups
// show: every message the files still hold comes out exactly once, byte for
// byte, from the walk or the scan, and the scan invents nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "msim_recover.h"
#include "msim_store.h"

namespace {

std::string U32(std::uint32_t v)
{
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}
void Put(std::string& bytes, std::size_t at, std::uint32_t v) { bytes.replace(at, 4, U32(v)); }
std::string Marker() { return std::string(reinterpret_cast<const char*>(msim::kRecordMarker), 4); }

constexpr std::size_t kEntrySize = 48;
constexpr int kMessages = 8;
constexpr int kFalseHead = 3;  // the message that holds a record head of its own

struct Store {
    std::string mailbox, index;
    std::vector<std::string> messages;
    std::vector<std::uint32_t> records;  // offsets
    std::size_t entryAt(int i) const { return msim::kIndexHeaderSize + i * kEntrySize; }
};

// Eight messages of different lengths; entry flags: 2 and 6 deleted.
Store Build()
{
    Store store;
    std::uint32_t at = msim::kMailboxHeaderSize;
    for (int i = 0; i < kMessages; i++) {
        std::string body(40 + i * 37, static_cast<char>('a' + i));
        store.messages.push_back("Subject: message " + std::to_string(i) + "\r\n\r\n" + body);
        store.records.push_back(at);
        at += (16 + store.messages.back().size() + 3) / 4 * 4;
    }
    // A whole-looking head inside message 3, on a 4-byte boundary of the
    // file, that leads to the next record's start.
    std::uint32_t falseAt = store.records[kFalseHead] + 16 + 32;
    std::uint32_t falseLength = store.records[kFalseHead + 1] - falseAt;
    store.messages[kFalseHead].replace(32, 16, Marker() + U32(99) + U32(falseLength) + U32(falseLength - 20));

    store.mailbox = "JMF6" + U32(0x00010003) + U32(kMessages) + U32(kMessages) + U32(0) + std::string(64, '\0');
    store.index = "JMF9" + U32(0x00010003) + U32(kMessages) + U32(0) + std::string(64, '\0');
    for (int i = 0; i < kMessages; i++) {
        const std::string& message = store.messages[i];
        std::uint32_t length = (16 + message.size() + 3) / 4 * 4;
        store.mailbox += Marker() + U32(i + 1) + U32(length) + U32(message.size()) + message;
        store.mailbox.resize(store.records[i] + length, '\0');
        std::string entry(kEntrySize, '\0');
        entry[0] = static_cast<char>(i == 2 || i == 6 ? msim::kEntryDeleted : msim::kEntryUnread);
        Put(entry, msim::kEntryNumberAt, i + 1);
        Put(entry, msim::kEntryOwnOffsetAt, store.entryAt(i));
        Put(entry, msim::kEntryLengthAt, kEntrySize);
        Put(entry, msim::kRecordOffsetAt, store.records[i]);
        Put(entry, msim::kEntryRecordSizeAt, length);
        store.index += entry;
    }
    Put(store.mailbox, msim::kMailboxFileSizeAt, store.mailbox.size());
    Put(store.index, msim::kIndexFileSizeAt, store.index.size());
    return store;
}

// Takes entries out of the index, as MS-IM does long before it compacts.
void Forget(Store& s, std::vector<int> gone)
{
    std::sort(gone.rbegin(), gone.rend());
    for (int i : gone)
        s.index.erase(s.entryAt(i), kEntrySize);
    Put(s.index, msim::kCountAt, kMessages - gone.size());
}

struct Outcome {
    std::map<int, int> times;  // message -> how often it came out
    int recovered = 0, foreign = 0, unclaimed = 0, reached = 0;
    std::string ranges;
};

// The walk (with its index unless `sequential`), then the scan; messages
// are known by their bytes.
Outcome Recover(const Store& s, bool sequential, bool skipDeleted)
{
    msim::MemorySource mailbox(s.mailbox), index(s.index);
    msim::MailboxWalk walk(mailbox, sequential ? nullptr : &index, skipDeleted);
    msim::RecordScan scan(mailbox);
    Outcome out;
    auto count = [&](const std::string& bytes, bool recovered) {
        auto it = std::find(s.messages.begin(), s.messages.end(), bytes);
        if (it != s.messages.end())
            out.times[static_cast<int>(it - s.messages.begin())]++;
        else if (recovered)
            out.foreign++;
    };
    std::vector<std::uint32_t> seen;
    msim::Message message;
    while (walk.Next(message) == msim::MailboxWalk::kMessage) {
        scan.Reached(message);
        if (std::find(seen.begin(), seen.end(), message.recordOffset) != seen.end())
            continue;  // a record reached again is one message
        seen.push_back(message.recordOffset);
        std::string bytes(message.size, '\0');
        EXPECT_TRUE(walk.ReadMessage(message, 0, bytes.data(), bytes.size()));
        count(bytes, false);
    }
    if (skipDeleted)
        msim::PassOverDeleted(mailbox, sequential ? nullptr : &index, scan);
    EXPECT_TRUE(scan.Run()) << scan.failure().Describe("Inbox.mbx");
    for (const msim::Message& found : scan.recovered()) {
        std::string bytes(found.size, '\0');
        EXPECT_TRUE(scan.ReadMessage(found, 0, bytes.data(), bytes.size()));
        count(bytes, true);
    }
    out.recovered = static_cast<int>(scan.recovered().size());
    out.unclaimed = static_cast<int>(scan.unclaimed().size());
    out.reached = static_cast<int>(scan.reachedRecords());
    for (const msim::ByteRange& range : scan.unclaimed())
        out.ranges += " " + std::to_string(range.begin) + "-" + std::to_string(range.end);
    return out;
}

struct Case {
    const char* what;
    std::function<void(Store&)> damage;
    bool sequential, skipDeleted;
    std::vector<int> lost;  // messages the damaged files no longer hold whole
    int recovered;          // of them found by the scan
    int unclaimed;          // stretches of no message
};

TEST(RecordScan, EveryMessageTheFilesHoldComesOutOnce)
{
    const Store intact = Build();
    const std::uint32_t r4 = intact.records[4], r5 = intact.records[5];
    const Case cases[] = {
        {"intact, through the index", [](Store&) {}, false, false, {}, 0, 0},
        {"intact, record after record", [](Store&) {}, true, false, {}, 0, 0},
        {"the index forgets three records, one the message with a false head", [](Store& s) { Forget(s, {1, 3, 5}); },
         false, false, {}, 3, 0},
        {"record 4's lengths overwritten: the walk stops there",
         [&](Store& s) { s.mailbox.replace(r4 + 8, 8, U32(0x7FFFFFF0) + U32(0xFFFFFFF0)); }, true, false, {4}, 3, 1},
        {"the index cut inside entry 5", [](Store& s) { s.index.resize(s.entryAt(5) + 18); }, false, false, {}, 3, 0},
        {"zeros over record 4, record after record",
         [&](Store& s) { std::fill(s.mailbox.begin() + r4, s.mailbox.begin() + r5, '\0'); }, true, false, {4}, 3, 1},
        {"zeros over record 4, through the index",
         [&](Store& s) { std::fill(s.mailbox.begin() + r4, s.mailbox.begin() + r5, '\0'); }, false, false, {4}, 0, 1},
        {"a header counting five of eight records", [](Store& s) { Put(s.mailbox, msim::kCountAt, 5); }, true, false,
         {}, 3, 0},
        {"deleted mail left out is not recovered", [](Store& s) { Forget(s, {4}); }, false, true, {}, 1, 0},
        {"the marker of record 6 gone: 5 no longer ends at a record start, 6 and 5 lost",
         [&](Store& s) {
             Forget(s, {5, 6});
             s.mailbox[intact.records[6] + 1] = 'x';
         },
         false, false, {5, 6}, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Store store = Build();
        c.damage(store);
        Outcome out = Recover(store, c.sequential, c.skipDeleted);
        std::string times;
        for (int i = 0; i < kMessages; i++) {
            bool deleted = i == 2 || i == 6;
            bool lost = std::find(c.lost.begin(), c.lost.end(), i) != c.lost.end();
            int expected = lost || (deleted && c.skipDeleted) ? 0 : 1;
            EXPECT_EQ(expected, out.times[i]) << "message " << i << " came out so often";
        }
        EXPECT_EQ(0, out.foreign) << "recovered messages that the store never held";
        EXPECT_EQ(c.recovered, out.recovered);
        EXPECT_EQ(c.unclaimed, out.unclaimed) << "stretches:" << out.ranges;
    }
}

// A record the walk reaches without end is one record, and the stretch
// after it up to the next marker belongs to nobody.
TEST(RecordScan, RecordReachedAgainAndAgainCountsOnce)
{
    Store store = Build();
    Put(store.mailbox, store.records[1] + msim::kRecordLengthAt, 0);
    Put(store.mailbox, msim::kCountAt, 100000);
    Outcome out = Recover(store, true, false);
    EXPECT_EQ(2, out.reached);
    EXPECT_EQ(kMessages - 2, out.recovered);
    EXPECT_EQ(" " + std::to_string(store.records[1] + 16 + store.messages[1].size()) + "-" +
                  std::to_string(store.records[2]),
              out.ranges);
}

}  // namespace
