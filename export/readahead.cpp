#include "readahead.h"

#include <cstring>

namespace vexport {

msim::ReadResult ReadAheadSource::Read(std::uint64_t offset, void* buffer, std::size_t count)
{
    // Large reads gain nothing from the copy.
    if (count >= pieceSize_ / 2)
        return source_.Read(offset, buffer, count);
    if (offset < start_ || offset - start_ >= length_ || length_ - (offset - start_) < count) {
        msim::ReadResult filled = source_.Read(offset, piece_.get(), pieceSize_);
        if (filled.error != 0) {
            length_ = 0;
            return filled;
        }
        start_ = offset;
        length_ = filled.count;
    }
    msim::ReadResult result;
    if (offset >= start_ && offset - start_ < length_) {
        std::size_t at = static_cast<std::size_t>(offset - start_);
        result.count = count < length_ - at ? count : length_ - at;
        std::memcpy(buffer, piece_.get() + at, result.count);
    }
    return result;
}

}  // namespace vexport
