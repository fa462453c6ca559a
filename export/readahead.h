// A byte source that reads another one ahead in large pieces.  The walk
// reads a 16-byte record head before every message and the messages follow
// one another, so without it a mailbox of small messages costs two or three
// system calls a message; with it, one per piece.  Pieces are not large:
// an index may name the records in any order, and then every message
// costs a piece.
#ifndef VESTIBAR_EXPORT_READAHEAD_H
#define VESTIBAR_EXPORT_READAHEAD_H

#include <cstddef>
#include <cstdint>
#include <memory>

#include "msim_store.h"

namespace vexport {

class ReadAheadSource final : public msim::ByteSource {
public:
    ReadAheadSource(msim::ByteSource& source, std::size_t pieceSize)
        : source_(source), piece_(new unsigned char[pieceSize]), pieceSize_(pieceSize)
    {
    }
    std::uint64_t Size() const override { return source_.Size(); }
    msim::ReadResult Read(std::uint64_t offset, void* buffer, std::size_t count) override;

private:
    msim::ByteSource& source_;
    std::unique_ptr<unsigned char[]> piece_;  // not cleared: only what was read is used
    std::size_t pieceSize_;
    std::uint64_t start_ = 0;  // where piece_ was read from
    std::size_t length_ = 0;   // bytes of piece_ that hold the source's
};

}  // namespace vexport

#endif
