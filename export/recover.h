// --recover: after a mailbox's walk, the records it did not reach, found by
// the store's recovery scan (msim_recover.h), written apart from the
// mailbox's own messages, and a line per mailbox of what the files held.
#ifndef VESTIBAR_EXPORT_RECOVER_H
#define VESTIBAR_EXPORT_RECOVER_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "msim_recover.h"
#include "writer.h"

namespace vexport {

// Writes one message to a place of the run's writer (the run's own
// handling of a failure around it).
using WriteTo = std::function<void(const msim::Message&, Place, std::uint32_t number, MessageBytes&)>;

// One mailbox as the run knows it.
struct RecoveredMailbox {
    std::string path;     // for opening again
    std::string display;  // for messages
    std::string stem;     // for the writer
};

class Recovery {
public:
    // `eml`: the recovered messages are numbered after all the run's others,
    // so they are kept (their offsets) and written by Finish.
    Recovery(bool eml, WriteTo write) : eml_(eml), write_(std::move(write)) {}

    // A mailbox's walk begins; its sources must outlive EndMailbox.
    void BeginMailbox(msim::ByteSource& mailbox, msim::ByteSource* index, bool skipDeleted);
    void Reached(const msim::Message& message) { scan_->Reached(message); }
    // After the walk, finished or failed, and `written` of its messages
    // written: scans the rest of the mailbox and writes what it finds to
    // the place of recovered mail (unless eml, or `write` is false as for
    // --list).  Returns the mailbox's line; throws ExportError.
    std::string EndMailbox(const msim::MailboxWalk& walk, const RecoveredMailbox& mailbox, std::uint32_t written,
                           bool write);
    // eml: the kept messages, numbered from `number` + 1 on; their mailboxes
    // are opened again.  Returns what was written, a line per mailbox, and
    // advances `number`.  Throws ExportError.
    std::vector<std::string> Finish(Writer& writer, std::uint32_t& number);

    std::uint32_t recovered() const { return recovered_; }

private:
    bool eml_;
    WriteTo write_;
    msim::ByteSource* mailbox_ = nullptr;
    msim::ByteSource* index_ = nullptr;
    bool skipDeleted_ = false;
    std::unique_ptr<msim::RecordScan> scan_;
    struct Kept {
        RecoveredMailbox mailbox;
        std::vector<msim::Message> messages;
    };
    std::vector<Kept> kept_;
    std::uint32_t recovered_ = 0;
};

// "Inbox.mbx: 8 index entries, 10 records found, 6 messages written, 2
// deleted left out, 2 recovered, 1 byte range in no message: 5120 (300 bytes)".
std::string RecoveryLine(const std::string& mailbox, const msim::MailboxWalk& walk, const msim::RecordScan& scan,
                         std::uint32_t written);

}  // namespace vexport

#endif
