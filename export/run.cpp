#include "run.h"

#include <dirent.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>

#include "file_source.h"
#include "names.h"
#include "output.h"
#include "readahead.h"
#include "recover.h"

namespace vexport {

namespace {

constexpr std::size_t kReadAhead = std::size_t{256} << 10;

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

// ".mbx" in any case, as Windows matches "*.mbx".
bool HasMailboxExtension(std::string_view name)
{
    return name.size() > 4 && EqualsIgnoringCase(name.substr(name.size() - 4), ".mbx");
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty() || folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

// The names of a folder's entries, in byte order; throws ExportError.
std::vector<std::string> FolderEntries(const std::string& folder)
{
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        throw ExportError(ErrnoText(folder, errno), true);
    std::vector<std::string> names;
    errno = 0;
    while (const struct dirent* entry = ::readdir(dir))
        names.emplace_back(entry->d_name);
    int error = errno;
    ::closedir(dir);
    if (error != 0)
        throw ExportError(ErrnoText(folder, error), true);
    std::sort(names.begin(), names.end());
    return names;
}

struct Mailbox {
    std::string path;     // as found, for opening
    std::string display;  // the same in UTF-8, for messages
    std::string stem;     // file name without ".mbx", in UTF-8
};

Mailbox MakeMailbox(const std::string& folder, const std::string& fileName)
{
    Mailbox mailbox;
    mailbox.path = folder.empty() ? fileName : JoinPath(folder, fileName);
    std::string name = MailboxNameToUtf8(fileName);
    mailbox.display = folder.empty() ? name : JoinPath(MailboxNameToUtf8(folder), name);
    std::string_view stem = fileName;
    if (HasMailboxExtension(stem))
        stem.remove_suffix(4);
    mailbox.stem = MailboxNameToUtf8(stem);
    return mailbox;
}

// A store folder gives its mailboxes in byte order of their names; a file
// is a mailbox whatever its name.
std::vector<Mailbox> ExpandSource(const std::string& source)
{
    struct stat status;
    if (::stat(source.c_str(), &status) != 0)
        throw ExportError(ErrnoText(source, errno), true);
    std::vector<Mailbox> mailboxes;
    if (!S_ISDIR(status.st_mode)) {
        std::size_t slash = source.rfind('/');
        if (slash == std::string::npos)
            mailboxes.push_back(MakeMailbox(std::string(), source));
        else
            mailboxes.push_back(MakeMailbox(source.substr(0, slash + 1), source.substr(slash + 1)));
        return mailboxes;
    }
    for (const std::string& name : FolderEntries(source)) {
        struct stat entry;
        std::string path = JoinPath(source, name);
        if (HasMailboxExtension(name) && ::stat(path.c_str(), &entry) == 0 && S_ISREG(entry.st_mode))
            mailboxes.push_back(MakeMailbox(source, name));
    }
    if (mailboxes.empty())
        throw ExportError(source + ": no mailboxes (*.mbx) in this folder", true);
    return mailboxes;
}

// Opens the index beside a mailbox: the name the Windows program derives,
// or, as Windows would find it, the same name in another case.  No index
// is no failure.
void OpenIndex(const std::string& mailboxPath, msim::FileSource& index)
{
    std::string name = msim::IndexNameFor(mailboxPath);
    if (name.empty() || index.Open(name) == 0)
        return;
    std::size_t slash = name.rfind('/');
    std::string folder = slash == std::string::npos ? std::string(".") : name.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    try {
        for (const std::string& entry : FolderEntries(folder)) {
            if (EqualsIgnoringCase(entry, base) && index.Open(JoinPath(folder, entry)) == 0)
                return;
        }
    } catch (const ExportError&) {
        // A folder that cannot be listed has no index to offer.
    }
}

const char* IndexText(msim::IndexState state)
{
    switch (state) {
    case msim::IndexState::kAbsent:
        return "none";
    case msim::IndexState::kUsable:
        return "yes";
    case msim::IndexState::kUnreadable:
        return "unreadable";
    case msim::IndexState::kWrongMagic:
        return "ignored";
    }
    return "?";
}

// One line on a terminal's stderr: the mailbox, messages done of its
// count, and the rate so far; redrawn a few times a second.
class Progress {
public:
    explicit Progress(bool shown) : shown_(shown), start_(Clock::now()), next_(start_) {}
    ~Progress() { Clear(); }

    void Mailbox(const std::string& name, std::uint32_t total)
    {
        name_ = name;
        total_ = total;
    }

    void Update(std::uint32_t done, std::uint64_t bytes)
    {
        if (!shown_)
            return;
        Clock::time_point now = Clock::now();
        if (now < next_)
            return;
        next_ = now + std::chrono::milliseconds(250);
        double seconds = std::chrono::duration<double>(now - start_).count();
        double rate = seconds > 0 ? static_cast<double>(bytes) / 1e6 / seconds : 0.0;
        char tail[96];
        std::snprintf(tail, sizeof tail, ": %u of %u messages, %.1f MB/s", static_cast<unsigned>(done),
                      static_cast<unsigned>(total_), rate);
        // Cut to the terminal's width, so that the line never wraps.
        std::string line = name_ + tail;
        struct winsize size;
        if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 && line.size() >= size.ws_col)
            line = "..." + line.substr(line.size() - (size.ws_col - 4));
        std::fprintf(stderr, "\r\033[K%s", line.c_str());
        std::fflush(stderr);
        drawn_ = true;
    }

    void Clear()
    {
        if (drawn_) {
            std::fputs("\r\033[K", stderr);
            std::fflush(stderr);
            drawn_ = false;
        }
    }

private:
    using Clock = std::chrono::steady_clock;
    bool shown_;
    bool drawn_ = false;
    Clock::time_point start_, next_;
    std::string name_;
    std::uint32_t total_ = 0;
};

class Runner {
public:
    explicit Runner(const RunOptions& options)
        : options_(options), progress_(!options.quiet && !options.list && ::isatty(STDERR_FILENO)),
          recovery_(options.format == Format::kEml,
                    [this](const msim::Message& message, Place place, std::uint32_t number, MessageBytes& bytes) {
                        WriteMessage(*recoveredFrom_, message, place, number, bytes);
                    })
    {
    }

    int Go()
    {
        std::vector<Mailbox> mailboxes;
        for (const std::string& source : options_.sources) {
            try {
                std::vector<Mailbox> found = ExpandSource(source);
                mailboxes.insert(mailboxes.end(), found.begin(), found.end());
            } catch (const ExportError& error) {
                if (!Skip(error.what()))
                    return kExitFailed;
            }
        }
        if (options_.list)
            return List(mailboxes);
        try {
            WriterOptions writerOptions;
            writerOptions.raw = options_.raw;
            writerOptions.preferEuc = options_.preferEuc;
            writer_ = MakeWriter(options_.format, options_.output, writerOptions);
        } catch (const ExportError& error) {
            Report(error.what());
            return kExitFailed;
        }
        for (const Mailbox& mailbox : mailboxes) {
            if (!Export(mailbox)) {
                progress_.Clear();
                Report("stopped; written before the failure:");
                for (const std::string& line : written_)
                    std::fprintf(stderr, "  %s\n", line.c_str());
                if (written_.empty())
                    std::fputs("  nothing\n", stderr);
                return kExitFailed;
            }
        }
        if (options_.recover && !FinishRecovery())
            return kExitFailed;
        progress_.Clear();
        if (!options_.quiet) {
            for (const std::string& line : recoveryLines_)
                std::printf("%s\n", line.c_str());
            std::printf("%u mailboxes, %u messages exported", static_cast<unsigned>(mailboxCount_),
                        static_cast<unsigned>(exported_ + recovery_.recovered()));
            if (options_.includeDeleted)
                std::printf(" (%u of them deleted)", static_cast<unsigned>(deletedExported_));
            if (options_.recover)
                std::printf(" (%u of them recovered)", static_cast<unsigned>(recovery_.recovered()));
            std::printf("\n");
            if (std::uint32_t replaced = writer_->ReplacedMessages())
                std::printf("%u messages with text bytes valid in no code, shown as U+FFFD\n",
                            static_cast<unsigned>(replaced));
        }
        return ReportSkipped();
    }

private:
    void Report(const std::string& text)
    {
        progress_.Clear();
        std::fprintf(stderr, "vestibar-export: %s\n", text.c_str());
    }

    // Under --keep-going, notes what is skipped and goes on; otherwise
    // reports the failure, which ends the run.
    bool Skip(const std::string& text)
    {
        Report(text);
        if (options_.keepGoing)
            skipped_.push_back(text);
        return options_.keepGoing;
    }

    int ReportSkipped()
    {
        if (skipped_.empty())
            return kExitOk;
        std::fprintf(stderr, "vestibar-export: skipped %zu:\n", skipped_.size());
        for (const std::string& text : skipped_)
            std::fprintf(stderr, "  %s\n", text.c_str());
        return kExitSkipped;
    }

    // False when the run is to stop.
    bool Export(const Mailbox& mailbox)
    {
        msim::FileSource file, index;
        if (int error = file.Open(mailbox.path))
            return Skip(ErrnoText(mailbox.display, error));
        OpenIndex(mailbox.path, index);
        ReadAheadSource source(file, kReadAhead);
        msim::MailboxWalk walk(source, index.isOpen() ? &index : nullptr, !options_.includeDeleted);
        if (walk.indexState() == msim::IndexState::kUnreadable)
            Report("warning: " + walk.indexWarning().Describe(mailbox.display) + "; the mailbox is read without it");
        // Nothing is made for a file that is not a mailbox.
        if (!walk.Begin())
            return Skip(walk.failure().Describe(mailbox.display));

        std::uint32_t base = messageNumber_;
        std::uint32_t exportedBefore = exported_;
        bool ok = true;
        if (options_.recover)
            recovery_.BeginMailbox(source, index.isOpen() ? &index : nullptr, !options_.includeDeleted);
        try {
            writer_->BeginMailbox(MailboxNames{mailbox.stem, mailboxCount_ + 1});
            progress_.Mailbox(mailbox.display, walk.count());
            msim::Message message;
            while (walk.Next(message) == msim::MailboxWalk::kMessage) {
                if (options_.recover)
                    recovery_.Reached(message);
                MessageBytes bytes(walk, message, mailbox.display);
                try {
                    WriteMessage(mailbox, message, base + message.ordinal, bytes);
                    ++exported_;
                    deletedExported_ += message.deleted ? 1 : 0;
                } catch (const ExportError& error) {
                    // A message whose own file exists is passed over; a
                    // failure of the walk ends the mailbox below.
                    if (!error.skippable() || walk.failed() || !options_.keepGoing)
                        throw;
                    Skip(error.what());
                }
                bytesDone_ += message.size;
                progress_.Update(walk.steps(), bytesDone_);
            }
            if (walk.failed() && !options_.recover)
                throw ExportError(walk.failure().Describe(mailbox.display), true);
            if (options_.recover)
                EndRecovery(mailbox, walk, exported_ - exportedBefore, true);
            written_.push_back(writer_->EndMailbox());
            ++mailboxCount_;
        } catch (const ExportError& error) {
            std::string kept = writer_->AbandonMailbox();
            if (!kept.empty())
                written_.push_back(kept);
            if (error.skippable()) {
                std::string text = error.what();
                if (options_.keepGoing)
                    text += kept.empty() ? "; the mailbox is skipped" : "; the rest of the mailbox is skipped, kept " + kept;
                ok = Skip(text);
            } else {
                Report(error.what());
                ok = false;
            }
        }
        messageNumber_ = base + walk.messageNumber();
        return ok;
    }

    // A damaged mailbox's walk ends where the damage is; under --recover
    // that is reported and skipped, and the scan goes on with the rest.
    void EndRecovery(const Mailbox& mailbox, const msim::MailboxWalk& walk, std::uint32_t written, bool write)
    {
        if (walk.failed()) {
            std::string text = walk.failure().Describe(mailbox.display) + "; the rest of the mailbox is searched for records";
            Report(text);
            skipped_.push_back(text);
        }
        recoveredFrom_ = &mailbox;
        recoveryLines_.push_back(
            recovery_.EndMailbox(walk, RecoveredMailbox{mailbox.path, mailbox.display, mailbox.stem}, written, write));
    }

    // eml: the recovered messages numbered after all others.
    bool FinishRecovery()
    {
        std::uint32_t number = messageNumber_;
        Mailbox unnamed;
        recoveredFrom_ = &unnamed;
        try {
            for (std::string& line : recovery_.Finish(*writer_, number))
                written_.push_back(std::move(line));
        } catch (const ExportError& error) {
            std::string kept = writer_->AbandonMailbox();
            if (!kept.empty())
                written_.push_back(kept);
            return Skip(error.what());
        }
        return true;
    }

    // A message too large for the memory at hand is a failure of its own.
    void WriteMessage(const Mailbox& mailbox, const msim::Message& message, std::uint32_t number,
                      MessageBytes& bytes)
    {
        WriteMessage(mailbox, message, Place::kMain, number, bytes);
    }

    void WriteMessage(const Mailbox& mailbox, const msim::Message& message, Place place, std::uint32_t number,
                      MessageBytes& bytes)
    {
        try {
            // mbox and Maildir keep deleted mail apart from the mailbox's
            // own; the Windows program's formats mix it in, as it does.
            bool apart = place == Place::kMain && message.deleted &&
                         (options_.format == Format::kMbox || options_.format == Format::kMaildir);
            writer_->WriteMessage(message, apart ? Place::kDeleted : place, number, bytes);
        } catch (const std::bad_alloc&) {
            throw ExportError(mailbox.display + ": message " + std::to_string(message.ordinal) + " of " +
                                  std::to_string(message.size) + " bytes: not enough memory",
                              false);
        }
    }

    int List(const std::vector<Mailbox>& mailboxes)
    {
        if (!options_.recover)
            std::printf("%-10s %9s %9s %9s %12s  %s\n", "index", "messages", "unread", "deleted", "bytes", "mailbox");
        for (const Mailbox& mailbox : mailboxes) {
            msim::FileSource file, index;
            if (int error = file.Open(mailbox.path)) {
                if (!Skip(ErrnoText(mailbox.display, error)))
                    return kExitFailed;
                continue;
            }
            OpenIndex(mailbox.path, index);
            ReadAheadSource source(file, kReadAhead);
            msim::MailboxWalk walk(source, index.isOpen() ? &index : nullptr,
                                   options_.recover && !options_.includeDeleted);
            if (options_.recover) {
                if (!ListRecovery(mailbox, source, index.isOpen() ? &index : nullptr, walk))
                    return kExitFailed;
                continue;
            }
            std::uint64_t bytes = 0;
            std::uint32_t unread = 0, deleted = 0, messages = 0;
            msim::Message message;
            while (walk.Next(message) == msim::MailboxWalk::kMessage) {
                ++messages;
                unread += message.unread ? 1 : 0;
                deleted += message.deleted ? 1 : 0;
                bytes += message.size;
            }
            if (walk.failed()) {
                if (!Skip(walk.failure().Describe(mailbox.display)))
                    return kExitFailed;
                continue;
            }
            std::printf("%-10s %9u %9u %9u %12llu  %s\n", IndexText(walk.indexState()), static_cast<unsigned>(messages),
                        static_cast<unsigned>(unread), static_cast<unsigned>(deleted),
                        static_cast<unsigned long long>(bytes), mailbox.display.c_str());
        }
        return ReportSkipped();
    }

    // --list --recover: the line of a run, nothing written; false when the
    // listing is to stop.
    bool ListRecovery(const Mailbox& mailbox, msim::ByteSource& source, msim::ByteSource* index,
                      msim::MailboxWalk& walk)
    {
        if (!walk.Begin())
            return Skip(walk.failure().Describe(mailbox.display));
        recovery_.BeginMailbox(source, index, !options_.includeDeleted);
        std::uint32_t messages = 0;
        msim::Message message;
        for (; walk.Next(message) == msim::MailboxWalk::kMessage; ++messages)
            recovery_.Reached(message);
        try {
            EndRecovery(mailbox, walk, messages, false);
        } catch (const ExportError& error) {
            return Skip(error.what());
        }
        std::printf("%s\n", recoveryLines_.back().c_str());
        return true;
    }

    const RunOptions& options_;
    Progress progress_;
    std::unique_ptr<Writer> writer_;
    std::vector<std::string> written_;
    std::vector<std::string> skipped_;
    std::uint32_t mailboxCount_ = 0;
    std::uint32_t messageNumber_ = 0;  // numbers the .eml files, as the program counts
    std::uint32_t exported_ = 0;
    std::uint32_t deletedExported_ = 0;
    std::uint64_t bytesDone_ = 0;
    Recovery recovery_;
    const Mailbox* recoveredFrom_ = nullptr;  // names the mailbox in a failure of a recovered message
    std::vector<std::string> recoveryLines_;
};

}  // namespace

int Run(const RunOptions& options)
{
    Runner runner(options);
    return runner.Go();
}

}  // namespace vexport
