// The input of the store's fuzz targets: a flags byte (bit 0 skip deleted
// mail, bit 1 an index given), the mailbox's length in two bytes, the
// mailbox, then the index.
#ifndef VESTIBAR_FUZZ_STORE_INPUT_H
#define VESTIBAR_FUZZ_STORE_INPUT_H

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "msim_format.h"

struct FuzzStoreInput {
    std::vector<unsigned char> mailbox, index;
    bool skipDeleted = false;
    const std::vector<unsigned char>* given = nullptr;  // the index, or null

    // False for an input too short to hold the flags and the length.
    bool Parse(const std::uint8_t* data, std::size_t size)
    {
        if (size < 3)
            return false;
        std::size_t split = std::min<std::size_t>(size - 3, data[1] | data[2] << 8);
        mailbox.assign(data + 3, data + 3 + split);
        index.assign(data + 3 + split, data + size);
        Tame(mailbox);
        Tame(index);
        skipDeleted = data[0] & 1;
        given = data[0] & 2 ? &index : nullptr;
        return true;
    }

    // A huge count over records that lead back to themselves is walked in
    // full, as the files say; brought down, it only keeps the fuzzer fast.
    static void Tame(std::vector<unsigned char>& file)
    {
        constexpr std::uint32_t kMostSteps = 4096;
        if (file.size() >= msim::kCountEnd && !msim::CountIsNone(msim::LoadU32(&file[msim::kCountAt])) &&
            msim::LoadU32(&file[msim::kCountAt]) > kMostSteps)
            std::memcpy(&file[msim::kCountAt], "\x00\x10\x00\x00", 4);
    }
};

// Runs `once(mailbox, index or null, skipDeleted)` twice on the input and
// aborts unless both say the same.
template <typename Once>
int FuzzStoreTwice(const std::uint8_t* data, std::size_t size, Once once)
{
    FuzzStoreInput input;
    if (input.Parse(data, size) && !(once(input.mailbox, input.given, input.skipDeleted) ==
                                     once(input.mailbox, input.given, input.skipDeleted)))
        std::abort();
    return 0;
}

#endif
