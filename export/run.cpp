#include "run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <new>

#include "file_source.h"
#include "output.h"
#include "progress.h"
#include "readahead.h"
#include "recover.h"
#include "signals.h"
#include "sources.h"

namespace vexport {

namespace {

constexpr std::size_t kReadAhead = std::size_t{256} << 10;

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

// A mailbox file's size and modification time, 0 where it cannot be read.
struct FileFacts {
    std::uint64_t size = 0;
    std::int64_t time = 0;
};

FileFacts FactsOf(const std::string& path)
{
    struct stat status;
    if (::stat(path.c_str(), &status) != 0)
        return {};
    return {static_cast<std::uint64_t>(status.st_size), static_cast<std::int64_t>(status.st_mtime)};
}

// -o of an existing folder (or one written with a '/' at its end) for
// .eml files: the files go inside it with the program's own prefix.
std::string EmlPrefix(const std::string& output)
{
    struct stat status;
    bool folder = output.back() == '/' || (::stat(output.c_str(), &status) == 0 && S_ISDIR(status.st_mode));
    return folder ? JoinPath(output, "exp") : output;
}

class Runner {
public:
    explicit Runner(const RunOptions& options)
        : options_(options), progress_(!options.quiet && !options.list && ::isatty(STDERR_FILENO), counters_),
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
                std::string note;
                std::vector<Mailbox> found = ExpandSource(source, note);
                if (!note.empty() && !options_.quiet)
                    Report(note);
                mailboxes.insert(mailboxes.end(), found.begin(), found.end());
            } catch (const ExportError& error) {
                if (!Skip(error.what()))
                    return kExitFailed;
            }
        }
        if (options_.list)
            return List(mailboxes);
        std::vector<Place> places{Place::kMain};
        if (options_.includeDeleted && (options_.format == Format::kMbox || options_.format == Format::kMaildir))
            places.push_back(Place::kDeleted);
        if (options_.recover && options_.format != Format::kEml)
            places.push_back(Place::kRecovered);
        if (std::optional<std::string> clash = NameClash(mailboxes, options_.format, places)) {
            Report(*clash);
            return kExitFailed;
        }
        Count(mailboxes);
        SetResume(options_.resume);
        int status = Export(mailboxes);
        if (options_.resume && status != kExitFailed && interrupted_ == 0)
            status = ReportConflicts(status);
        if (status == kExitFailed)
            RemoveEmptyMadeFolders();
        // A signal after the last message stopped nothing.
        if (interrupted_ != 0)
            StopSignals::EndBy(interrupted_);
        return status;
    }

private:
    void Report(const std::string& text)
    {
        progress_.Clear();
        std::fprintf(stderr, "vestibar-export: %s\n", text.c_str());
    }

    // Under --keep-going, notes what is skipped (listed at the end) and
    // goes on; otherwise reports the failure, which ends the run.
    bool Skip(const std::string& text)
    {
        if (!options_.keepGoing) {
            Report(text);
            return false;
        }
        skipped_.push_back(text);
        return true;
    }

    int ReportSkipped()
    {
        if (skipped_.empty())
            return kExitOk;
        progress_.Clear();
        std::fprintf(stderr, "vestibar-export: skipped %zu:\n", skipped_.size());
        for (const std::string& text : skipped_)
            std::fprintf(stderr, "  %s\n", text.c_str());
        return kExitSkipped;
    }

    // Resuming: what the output holds that this run would not write there
    // is left untouched and named.
    int ReportConflicts(int status)
    {
        std::string folder = options_.output, prefix;
        if (options_.format == Format::kEml) {
            std::string path = EmlPrefix(options_.output);
            std::size_t slash = path.rfind('/');
            folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
            prefix = path.substr(slash == std::string::npos ? 0 : slash + 1);
        }
        for (const std::string& path : OutputsNotNoted(folder, prefix))
            conflicts_.push_back(path + ": not written by this run from these sources; left untouched");
        if (conflicts_.empty())
            return status;
        progress_.Clear();
        std::fprintf(stderr, "vestibar-export: the output holds what these sources do not give; left untouched:\n");
        for (const std::string& text : conflicts_)
            std::fprintf(stderr, "  %s\n", text.c_str());
        return kExitFailed;
    }

    // The run's totals for the progress line: each mailbox's size and count.
    void Count(const std::vector<Mailbox>& mailboxes)
    {
        counters_.mailboxes = static_cast<std::uint32_t>(mailboxes.size());
        for (const Mailbox& mailbox : mailboxes) {
            counters_.bytes += FactsOf(mailbox.path).size;
            msim::FileSource file, index;
            if (file.Open(mailbox.path) != 0)
                continue;
            OpenIndex(mailbox.path, index);
            msim::MailboxWalk walk(file, index.isOpen() ? &index : nullptr, !options_.includeDeleted);
            if (walk.Begin())
                counters_.steps += walk.count();
        }
    }

    int Export(const std::vector<Mailbox>& mailboxes)
    {
        StopSignals signals;
        try {
            WriterOptions writerOptions;
            writerOptions.raw = options_.raw;
            writerOptions.preferEuc = options_.preferEuc;
            writer_ = MakeWriter(options_.format,
                                 options_.format == Format::kEml ? EmlPrefix(options_.output) : options_.output,
                                 writerOptions);
        } catch (const ExportError& error) {
            Report(error.what());
            return kExitFailed;
        }
        for (const Mailbox& mailbox : mailboxes) {
            if (StopSignals::Received() != 0 || !ExportMailbox(mailbox)) {
                interrupted_ = StopSignals::Received();
                if (interrupted_ != 0)
                    Report(std::string("stopped by ") + StopSignals::Name(interrupted_) +
                           "; written before it, all whole:");
                else
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
            std::printf("%s, %s exported", CountText(counters_.mailboxesDone, "mailbox").c_str(),
                        CountText(counters_.exported + recovery_.recovered(), "message").c_str());
            if (options_.includeDeleted)
                std::printf(" (%u of them deleted)", static_cast<unsigned>(counters_.deletedExported));
            if (options_.recover)
                std::printf(" (%u of them recovered)", static_cast<unsigned>(recovery_.recovered()));
            if (options_.resume)
                std::printf(", %u of them already there and kept, %u written now", static_cast<unsigned>(counters_.kept),
                            static_cast<unsigned>(counters_.exported - counters_.kept));
            std::printf("\n");
            if (std::uint32_t replaced = writer_->ReplacedMessages())
                std::printf("%s with text bytes valid in no code, shown as U+FFFD\n",
                            CountText(replaced, "message").c_str());
            if (counters_.undated > 0)
                std::printf("%s without a readable Date got its mailbox file's time\n",
                            CountText(counters_.undated, "message").c_str());
        }
        return ReportSkipped();
    }

    // False when the run is to stop.
    bool ExportMailbox(const Mailbox& mailbox)
    {
        ++counters_.mailbox;
        FileFacts facts = FactsOf(mailbox.path);
        std::uint64_t bytesAfter = counters_.bytesDone + facts.size;
        msim::FileSource file, index;
        if (int error = file.Open(mailbox.path))
            return Skip(ErrnoText(mailbox.display, error));
        OpenIndex(mailbox.path, index);
        ReadAheadSource source(file, kReadAhead);
        msim::MailboxWalk walk(source, index.isOpen() ? &index : nullptr, !options_.includeDeleted);
        walk.EndAtLoops();
        if (walk.indexState() == msim::IndexState::kUnreadable)
            Report("warning: " + walk.indexWarning().Describe(mailbox.display) + "; the mailbox is read without it");
        // Nothing is made for a file that is not a mailbox.
        if (!walk.Begin())
            return Skip(walk.failure().Describe(mailbox.display));

        std::uint32_t base = messageNumber_;
        std::uint64_t stepsBefore = counters_.stepsDone;
        std::uint32_t exportedBefore = counters_.exported;
        bool ok = true;
        if (options_.recover)
            recovery_.BeginMailbox(source, index.isOpen() ? &index : nullptr, !options_.includeDeleted);
        try {
            writer_->BeginMailbox(MailboxNames{mailbox.stem, counters_.mailboxesDone + 1});
            progress_.Mailbox(mailbox.display);
            msim::Message message;
            while (StopSignals::Received() == 0 && walk.Next(message) == msim::MailboxWalk::kMessage) {
                if (options_.recover)
                    recovery_.Reached(message);
                MessageBytes bytes(walk, message, mailbox.display, facts.time);
                try {
                    WriteMessage(mailbox, message, base + message.ordinal, bytes);
                    ++counters_.exported;
                    counters_.deletedExported += message.deleted ? 1 : 0;
                    counters_.undated += bytes.undated() ? 1 : 0;
                    counters_.kept += bytes.kept() ? 1 : 0;
                } catch (const OutputConflict& error) {
                    // A file of its own is passed over; the rest of a file
                    // per mailbox cannot follow what differs.
                    conflicts_.push_back(error.what());
                    if (options_.format == Format::kMbox || options_.format == Format::kWinbiff)
                        throw;
                } catch (const ExportError& error) {
                    // A message whose own file exists is passed over; a
                    // failure of the walk ends the mailbox below.
                    if (!error.skippable() || walk.failed() || !options_.keepGoing)
                        throw;
                    Skip(error.what());
                }
                counters_.bytesDone += message.size;
                counters_.stepsDone = stepsBefore + walk.steps();
                progress_.Update();
            }
            if (walk.failed() && !options_.recover)
                throw ExportError(walk.failure().Describe(mailbox.display), true);
            if (StopSignals::Received() != 0) {
                std::string kept = writer_->AbandonMailbox();
                if (!kept.empty())
                    written_.push_back(kept);
                return false;
            }
            if (options_.recover)
                EndRecovery(mailbox, walk, counters_.exported - exportedBefore, true);
            written_.push_back(writer_->EndMailbox());
            ++counters_.mailboxesDone;
        } catch (const OutputConflict& error) {
            // Noted above, or met as the mailbox's file opened.
            if (conflicts_.empty() || conflicts_.back() != error.what())
                conflicts_.push_back(error.what());
            writer_->AbandonMailbox();
        } catch (const ExportError& error) {
            std::string kept = writer_->AbandonMailbox();
            if (!kept.empty())
                written_.push_back(kept);
            std::string text = error.what();
            if (error.skippable() && options_.keepGoing)
                text += kept.empty() ? "; the mailbox is skipped" : "; the rest of the mailbox is skipped, kept " + kept;
            ok = error.skippable() ? Skip(text) : (Report(text), false);
        }
        messageNumber_ = base + walk.messageNumber();
        counters_.bytesDone = bytesAfter;
        counters_.stepsDone = stepsBefore + walk.count();
        return ok;
    }

    // A damaged mailbox's walk ends where the damage is; under --recover
    // that is listed as skipped at the end, and the scan goes on with the
    // rest of the mailbox.
    void EndRecovery(const Mailbox& mailbox, const msim::MailboxWalk& walk, std::uint32_t written, bool write)
    {
        if (walk.failed())
            skipped_.push_back(walk.failure().Describe(mailbox.display) +
                               "; the rest of the mailbox is searched for records");
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

    // Every mailbox gets its row; a damaged one says there what is wrong.
    int List(const std::vector<Mailbox>& mailboxes)
    {
        if (!options_.recover)
            std::printf("%-10s %9s %9s %9s %12s  %s\n", "index", "messages", "unread", "deleted", "bytes", "mailbox");
        int damaged = 0;
        for (const Mailbox& mailbox : mailboxes) {
            msim::FileSource file, index;
            if (int error = file.Open(mailbox.path)) {
                std::printf("%-10s %9s %9s %9s %12s  %s\n", "-", "-", "-", "-", "-",
                            ErrnoText(mailbox.display, error).c_str());
                ++damaged;
                continue;
            }
            OpenIndex(mailbox.path, index);
            ReadAheadSource source(file, kReadAhead);
            msim::MailboxWalk walk(source, index.isOpen() ? &index : nullptr,
                                   options_.recover && !options_.includeDeleted);
            walk.EndAtLoops();
            if (options_.recover) {
                damaged += ListRecovery(mailbox, source, index.isOpen() ? &index : nullptr, walk) ? 0 : 1;
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
            std::string name = mailbox.display;
            if (walk.failed()) {
                // The counts are of the messages before the damage.
                name = "damaged: " + walk.failure().Describe(mailbox.display);
                ++damaged;
            }
            std::printf("%-10s %9u %9u %9u %12llu  %s\n", IndexText(walk.indexState()), static_cast<unsigned>(messages),
                        static_cast<unsigned>(unread), static_cast<unsigned>(deleted),
                        static_cast<unsigned long long>(bytes), name.c_str());
        }
        int status = ReportSkipped();
        if (damaged > 0) {
            std::fflush(stdout);
            Report(CountText(damaged, "mailbox") + " cannot be read whole (marked in the list)");
            return options_.keepGoing ? kExitSkipped : kExitFailed;
        }
        return status;
    }

    // --list --recover: the line of a run, nothing written; false for a
    // mailbox that cannot be read whole.
    bool ListRecovery(const Mailbox& mailbox, msim::ByteSource& source, msim::ByteSource* index,
                      msim::MailboxWalk& walk)
    {
        if (!walk.Begin()) {
            std::printf("damaged: %s\n", walk.failure().Describe(mailbox.display).c_str());
            return false;
        }
        recovery_.BeginMailbox(source, index, !options_.includeDeleted);
        std::uint32_t messages = 0;
        msim::Message message;
        for (; walk.Next(message) == msim::MailboxWalk::kMessage; ++messages)
            recovery_.Reached(message);
        try {
            EndRecovery(mailbox, walk, messages, false);
        } catch (const ExportError& error) {
            std::printf("damaged: %s\n", error.what());
            return false;
        }
        std::printf("%s\n", recoveryLines_.back().c_str());
        return !walk.failed();
    }

    const RunOptions& options_;
    RunCounters counters_;
    Progress progress_;
    std::unique_ptr<Writer> writer_;
    std::vector<std::string> written_;
    std::vector<std::string> skipped_;
    std::vector<std::string> conflicts_;  // resuming: outputs that differ, left untouched
    int interrupted_ = 0;              // the signal that stopped the run
    std::uint32_t messageNumber_ = 0;  // numbers the .eml files, as the program counts
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
