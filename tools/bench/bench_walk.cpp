// The store reader's walks against a plain read of the same file (prints
// figures; not a test).
//
//   bench_walk [--messages N] [--runs N] [--dir DIR]
//
// Writes one mailbox of N messages (200 bytes to 64 KiB, deterministic) and
// its index (every tenth entry deleted) under DIR, then, N runs each:
//
//   records   the walk through the records, every message read into one
//             reused buffer through FileSource;
//   index     the same through the index, deleted mail skipped;
//   floor     the mailbox read front to back in 64 KiB pieces with pread.
//
// Each prints MiB/s and messages/s by the thread's processor time (the
// machine is shared; the wall clock measures the neighbours) as
// min/median/max of the runs.
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "file_source.h"
#include "msim_store.h"

namespace {

double Seconds()
{
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void PutU32(std::string& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; i++)
        bytes[at + i] = static_cast<char>(value >> (8 * i));
}

void Write(const std::string& path, const std::string& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || std::fclose(file) != 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
}

// Seconds for one pass and the messages it handed on.
double Walk(const std::string& mailboxPath, bool indexed, std::size_t* handed)
{
    double start = Seconds();
    msim::FileSource mailbox, index;
    bool haveIndex = indexed && index.Open(msim::IndexNameFor(mailboxPath)) == 0;
    if (mailbox.Open(mailboxPath) != 0)
        std::exit(1);
    msim::MailboxWalk walk(mailbox, haveIndex ? &index : nullptr, true);
    static std::vector<unsigned char> buffer(1 << 16);
    msim::Message message;
    *handed = 0;
    while (walk.Next(message) == msim::MailboxWalk::kMessage) {
        if (message.size > buffer.size())
            buffer.resize(message.size);
        walk.ReadMessage(message, 0, buffer.data(), message.size);
        ++*handed;
    }
    if (walk.failed()) {
        std::fprintf(stderr, "%s\n", walk.failure().Describe(mailboxPath).c_str());
        std::exit(1);
    }
    return Seconds() - start;
}

double Floor(const std::string& path)
{
    double start = Seconds();
    int fd = open(path.c_str(), O_RDONLY);
    static unsigned char piece[1 << 16];
    off_t at = 0;
    for (ssize_t done; (done = pread(fd, piece, sizeof piece, at)) > 0;)
        at += done;
    close(fd);
    return Seconds() - start;
}

void Print(const char* name, std::vector<double> values, const char* unit)
{
    std::sort(values.begin(), values.end());
    std::printf("%-8s %10.1f %10.1f %10.1f  %s (min/median/max)\n", name, values.front(), values[values.size() / 2],
                values.back(), unit);
}

}  // namespace

int main(int argc, char** argv)
{
    std::size_t messages = 20000;
    int runs = 7;
    std::string dir = "/tmp";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--messages"))
            messages = std::strtoul(argv[i + 1], nullptr, 10);
        else if (!std::strcmp(argv[i], "--runs"))
            runs = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--dir"))
            dir = argv[i + 1];
    }
    std::mt19937 random(1);
    std::string mailbox = "JMF6" + std::string(80, '\0'), index = "JMF9" + std::string(76, '\0');
    PutU32(mailbox, msim::kCountAt, static_cast<std::uint32_t>(messages));
    PutU32(index, msim::kCountAt, static_cast<std::uint32_t>(messages));
    for (std::size_t n = 0; n < messages; n++) {
        std::size_t size = random() % 8 ? 200 + random() % 4000 : random() % 65536;
        std::size_t record = mailbox.size(), entry = index.size();
        mailbox += std::string(msim::kRecordHeadSize, '\0') + std::string(size, static_cast<char>('a' + n % 26));
        PutU32(mailbox, record + msim::kRecordLengthAt, static_cast<std::uint32_t>(msim::kRecordHeadSize + size));
        PutU32(mailbox, record + msim::kMessageSizeAt, static_cast<std::uint32_t>(size));
        index += std::string(msim::kEntryWithOffsetSize + 8, '\0');
        index[entry] = static_cast<char>(n % 10 == 0 ? msim::kEntryDeleted : msim::kEntryUnread);
        PutU32(index, entry + msim::kEntryLengthAt, msim::kEntryWithOffsetSize + 8);
        PutU32(index, entry + msim::kRecordOffsetAt, static_cast<std::uint32_t>(record));
    }
    std::string path = dir + "/bench-walk.mbx";
    Write(path, mailbox);
    Write(msim::IndexNameFor(path), index);
    double mib = mailbox.size() / 1048576.0;
    std::printf("mailbox of %zu messages, %.1f MiB, %d runs\n", messages, mib, runs);
    std::vector<double> speed[3], rate[2];
    for (int run = 0; run < runs; run++) {
        for (int indexed = 0; indexed < 2; indexed++) {
            std::size_t handed;
            double seconds = Walk(path, indexed, &handed);
            speed[indexed].push_back(mib / seconds);
            rate[indexed].push_back(handed / seconds);
        }
        speed[2].push_back(mib / Floor(path));
    }
    Print("records", speed[0], "MiB/s");
    Print("", rate[0], "messages/s");
    Print("index", speed[1], "MiB/s (deleted tenth skipped)");
    Print("", rate[1], "messages/s");
    Print("floor", speed[2], "MiB/s");
    std::remove(path.c_str());
    std::remove(msim::IndexNameFor(path).c_str());
    return 0;
}
