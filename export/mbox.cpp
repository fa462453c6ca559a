// mboxrd files, one per mailbox, as Thunderbird, mutt and Python's mailbox
// module read them.
#include <cstdio>
#include <cstring>
#include <optional>

#include "maildate.h"
#include "names.h"
#include "output.h"
#include "writer.h"

namespace vexport {

namespace {

constexpr std::size_t kFileBuffer = std::size_t{1} << 20;

// Writes `text` line by line with one more ">" before every line that
// matches ^>*From ; `text` starts at the start of a line.
void WriteQuoted(std::string_view text, ByteSink& sink)
{
    // "From " is rare in mail, so it is searched for in the whole text and
    // each find is checked for standing at a line's start behind its '>'s,
    // rather than each line being looked at: a search call per line cost
    // more than copying the line.
    const char* data = text.data();
    std::size_t size = text.size();
    std::size_t written = 0;
    std::size_t from = 0;
    while (from < size) {
        std::size_t at = text.find("From ", from);
        if (at == std::string_view::npos)
            break;
        std::size_t line = at;
        while (line > 0 && data[line - 1] == '>')
            --line;
        if (line == 0 || data[line - 1] == '\n') {
            sink.Write(data + written, line - written);
            sink.Write(">", 1);
            written = line;
        }
        from = at + 5;
    }
    sink.Write(data + written, size - written);
}

// The address for the "From " line: one word, or MAILER-DAEMON.
std::string EnvelopeSender(std::string_view message)
{
    std::optional<std::string> from = FindHeader(message, "From");
    std::string address = from ? FromAddress(*from) : std::string();
    for (unsigned char c : address) {
        // A space or a control character would end or break the line.
        if (c <= ' ' || c == 0x7F)
            return "MAILER-DAEMON";
    }
    return address.empty() ? "MAILER-DAEMON" : address;
}

class MboxWriter final : public MailboxFileWriter {
public:
    MboxWriter(const std::string& output, const WriterOptions& options)
        : MailboxFileWriter(output, kFileBuffer), form_(options)
    {
    }
    std::uint32_t ReplacedMessages() const override { return form_.replacedMessages(); }

private:
    std::string FileName(const std::string& stem) const override { return SafeFileName(stem) + ".mbox"; }

    void Append(OutputFile& file, const msim::Message& message, MessageBytes& bytes) override
    {
        std::string_view text = form_.Read(bytes);
        Sink sink{file};
        WriteMboxEntry(text, message.unread, bytes.TimeOf(text.substr(0, HeaderBlockEnd(text))), sink);
    }

    struct Sink final : ByteSink {
        explicit Sink(OutputFile& file) : file(file) {}
        void Write(const char* bytes, std::size_t count) override { file.Write(bytes, count); }
        OutputFile& file;
    };

    MessageForm form_;
};

}  // namespace

std::size_t HeaderBlockEnd(std::string_view message)
{
    std::size_t line = 0;
    while (line < message.size()) {
        if (message[line] == '\n' || message.compare(line, 2, "\r\n") == 0)
            return line;
        std::size_t end = message.find('\n', line);
        if (end == std::string_view::npos)
            break;
        line = end + 1;
    }
    return message.size();
}

std::string AsctimeUtc(std::int64_t seconds)
{
    static const char kDays[][4] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};
    static const char kMonths[][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // Days since 1970-01-01 to a civil date (proleptic Gregorian), by eras
    // of 400 years.
    std::int64_t shifted = days + 719468;
    std::int64_t era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
    std::int64_t dayOfEra = shifted - era * 146097;
    std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    std::int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    std::int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    std::int64_t weekday = ((days % 7) + 7) % 7;

    char text[64];
    std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %lld", kDays[weekday], kMonths[month - 1],
                  static_cast<int>(day), static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                  static_cast<int>(rest % 60), static_cast<long long>(year));
    return text;
}

std::optional<std::int64_t> MessageDate(std::string_view header)
{
    std::optional<std::string> date = FindHeader(header, "Date");
    return date ? ParseMailDate(*date) : std::nullopt;
}

void WriteMboxEntry(std::string_view message, bool unread, std::int64_t date, ByteSink& sink)
{
    sink.Write("From " + EnvelopeSender(message) + " " + AsctimeUtc(date) + "\n");

    // Added lines end as the message's first line does.
    std::size_t firstEnd = message.find('\n');
    const char* eol = firstEnd != std::string_view::npos && firstEnd > 0 && message[firstEnd - 1] == '\r' ? "\r\n" : "\n";
    std::size_t headerEnd = HeaderBlockEnd(message);
    std::string_view header = message.substr(0, headerEnd);
    WriteQuoted(header, sink);
    if (!header.empty() && header.back() != '\n')
        sink.Write(eol);
    // Deleted mail is kept in a place of its own rather than marked: a
    // reader purges mail marked deleted (mutt's X-Status: D) when it closes
    // the folder.
    std::string marks = unread ? std::string() : "Status: RO" + std::string(eol);
    marks += std::string("X-Mozilla-Status: ") + (unread ? "0000" : "0001") + eol;
    sink.Write(marks);

    std::string_view rest = message.substr(headerEnd);
    WriteQuoted(rest, sink);
    if (!rest.empty() && rest.back() != '\n')
        sink.Write(eol);
    sink.Write("\n", 1);
}

std::unique_ptr<Writer> MakeMboxWriter(const std::string& output, const WriterOptions& options)
{
    return std::make_unique<MboxWriter>(output, options);
}

}  // namespace vexport
