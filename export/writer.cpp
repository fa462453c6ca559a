// The numbered .eml files and the WinBiff folder files, byte for byte as
// the Windows program writes them, and what all writers share.
#include "writer.h"

#include <cstdio>
#include <cstring>
#include <optional>

#include "flags.h"
#include "names.h"
#include "nkfcore.h"
#include "output.h"
#include "readable.h"

namespace vexport {

std::unique_ptr<Writer> MakeMboxWriter(const std::string& output, const WriterOptions& options);
std::unique_ptr<Writer> MakeMaildirWriter(const std::string& output, const WriterOptions& options);

namespace {

constexpr std::size_t kPiece = std::size_t{1} << 20;

class EmlWriter final : public Writer {
public:
    // `prefix` is a path prefix: out/exp gives out/exp00001.eml, ...
    explicit EmlWriter(const std::string& prefix)
        : folder_(Folder::Make(FolderOf(prefix))), prefix_(prefix.substr(prefix.rfind('/') + 1))
    {
    }

    void BeginMailbox(const MailboxNames&) override
    {
        first_.clear();
        last_.clear();
        count_ = 0;
    }

    void WriteMessage(const msim::Message&, Place, std::uint32_t number, MessageBytes& bytes) override
    {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%05u", static_cast<unsigned>(number));
        OutputFile file(folder_, prefix_ + digits + ".eml", 0);
        try {
            for (std::size_t at = 0; at < bytes.size();) {
                std::size_t piece = bytes.size() - at < kPiece ? bytes.size() - at : kPiece;
                char* data = buffer_.Get(piece);
                bytes.Read(at, data, piece);
                file.Write(data, piece);
                at += piece;
            }
            file.Close();
        } catch (...) {
            file.Remove();
            throw;
        }
        if (file.kept())
            bytes.NoteKept();
        if (count_++ == 0)
            first_ = file.path();
        last_ = file.path();
    }

    std::string EndMailbox() override { return Said(); }
    std::string AbandonMailbox() noexcept override
    {
        try {
            return Said();
        } catch (...) {
            return std::string();
        }
    }

private:
    static std::string FolderOf(const std::string& prefix)
    {
        std::size_t slash = prefix.rfind('/');
        if (slash == std::string::npos)
            return ".";
        return slash == 0 ? "/" : prefix.substr(0, slash);
    }

    std::string Said() const
    {
        if (count_ == 0)
            return std::string();
        if (count_ == 1)
            return first_;
        return first_ + " to " + last_ + " (" + CountText(count_, "file") + ")";
    }

    Folder folder_;
    std::string prefix_;
    Buffer buffer_;
    std::string first_, last_;
    std::uint32_t count_ = 0;
};

class WinbiffWriter final : public MailboxFileWriter {
public:
    WinbiffWriter(const std::string& output, bool preferEuc)
        : MailboxFileWriter(output, kPiece), options_(NkfCoreParseOptions(preferEuc ? "s" : "Xs"))
    {
    }

private:
    std::string FileName(const std::string& stem) const override { return SafeFileName(stem); }

    void Append(OutputFile& file, const msim::Message& message, MessageBytes& bytes) override
    {
        // The raw buffer takes the message and then, as it is no longer
        // needed, the header block with the flag line; the converter never
        // lengthens a text, so the header block fits beside the room.
        std::size_t size = bytes.size();
        char* raw = raw_.Get(size + FLAGS_LINE_ROOM);
        bytes.Read(0, raw, size);
        // The converter takes a zero-terminated text, so a zero inside the
        // message ends it there.
        const void* zero = std::memchr(raw, '\0', size);
        std::size_t length = zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - raw) : size;
        char* converted = converted_.Get(length + 1);
        std::size_t convertedLength = NkfCoreConvert(converted, raw, length, options_);

        std::size_t header = MeasureHeaderBlock(converted);
        const char* rest = InsertFlagsHeader(converted, raw, message.unread ? 1 : 0);
        file.Write(raw, header + std::strlen(raw + header));
        file.Write(rest, convertedLength - static_cast<std::size_t>(rest - converted));
        file.Write("\r\n.\r\n", 5);
    }

    NkfOptions options_;
    Buffer raw_, converted_;
};

}  // namespace

char* Buffer::Get(std::size_t size)
{
    if (size > capacity_ || !data_) {
        // Grown in steps of 64 KiB, not doubled: it never holds much more
        // than the largest message.
        constexpr std::size_t kStep = std::size_t{64} << 10;
        std::size_t capacity = size / kStep * kStep + kStep;
        std::unique_ptr<char[]> grown(new char[capacity]);
        if (capacity_ > 0)
            std::memcpy(grown.get(), data_.get(), capacity_);
        data_ = std::move(grown);
        capacity_ = capacity;
    }
    return data_.get();
}

void MessageBytes::Read(std::uint64_t within, char* buffer, std::size_t count)
{
    if (!walk_.ReadMessage(message_, within, buffer, count))
        throw ExportError(walk_.failure().Describe(mailboxName_), true);
}

std::int64_t MessageBytes::TimeOf(std::string_view header)
{
    if (std::optional<std::int64_t> date = MessageDate(header))
        return *date;
    undated_ = true;
    return fileTime_;
}

std::string PlaceStem(std::string_view stem, Place place)
{
    switch (place) {
    case Place::kMain:
        break;
    case Place::kDeleted:
        return std::string(stem) + " (deleted)";
    case Place::kRecovered:
        return std::string(stem) + " (recovered)";
    }
    return std::string(stem);
}

std::string CountText(std::uint64_t count, const char* noun)
{
    std::string_view word = noun;
    const char* plural = !word.empty() && (word.back() == 'x' || word.back() == 's') ? "es" : "s";  // mailboxes
    return std::to_string(count) + " " + noun + (count == 1 ? "" : plural);
}

void MailboxFileWriter::BeginMailbox(const MailboxNames& names)
{
    stem_ = names.stem;
    // The mailbox's own file is made even when it gets no message, as the
    // program makes it.
    Open(Place::kMain);
}

MailboxFileWriter::Output& MailboxFileWriter::Open(Place place)
{
    Output& output = outputs_[static_cast<std::size_t>(place)];
    if (!output.file) {
        output.file.emplace(folder_, FileName(PlaceStem(stem_, place)), buffer_);
        output.count = 0;
    }
    return output;
}

void MailboxFileWriter::WriteMessage(const msim::Message& message, Place place, std::uint32_t, MessageBytes& bytes)
{
    Output& output = Open(place);
    Append(*output.file, message, bytes);
    // Resuming: every byte of the message was found in the file.
    if (output.file->verifying())
        bytes.NoteKept();
    output.file->Mark(++output.count);
}

std::string MailboxFileWriter::EndMailbox()
{
    std::string line;
    for (Output& output : outputs_) {
        if (!output.file)
            continue;
        output.file->Close();
        line += (line.empty() ? "" : "; ") + output.file->path() + ": " + CountText(output.count, "message");
        output.file.reset();
    }
    return line;
}

std::string MailboxFileWriter::AbandonMailbox() noexcept
{
    std::string line;
    for (Output& output : outputs_) {
        if (!output.file)
            continue;
        std::uint32_t kept = output.file->KeepComplete();
        try {
            line += (line.empty() ? "" : "; ") + output.file->path() + ": " + CountText(kept, "whole message");
        } catch (...) {
            // Out of memory for the report: the files are cut back all the same.
        }
        output.file.reset();
    }
    return line;
}

MessageForm::MessageForm(const WriterOptions& options)
    : readable_(options.raw ? nullptr : std::make_unique<mime::Readable>(options.preferEuc))
{
}

MessageForm::~MessageForm() = default;

std::string_view MessageForm::Read(MessageBytes& bytes)
{
    // The whole message first: a message that cannot be read leaves
    // nothing of itself in the output.
    char* data = buffer_.Get(bytes.size());
    bytes.Read(0, data, bytes.size());
    std::string_view stored(data, bytes.size());
    if (raw())
        return stored;
    readable_->Transform(stored, text_);
    replacedMessages_ += readable_->replaced() > 0 ? 1 : 0;
    return text_;
}

std::unique_ptr<Writer> MakeWriter(Format format, const std::string& output, const WriterOptions& options)
{
    switch (format) {
    case Format::kMbox:
        return MakeMboxWriter(output, options);
    case Format::kMaildir:
        return MakeMaildirWriter(output, options);
    case Format::kEml:
        return std::make_unique<EmlWriter>(output);
    case Format::kWinbiff:
        return std::make_unique<WinbiffWriter>(output, options.preferEuc);
    }
    return nullptr;
}

}  // namespace vexport
