// A Maildir++ tree, as Dovecot and Courier read one: the mailbox named
// Inbox is the Maildir itself, every other one a folder ".Name".
#include <cstdio>
#include <optional>

#include "maildate.h"
#include "names.h"
#include "output.h"
#include "writer.h"

namespace vexport {

namespace {

// Messages are copied in pieces of this size: memory stays bounded
// whatever a message's size.
constexpr std::size_t kPiece = std::size_t{1} << 20;
// The first piece, in which the header block (for the Date) usually lies.
constexpr std::size_t kHeadPiece = std::size_t{64} << 10;

bool IsInbox(std::string_view stem)
{
    static const char kInbox[] = "inbox";
    if (stem.size() != sizeof kInbox - 1)
        return false;
    for (std::size_t i = 0; i < stem.size(); ++i) {
        char c = stem[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != kInbox[i])
            return false;
    }
    return true;
}

// A Maildir: cur/, new/ and tmp/ inside `folder`.
struct Maildir {
    explicit Maildir(Folder&& root)
        : folder(std::move(root)), cur(folder.Sub("cur")), fresh(folder.Sub("new")), tmp(folder.Sub("tmp"))
    {
    }
    Folder folder;
    Folder cur;
    Folder fresh;
    Folder tmp;
};

class MaildirWriter final : public Writer {
public:
    MaildirWriter(const std::string& output, const WriterOptions& options) : root_(Folder::Make(output)), form_(options) {}
    std::uint32_t ReplacedMessages() const override { return form_.replacedMessages(); }

    void BeginMailbox(const MailboxNames& names) override
    {
        stem_ = names.stem;
        sequence_ = names.sequence;
        Open(Place::kMain);
    }

    void WriteMessage(const msim::Message& message, Place place, std::uint32_t, MessageBytes& bytes) override
    {
        Target& target = Open(place);
        // The readable form is made of the whole message; the stored bytes
        // go in pieces, the header block first, for the Date that names the
        // file and gives its time; it is read on until it ends, even past
        // the first piece.
        std::size_t size = bytes.size();
        std::size_t have = size < kHeadPiece ? size : kHeadPiece;
        const char* data = nullptr;
        if (!form_.raw()) {
            std::string_view text = form_.Read(bytes);
            data = text.data();
            size = have = text.size();
        } else {
            data = buffer_.Get(have);
            bytes.Read(0, buffer_.Get(have), have);
        }
        // Each piece is scanned from the start of its first whole line on.
        std::size_t line = 0;
        while (have < size && line + HeaderBlockEnd(std::string_view(data + line, have - line)) == have) {
            std::size_t lastEnd = std::string_view(data + line, have - line).rfind('\n');
            if (lastEnd != std::string_view::npos)
                line += lastEnd + 1;
            std::size_t more = size - have < kPiece ? size - have : kPiece;
            char* grown = buffer_.Get(have + more);
            bytes.Read(have, grown + have, more);
            data = grown;
            have += more;
        }
        std::string_view head(data, have);
        std::int64_t seconds = bytes.TimeOf(head.substr(0, HeaderBlockEnd(head)));

        char name[96];
        std::snprintf(name, sizeof name, "%lld.M%06uP%06u.vestibar", static_cast<long long>(seconds < 0 ? 0 : seconds),
                      static_cast<unsigned>(sequence_), static_cast<unsigned>(message.ordinal));
        std::string fileName = name;
        // Deleted mail keeps its read state in a place of its own: the flag
        // T becomes \Deleted on an IMAP server, which an expunge removes.
        bool fresh = message.unread;
        if (!fresh)
            fileName += ":2,S";

        // Written in tmp/ and then given its place, so that an interrupted
        // run leaves no torn message where a reader looks; a file already
        // there is compared when resuming.
        const Folder& home = fresh ? target.maildir->fresh : target.maildir->cur;
        bool there = Resuming() && home.Has(fileName);
        if (!there) {
            if (home.Has(fileName))
                throw ExportError(home.PathOf(fileName) + ": already exists; left untouched (--resume goes on with it)",
                                  true);
            target.maildir->tmp.Drop(fileName);  // what an interrupted run left of it
        }
        OutputFile file(there ? home : target.maildir->tmp, fileName, 0);
        try {
            file.Write(data, have);
            for (std::size_t at = have; at < size;) {
                std::size_t piece = size - at < kPiece ? size - at : kPiece;
                char* chunk = buffer_.Get(piece);
                bytes.Read(at, chunk, piece);
                file.Write(chunk, piece);
                at += piece;
            }
            file.SetTime(seconds);
            file.Close();
            if (!there)
                target.maildir->tmp.MoveInto(fileName, home);
        } catch (...) {
            file.Remove();
            throw;
        }
        if (file.kept())
            bytes.NoteKept();
        ++target.count;
    }

    std::string EndMailbox() override { return Said(); }

    std::string AbandonMailbox() noexcept override
    {
        try {
            return Said();
        } catch (...) {
            for (Target& target : targets_)
                target = Target();
            return std::string();
        }
    }

private:
    // A place's Maildir: the root itself for the mailbox named Inbox, a
    // folder ".Name" otherwise; made when the place gets its first message
    // (the mailbox's own one when the mailbox begins).
    struct Target {
        Maildir* maildir = nullptr;
        std::optional<Maildir> folder;
        std::uint32_t count = 0;
    };

    Target& Open(Place place)
    {
        Target& target = targets_[static_cast<std::size_t>(place)];
        if (target.maildir != nullptr)
            return target;
        target.count = 0;
        std::string stem = PlaceStem(stem_, place);
        if (IsInbox(stem)) {
            target.maildir = &root_;
            return target;
        }
        target.folder.emplace(root_.folder.Sub("." + ImapModifiedUtf7(SafeFileName(stem, NameUse::kMaildirFolder))));
        target.folder->folder.Touch("maildirfolder");
        target.maildir = &*target.folder;
        return target;
    }

    std::string Said()
    {
        std::string line;
        for (Target& target : targets_) {
            if (target.maildir == nullptr)
                continue;
            line += (line.empty() ? "" : "; ") + target.maildir->folder.path() + ": " +
                    CountText(target.count, "message");
            target = Target();
        }
        return line;
    }

    Maildir root_;
    Target targets_[kPlaceCount];
    std::string stem_;
    Buffer buffer_;
    MessageForm form_;
    std::uint32_t sequence_ = 0;
};

}  // namespace

std::unique_ptr<Writer> MakeMaildirWriter(const std::string& output, const WriterOptions& options)
{
    return std::make_unique<MaildirWriter>(output, options);
}

}  // namespace vexport
