// Store conversion against its file-system floor (prints figures; not a test).
//
//   bench_store [--sizes 50,100,200] [--runs N] [--modes eml,wb] [--data DIR] [--out DIR]
//               [--window] [--no-memory]
//
// Generates, once and deterministically, MS-IM stores of the given sizes in
// MiB under DIR (six mailboxes, five with an index; messages of 200 bytes to
// 1 MiB with Japanese bodies in ISO-2022-JP, EUC-JP and Shift_JIS), and two
// small stores for the memory figures.  Then, N times per store, it runs:
//
//   eml        ExportMailboxAsEml over every mailbox, as a store run calls it
//              (SourceDir, OutputBase, RunState set; the directory search's
//              order; the buffers given back at the end as the run does);
//   eml-floor  the same bytes read with ReadFile and written with WriteFile
//              into as many new files, without any of the program's logic;
//   wb         ConvertMailboxToWinbiff over every mailbox;
//   wb-floor   the same bytes read and written into one file per mailbox.
//
// Program and floor alternate within each run.  For each it prints MiB/s
// (MiB of store per second) and messages/s by the wall clock, MiB/s by the
// processor time of the thread, and the program's speed as a fraction of its
// floor's (per run: floor time / program time, by both clocks), each as
// min/median/max of the runs.  The processor-time figures are the ones to
// compare on a shared machine; cpu/wall shows how much of the wall time the
// benchmark had a processor (the .eml modes also wait for the wine server,
// which creates and closes the files).
//
// Memory: the peak working set over the idle process of each program mode
// over each store, each in a process of its own (the peak cannot be reset).
//
// The progress window stays closed unless --window is given: under Wine and
// Xvfb every step of its bar repaints at once and costs a millisecond or
// more, which would measure the X server rather than the conversion.
//
// Any message box the code shows ends the benchmark.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "eml.h"
#include "files.h"
#include "msgbox.h"
#include "progress.h"
#include "state.h"
#include "winbiff.h"

namespace {

const double MiB = 1024.0 * 1024.0;
const uint32_t LargestMessage = 1024 * 1024;
const uint32_t SmallestMessage = 200;
const char GeneratorVersion[] = "bench_store store v1";

// --- Any box ends the benchmark ----------------------------------------------

std::string Utf8FromAnsi(const char *text)
{
    int wide = MultiByteToWideChar(CP_ACP, 0, text, -1, NULL, 0);
    std::wstring w(wide > 0 ? wide : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &w[0], wide);
    int narrow = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, NULL, 0, NULL, NULL);
    std::string s(narrow > 0 ? narrow : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &s[0], narrow, NULL, NULL);
    return s.c_str();
}

void Die(const std::string &why)
{
    std::fprintf(stderr, "bench_store: %s\n", why.c_str());
    std::fflush(stderr);
    ExitProcess(3);
}

}  // namespace

int ShowBox(const char *text, const char *caption, UINT style)
{
    (void)style;
    Die("the code showed a message box: [" + Utf8FromAnsi(caption ? caption : "") + "] " + Utf8FromAnsi(text));
    return IDOK;
}

namespace {

// --- Deterministic store ----------------------------------------------------

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
    explicit Writer(const std::string &path) : path_(path)
    {
        file_ = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file_ == INVALID_HANDLE_VALUE)
            Die("cannot create " + path);
    }
    ~Writer() { Close(); }
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
        SetFilePointer(file_, (LONG)offset, NULL, FILE_BEGIN);
        DWORD done = 0;
        if (!WriteFile(file_, bytes, 4, &done, NULL) || done != 4)
            Die("cannot write " + path_);
        SetFilePointer(file_, 0, NULL, FILE_END);
    }
    void Close()
    {
        if (file_ == INVALID_HANDLE_VALUE)
            return;
        Flush();
        CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
    }
private:
    void Flush()
    {
        DWORD done = 0;
        if (!buffer_.empty() && (!WriteFile(file_, buffer_.data(), (DWORD)buffer_.size(), &done, NULL) ||
                                 done != buffer_.size()))
            Die("cannot write " + path_);
        buffer_.clear();
    }
    std::string path_;
    HANDLE file_;
    std::string buffer_;
    uint64_t size_ = 0;
};

struct StoreInfo {
    std::string dir;        // ends in a backslash
    uint64_t storeBytes;    // mailboxes and indexes
    uint64_t messageBytes;  // the messages alone
    uint32_t messages;
    uint32_t mailboxes;
    uint32_t indexed;
    uint32_t smallest;
    uint32_t largest;
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

std::string ReadSmallFile(const std::string &path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return "";
    char buffer[4096];
    DWORD done = 0;
    ReadFile(file, buffer, sizeof buffer - 1, &done, NULL);
    CloseHandle(file);
    return std::string(buffer, done);
}

void WriteSmallFile(const std::string &path, const std::string &text)
{
    Writer w(path);
    w.Append(text);
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

// A store of `mib` MiB in six mailboxes (one without an index), made once;
// the description file marks a finished store.
StoreInfo MixedStore(const std::string &data, int mib)
{
    StoreInfo info = {data + "store-" + std::to_string(mib) + "\\", 0, 0, 0, 0, 0, 0xffffffffu, 0};
    std::string stamp = info.dir + "store.txt";
    if (ParseDescription(ReadSmallFile(stamp), &info))
        return info;
    std::printf("generating the %d MiB store in %s ...\n", mib, info.dir.c_str());
    std::fflush(stdout);
    RemoveTree(info.dir);
    CreateDirectoryA(info.dir.c_str(), NULL);
    static const char *const names[] = {"Inbox", "Sent Items", "Archive 1997", "Lists", "Deleted Items", "Outbox"};
    static const unsigned shares[] = {30, 15, 20, 20, 10, 5};
    for (int m = 0; m < 6; m++) {
        uint64_t bytes = (uint64_t)mib * (1 << 20) * shares[m] / 100;
        // The largest and the smallest message a store can hold are in every store.
        std::vector<uint32_t> first;
        if (m == 0)
            first = {SmallestMessage, LargestMessage};
        MakeMailbox(info.dir, names[m], bytes, m != 5, 1000003ull * mib + m, first, MixedSize, &info);
    }
    WriteSmallFile(stamp, Describe(info));
    return info;
}

// One indexed mailbox of messages of one kind of size, for the memory figures.
StoreInfo UniformStore(const std::string &data, const char *name, uint32_t lo, uint32_t hi, uint64_t bytes)
{
    StoreInfo info = {data + name + "\\", 0, 0, 0, 0, 0, 0xffffffffu, 0};
    std::string stamp = info.dir + "store.txt";
    if (ParseDescription(ReadSmallFile(stamp), &info))
        return info;
    RemoveTree(info.dir);
    CreateDirectoryA(info.dir.c_str(), NULL);
    MakeMailbox(info.dir, "Inbox", bytes, true, lo * 31ull + hi, {},
                [lo, hi](Rng &r) { return r.Between(lo, hi); }, &info);
    WriteSmallFile(stamp, Describe(info));
    return info;
}

// --- Files -------------------------------------------------------------------

// The mailboxes in the order a store run takes them: the directory search's.
std::vector<std::string> Mailboxes(const std::string &dir)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "*.mbx").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        Die("no mailbox in " + dir);
    do
        names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

struct OutputTotals {
    uint64_t files;
    uint64_t bytes;
};

OutputTotals Totals(const std::string &dir)
{
    OutputTotals totals = {0, 0};
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return totals;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        totals.files++;
        totals.bytes += ((uint64_t)found.nFileSizeHigh << 32) | found.nFileSizeLow;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return totals;
}

// --- Memory ------------------------------------------------------------------

PROCESS_MEMORY_COUNTERS Memory()
{
    PROCESS_MEMORY_COUNTERS counters;
    memset(&counters, 0, sizeof counters);
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters;
}

// --- The work ----------------------------------------------------------------

enum Mode { EML_FLOOR, EML, WB_FLOOR, WB, MODES };
const char *const ModeNames[MODES] = {"eml-floor", "eml", "wb-floor", "wb"};

bool UseWindow = false;

void RunProgram(const StoreInfo &store, const std::string &out, bool winbiff)
{
    if (store.dir.size() >= PATH_BUFFER_SIZE || out.size() + 16 >= PATH_BUFFER_SIZE)
        Die("paths too long");
    lstrcpyA(SourceDir, store.dir.c_str());
    if (winbiff) {
        lstrcpyA(OutputBase, out.c_str());
        lstrcatA(OutputBase, "From MS-IM\\");
        CreateDirectoryA(OutputBase, NULL);
    } else {
        lstrcpyA(OutputBase, out.c_str());
        lstrcatA(OutputBase, "exp");
    }
    // What a store run does around the per-mailbox operations: the counters,
    // the progress window, the directory search.
    RunState.mailboxCount = 0;
    RunState.messageNumber = 0;
    RunState.deletedCount = 0;
    RunState.skipDeleted = 0;
    if (UseWindow && !CreateProgressDialog())
        Die("no progress window");
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((std::string(SourceDir) + "*.mbx").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        Die("no mailbox");
    do {
        if (!(winbiff ? ConvertMailboxToWinbiff(found.cFileName) : ExportMailboxAsEml(found.cFileName)))
            Die("a mailbox failed");
        RunState.mailboxCount++;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    GiveBackWinbiffBuffers();  // as the end of a run does
    if (UseWindow)
        DestroyWindow(ProgressDialog);
    ProgressDialog = NULL;
    if ((uint32_t)RunState.messageNumber != store.messages)
        Die("the program handed on " + std::to_string(RunState.messageNumber) + " messages, the store holds " +
            std::to_string(store.messages));
}

// The floor: what the file system has to do at least.  The index (or, for a
// mailbox without one, the record heads) says where the messages are; each
// message is read with one ReadFile and written with one WriteFile.
std::vector<char> FloorBuffer;

bool ReadAll(HANDLE file, void *buffer, DWORD count)
{
    DWORD done = 0;
    return ReadFile(file, buffer, count, &done, NULL) && done == count;
}

void RunFloor(const StoreInfo &store, const std::string &out, bool winbiff)
{
    FloorBuffer.resize(LargestMessage + 16);
    char *buffer = FloorBuffer.data();
    uint32_t number = 0;
    std::string folderDir = out + "From MS-IM\\";
    if (winbiff)
        CreateDirectoryA(folderDir.c_str(), NULL);
    for (const std::string &name : Mailboxes(store.dir)) {
        std::string path = store.dir + name;
        HANDLE mailbox = CreateFileA(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        if (mailbox == INVALID_HANDLE_VALUE)
            Die("floor: cannot open " + path);
        std::string indexPath = path.substr(0, path.size() - 3) + "idx";
        HANDLE index =
            CreateFileA(indexPath.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        std::vector<uint32_t> offsets;
        if (index != INVALID_HANDLE_VALUE) {
            DWORD size = GetFileSize(index, NULL);
            std::string bytes(size, '\0');
            if (!ReadAll(index, &bytes[0], size))
                Die("floor: cannot read " + indexPath);
            CloseHandle(index);
            uint32_t count, at = 80;
            memcpy(&count, &bytes[8], 4);
            for (uint32_t i = 0; i < count; i++) {
                uint32_t length, offset;
                memcpy(&length, &bytes[at + 16], 4);
                memcpy(&offset, &bytes[at + 20], 4);
                offsets.push_back(offset);
                at += length;
            }
        } else {
            char head[84];
            if (!ReadAll(mailbox, head, sizeof head))
                Die("floor: cannot read " + path);
            uint32_t count, at = 84;
            memcpy(&count, head + 8, 4);
            for (uint32_t i = 0; i < count; i++) {
                char record[16];
                SetFilePointer(mailbox, (LONG)at, NULL, FILE_BEGIN);
                if (!ReadAll(mailbox, record, 16))
                    Die("floor: cannot read " + path);
                offsets.push_back(at);
                uint32_t length;
                memcpy(&length, record + 8, 4);
                at += length;
            }
        }
        HANDLE folder = INVALID_HANDLE_VALUE;
        if (winbiff) {
            std::string folderPath = folderDir + name.substr(0, name.size() - 4);
            folder = CreateFileA(folderPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, NULL);
            if (folder == INVALID_HANDLE_VALUE)
                Die("floor: cannot create " + folderPath);
        }
        for (uint32_t offset : offsets) {
            uint32_t size;
            SetFilePointer(mailbox, (LONG)offset, NULL, FILE_BEGIN);
            if (!ReadAll(mailbox, buffer, 16))
                Die("floor: cannot read " + path);
            memcpy(&size, buffer + 12, 4);
            if (size > LargestMessage || !ReadAll(mailbox, buffer, size))
                Die("floor: cannot read " + path);
            HANDLE target = folder;
            if (!winbiff) {
                char file[32];
                std::snprintf(file, sizeof file, "exp%05u.eml", ++number);
                target = CreateFileA((out + file).c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, NULL);
                if (target == INVALID_HANDLE_VALUE)
                    Die("floor: cannot create " + out + file);
            }
            DWORD done = 0;
            if (!WriteFile(target, buffer, size, &done, NULL) || done != size)
                Die("floor: cannot write");
            if (!winbiff)
                CloseHandle(target);
        }
        if (winbiff)
            CloseHandle(folder);
        CloseHandle(mailbox);
    }
}

struct Sample {
    double seconds;       // wall clock
    double cpuSeconds;    // on a processor, system calls included
};

// This thread's processor time (user and system), which every step of the
// work runs on.  Steadier than the wall clock on a machine that other work
// shares, though Wine counts it in ticks of 10 ms.
double ThreadSeconds()
{
    FILETIME created, exited, system, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &system, &user))
        return 0;
    ULARGE_INTEGER s, u;
    s.LowPart = system.dwLowDateTime, s.HighPart = system.dwHighDateTime;
    u.LowPart = user.dwLowDateTime, u.HighPart = user.dwHighDateTime;
    return (double)(s.QuadPart + u.QuadPart) / 1e7;
}

Sample RunPhase(Mode mode, const StoreInfo &store, const std::string &out)
{
    RemoveTree(out);
    CreateDirectoryA(out.c_str(), NULL);
    LARGE_INTEGER frequency, start, end;
    double cpuStart = ThreadSeconds();
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    switch (mode) {
    case EML_FLOOR: RunFloor(store, out, false); break;
    case EML: RunProgram(store, out, false); break;
    case WB_FLOOR: RunFloor(store, out, true); break;
    case WB: RunProgram(store, out, true); break;
    default: break;
    }
    QueryPerformanceCounter(&end);
    double cpuEnd = ThreadSeconds();
    Sample sample;
    sample.seconds = (double)(end.QuadPart - start.QuadPart) / (double)frequency.QuadPart;
    sample.cpuSeconds = cpuEnd - cpuStart;
    return sample;
}

// Both modes must have written what their floors wrote: as many .eml files
// with the same bytes in all, one folder file per mailbox.
void CheckOutputs(Mode mode, const StoreInfo &store, const std::string &out)
{
    if (mode == EML || mode == EML_FLOOR) {
        OutputTotals t = Totals(out);
        if (t.files != store.messages || t.bytes != store.messageBytes)
            Die(std::string(ModeNames[mode]) + ": " + std::to_string(t.files) + " files of " +
                std::to_string(t.bytes) + " bytes, expected " + std::to_string(store.messages) + " of " +
                std::to_string(store.messageBytes));
    } else {
        OutputTotals t = Totals(out + "From MS-IM\\");
        if (t.files != store.mailboxes || t.bytes == 0)
            Die(std::string(ModeNames[mode]) + ": " + std::to_string(t.files) + " folder files");
    }
}

struct Figures {
    double min, median, max;
};

Figures Summarise(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return Figures{values.front(), median, values.back()};
}

std::string Show(const Figures &f, const char *format)
{
    char a[32], b[32], c[32], line[128];
    std::snprintf(a, sizeof a, format, f.min);
    std::snprintf(b, sizeof b, format, f.median);
    std::snprintf(c, sizeof c, format, f.max);
    std::snprintf(line, sizeof line, "%s/%s/%s", a, b, c);
    return line;
}

std::string LoadAverage()
{
    std::string text = ReadSmallFile("Z:\\proc\\loadavg");
    size_t cut = text.find(' ', text.find(' ', text.find(' ') + 1) + 1);
    return cut == std::string::npos ? "?" : text.substr(0, cut);
}

struct StoreResult {
    StoreInfo info;
    int runs;
    std::vector<Sample> samples[MODES];
};

// Seconds by the wall clock or by this thread's processor time.
enum Clock { WALL, CPU };

double Seconds(const Sample &x, Clock clock)
{
    return clock == WALL ? x.seconds : x.cpuSeconds;
}

void PrintStore(const StoreResult &r)
{
    const StoreInfo &s = r.info;
    double mib = (double)s.storeBytes / MiB;
    std::printf("\n%.1f MiB store: %u mailboxes (%u indexed), %u messages of %u to %u bytes, %d runs; "
                "min/median/max of the runs\n",
                mib, s.mailboxes, s.indexed, s.messages, s.smallest, s.largest, r.runs);
    std::printf("  %-9s %-18s %-18s %-17s %-15s %-15s %s\n", "mode", "MiB/s", "msg/s", "MiB/s by cpu",
                "vs floor", "vs floor by cpu", "cpu/wall %");
    for (int m = 0; m < MODES; m++) {
        if (r.samples[m].empty())
            continue;
        std::vector<double> rate, messages, cpuRate, ratio, cpuRatio, busy;
        for (size_t i = 0; i < r.samples[m].size(); i++) {
            const Sample &x = r.samples[m][i];
            rate.push_back(mib / x.seconds);
            messages.push_back(s.messages / x.seconds);
            cpuRate.push_back(mib / x.cpuSeconds);
            busy.push_back(100 * x.cpuSeconds / x.seconds);
            if (m == EML || m == WB) {
                ratio.push_back(r.samples[m - 1][i].seconds / x.seconds);
                cpuRatio.push_back(r.samples[m - 1][i].cpuSeconds / x.cpuSeconds);
            }
        }
        std::printf("  %-9s %-18s %-18s %-17s %-15s %-15s %s\n", ModeNames[m],
                    Show(Summarise(rate), "%.0f").c_str(), Show(Summarise(messages), "%.0f").c_str(),
                    Show(Summarise(cpuRate), "%.0f").c_str(),
                    ratio.empty() ? "" : Show(Summarise(ratio), "%.2f").c_str(),
                    cpuRatio.empty() ? "" : Show(Summarise(cpuRatio), "%.2f").c_str(),
                    Show(Summarise(busy), "%.0f").c_str());
    }
}

double MedianSecondsPerMiB(const StoreResult &r, Mode m, Clock clock)
{
    std::vector<double> cost;
    for (const Sample &x : r.samples[m])
        cost.push_back(Seconds(x, clock) / ((double)r.info.storeBytes / MiB));
    return Summarise(cost).median;
}

double MedianRatio(const StoreResult &r, Mode m, Clock clock)
{
    std::vector<double> ratio;
    for (size_t i = 0; i < r.samples[m].size(); i++)
        ratio.push_back(Seconds(r.samples[m - 1][i], clock) / Seconds(r.samples[m][i], clock));
    return Summarise(ratio).median;
}

StoreResult Measure(const StoreInfo &store, const std::string &out, int runs, const std::vector<Mode> &modes)
{
    StoreResult result;
    result.info = store;
    result.runs = runs;
    for (int run = 0; run < runs; run++) {
        // Floor and program alternate, the program first on every other run,
        // so that a slow spell of the shared machine falls on both alike.
        std::vector<Mode> order;
        for (Mode m : modes) {
            Mode floor = (Mode)(m - 1);
            if (run % 2) {
                order.push_back(m);
                order.push_back(floor);
            } else {
                order.push_back(floor);
                order.push_back(m);
            }
        }
        for (Mode m : order) {
            Sample sample = RunPhase(m, store, out);
            if (run == 0)
                CheckOutputs(m, store, out);
            result.samples[m].push_back(sample);
        }
    }
    RemoveTree(out);
    return result;
}

// --- Memory: one process per measurement ------------------------------------
//
// The peak working set is the process's high-water mark (Wine takes it from
// Linux), which cannot be reset from inside the process.  So each figure
// comes from a fresh process that runs one mode over one store: its peak
// less its working set just before the work began.

// In the child: runs the program's mode over the store and prints the
// working set before and the peak after, in bytes.
int MemoryChild(const std::string &mode, const std::string &storeDir, const std::string &out)
{
    StoreInfo store = {storeDir, 0, 0, 0, 0, 0, 0xffffffffu, 0};
    if (mode != "probe" && !ParseDescription(ReadSmallFile(storeDir + "store.txt"), &store))
        Die("no store in " + storeDir);
    RemoveTree(out);
    CreateDirectoryA(out.c_str(), NULL);
    if (mode == "wb") {
        // The output folder as the run makes it, before the work begins.
        CreateDirectoryA((out + "From MS-IM\\").c_str(), NULL);
    }
    SIZE_T idle = Memory().WorkingSetSize;
    if (mode == "probe") {
        // The method's own check: 8 MiB touched must show as 8 MiB.
        const SIZE_T size = 8u << 20;
        char *block = (char *)VirtualAlloc(NULL, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        for (SIZE_T i = 0; block != NULL && i < size; i += 4096)
            block[i] = 1;
        VirtualFree(block, 0, MEM_RELEASE);
    } else {
        RunProgram(store, out, mode == "wb");
    }
    SIZE_T peak = Memory().PeakWorkingSetSize;
    RemoveTree(out);
    std::printf("memory %llu %llu\n", (unsigned long long)idle, (unsigned long long)peak);
    return 0;
}

// In the parent: the peak over idle, in bytes, of one child.
double MeasureMemory(const char *mode, const std::string &storeDir, const std::string &out)
{
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, sizeof self);
    // Without their last backslash, which would escape the closing quote.
    std::string command = std::string("\"") + self + "\" --memory-run " + mode + " \"" +
                          storeDir.substr(0, storeDir.size() - 1) + "\" \"" + out.substr(0, out.size() - 1) + "\"";
    if (UseWindow)
        command += " --window";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        Die("no pipe");
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process;
    if (!CreateProcessA(self, &command[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process))
        Die("cannot start " + command);
    CloseHandle(writeEnd);
    std::string text;
    char buffer[512];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, NULL) && got > 0)
        text.append(buffer, got);
    CloseHandle(readEnd);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    unsigned long long idle = 0, peak = 0;
    size_t at = text.find("memory ");
    if (code != 0 || at == std::string::npos || std::sscanf(text.c_str() + at, "memory %llu %llu", &idle, &peak) != 2)
        Die("memory run " + std::string(mode) + " over " + storeDir + " failed: " + text);
    return (double)peak - (double)idle;
}

struct MemoryFigures {
    Figures eml, wb;  // MiB
};

MemoryFigures MeasureStoreMemory(const StoreInfo &store, const std::string &out, int runs)
{
    std::vector<double> eml, wb;
    for (int i = 0; i < runs; i++) {
        eml.push_back(MeasureMemory("eml", store.dir, out) / MiB);
        wb.push_back(MeasureMemory("wb", store.dir, out) / MiB);
    }
    return MemoryFigures{Summarise(eml), Summarise(wb)};
}

std::string WithBackslash(std::string path)
{
    if (!path.empty() && path.back() != '\\')
        path += '\\';
    return path;
}

}  // namespace

int main(int argc, char **argv)
{
    std::vector<int> sizes = {50, 100, 200};
    int runs = 5;
    std::vector<Mode> modes = {EML, WB};
    std::string data, out, memoryRun, memoryStore, memoryOut;
    bool measureMemory = true;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--sizes" && i + 1 < argc) {
            sizes.clear();
            for (const char *p = argv[++i]; *p;) {
                sizes.push_back(std::atoi(p));
                while (*p && *p != ',')
                    p++;
                if (*p == ',')
                    p++;
            }
        } else if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--data" && i + 1 < argc) {
            data = WithBackslash(argv[++i]);
        } else if (arg == "--out" && i + 1 < argc) {
            out = WithBackslash(argv[++i]);
        } else if (arg == "--modes" && i + 1 < argc) {
            std::string list = argv[++i];
            modes.clear();
            if (list.find("eml") != std::string::npos)
                modes.push_back(EML);
            if (list.find("wb") != std::string::npos)
                modes.push_back(WB);
        } else if (arg == "--window") {
            UseWindow = true;
        } else if (arg == "--no-memory") {
            measureMemory = false;
        } else if (arg == "--memory-run" && i + 3 < argc) {
            memoryRun = argv[i + 1], memoryStore = WithBackslash(argv[i + 2]), memoryOut = WithBackslash(argv[i + 3]);
            i += 3;
        } else {
            std::fprintf(stderr, "usage: bench_store [--sizes 50,100,200] [--runs N] [--modes eml,wb] [--data DIR] "
                                 "[--out DIR] [--window] [--no-memory]\n");
            return 2;
        }
    }
    if (data.empty() || out.empty()) {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        if (data.empty())
            data = std::string(temp) + "vestibar-bench-store\\";
        if (out.empty())
            out = std::string(temp) + "vestibar-bench-out\\";
    }
    AppInstance = GetModuleHandleA(NULL);
    std::setvbuf(stdout, NULL, _IONBF, 0);
    if (!memoryRun.empty())
        return MemoryChild(memoryRun, memoryStore, memoryOut);
    CreateDirectoryA(data.c_str(), NULL);

    std::vector<StoreInfo> stores;
    for (int mib : sizes)
        stores.push_back(MixedStore(data, mib));
    StoreInfo small = UniformStore(data, "memory-small", 200, 2000, 8u << 20);
    StoreInfo large = UniformStore(data, "memory-large", LargestMessage, LargestMessage, 16u << 20);

    std::printf("bench_store: %d-bit, %d runs per store, data in %s, output in %s, progress window %s\n",
                (int)(8 * sizeof(void *)), runs, data.c_str(), out.c_str(), UseWindow ? "open" : "not opened");
    std::printf("load average at start: %s\n", LoadAverage().c_str());
    std::vector<StoreResult> results;
    for (const StoreInfo &store : stores) {
        results.push_back(Measure(store, out, runs, modes));
        PrintStore(results.back());
    }

    // Memory: each mode over every store, and over stores of only small and
    // only 1 MiB messages, each in a process of its own.
    int memoryRuns = std::min(runs, 3);
    std::vector<MemoryFigures> memory;
    if (measureMemory) {
        std::printf("\npeak working set over the idle process, MiB, min/median/max of %d processes each\n", memoryRuns);
        double probe = MeasureMemory("probe", data, out) / MiB;
        std::printf("  method check: 8 MiB touched shows as %.2f MiB\n", probe);
        std::vector<StoreInfo> memoryStores = stores;
        memoryStores.push_back(small);
        memoryStores.push_back(large);
        for (const StoreInfo &store : memoryStores) {
            memory.push_back(MeasureStoreMemory(store, out, memoryRuns));
            std::printf("  %-50s eml %-18s wb %s\n",
                        (std::to_string(store.messages) + " messages of " + std::to_string(store.smallest) + ".." +
                         std::to_string(store.largest) + " bytes (" + std::to_string(store.storeBytes >> 20) + " MiB)")
                            .c_str(),
                        Show(memory.back().eml, "%.2f").c_str(), Show(memory.back().wb, "%.2f").c_str());
        }
    }
    std::printf("load average at end: %s\n", LoadAverage().c_str());

    // The targets.
    std::printf("\ntargets:\n");
    bool met = true;
    auto Check = [&met](bool ok, const std::string &what) {
        std::printf("  %-4s %s\n", ok ? "met" : "MISS", what.c_str());
        met = met && ok;
    };
    const double minimumRatio[MODES] = {0, 0.9, 0, 0.6};
    char line[320];
    for (const StoreResult &r : results) {
        for (Mode m : modes) {
            double wall = MedianRatio(r, m, WALL), cpu = MedianRatio(r, m, CPU);
            std::snprintf(line, sizeof line,
                          "%.0f MiB: %s at %.2f of its floor by cpu, %.2f by wall clock (medians; >= %.2f)",
                          (double)r.info.storeBytes / MiB, ModeNames[m], cpu, wall, minimumRatio[m]);
            Check(cpu >= minimumRatio[m], line);
        }
    }
    if (results.size() >= 2) {
        const StoreResult &first = results.front(), &last = results.back();
        for (Mode m : modes) {
            for (Clock clock : {CPU, WALL}) {
                double a = MedianSecondsPerMiB(first, m, clock), b = MedianSecondsPerMiB(last, m, clock);
                double fa = MedianSecondsPerMiB(first, (Mode)(m - 1), clock);
                double fb = MedianSecondsPerMiB(last, (Mode)(m - 1), clock);
                std::snprintf(line, sizeof line,
                              "%s by %s: %.2f ms/MiB at %.0f MiB, %.2f at %.0f MiB: %+.1f %% (<= +15 %%; "
                              "its floor %+.1f %%)",
                              ModeNames[m], clock == CPU ? "cpu" : "wall clock", a * 1000,
                              (double)first.info.storeBytes / MiB, b * 1000, (double)last.info.storeBytes / MiB,
                              (b / a - 1) * 100, (fb / fa - 1) * 100);
                Check(b <= a * 1.15, line);
            }
        }
    }
    if (!memory.empty()) {
        double limit = 3.0 * LargestMessage / MiB + 4, wbPeak = 0, emlPeak = 0, emlLeast = 1e18;
        for (const MemoryFigures &f : memory) {
            wbPeak = std::max(wbPeak, f.wb.max);
            emlPeak = std::max(emlPeak, f.eml.max);
            emlLeast = std::min(emlLeast, f.eml.min);
        }
        std::snprintf(line, sizeof line, "wb peak over idle at most %.2f MiB (<= 3 x 1 MiB + 4 MiB = %.0f MiB)", wbPeak,
                      limit);
        Check(wbPeak <= limit, line);
        std::snprintf(line, sizeof line,
                      "eml peak over idle %.2f to %.2f MiB over stores of 200-byte to 1 MiB messages: independent of "
                      "their size (spread < 0.25 MiB)",
                      emlLeast, emlPeak);
        Check(emlPeak - emlLeast < 0.25, line);
    }
    std::printf("%s\n", met ? "all targets met" : "some targets missed");
    return 0;
}
