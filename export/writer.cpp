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
#include "progress.h"

namespace vexport {

std::unique_ptr<Writer> MakeMboxWriter(const std::string& output);
std::unique_ptr<Writer> MakeMaildirWriter(const std::string& output);

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

    void WriteMessage(const msim::Message&, std::uint32_t number, MessageBytes& bytes) override
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
        return first_ + " to " + last_ + " (" + std::to_string(count_) + " files)";
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
        : MailboxFileWriter(output), options_(NkfCoreParseOptions(preferEuc ? "s" : "Xs"))
    {
    }

    void BeginMailbox(const MailboxNames& names) override
    {
        BeginFile(SafeFileName(names.stem), kPiece);
    }

    void WriteMessage(const msim::Message& message, std::uint32_t, MessageBytes& bytes) override
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
        file_->Write(raw, header + std::strlen(raw + header));
        file_->Write(rest, convertedLength - static_cast<std::size_t>(rest - converted));
        file_->Write("\r\n.\r\n", 5);
        file_->Mark(++count_);
    }

private:
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

void MailboxFileWriter::BeginFile(const std::string& name, std::size_t buffer)
{
    file_.emplace(folder_, name, buffer);
    count_ = 0;
}

std::string MailboxFileWriter::EndMailbox()
{
    file_->Close();
    std::string line = file_->path() + ": " + Counted(count_, "message");
    file_.reset();
    return line;
}

std::string MailboxFileWriter::AbandonMailbox() noexcept
{
    if (!file_)
        return std::string();
    std::uint32_t kept = file_->KeepComplete();
    std::string line = file_->path() + ": " + Counted(kept, "whole message");
    file_.reset();
    return line;
}

std::unique_ptr<Writer> MakeWriter(Format format, const std::string& output, bool preferEuc)
{
    switch (format) {
    case Format::kMbox:
        return MakeMboxWriter(output);
    case Format::kMaildir:
        return MakeMaildirWriter(output);
    case Format::kEml:
        return std::make_unique<EmlWriter>(output);
    case Format::kWinbiff:
        return std::make_unique<WinbiffWriter>(output, preferEuc);
    }
    return nullptr;
}

}  // namespace vexport
