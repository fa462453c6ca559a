#include "recover.h"

#include "file_source.h"
#include "output.h"

namespace vexport {

namespace {

// The first byte ranges of no message, by offset and length; the rest counted.
constexpr std::size_t kRangesShown = 4;

}  // namespace

void Recovery::BeginMailbox(msim::ByteSource& mailbox, msim::ByteSource* index, bool skipDeleted)
{
    mailbox_ = &mailbox;
    index_ = index;
    skipDeleted_ = skipDeleted;
    scan_ = std::make_unique<msim::RecordScan>(mailbox);
}

std::string Recovery::EndMailbox(const msim::MailboxWalk& walk, const RecoveredMailbox& mailbox,
                                 std::uint32_t written, bool write)
{
    // Deleted mail that the index names and the walk left out stays out.
    if (skipDeleted_)
        msim::PassOverDeleted(*mailbox_, index_, *scan_);
    if (!scan_->Run())
        throw ExportError(scan_->failure().Describe(mailbox.display), true);
    std::string line = RecoveryLine(mailbox.display, walk, *scan_, written);
    if (!write || scan_->recovered().empty())
        return line;
    if (eml_) {
        kept_.push_back({mailbox, scan_->recovered()});
        return line;
    }
    for (const msim::Message& message : scan_->recovered()) {
        MessageBytes bytes(*scan_, message, mailbox.display);
        write_(message, Place::kRecovered, message.ordinal, bytes);
        ++recovered_;
    }
    return line;
}

std::vector<std::string> Recovery::Finish(Writer& writer, std::uint32_t& number)
{
    std::vector<std::string> said;
    for (std::size_t i = 0; i < kept_.size(); ++i) {
        const Kept& kept = kept_[i];
        msim::FileSource file;
        if (int error = file.Open(kept.mailbox.path))
            throw ExportError(ErrnoText(kept.mailbox.display, error), true);
        msim::RecordScan reader(file);
        writer.BeginMailbox(MailboxNames{kept.mailbox.stem, static_cast<std::uint32_t>(i + 1)});
        for (const msim::Message& message : kept.messages) {
            MessageBytes bytes(reader, message, kept.mailbox.display);
            write_(message, Place::kRecovered, ++number, bytes);
            ++recovered_;
        }
        said.push_back(writer.EndMailbox());
    }
    kept_.clear();
    return said;
}

std::string RecoveryLine(const std::string& mailbox, const msim::MailboxWalk& walk, const msim::RecordScan& scan,
                         std::uint32_t written)
{
    std::string line = mailbox + ": ";
    if (walk.walk() == msim::Walk::kIndexEntries) {
        std::uint32_t entries = msim::CountIsNone(walk.count()) ? 0 : walk.count();
        line += std::to_string(entries) + (entries == 1 ? " index entry, " : " index entries, ");
    } else {
        line += "no index, ";
    }
    std::uint64_t found = std::uint64_t{scan.reachedRecords()} + scan.passedOverRecords() + scan.recovered().size();
    line += CountText(found, "record") + " found, " + CountText(written, "message") + " written, " +
            std::to_string(scan.passedOverRecords()) + " deleted left out, " +
            std::to_string(scan.recovered().size()) + " recovered, ";
    const std::vector<msim::ByteRange>& ranges = scan.unclaimed();
    if (ranges.empty())
        return line + "no byte outside a record";
    line += CountText(ranges.size(), "byte range") + " in no message:";
    for (std::size_t i = 0; i < ranges.size() && i < kRangesShown; ++i)
        line += (i == 0 ? " " : ", ") + std::to_string(ranges[i].begin) + " (" +
                CountText(ranges[i].end - ranges[i].begin, "byte") + ")";
    if (ranges.size() > kRangesShown)
        line += " and " + std::to_string(ranges.size() - kRangesShown) + " more";
    return line;
}

}  // namespace vexport
