#include "store_gen.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace storegen {

namespace {

const char GeneratorVersion[] = "bench_export store v1";

struct Rng {
    uint64_t state;
    uint64_t Next()
    {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t Below(uint32_t bound) { return (uint32_t)(Next() % bound); }
    uint32_t Between(uint32_t lo, uint32_t hi) { return lo + Below(hi - lo + 1); }
    // Log-uniform between lo and hi.
    uint32_t LogBetween(uint32_t lo, uint32_t hi)
    {
        double u = (double)(Next() >> 11) / 9007199254740992.0;
        double v = (double)lo * std::pow((double)hi / lo, u);
        return std::min(hi, std::max(lo, (uint32_t)v));
    }
};

enum Code { CODE_JIS, CODE_EUC, CODE_SJIS, CODE_COUNT };
const char *const Charsets[CODE_COUNT] = {"ISO-2022-JP", "EUC-JP", "Shift_JIS"};

// JIS X 0208 cells of ordinary prose: hiragana most, kanji of both levels,
// katakana, punctuation.
void ProseCell(Rng &r, int *row, int *cell)
{
    uint32_t k = r.Below(100);
    if (k < 55) {
        *row = 4, *cell = (int)r.Between(1, 83);
    } else if (k < 75) {
        *row = (int)r.Between(16, 46), *cell = (int)r.Between(1, 94);
    } else if (k < 85) {
        *row = (int)r.Between(48, 83), *cell = (int)r.Between(1, 94);
    } else if (k < 93) {
        *row = 5, *cell = (int)r.Between(1, 86);
    } else {
        static const int punctuation[] = {2, 3, 4, 5, 6, 9, 10, 25, 28, 42, 43, 54, 55};
        *row = 1, *cell = punctuation[r.Below(sizeof punctuation / sizeof punctuation[0])];
    }
}

void AppendCell(std::string &out, Code code, int row, int cell)
{
    int j1 = 0x20 + row, j2 = 0x20 + cell;
    if (code == CODE_JIS) {
        out += (char)j1;
        out += (char)j2;
    } else if (code == CODE_EUC) {
        out += (char)(j1 | 0x80);
        out += (char)(j2 | 0x80);
    } else {
        int lead = ((j1 + 1) >> 1) + (j1 <= 0x5E ? 0x70 : 0xB0);
        int trail = (j1 & 1) ? j2 + 0x1F + (j2 >= 0x60 ? 1 : 0) : j2 + 0x7E;
        out += (char)lead;
        out += (char)trail;
    }
}

// One line of prose (without its line end): Japanese runs and ASCII words.
std::string ProseLine(Rng &r, Code code)
{
    static const char *const words[] = {"Windows", "OK", "http://www.example.co.jp/", "1997", "10:30",
                                        "PC", "CD-ROM", "e-mail", "FAX", "03-1234-5678", "MS-IM"};
    std::string line;
    int characters = (int)r.Between(12, 36);
    bool inKanji = false;
    for (int i = 0; i < characters; i++) {
        if (r.Below(30) == 0) {
            if (inKanji && code == CODE_JIS)
                line += "\x1b(B";
            inKanji = false;
            line += words[r.Below(sizeof words / sizeof words[0])];
            continue;
        }
        if (!inKanji && code == CODE_JIS)
            line += "\x1b$B";
        inKanji = true;
        int row, cell;
        ProseCell(r, &row, &cell);
        AppendCell(line, code, row, cell);
    }
    if (inKanji && code == CODE_JIS)
        line += "\x1b(B";
    return line;
}

// A message of exactly `size` bytes (size >= SmallestMessage).
std::string MakeMessage(Rng &r, uint32_t size, uint32_t number)
{
    Code code = (Code)r.Below(CODE_COUNT);
    std::string text;
    char header[768];
    if (size < 1024) {
        std::snprintf(header, sizeof header, "From: s%u@example.jp\r\nSubject: #%u\r\n\r\n", number % 97, number);
    } else {
        std::snprintf(header, sizeof header,
                      "Received: from mail%u.example.co.jp by mx.example.jp (8.8.5/3.5W)\r\n"
                      "\tid K%08u; Mon, 7 Apr 1997 %02u:%02u:%02u +0900\r\n"
                      "Message-Id: <199704%06u.K%08u@mail%u.example.co.jp>\r\n"
                      "From: sender%u@example.co.jp\r\nTo: user@example.jp\r\n"
                      "Date: Mon, 7 Apr 1997 %02u:%02u:%02u +0900\r\n"
                      "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=%s\r\n"
                      "Content-Transfer-Encoding: %s\r\nSubject: ",
                      number % 9, number, number % 24, number % 60, number * 7 % 60, number, number, number % 9,
                      number % 1000, number % 24, number % 60, number * 7 % 60, Charsets[code],
                      code == CODE_JIS ? "7bit" : "8bit");
    }
    text = header;
    if (size >= 1024) {
        std::string subject = ProseLine(r, code);
        text += subject + "\r\n\r\n";
    }
    // Whole lines while they fit, then ASCII to the exact size.
    for (;;) {
        std::string line = ProseLine(r, code) + "\r\n";
        if (text.size() + line.size() + 2 > size)
            break;
        text += line;
        if (r.Below(8) == 0 && text.size() + 4 <= size)
            text += "\r\n";
    }
    if (text.size() > size)
        text.resize(size);
    size_t rest = size - text.size();
    if (rest >= 2)
        text += std::string(rest - 2, 'x') + "\r\n";
    else
        text += std::string(rest, '\n');
    return text;
}

void PutU32(char *at, uint32_t value)
{
    for (int i = 0; i < 4; i++)
        at[i] = (char)(value >> (8 * i));
}

class Writer {
public:
    explicit Writer(const std::string &path) : path_(path), file_(std::fopen(path.c_str(), "wb"))
    {
        if (file_ == nullptr)
            Fail("cannot create " + path);
    }
    ~Writer() { Close(); }
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;
    void Append(const std::string &bytes)
    {
        buffer_ += bytes;
        size_ += bytes.size();
        if (buffer_.size() >= (4u << 20))
            Flush();
    }
    uint64_t Size() const { return size_; }
    // Overwrites 4 bytes at `offset`, after everything is written.
    void Patch(uint32_t offset, uint32_t value)
    {
        Flush();
        char bytes[4];
        PutU32(bytes, value);
        if (std::fseek(file_, (long)offset, SEEK_SET) != 0 || std::fwrite(bytes, 1, 4, file_) != 4 ||
            std::fseek(file_, 0, SEEK_END) != 0)
            Fail("cannot write " + path_);
    }
    void Close()
    {
        if (file_ == nullptr)
            return;
        Flush();
        bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        if (!closed)
            Fail("cannot write " + path_);
    }

private:
    void Flush()
    {
        if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size())
            Fail("cannot write " + path_);
        buffer_.clear();
    }
    std::string path_;
    FILE *file_;
    std::string buffer_;
    uint64_t size_ = 0;
};

// One mailbox (and its index unless `indexed` is false) of about `bytes`,
// with sizes drawn by `draw`; `first` sizes come before the drawn ones.
template <typename Draw>
void MakeMailbox(const std::string &dir, const std::string &name, uint64_t bytes, bool indexed, uint64_t seed,
                 const std::vector<uint32_t> &first, Draw draw, StoreInfo *info)
{
    Rng r{seed};
    Writer mailbox(dir + name + ".mbx");
    std::string head = "JMF6" + std::string(80, '\0');
    for (size_t i = 4; i < 84; i++)
        head[i] = (char)(0x20 + i);
    mailbox.Append(head);
    std::string index = "JMF9" + std::string(76, '\0');
    uint32_t count = 0;
    while (mailbox.Size() < bytes || count < first.size()) {
        uint32_t size = count < first.size() ? first[count] : draw(r);
        std::string message = MakeMessage(r, size, count + 1);
        uint32_t slack = r.Below(4) == 0 ? r.Between(1, 64) : 0;
        std::string record(16, '\x5a');
        PutU32(&record[8], (uint32_t)(16 + size + slack));
        PutU32(&record[12], size);
        uint32_t offset = (uint32_t)mailbox.Size();
        mailbox.Append(record);
        mailbox.Append(message);
        mailbox.Append(std::string(slack, '\xc3'));
        // Entries of 24 to 40 bytes; a few deleted, some unread.
        uint32_t entryLength = 24 + 4 * r.Below(5);
        std::string entry(entryLength, '\x3c');
        uint32_t k = r.Below(100);
        entry[0] = (char)((k < 4 ? 0x01 : 0) | (k >= 60 ? 0x02 : 0));
        PutU32(&entry[16], entryLength);
        PutU32(&entry[20], offset);
        index += entry;
        count++;
        info->messages++;
        info->messageBytes += size;
        info->smallest = std::min(info->smallest, size);
        info->largest = std::max(info->largest, size);
    }
    mailbox.Patch(8, count);
    info->storeBytes += mailbox.Size();
    mailbox.Close();
    info->mailboxes++;
    if (indexed) {
        PutU32(&index[8], count);
        Writer idx(dir + name + ".idx");
        idx.Append(index);
        info->storeBytes += idx.Size();
        info->indexed++;
    }
}

// Mostly short mail, some long, a few large: thousands of messages per
// 100 MiB, from 200 bytes to 1 MiB.
uint32_t MixedSize(Rng &r)
{
    uint32_t k = r.Below(100);
    if (k < 80)
        return r.LogBetween(SmallestMessage, 16 * 1024);
    if (k < 97)
        return r.LogBetween(16 * 1024, 256 * 1024);
    return r.LogBetween(256 * 1024, LargestMessage);
}

}  // namespace

void Fail(const std::string &why)
{
    std::fprintf(stderr, "store generator: %s\n", why.c_str());
    std::fflush(stderr);
    std::exit(3);
}

void WriteMixedStore(const std::string &dir, int mib, StoreInfo *info)
{
    static const char *const names[] = {"Inbox", "Sent Items", "Archive 1997", "Lists", "Deleted Items", "Outbox"};
    static const unsigned shares[] = {30, 15, 20, 20, 10, 5};
    for (int m = 0; m < 6; m++) {
        uint64_t bytes = (uint64_t)mib * (1 << 20) * shares[m] / 100;
        // The largest and the smallest message a store can hold are in every store.
        std::vector<uint32_t> first;
        if (m == 0)
            first = {SmallestMessage, LargestMessage};
        MakeMailbox(dir, names[m], bytes, m != 5, 1000003ull * mib + m, first, MixedSize, info);
    }
}

void WriteUniformStore(const std::string &dir, uint32_t lo, uint32_t hi, uint64_t bytes, StoreInfo *info)
{
    MakeMailbox(dir, "Inbox", bytes, true, lo * 31ull + hi, {}, [lo, hi](Rng &r) { return r.Between(lo, hi); },
                info);
}

std::string Describe(const StoreInfo &s)
{
    char line[512];
    std::snprintf(line, sizeof line, "%s\n%u %u %u %u %u %llu %llu\n", GeneratorVersion, s.messages, s.mailboxes,
                  s.indexed, s.smallest, s.largest, (unsigned long long)s.storeBytes,
                  (unsigned long long)s.messageBytes);
    return line;
}

bool ParseDescription(const std::string &text, StoreInfo *s)
{
    size_t newline = text.find('\n');
    if (newline == std::string::npos || text.substr(0, newline) != GeneratorVersion)
        return false;
    unsigned long long store, messages;
    if (std::sscanf(text.c_str() + newline + 1, "%u %u %u %u %u %llu %llu", &s->messages, &s->mailboxes,
                    &s->indexed, &s->smallest, &s->largest, &store, &messages) != 7)
        return false;
    s->storeBytes = store;
    s->messageBytes = messages;
    return true;
}

}  // namespace storegen
