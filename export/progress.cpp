#include "progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace vexport {

namespace {

// One UTF-8 sequence's code point and length at `at`; a stray byte is one
// character of its own.
char32_t Decode(std::string_view text, std::size_t at, std::size_t& length)
{
    unsigned char lead = static_cast<unsigned char>(text[at]);
    length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (at + length > text.size())
        length = 1;
    if (length == 1)
        return lead;
    char32_t point = lead & (0x3F >> (length - 1));
    for (std::size_t i = 1; i < length; ++i) {
        unsigned char next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) {
            length = 1;
            return lead;
        }
        point = point << 6 | (next & 0x3F);
    }
    return point;
}

int Columns(char32_t c)
{
    if (c < 0x20 || (c >= 0x7F && c < 0xA0))
        return 0;
    bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
                (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) || (c >= 0x20000 && c <= 0x3FFFD);
    return wide ? 2 : 1;
}

struct Piece {
    std::string_view bytes;
    int columns;
};

std::vector<Piece> Characters(std::string_view text)
{
    std::vector<Piece> pieces;
    for (std::size_t at = 0, length = 0; at < text.size(); at += length) {
        char32_t c = Decode(text, at, length);
        // Control characters are not sent to the terminal.
        int columns = Columns(c);
        pieces.push_back({columns == 0 ? std::string_view("?") : text.substr(at, length), columns == 0 ? 1 : columns});
    }
    return pieces;
}

// `text` in at most `columns`, its middle given up for "…".
std::string ShortenMiddle(std::string_view text, int columns)
{
    std::vector<Piece> pieces = Characters(text);
    int total = 0;
    for (const Piece& piece : pieces)
        total += piece.columns;
    std::string out;
    if (total <= columns) {
        for (const Piece& piece : pieces)
            out += piece.bytes;
        return out;
    }
    if (columns <= 0)
        return out;
    int room = columns - 1, left = (room + 1) / 2, right = room - left;
    std::size_t head = 0;
    for (int used = 0; head < pieces.size() && used + pieces[head].columns <= left; ++head)
        used += pieces[head].columns;
    std::size_t tail = pieces.size();
    for (int used = 0; tail > head && used + pieces[tail - 1].columns <= right; --tail)
        used += pieces[tail - 1].columns;
    for (std::size_t i = 0; i < head; ++i)
        out += pieces[i].bytes;
    out += "\xE2\x80\xA6";
    for (std::size_t i = tail; i < pieces.size(); ++i)
        out += pieces[i].bytes;
    return out;
}

std::string Megabytes(std::uint64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / 1e6);
    return text;
}

std::string Duration(double seconds)
{
    long s = static_cast<long>(seconds + 0.5);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

}  // namespace

int DisplayWidth(std::string_view text)
{
    int total = 0;
    for (const Piece& piece : Characters(text))
        total += piece.columns;
    return total;
}

std::string ProgressLine(const RunCounters& c, std::string_view name, double seconds, int columns)
{
    std::string box = "[" + std::to_string(c.mailbox) + "/" + std::to_string(c.mailboxes) + "] ";
    std::string messages = std::to_string(c.stepsDone) + "/" + std::to_string(c.steps) + " msgs";
    std::string bytes = Megabytes(c.bytesDone) + "/" + Megabytes(c.bytes) + " MB";
    std::string rate, left;
    if (seconds > 0.5 && c.bytesDone > 0) {
        double perSecond = static_cast<double>(c.bytesDone) / seconds;
        rate = Megabytes(static_cast<std::uint64_t>(perSecond)) + " MB/s";
        std::uint64_t rest = c.bytes > c.bytesDone ? c.bytes - c.bytesDone : 0;
        left = Duration(static_cast<double>(rest) / perSecond) + " left";
    }
    // The parts in the order they are given up when the line is narrow.
    std::string tail;
    int nameRoom = std::min(DisplayWidth(name), 16);
    for (const std::string* part : {&messages, &bytes, &rate, &left}) {
        std::string longer = tail + (part->empty() ? "" : "  " + *part);
        // The name keeps 16 columns (or all of it): the figures go first.
        if (static_cast<int>(box.size() + longer.size()) + nameRoom > columns - 1)
            break;
        tail = longer;
    }
    std::string line = box;
    int room = columns - 1 - static_cast<int>(box.size() + tail.size());
    line += ShortenMiddle(name, room);
    line += tail;
    // A terminal narrower than the counter itself gets what fits of it.
    if (DisplayWidth(line) > columns - 1)
        line = ShortenMiddle(line, columns - 1);
    return line;
}

void Progress::Update()
{
    if (!shown_)
        return;
    Clock::time_point now = Clock::now();
    if (now < next_)
        return;
    next_ = now + std::chrono::milliseconds(250);
    struct winsize size {};
    int columns = ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
    std::string line = ProgressLine(counters_, name_, std::chrono::duration<double>(now - start_).count(), columns);
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void Progress::Clear()
{
    if (drawn_) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        drawn_ = false;
    }
}

}  // namespace vexport
