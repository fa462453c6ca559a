// vestibar-export against its file-system floor, natively (prints figures;
// not a test).
//
//   bench_export --program PATH [--sizes 50,100,200] [--runs N]
//                [--formats mbox,maildir,mbox:raw,maildir:raw,eml,winbiff] [--data DIR] [--out DIR] [--recover]
//
// Generates, once, stores of the shape bench_store measures under Wine
// (store_gen.cpp: six mailboxes, five with an index, messages of 200 bytes
// to 1 MiB in ISO-2022-JP, EUC-JP and Shift_JIS) under DIR.  Then,
// N times per store and format, it runs PATH --include-deleted (so that it
// writes every message the floor writes) and the floor of the same work:
//
//   per message   every message's bytes read and written into a new file of
//                 its own, in one folder (the floor of eml and maildir);
//   per mailbox   every message's bytes read and appended to one file per
//                 mailbox through a 1 MiB buffer (the floor of mbox and
//                 winbiff).
//
// The floor reads the records in file order with pread, as plainly as the
// bytes can be had, and is started like the program (this program again,
// with --floor), so that both are timed from fork to exit.  Program and
// floor alternate, the program first on every other run.  Printed per store
// and format: MiB/s (MiB of messages per wall-clock second), the floor's
// time over the program's (per run, by the wall clock and by the processor
// time of the child) and the peak resident memory of the child, each as
// min/median/max of the runs; then the cost per MiB of the smallest store
// against the largest, and the targets, judged by processor time.  A format
// "NAME:raw" runs NAME with --raw (the stored bytes); mbox and maildir
// without it write the readable form, which is also held against the same
// export with --raw of the same run.  With --recover every program run is
// followed by one with --recover on the same intact store, and its speed
// against the plain run's is printed beside.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "store_gen.h"

namespace {

namespace fs = std::filesystem;
constexpr double kMiB = 1024.0 * 1024.0;

[[noreturn]] void Die(const std::string& why)
{
    std::fprintf(stderr, "bench_export: %s\n", why.c_str());
    std::exit(3);
}

// --- The stores -------------------------------------------------------------

storegen::StoreInfo Store(const std::string& data, int mib)
{
    storegen::StoreInfo info = {data + "/store-" + std::to_string(mib) + "/", 0, 0, 0, 0, 0, 0xffffffffu, 0};
    std::string stamp = info.dir + "store.txt";
    std::ifstream in(stamp);
    std::stringstream text;
    text << in.rdbuf();
    if (storegen::ParseDescription(text.str(), &info))
        return info;
    std::printf("generating the %d MiB store in %s ...\n", mib, info.dir.c_str());
    std::fflush(stdout);
    fs::remove_all(info.dir);
    fs::create_directories(info.dir);
    storegen::WriteMixedStore(info.dir, mib, &info);
    std::ofstream(stamp) << storegen::Describe(info);
    return info;
}

// --- The floor ----------------------------------------------------------------

std::uint32_t U32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t{p[3]} << 24; }

// A descriptor closed on every path.
struct Fd {
    explicit Fd(int value) : fd(value) {}
    ~Fd()
    {
        if (fd >= 0)
            close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    bool Close()
    {
        int was = fd;
        fd = -1;
        return close(was) == 0;
    }
    int fd;
};

bool ReadAt(int fd, void* buffer, std::size_t size, off_t offset)
{
    auto* at = static_cast<char*>(buffer);
    while (size > 0) {
        ssize_t got = pread(fd, at, size, offset);
        if (got <= 0)
            return false;
        at += got, size -= static_cast<std::size_t>(got), offset += got;
    }
    return true;
}

bool WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        ssize_t put = write(fd, data, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        data += put, size -= static_cast<std::size_t>(put);
    }
    return true;
}

// Every message of every mailbox, in record order, into `out`; the exit
// code of the child that runs it.
int Floor(const storegen::StoreInfo& store, const std::string& out, bool perMessage)
{
    fs::create_directories(out);
    std::vector<char> message(storegen::LargestMessage);
    std::vector<char> pending;  // per mailbox: the 1 MiB write buffer
    std::uint32_t number = 0;
    for (const auto& entry : fs::directory_iterator(store.dir)) {
        if (entry.path().extension() != ".mbx")
            continue;
        Fd in(open(entry.path().c_str(), O_RDONLY));
        unsigned char head[16];
        if (in.fd < 0 || !ReadAt(in.fd, head, 12, 0))
            return 1;
        std::uint32_t count = U32(head + 8);
        Fd folder(perMessage ? -1 : open((out + "/" + entry.path().stem().string()).c_str(),
                                         O_WRONLY | O_CREAT | O_EXCL, 0644));
        if (!perMessage && folder.fd < 0)
            return 1;
        off_t at = 84;
        for (std::uint32_t i = 0; i < count; ++i) {
            if (!ReadAt(in.fd, head, 16, at))
                return 1;
            std::uint32_t size = U32(head + 12);
            if (size > message.size() || !ReadAt(in.fd, message.data(), size, at + 16))
                return 1;
            at += U32(head + 8);
            if (perMessage) {
                char name[32];
                std::snprintf(name, sizeof name, "/%08u.eml", ++number);
                Fd file(open((out + name).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644));
                if (file.fd < 0 || !WriteAll(file.fd, message.data(), size) || !file.Close())
                    return 1;
                continue;
            }
            if (pending.size() + size > (1u << 20)) {
                if (!WriteAll(folder.fd, pending.data(), pending.size()))
                    return 1;
                pending.clear();
            }
            pending.insert(pending.end(), message.data(), message.data() + size);
        }
        if (!perMessage && (!WriteAll(folder.fd, pending.data(), pending.size()) || !folder.Close()))
            return 1;
        pending.clear();
    }
    return 0;
}

// --- Timing a child -------------------------------------------------------------
//
// A process's peak resident set counts the memory it had before it called
// exec, so a child forked from this process would show this one's peak.
// So each program is started by a launcher (this program again, with
// --spawn), small and fresh, that forks, execs the program, times it and
// prints its figures.

struct Sample {
    double wall = 0;     // seconds from fork to exit
    double cpu = 0;      // user and system seconds of the child
    double peakMiB = 0;  // its peak resident set
};

// In the launcher: runs argv, stdout to /dev/null, and prints its figures.
int Spawn(char** argv)
{
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid < 0)
        return 1;
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0)
            dup2(null, STDOUT_FILENO);
        execv(argv[0], argv);
        std::perror(argv[0]);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return 1;
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double cpu =
        usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
    std::printf("%.6f %.6f %ld %d\n", wall, cpu, usage.ru_maxrss, status);
    return 0;
}

// Runs a command through the launcher; any failure ends the benchmark.
Sample Run(const std::string& self, const std::vector<std::string>& command)
{
    std::vector<char*> argv = {const_cast<char*>(self.c_str()), const_cast<char*>("--spawn")};
    for (const std::string& arg : command)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    int ends[2];
    if (pipe(ends) != 0)
        Die("pipe failed");
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0)
        Die("fork failed");
    if (pid == 0) {
        dup2(ends[1], STDOUT_FILENO);
        close(ends[0]);
        close(ends[1]);
        execv(self.c_str(), argv.data());
        _exit(127);
    }
    close(ends[1]);
    std::string text;
    char buffer[256];
    for (ssize_t got; (got = read(ends[0], buffer, sizeof buffer)) != 0;) {
        if (got < 0 && errno != EINTR)
            break;
        if (got > 0)
            text.append(buffer, static_cast<std::size_t>(got));
    }
    close(ends[0]);
    int launcher = -1;
    waitpid(pid, &launcher, 0);
    Sample s;
    long peakKiB = 0;
    int status = -1;
    if (std::sscanf(text.c_str(), "%lf %lf %ld %d", &s.wall, &s.cpu, &peakKiB, &status) != 4 || status != 0 ||
        launcher != 0)
        Die("a run failed: " + command[0] + " (status " + std::to_string(status) + ")");
    s.peakMiB = peakKiB / 1024.0;
    return s;
}

std::uint64_t BytesUnder(const std::string& folder)
{
    std::uint64_t total = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            total += entry.file_size();
    return total;
}

// --- Figures ----------------------------------------------------------------------

struct Spread {
    double min, median, max;
};

Spread Summarise(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    std::size_t n = v.size();
    double median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    return {v.front(), median, v.back()};
}

std::string Show(const std::vector<double>& v, const char* format)
{
    Spread s = Summarise(v);
    char text[96];
    std::string f = std::string(format) + "/" + format + "/" + format;
    std::snprintf(text, sizeof text, f.c_str(), s.min, s.median, s.max);
    return text;
}

struct Result {
    std::vector<Sample> program, floor, recover;
};

std::vector<std::string> Split(const std::string& list)
{
    std::vector<std::string> out;
    std::stringstream in(list);
    for (std::string item; std::getline(in, item, ',');)
        out.push_back(item);
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string program, data = "build/bench-export", out = "build/bench-export-out";
    std::vector<int> sizes = {50, 100, 200};
    std::vector<std::string> formats = {"mbox", "maildir", "mbox:raw", "maildir:raw", "eml", "winbiff"};
    int runs = 5;
    bool recover = false;
    if (argc >= 3 && std::string(argv[1]) == "--spawn")
        return Spawn(argv + 2);
    if (argc == 5 && std::string(argv[1]) == "--floor") {
        storegen::StoreInfo store = {argv[2], 0, 0, 0, 0, 0, 0, 0};
        return Floor(store, argv[3], std::string(argv[4]) == "message");
    }
    const std::string self = fs::canonical("/proc/self/exe").string();
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool more = i + 1 < argc;
        if (arg == "--program" && more) {
            program = argv[++i];
        } else if (arg == "--sizes" && more) {
            sizes.clear();
            for (const std::string& s : Split(argv[++i]))
                sizes.push_back(std::max(1, std::atoi(s.c_str())));
        } else if (arg == "--runs" && more) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--formats" && more) {
            formats = Split(argv[++i]);
        } else if (arg == "--data" && more) {
            data = argv[++i];
        } else if (arg == "--out" && more) {
            out = argv[++i];
        } else if (arg == "--recover") {
            recover = true;
        } else {
            std::fprintf(stderr, "usage: bench_export --program PATH [--sizes 50,100,200] [--runs N] "
                                 "[--formats mbox,maildir,eml,winbiff] [--data DIR] [--out DIR] [--recover]\n");
            return 2;
        }
    }
    if (program.empty() || access(program.c_str(), X_OK) != 0)
        Die("--program must name the vestibar-export to measure");
    program = fs::absolute(program).string();

    Sample idle = Run(self, {"/bin/true"});
    std::printf("a program that does nothing (/bin/true) peaks at %.1f MiB resident\n", idle.peakMiB);
    std::map<int, std::map<std::string, Result>> results;
    std::map<int, storegen::StoreInfo> stores;
    for (int mib : sizes)
        stores[mib] = Store(data, mib);
    for (int mib : sizes) {
        const storegen::StoreInfo& store = stores[mib];
        double messageMiB = store.messageBytes / kMiB;
        std::printf("\n%.1f MiB store (%.1f MiB of messages): %u mailboxes (%u indexed), %u messages of %u to %u "
                    "bytes; %d runs, min/median/max\n",
                    store.storeBytes / kMiB, messageMiB, store.mailboxes, store.indexed, store.messages,
                    store.smallest, store.largest, runs);
        std::printf("  %-11s %-17s %-17s %-17s %-17s %-17s %-17s%s\n", "format", "MiB/s", "floor MiB/s", "vs floor",
                    "vs floor by cpu", "peak MiB", "floor peak MiB",
                    recover ? " --recover vs plain, by the wall clock, by cpu" : "");
        for (const std::string& format : formats) {
            std::string name = format.substr(0, format.find(':'));
            bool raw = name != format;
            bool perMessage = name == "eml" || name == "maildir";
            bool readable = !raw && (name == "mbox" || name == "maildir");
            Result& r = results[mib][format];
            for (int run = 0; run < runs; ++run) {
                for (int turn = 0; turn < 2; ++turn) {
                    bool programTurn = (turn == 0) == (run % 2 == 1);
                    fs::remove_all(out);
                    fs::create_directories(out);
                    for (int pass = 0; programTurn && pass < (recover ? 2 : 1); ++pass) {
                        std::vector<std::string> command = {program, "--format", name, "-o",
                                                            name == "eml" ? out + "/exp" : out, "--include-deleted",
                                                            "--quiet", store.dir};
                        if (raw)
                            command.push_back("--raw");
                        if (pass == 1) {
                            fs::remove_all(out);
                            fs::create_directories(out);
                            command.insert(command.begin() + 1, "--recover");
                        }
                        (pass == 0 ? r.program : r.recover).push_back(Run(self, command));
                        std::uint64_t written = BytesUnder(out);
                        // eml and maildir hold the messages' bytes exactly, mbox
                        // adds to them; winbiff may be shorter (no JIS escapes),
                        // the readable form longer or shorter (UTF-8, LF).  An
                        // intact store has nothing to recover.
                        if ((!readable && perMessage && written != store.messageBytes) ||
                            (!readable && name == "mbox" && written <= store.messageBytes) || written == 0)
                            Die(format + " wrote " + std::to_string(written) + " bytes for " +
                                std::to_string(store.messageBytes) + " bytes of messages");
                    }
                    if (!programTurn) {
                        r.floor.push_back(Run(self, {self, "--floor", store.dir, out + "/floor",
                                                     perMessage ? "message" : "mailbox"}));
                    }
                }
            }
            std::vector<double> rate, floorRate, ratio, cpuRatio, peak, floorPeak, recoverRatio, recoverCpuRatio;
            for (int run = 0; run < runs; ++run) {
                const Sample& p = r.program[run];
                const Sample& f = r.floor[run];
                rate.push_back(messageMiB / p.wall);
                floorRate.push_back(messageMiB / f.wall);
                ratio.push_back(f.wall / p.wall);
                cpuRatio.push_back(f.cpu / p.cpu);
                peak.push_back(p.peakMiB);
                floorPeak.push_back(f.peakMiB);
                if (recover) {
                    recoverRatio.push_back(p.wall / r.recover[run].wall);
                    recoverCpuRatio.push_back(p.cpu / r.recover[run].cpu);
                }
            }
            std::string recoverText = recover ? " " + Show(recoverRatio, "%.2f") + ", " + Show(recoverCpuRatio, "%.2f") +
                                                    (Summarise(recoverCpuRatio).median >= 0.8 ? " (>= 0.8 by cpu: met)"
                                                                                              : " (MISSED 0.8 by cpu)")
                                              : std::string();
            std::printf("  %-11s %-17s %-17s %-17s %-17s %-17s %-17s%s\n", format.c_str(), Show(rate, "%.0f").c_str(),
                        Show(floorRate, "%.0f").c_str(), Show(ratio, "%.2f").c_str(), Show(cpuRatio, "%.2f").c_str(),
                        Show(peak, "%.1f").c_str(), Show(floorPeak, "%.1f").c_str(), recoverText.c_str());
            std::fflush(stdout);
        }
    }
    fs::remove_all(out);

    if (sizes.size() >= 2) {
        int small = sizes.front(), large = sizes.back();
        std::printf("\ncost per MiB of messages, %d MiB store against %d MiB, medians (target: within 15 %%)\n",
                    small, large);
        for (const std::string& format : formats) {
            auto cost = [&](int mib, bool cpu) {
                std::vector<double> v;
                for (const Sample& s : results[mib][format].program)
                    v.push_back((cpu ? s.cpu : s.wall) / (stores[mib].messageBytes / kMiB));
                return 1000 * Summarise(v).median;
            };
            std::printf("  %-11s by the wall clock %.2f / %.2f ms: %+4.0f %%;  by processor time %.2f / %.2f ms: %+4.0f %%\n",
                        format.c_str(), cost(small, false), cost(large, false),
                        100 * (cost(large, false) / cost(small, false) - 1), cost(small, true), cost(large, true),
                        100 * (cost(large, true) / cost(small, true) - 1));
        }
    }
    // On a machine shared with other work the wall clock mostly measures the
    // others; the processor time of the child is the steadier comparison.
    std::printf("\ntargets: vs floor >= 0.9 for mbox, maildir and eml, >= 0.5 for winbiff (median by processor "
                "time);\npeak memory bounded by the largest message (%.1f MiB) plus a constant, the same for "
                "every store size\n",
                storegen::LargestMessage / kMiB);
    std::printf("  (the readable mbox and maildir are held against --raw below, not against the floor)\n");
    for (const std::string& format : formats) {
        if (format == "mbox" || format == "maildir")
            continue;
        double target = format == "winbiff" ? 0.5 : 0.9;
        std::printf("  %-11s", format.c_str());
        for (int mib : sizes) {
            std::vector<double> ratio, peak;
            for (std::size_t i = 0; i < results[mib][format].program.size(); ++i) {
                ratio.push_back(results[mib][format].floor[i].cpu / results[mib][format].program[i].cpu);
                peak.push_back(results[mib][format].program[i].peakMiB);
            }
            double median = Summarise(ratio).median;
            std::printf("  %d MiB: %.2f %s, peak %.1f MiB", mib, median, median >= target ? "met" : "MISSED",
                        Summarise(peak).max);
        }
        std::printf("\n");
    }
    // The readable form against the stored bytes of the same run: the
    // processor time of --raw over the default's, per run.
    std::printf("\nreadable vs --raw (median by processor time; target >= 0.5)\n");
    for (const char* format : {"mbox", "maildir"}) {
        std::string raw = std::string(format) + ":raw";
        if (std::find(formats.begin(), formats.end(), format) == formats.end() ||
            std::find(formats.begin(), formats.end(), raw) == formats.end())
            continue;
        std::printf("  %-11s", format);
        for (int mib : sizes) {
            std::vector<double> ratio;
            for (std::size_t i = 0; i < results[mib][format].program.size(); ++i)
                ratio.push_back(results[mib][raw].program[i].cpu / results[mib][format].program[i].cpu);
            std::printf("  %d MiB: %s %s", mib, Show(ratio, "%.2f").c_str(),
                        Summarise(ratio).median >= 0.5 ? "met" : "MISSED");
        }
        std::printf("\n");
    }
    return 0;
}
