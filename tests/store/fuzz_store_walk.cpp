// The store walker over a mailbox and an index cut from one input: it must
// end, hand on only messages inside the mailbox that read back as they stand
// there, count as it hands on, and say the same on a second walk.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_store_input.h"
#include "msim_store.h"

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
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

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return FuzzStoreTwice(data, size, WalkOnce);
}
