// The store walker over a mailbox and an index cut from one input: it must
// end, hand on only messages inside the mailbox that read back as they stand
// there, count as it hands on, and say the same on a second walk.
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

// A huge count over records that lead back to themselves is walked in full,
// as the files say; brought down, it only keeps the fuzzer fast.
void Tame(std::vector<unsigned char>& file)
{
    constexpr std::uint32_t kMostSteps = 4096;
    if (file.size() >= msim::kCountEnd && !msim::CountIsNone(msim::LoadU32(&file[msim::kCountAt])) &&
        msim::LoadU32(&file[msim::kCountAt]) > kMostSteps)
        std::memcpy(&file[msim::kCountAt], "\x00\x10\x00\x00", 4);
}

std::string WalkOnce(const std::vector<unsigned char>& mailboxBytes, const std::vector<unsigned char>* indexBytes,
                     bool skipDeleted)
{
    msim::MemorySource mailbox(mailboxBytes.data(), mailboxBytes.size());
    msim::MemorySource index(indexBytes ? indexBytes->data() : nullptr, indexBytes ? indexBytes->size() : 0);
    msim::MailboxWalk walk(mailbox, indexBytes ? &index : nullptr, skipDeleted);
    bool indexed = walk.walk() == msim::Walk::kIndexEntries;
    std::string trace = std::to_string(static_cast<int>(walk.indexState()));
    msim::Message message;
    std::vector<unsigned char> bytes;
    for (std::uint32_t handed = 1; walk.Next(message) == msim::MailboxWalk::kMessage; handed++) {
        Require(message.ordinal == walk.messageNumber() && handed <= message.ordinal);
        Require(message.slot < walk.steps() && walk.steps() <= walk.count());
        Require(message.dataOffset + message.size <= mailboxBytes.size());
        Require(indexed ? !(message.deleted && skipDeleted) : message.unread && !message.deleted);
        bytes.resize(message.size);
        Require(walk.ReadMessage(message, 0, bytes.data(), bytes.size()));
        Require(message.size == 0 || std::memcmp(bytes.data(), &mailboxBytes[message.dataOffset], message.size) == 0);
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
    std::size_t split = std::min<std::size_t>(size - 3, data[1] | data[2] << 8);
    std::vector<unsigned char> mailbox(data + 3, data + 3 + split), index(data + 3 + split, data + size);
    Tame(mailbox);
    Tame(index);
    const std::vector<unsigned char>* given = data[0] & 2 ? &index : nullptr;
    Require(WalkOnce(mailbox, given, data[0] & 1) == WalkOnce(mailbox, given, data[0] & 1));
    return 0;
}
