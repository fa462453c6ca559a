// Store runs against their file-system floor (prints figures; not a test).
//
//   bench_store [--mib N] [--runs N] [--data DIR] [--out DIR] [--no-memory]
//
// Makes once, under DIR, a deterministic MS-IM store of about N MiB (six
// mailboxes, five with an index; mail of 200 bytes to 1 MiB in ISO-2022-JP,
// EUC-JP and Shift_JIS, from the converter tests' mail generator) and a
// store of 1 MiB messages for the memory figures.  Then, N times, it runs
// each mode as a store run calls it (counters, directory search, buffers
// given back at the end), with the progress window closed and open, beside
// its floor: the same bytes read and written with one ReadFile and one
// WriteFile a message (into a file each for .eml, one a mailbox for WinBiff).
// The order changes from run to run, so that a slow spell of the shared
// machine falls on all alike.
//
// Printed, as min/median/max of the runs: MiB of store per second by the
// wall clock and by the thread's processor time, each program mode's speed
// as a fraction of its floor's, and the window's cost (open / closed);
// then the time to open and close the window alone, and the WinBiff run
// with the window less that time, against the run without.
// The window costs mostly in the X server, which the thread's processor time
// does not see, so its figures are by the wall clock.  Memory: the peak
// working set over idle of one process per mode and store.
//
// The code that converts is whichever the processor and the environment
// choose (VESTIBAR_PORTABLE_CODE=1 forces the portable one); the header says
// which.  Any message box that the code shows ends the benchmark.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bytes.h"
#include "eml.h"
#include "mailbox.h"
#include "files.h"
#include "msgbox_recorder.h"
#include "nkf_text_generator.h"
#include "progress.h"
#include "state.h"
#include "store_builder.h"
#include "winbiff.h"

namespace {

const double MiB = 1024.0 * 1024.0;
const uint32_t LargestMessage = 1024 * 1024;

void Die(const std::string &why)
{
    std::fprintf(stderr, "bench_store: %s\n", why.c_str());
    ExitProcess(0x40000003);  // 3 to the shell; no figure to a memory run's parent
}

void Save(const std::string &path, const std::string &bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD done = 0;
    bool ok = file != INVALID_HANDLE_VALUE && WriteFile(file, bytes.data(), (DWORD)bytes.size(), &done, NULL) &&
              done == bytes.size();
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (!ok)
        Die("cannot write " + path);
}

struct Store {
    std::string dir;  // ends in a backslash
    uint64_t bytes;   // mailboxes and indexes
    uint32_t messages;
};

// Mail of exactly `size` bytes, ending in CR LF.
std::string Message(TestRandom *r, uint32_t size)
{
    std::string text = RandomMail(r, (MailCode)RandomBelow(r, 3), (int)(size / 50 + 1));
    while (text.size() < size)
        text += std::string(std::min<size_t>(size - text.size(), 70), 'x') + "\r\n";
    text.resize(size);
    if (size >= 2)
        text.replace(size - 2, 2, "\r\n");
    return text;
}

// Six mailboxes of about mib / 6 MiB each, the last without an index;
// sizes from `draw`.  Made once: store.txt marks a finished store.
template <typename Draw>
Store MakeStore(const std::string &dir, int mib, Draw draw)
{
    Store store = {dir, 0, 0};
    std::string done;
    if (ReadBytes(dir + "store.txt", &done) &&
        std::sscanf(done.c_str(), "%llu %u", (unsigned long long *)&store.bytes, &store.messages) == 2)
        return store;
    RemoveTree(dir);
    CreateDirectoryA(dir.c_str(), NULL);
    TestRandom random = {(uint64_t)mib * 7919 + dir.size()};
    for (int box = 0; box < 6; box++) {
        std::vector<std::string> messages;
        for (uint64_t bytes = 0; bytes < (uint64_t)mib * 1048576 / 6;) {
            messages.push_back(Message(&random, draw(&random)));
            bytes += messages.back().size();
        }
        MailboxImage image = BuildMailbox(messages);
        std::string name = dir + "Folder" + std::to_string(box);
        Save(name + ".mbx", image.bytes);
        store.bytes += image.bytes.size();
        store.messages += (uint32_t)messages.size();
        if (box == 5)
            continue;
        std::vector<EntryFields> entries;
        for (size_t i = 0; i < messages.size(); i++)
            entries.push_back({(unsigned char)(i % 3 ? 0 : ENTRY_UNREAD), image.recordOffsets[i]});
        std::string index = BuildIndex(entries);
        Save(name + ".idx", index);
        store.bytes += index.size();
    }
    Save(dir + "store.txt", std::to_string(store.bytes) + " " + std::to_string(store.messages) + "\n");
    return store;
}

// Mostly short mail, some long, a few of 1 MiB.
uint32_t MixedSize(TestRandom *r)
{
    int kind = RandomBelow(r, 100);
    if (kind < 80)
        return 200 + (uint32_t)RandomBelow(r, 4000);
    if (kind < 98)
        return 4200 + (uint32_t)RandomBelow(r, 60000);
    return 64000 + (uint32_t)RandomBelow(r, LargestMessage - 64000 + 1);
}

enum Mode { EML_FLOOR, EML, EML_WINDOW, WB_FLOOR, WB, WB_WINDOW, MODES };
const char *const ModeNames[MODES] = {"eml-floor", "eml", "eml+window", "wb-floor", "wb", "wb+window"};

void NoBoxes()
{
    if (!RecordedBoxes().empty())
        Die("the code showed a message box: " + RecordedBoxes().front().text);
}

// A store run of one mode, as RunStore calls the mailbox operations.
void RunProgram(const Store &store, const std::string &out, bool winbiff, bool window)
{
    if (store.dir.size() >= PATH_BUFFER_SIZE || out.size() + 16 >= PATH_BUFFER_SIZE)
        Die("paths too long");
    lstrcpyA(SourceDir, store.dir.c_str());
    lstrcpyA(OutputBase, (out + (winbiff ? "From MS-IM\\" : "exp")).c_str());
    if (winbiff)
        CreateDirectoryA(OutputBase, NULL);
    RunState = RunCounters();
    if (window && !CreateProgressDialog())
        Die("no progress window");
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((store.dir + "*.mbx").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        Die("no mailbox in " + store.dir);
    do {
        if (!(winbiff ? ConvertMailboxToWinbiff(found.cFileName) : ExportMailboxAsEml(found.cFileName)))
            NoBoxes();
        RunState.mailboxCount++;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    GiveBackWinbiffBuffers();
    if (window)
        DestroyWindow(ProgressDialog);
    ProgressDialog = NULL;
    NoBoxes();
    if ((uint32_t)RunState.messageNumber != store.messages)
        Die("handed on " + std::to_string(RunState.messageNumber) + " of " + std::to_string(store.messages));
}

double WallSeconds()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return (double)now.QuadPart / (double)frequency.QuadPart;
}

// The progress window opened and closed with no mailbox between: the part
// of the window's cost that does not grow with the store.
double WindowAlone()
{
    double start = WallSeconds();
    if (!CreateProgressDialog())
        Die("no progress window");
    DestroyWindow(ProgressDialog);
    ProgressDialog = NULL;
    return WallSeconds() - start;
}

bool ReadAll(HANDLE file, void *buffer, DWORD count)
{
    DWORD done = 0;
    return ReadFile(file, buffer, count, &done, NULL) && done == count;
}

// The floor: every message read with one ReadFile after its record head and
// written with one WriteFile.  The mailbox's record lengths lead from one
// message to the next, which is where the indexes point too.
void RunFloor(const Store &store, const std::string &out, bool winbiff)
{
    static std::vector<char> buffer(LargestMessage);
    uint32_t number = 0;
    if (winbiff)
        CreateDirectoryA((out + "From MS-IM\\").c_str(), NULL);
    for (int box = 0; box < 6; box++) {
        std::string name = "Folder" + std::to_string(box);
        HANDLE mailbox = CreateFileA((store.dir + name + ".mbx").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, NULL);
        HANDLE folder = winbiff ? CreateFileA((out + "From MS-IM\\" + name).c_str(), GENERIC_WRITE, 0, NULL,
                                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL)
                                : NULL;
        char head[84];
        if (mailbox == INVALID_HANDLE_VALUE || folder == INVALID_HANDLE_VALUE || !ReadAll(mailbox, head, 84))
            Die("floor: cannot open " + name);
        uint32_t count = GetU32((unsigned char *)head + COUNT_FIELD), at = 84;
        for (uint32_t i = 0; i < count; i++) {
            char record[RECORD_HEADER_SIZE];
            SetFilePointer(mailbox, (LONG)at, NULL, FILE_BEGIN);
            uint32_t size = 0;
            if (ReadAll(mailbox, record, sizeof record))
                size = GetU32((unsigned char *)record + MESSAGE_SIZE_FIELD);
            if (size > LargestMessage || !ReadAll(mailbox, buffer.data(), size))
                Die("floor: cannot read " + name);
            at += GetU32((unsigned char *)record + RECORD_LENGTH_FIELD);
            HANDLE target = folder;
            if (!winbiff) {
                char file[32];
                std::snprintf(file, sizeof file, "exp%05u.eml", ++number);
                target = CreateFileA((out + file).c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                     NULL);
            }
            DWORD done = 0;
            if (target == INVALID_HANDLE_VALUE || !WriteFile(target, buffer.data(), size, &done, NULL) || done != size)
                Die("floor: cannot write");
            if (!winbiff)
                CloseHandle(target);
        }
        if (winbiff)
            CloseHandle(folder);
        CloseHandle(mailbox);
    }
}

// This thread's processor time: steadier than the wall clock on a shared
// machine, though Wine counts it in ticks of 10 ms.
double ThreadSeconds()
{
    FILETIME created, exited, system, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &system, &user);
    ULARGE_INTEGER s, u;
    s.LowPart = system.dwLowDateTime, s.HighPart = system.dwHighDateTime;
    u.LowPart = user.dwLowDateTime, u.HighPart = user.dwHighDateTime;
    return (double)(s.QuadPart + u.QuadPart) / 1e7;
}

struct Sample {
    double wall, cpu;  // seconds
};

Sample RunMode(Mode mode, const Store &store, const std::string &out)
{
    RemoveTree(out);
    CreateDirectoryA(out.c_str(), NULL);
    double cpu = ThreadSeconds(), wall = WallSeconds();
    bool winbiff = mode >= WB_FLOOR;
    if (mode == EML_FLOOR || mode == WB_FLOOR)
        RunFloor(store, out, winbiff);
    else
        RunProgram(store, out, winbiff, mode == EML_WINDOW || mode == WB_WINDOW);
    return Sample{WallSeconds() - wall, ThreadSeconds() - cpu};
}

// "min/median/max" of `values`; the median in *median.
std::string Figures(std::vector<double> values, const char *format, double *median = NULL)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    double middle = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    if (median)
        *median = middle;
    char text[96], part[3][32];
    std::snprintf(part[0], 32, format, values.front());
    std::snprintf(part[1], 32, format, middle);
    std::snprintf(part[2], 32, format, values.back());
    std::snprintf(text, sizeof text, "%s/%s/%s", part[0], part[1], part[2]);
    return text;
}

// Peak working set over idle, in MiB, of a process of its own that runs one
// mode over one store (the peak cannot be reset within a process).
double MemoryChild(bool winbiff, const Store &store, const std::string &out)
{
    RemoveTree(out);
    CreateDirectoryA(out.c_str(), NULL);
    if (winbiff)
        CreateDirectoryA((out + "From MS-IM\\").c_str(), NULL);
    PROCESS_MEMORY_COUNTERS before = {}, after = {};
    before.cb = after.cb = sizeof before;
    GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before);
    RunProgram(store, out, winbiff, false);
    GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof after);
    RemoveTree(out);
    return ((double)after.PeakWorkingSetSize - (double)before.WorkingSetSize) / MiB;
}

double MeasureMemory(const char *mode, const std::string &storeDir, const std::string &out)
{
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, sizeof self);
    // Without their last backslash, which would escape the closing quote.
    std::string command = std::string("\"") + self + "\" --memory " + mode + " \"" +
                          storeDir.substr(0, storeDir.size() - 1) + "\" \"" + out.substr(0, out.size() - 1) + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(self, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        Die("cannot start " + command);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (code >= 0x40000000)
        Die(std::string("memory run failed: ") + mode);
    return code / 1024.0;  // the child's peak in KiB
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
    int mib = 50, runs = 5;
    bool memory = true;
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string data = std::string(temp) + "vestibar-bench-store\\", out = std::string(temp) + "vestibar-bench-out\\";
    AppInstance = GetModuleHandleA(NULL);
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--memory" && i + 3 < argc) {
            Store store = {WithBackslash(argv[i + 2]), 0, 0};
            std::string text;
            if (!ReadBytes(store.dir + "store.txt", &text) || std::sscanf(text.c_str(), "%*u %u", &store.messages) != 1)
                Die("no store in " + store.dir);
            return (int)(MemoryChild(std::string(argv[i + 1]) == "wb", store, WithBackslash(argv[i + 3])) * 1024);
        }
        if (arg == "--mib" && i + 1 < argc)
            mib = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--data" && i + 1 < argc)
            data = WithBackslash(argv[++i]);
        else if (arg == "--out" && i + 1 < argc)
            out = WithBackslash(argv[++i]);
        else if (arg == "--no-memory")
            memory = false;
        else {
            std::fprintf(stderr, "usage: bench_store [--mib N] [--runs N] [--data DIR] [--out DIR] [--no-memory]\n");
            return 2;
        }
    }
    std::setvbuf(stdout, NULL, _IONBF, 0);
    CreateDirectoryA(data.c_str(), NULL);
    Store store = MakeStore(data + "mixed-" + std::to_string(mib) + "\\", mib, MixedSize);
    char forced[8];
    bool portable = GetEnvironmentVariableA("VESTIBAR_PORTABLE_CODE", forced, sizeof forced) > 0;
    std::printf("bench_store: %d-bit, %s code, %.1f MiB store of %u messages, %d runs; min/median/max\n",
                (int)(8 * sizeof(void *)), portable ? "portable (forced)" : "the processor's", store.bytes / MiB,
                store.messages, runs);

    std::vector<Sample> samples[MODES];
    std::vector<double> windowAlone;
    const Mode order[MODES] = {EML_FLOOR, EML, EML_WINDOW, WB_FLOOR, WB, WB_WINDOW};
    for (int run = 0; run < runs; run++) {
        for (int k = 0; k < MODES; k++) {
            Mode mode = order[(k + run) % MODES];
            samples[mode].push_back(RunMode(mode, store, out));
        }
        windowAlone.push_back(WindowAlone());
    }
    RemoveTree(out);

    std::printf("  %-11s %-16s %-16s %-16s %-16s %s\n", "mode", "MiB/s", "MiB/s by cpu", "vs floor", "vs floor by cpu",
                "window open/closed");
    double medianRatio[MODES] = {0}, windowCost[MODES] = {0};
    for (int m = 0; m < MODES; m++) {
        std::vector<double> rate, cpuRate, ratio, cpuRatio, window;
        int floor = m < WB_FLOOR ? EML_FLOOR : WB_FLOOR;
        for (int i = 0; i < runs; i++) {
            const Sample &x = samples[m][i];
            rate.push_back(store.bytes / MiB / x.wall);
            cpuRate.push_back(store.bytes / MiB / std::max(x.cpu, 0.01));
            ratio.push_back(samples[floor][i].wall / x.wall);
            cpuRatio.push_back(samples[floor][i].cpu / std::max(x.cpu, 0.01));
            if (m == EML_WINDOW || m == WB_WINDOW)
                window.push_back(samples[m - 1][i].wall / x.wall);
        }
        std::string windowFigures = window.empty() ? "" : Figures(window, "%.2f", &windowCost[m]);
        std::printf("  %-11s %-16s %-16s %-16s %-16s %s\n", ModeNames[m], Figures(rate, "%.0f").c_str(),
                    Figures(cpuRate, "%.0f").c_str(), m == floor ? "" : Figures(ratio, "%.2f").c_str(),
                    m == floor ? "" : Figures(cpuRatio, "%.2f", &medianRatio[m]).c_str(), windowFigures.c_str());
    }

    // What is left of the window's cost once its opening and closing is taken off.
    std::vector<double> aloneMs, walking;
    for (int i = 0; i < runs; i++) {
        aloneMs.push_back(windowAlone[i] * 1000);
        walking.push_back(samples[WB][i].wall / std::max(samples[WB_WINDOW][i].wall - windowAlone[i], 1e-6));
    }
    std::printf("  the window opened and closed alone: %s ms; wb+window less that, against wb: %s\n",
                Figures(aloneMs, "%.1f").c_str(), Figures(walking, "%.2f").c_str());

    bool met = true;
    auto Check = [&met](bool ok, const std::string &what) {
        std::printf("  %-4s %s\n", ok ? "met" : "MISS", what.c_str());
        met = met && ok;
    };
    if (memory) {
        Store large = MakeStore(data + "large\\", 16, [](TestRandom *) { return LargestMessage; });
        std::vector<double> peaks[2][2];  // [store][mode]
        const Store *stores[2] = {&store, &large};
        for (int s = 0; s < 2; s++) {
            for (int i = 0; i < std::min(runs, 3); i++) {
                peaks[s][0].push_back(MeasureMemory("eml", stores[s]->dir, out));
                peaks[s][1].push_back(MeasureMemory("wb", stores[s]->dir, out));
            }
            std::printf("  peak working set over idle, MiB, %s store: eml %s, wb %s\n", s ? "1 MiB mail" : "mixed",
                        Figures(peaks[s][0], "%.2f").c_str(), Figures(peaks[s][1], "%.2f").c_str());
        }
        double wbPeak = std::max(*std::max_element(peaks[0][1].begin(), peaks[0][1].end()),
                                 *std::max_element(peaks[1][1].begin(), peaks[1][1].end()));
        double emlSpread = std::abs(*std::max_element(peaks[1][0].begin(), peaks[1][0].end()) -
                                    *std::min_element(peaks[0][0].begin(), peaks[0][0].end()));
        std::printf("targets:\n");
        Check(wbPeak <= 3 * LargestMessage / MiB + 4, "wb peak over idle <= 3 x 1 MiB + 4 MiB: " +
                                                          std::to_string(wbPeak));
        Check(emlSpread < 0.25, "eml peak independent of message size (spread < 0.25 MiB): " + std::to_string(emlSpread));
    } else {
        std::printf("targets:\n");
    }
    Check(medianRatio[EML] >= 0.9, "eml at >= 0.9 of its floor by cpu (median): " + std::to_string(medianRatio[EML]));
    Check(windowCost[EML_WINDOW] >= 0.8, "eml with the window at >= 0.8 of eml without (median, wall clock): " +
                                             std::to_string(windowCost[EML_WINDOW]));
    Check(windowCost[WB_WINDOW] >= 0.8, "wb with the window at >= 0.8 of wb without (median, wall clock): " +
                                            std::to_string(windowCost[WB_WINDOW]));
    std::printf("%s\n", met ? "all targets met" : "some targets missed");
    return 0;
}
