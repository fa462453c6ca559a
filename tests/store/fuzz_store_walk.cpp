// The store walker over a mailbox and an index cut from one input: it must
// end, hand on only messages that lie inside the mailbox and read back as
// they stand there, count as it hands on, and say the same on a second walk.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "msim_store.h"

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

// Counts above this are brought down to it: a count of 2^31 over a chain of
// records that leads back to itself is walked in full, as the files say,
// and would only make the fuzzer slow.
constexpr std::uint32_t kMostSteps = 4096;

void Tame(std::vector<unsigned char>& file)
{
    if (file.size() < msim::kCountEnd)
        return;
    std::uint32_t count = msim::LoadU32(&file[msim::kCountAt]);
    if (!msim::CountIsNone(count) && count > kMostSteps)
        for (std::size_t i = 0; i < 4; i++)
            file[msim::kCountAt + i] = static_cast<unsigned char>(kMostSteps >> (8 * i));
}

std::string WalkOnce(const std::vector<unsigned char>& mailboxBytes, const std::vector<unsigned char>* indexBytes,
                     bool skipDeleted)
{
    msim::MemorySource mailbox(mailboxBytes.data(), mailboxBytes.size());
    msim::MemorySource index(indexBytes ? indexBytes->data() : nullptr, indexBytes ? indexBytes->size() : 0);
    msim::MailboxWalk walk(mailbox, indexBytes ? &index : nullptr, skipDeleted);
    Require((walk.indexState() == msim::IndexState::kUnreadable) == static_cast<bool>(walk.indexWarning()));
    std::string trace = std::to_string(static_cast<int>(walk.indexState()));
    bool indexed = walk.walk() == msim::Walk::kIndexEntries;
    msim::Message message;
    std::uint32_t handed = 0;
    std::vector<unsigned char> bytes;
    while (walk.Next(message) == msim::MailboxWalk::kMessage) {
        handed++;
        Require(message.ordinal == walk.messageNumber() && handed <= message.ordinal);
        Require(message.slot < walk.steps() && walk.steps() <= walk.count());
        Require(message.dataOffset == std::uint64_t{message.recordOffset} + msim::kRecordHeadSize);
        Require(message.dataOffset + message.size <= mailboxBytes.size());
        Require(indexed || (message.unread && !message.deleted));
        Require(!(message.deleted && skipDeleted));
        bytes.resize(message.size);
        Require(walk.ReadMessage(message, 0, bytes.data(), bytes.size()));
        Require(message.size == 0 ||
                std::memcmp(bytes.data(), mailboxBytes.data() + message.dataOffset, message.size) == 0);
        trace += " " + std::to_string(message.recordOffset) + "+" + std::to_string(message.size);
    }
    Require(walk.deletedCount() <= walk.messageNumber());
    if (walk.failed()) {
        std::string text = walk.failure().Describe("Box.mbx");
        Require(text.rfind(walk.failure().file == msim::FileRole::kIndex ? "Box.idx: " : "Box.mbx: ", 0) == 0);
        trace += " " + text;
    }
    return trace;
}

}  // namespace

// Input: a flags byte (bit 0 skip deleted mail, bit 1 an index given), the
// mailbox's length in two bytes, the mailbox, then the index.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    bool skipDeleted = data[0] & 1;
    bool hasIndex = data[0] & 2;
    std::size_t split = std::min<std::size_t>(size - 3, data[1] | data[2] << 8);
    std::vector<unsigned char> mailbox(data + 3, data + 3 + split);
    std::vector<unsigned char> index(data + 3 + split, data + size);
    Tame(mailbox);
    Tame(index);
    std::string first = WalkOnce(mailbox, hasIndex ? &index : nullptr, skipDeleted);
    Require(first == WalkOnce(mailbox, hasIndex ? &index : nullptr, skipDeleted));
    return 0;
}
