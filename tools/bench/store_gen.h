// The exporter benchmark's MS-IM stores, generated deterministically, so
// that its figures are about the same mail on every run and machine.
#ifndef VESTIBAR_BENCH_STORE_GEN_H
#define VESTIBAR_BENCH_STORE_GEN_H

#include <cstdint>
#include <string>

namespace storegen {

const uint32_t LargestMessage = 1024 * 1024;
const uint32_t SmallestMessage = 200;

struct StoreInfo {
    std::string dir;        // ends in a backslash
    uint64_t storeBytes;    // mailboxes and indexes
    uint64_t messageBytes;  // the messages alone
    uint32_t messages;
    uint32_t mailboxes;
    uint32_t indexed;
    uint32_t smallest;
    uint32_t largest;
};

// A store of `mib` MiB in six mailboxes (one without an index) in `dir`,
// which ends in the path separator and is empty; fills in `info` but its dir.
void WriteMixedStore(const std::string &dir, int mib, StoreInfo *info);

// One indexed mailbox "Inbox" of about `bytes`, its messages of `lo` to `hi`
// bytes, in `dir` as above.
void WriteUniformStore(const std::string &dir, uint32_t lo, uint32_t hi, uint64_t bytes, StoreInfo *info);

// The text that marks a finished store, and its reading (false for a store
// of another generator version or none).
std::string Describe(const StoreInfo &s);
bool ParseDescription(const std::string &text, StoreInfo *s);

// A generator that cannot write prints why and ends the process with code 3.
[[noreturn]] void Fail(const std::string &why);

}  // namespace storegen

#endif
