// Benchmark of the converter core against Debian's nkf, glibc's iconv and a
// plain memory copy, on generated mail text in ISO-2022-JP, EUC-JP and
// Shift_JIS (the same mails in each code, at least 50 MB each); then its
// UTF-8 output against glibc's iconv(3) to UTF-8, in the same process.
//
//   bench_nkf [--mb N] [--runs N] [--dir PATH]
//
// Every converter runs N times (default 5) on each input; the table shows
// MB/s (10^6 bytes of input per second) as min/median/max.  nkf and iconv
// run as programs reading a file from the page cache and writing to
// /dev/null, so their figures include a process start (a millisecond or so
// against seconds of work).  The ratios set our minimum against their
// maximum.  Before timing, our output is checked against nkf's and iconv's
// for each input, so the figures compare equal work.
#include <iconv.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "nkfcore.h"
#include "nkfutf8.h"

namespace {

// --- Text generation ------------------------------------------------------

std::uint64_t Next(std::uint64_t* state) {
    std::uint64_t z = (*state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int Below(std::uint64_t* state, int bound) { return static_cast<int>(Next(state) % static_cast<std::uint64_t>(bound)); }
int Between(std::uint64_t* state, int lo, int hi) { return lo + Below(state, hi - lo + 1); }

// One piece of a mail: ASCII, or a run of JIS X 0208 cells (row, cell).
struct Cell {
    int row;
    int cell;
};

// Characters of ordinary Japanese prose, all defined in JIS X 0208 so that
// nkf and iconv take them the same way: mostly hiragana, then kanji of
// both levels, katakana and punctuation.
Cell ProseCell(std::uint64_t* s) {
    int k = Below(s, 100);
    if (k < 55) return Cell{4, Between(s, 1, 83)};
    if (k < 75) return Cell{Between(s, 16, 46), Between(s, 1, 94)};
    if (k < 85) return Cell{Between(s, 48, 83), Between(s, 1, 94)};
    if (k < 93) return Cell{5, Between(s, 1, 86)};
    static const int punctuation[] = {2, 3, 4, 5, 6, 9, 10, 25, 28, 42, 43, 54, 55, 58, 59};
    return Cell{1, punctuation[Below(s, sizeof punctuation / sizeof punctuation[0])]};
}

enum Code { CODE_JIS, CODE_EUC, CODE_SJIS, CODE_COUNT };

void AppendCell(std::string* out, Code code, const Cell& c) {
    int j1 = 0x20 + c.row;
    int j2 = 0x20 + c.cell;
    if (code == CODE_JIS) {
        *out += static_cast<char>(j1);
        *out += static_cast<char>(j2);
    } else if (code == CODE_EUC) {
        *out += static_cast<char>(j1 | 0x80);
        *out += static_cast<char>(j2 | 0x80);
    } else {
        int lead = ((j1 + 1) >> 1) + (j1 <= 0x5E ? 0x70 : 0xB0);
        int trail = (j1 & 1) ? j2 + 0x1F + (j2 >= 0x60 ? 1 : 0) : j2 + 0x7E;
        *out += static_cast<char>(lead);
        *out += static_cast<char>(trail);
    }
}

void AppendJapanese(std::string out[CODE_COUNT], const std::vector<Cell>& cells) {
    for (int code = 0; code < CODE_COUNT; ++code) {
        if (code == CODE_JIS) out[code] += "\x1b$B";
        for (const Cell& c : cells) AppendCell(&out[code], static_cast<Code>(code), c);
        if (code == CODE_JIS) out[code] += "\x1b(B";
    }
}

void AppendAscii(std::string out[CODE_COUNT], const std::string& text) {
    for (int code = 0; code < CODE_COUNT; ++code) out[code] += text;
}

std::string AsciiWord(std::uint64_t* s) {
    static const char* const words[] = {"Windows", "OK", "http://www.example.co.jp/", "1997", "10:30", "PC",
                                        "CD-ROM", "e-mail", "FAX", "03-1234-5678", "WinBiff", "MS-IM"};
    return words[Below(s, sizeof words / sizeof words[0])];
}

// Appends one mail in all three codes.
void AppendMail(std::uint64_t* s, int number, std::string out[CODE_COUNT]) {
    static const char* const charsets[CODE_COUNT] = {"ISO-2022-JP", "EUC-JP", "Shift_JIS"};
    char header[1024];
    std::snprintf(header, sizeof header,
                  "Received: from mail%d.example.co.jp (mail%d.example.co.jp [192.0.2.%d])\r\n"
                  "\tby mx.example.jp (8.8.5/3.5W) with ESMTP id K%08d\r\n"
                  "\tfor <user@example.jp>; Mon, 7 Apr 1997 %02d:%02d:%02d +0900\r\n"
                  "Message-Id: <199704%06d.K%08d@mail%d.example.co.jp>\r\n"
                  "From: sender%d@example.co.jp\r\n"
                  "To: user@example.jp\r\n"
                  "Date: Mon, 7 Apr 1997 %02d:%02d:%02d +0900\r\n"
                  "Subject: =?ISO-2022-JP?B?GyRCMnE1RCROJCpDTiRpJDsbKEI=?= #%d\r\n"
                  "MIME-Version: 1.0\r\n",
                  number % 9, number % 9, number % 250, number, number % 24, number % 60, (number * 7) % 60,
                  number, number, number % 9, number % 1000, number % 24, number % 60, (number * 7) % 60, number);
    AppendAscii(out, header);
    for (int code = 0; code < CODE_COUNT; ++code) {
        out[code] += std::string("Content-Type: text/plain; charset=") + charsets[code] + "\r\n";
    }
    AppendAscii(out, "Content-Transfer-Encoding: 7bit\r\n\r\n");
    int paragraphs = Between(s, 2, 6);
    for (int p = 0; p < paragraphs; ++p) {
        int lines = Between(s, 2, 8);
        for (int l = 0; l < lines; ++l) {
            int length = Between(s, 12, 36);  // characters per line
            std::vector<Cell> run;
            for (int k = 0; k < length; ++k) {
                if (Below(s, 40) == 0) {
                    if (!run.empty()) AppendJapanese(out, run);
                    run.clear();
                    AppendAscii(out, AsciiWord(s));
                } else {
                    run.push_back(ProseCell(s));
                }
            }
            if (!run.empty()) AppendJapanese(out, run);
            AppendAscii(out, "\r\n");
        }
        AppendAscii(out, "\r\n");
    }
    AppendAscii(out, "-- \r\nsender@example.co.jp\r\n");
}

// --- Timing ---------------------------------------------------------------

double Seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

struct Figures {
    double min;
    double median;
    double max;
};

Figures Summarise(std::vector<double> rates) {
    std::sort(rates.begin(), rates.end());
    return Figures{rates.front(), rates[rates.size() / 2], rates.back()};
}

bool WriteFile(const std::string& path, const std::string& data) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

bool ReadFile(const std::string& path, std::string* data) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    data->clear();
    char buffer[1 << 16];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) data->append(buffer, got);
    std::fclose(f);
    return true;
}

// MB/s of a shell command over `bytes` of input, `runs` times.
std::vector<double> TimeCommand(const std::string& command, std::size_t bytes, int runs, bool* ok) {
    std::vector<double> rates;
    for (int r = 0; r < runs; ++r) {
        auto t0 = std::chrono::steady_clock::now();
        int status = std::system(command.c_str());
        auto t1 = std::chrono::steady_clock::now();
        if (status != 0) *ok = false;
        rates.push_back(static_cast<double>(bytes) / 1e6 / Seconds(t0, t1));
    }
    return rates;
}

std::size_t FirstDifference(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    return i;
}

volatile unsigned char Sink;

// glibc's conversion of the whole text to UTF-8 in one call; false if it
// stops short.
bool IconvToUtf8(iconv_t cd, const std::string& in, std::vector<char>* out, std::size_t* length) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* from = const_cast<char*>(in.data());
    std::size_t fromLeft = in.size();
    char* to = out->data();
    std::size_t toLeft = out->size();
    if (iconv(cd, &from, &fromLeft, &to, &toLeft) == static_cast<std::size_t>(-1) || fromLeft != 0) return false;
    if (iconv(cd, nullptr, nullptr, &to, &toLeft) == static_cast<std::size_t>(-1)) return false;
    *length = out->size() - toLeft;
    return true;
}

// The UTF-8 output against iconv(3) from `from` to UTF-8 over one text,
// after checking that both give the same bytes; true if ours is at least
// 3x as fast (our minimum against iconv's maximum).
bool BenchUtf8(const std::string& in, const char* from, NkfCharsetHint label, int runs) {
    const std::size_t n = in.size();
    std::vector<char> out(NkfUtf8Capacity(n));
    iconv_t cd = iconv_open("UTF-8", from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        std::printf("  iconv_open(\"UTF-8\", \"%s\") failed\n", from);
        return false;
    }
    bool same = true;
    NkfUtf8Result ours = NkfCoreConvertToUtf8(out.data(), in.data(), n, NkfCoreParseOptions(""), NKF_HINT_NONE);
    std::string mine(out.data(), ours.length);
    std::size_t theirLength = 0;
    if (!IconvToUtf8(cd, in, &out, &theirLength)) {
        std::printf("  iconv from %s stopped short\n", from);
        same = false;
    } else if (mine != std::string(out.data(), theirLength)) {
        std::printf("  UTF-8 output differs from iconv's at byte %zu\n",
                    FirstDifference(mine, std::string(out.data(), theirLength)));
        same = false;
    }
    std::vector<double> plain, preferSjis, labelled, theirs;
    for (int r = 0; r < runs; ++r) {
        for (int kind = 0; kind < 3; ++kind) {
            NkfOptions options = NkfCoreParseOptions(kind == 1 ? "X" : "");
            auto t0 = std::chrono::steady_clock::now();
            NkfUtf8Result result = NkfCoreConvertToUtf8(out.data(), in.data(), n, options, kind == 2 ? label : NKF_HINT_NONE);
            auto t1 = std::chrono::steady_clock::now();
            Sink = static_cast<unsigned char>(out[result.length / 2]);
            (kind == 0 ? plain : kind == 1 ? preferSjis : labelled).push_back(static_cast<double>(n) / 1e6 / Seconds(t0, t1));
        }
        std::size_t length = 0;
        auto t0 = std::chrono::steady_clock::now();
        bool ok = IconvToUtf8(cd, in, &out, &length);
        auto t1 = std::chrono::steady_clock::now();
        Sink = static_cast<unsigned char>(out[length / 2]);
        same = same && ok;
        theirs.push_back(static_cast<double>(n) / 1e6 / Seconds(t0, t1));
    }
    iconv_close(cd);
    Figures a = Summarise(plain);
    Figures b = Summarise(preferSjis);
    Figures c = Summarise(labelled);
    Figures t = Summarise(theirs);
    std::string iconvName = std::string("iconv(3) ") + from + " -> UTF-8";
    std::printf("  %-34s %9.0f / %9.0f / %9.0f\n", "ours -> UTF-8, no option", a.min, a.median, a.max);
    std::printf("  %-34s %9.0f / %9.0f / %9.0f\n", "ours -> UTF-8, option X", b.min, b.median, b.max);
    std::printf("  %-34s %9.0f / %9.0f / %9.0f\n", "ours -> UTF-8, charset label hint", c.min, c.median, c.max);
    std::printf("  %-34s %9.0f / %9.0f / %9.0f\n", iconvName.c_str(), t.min, t.median, t.max);
    double ratio = std::min(a.min, std::min(b.min, c.min)) / t.max;
    bool met = same && ratio >= 3.0;
    std::printf("  UTF-8: our min / iconv max = %.1fx (target 3x): %s\n\n", ratio, met ? "met" : "NOT MET");
    return met;
}

}  // namespace

int main(int argc, char** argv) {
    double megabytes = 50;
    int runs = 5;
    std::string dir = "/tmp";
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string flag = argv[i];
        if (flag == "--mb") megabytes = std::atof(argv[i + 1]);
        else if (flag == "--runs") runs = std::atoi(argv[i + 1]);
        else if (flag == "--dir") dir = argv[i + 1];
    }
    if (runs < 1) runs = 1;
    const std::size_t target = static_cast<std::size_t>(megabytes * 1e6);

    std::string text[CODE_COUNT];
    std::uint64_t seed = 19970407;
    for (int number = 1; text[CODE_EUC].size() < target || text[CODE_JIS].size() < target; ++number) {
        AppendMail(&seed, number, text);
    }
    const char* const names[CODE_COUNT] = {"ISO-2022-JP", "EUC-JP", "Shift_JIS"};
    const char* const iconvFrom[CODE_COUNT] = {"ISO-2022-JP", "EUC-JP", "SHIFT_JIS"};

    std::printf("bench_nkf: %d runs each, MB/s = 10^6 input bytes per second, min / median / max\n\n", runs);
    bool allMet = true;
    for (int code = 0; code < CODE_COUNT; ++code) {
        const std::string& in = text[code];
        const std::size_t n = in.size();
        std::vector<char> out(n + 1);
        std::string path = dir + "/bench_nkf_" + std::to_string(code) + ".txt";
        std::string outPath = dir + "/bench_nkf_" + std::to_string(code) + ".out";
        if (!WriteFile(path, in)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 2;
        }

        // Same work: our output must equal nkf's and iconv's.
        std::size_t length = NkfCoreConvert(out.data(), in.data(), n, NkfCoreParseOptions("Xs"));
        std::string ours(out.data(), length);
        std::string theirs;
        bool toolsOk = true;
        if (std::system(("nkf -s -x -m0 < " + path + " > " + outPath).c_str()) != 0 || !ReadFile(outPath, &theirs)) {
            toolsOk = false;
        }
        if (ours != theirs) {
            std::printf("%s: output differs from nkf's at byte %zu\n", names[code], FirstDifference(ours, theirs));
            allMet = false;
        }
        std::string iconvCommand = std::string("iconv -f ") + iconvFrom[code] + " -t SHIFT_JIS";
        if (std::system((iconvCommand + " < " + path + " > " + outPath).c_str()) != 0 || !ReadFile(outPath, &theirs)) {
            toolsOk = false;
        }
        if (ours != theirs) {
            std::printf("%s: output differs from iconv's at byte %zu\n", names[code], FirstDifference(ours, theirs));
            allMet = false;
        }
        std::remove(outPath.c_str());
        if (!toolsOk) {
            std::fprintf(stderr, "nkf or iconv failed to run\n");
            return 2;
        }

        std::vector<double> oursS, oursX, copy;
        for (int r = 0; r < runs; ++r) {
            for (int option = 0; option < 2; ++option) {
                NkfOptions options = NkfCoreParseOptions(option ? "Xs" : "s");
                auto t0 = std::chrono::steady_clock::now();
                std::size_t len = NkfCoreConvert(out.data(), in.data(), n, options);
                auto t1 = std::chrono::steady_clock::now();
                Sink = static_cast<unsigned char>(out[len / 2]);
                (option ? oursX : oursS).push_back(static_cast<double>(n) / 1e6 / Seconds(t0, t1));
            }
            auto t0 = std::chrono::steady_clock::now();
            std::memcpy(out.data(), in.data(), n);
            auto t1 = std::chrono::steady_clock::now();
            Sink = static_cast<unsigned char>(out[n / 2]);
            copy.push_back(static_cast<double>(n) / 1e6 / Seconds(t0, t1));
        }
        bool ok = true;
        Figures nkf = Summarise(TimeCommand("nkf -s -x -m0 < " + path + " > /dev/null", n, runs, &ok));
        Figures iconv = Summarise(TimeCommand(iconvCommand + " < " + path + " > /dev/null", n, runs, &ok));
        std::remove(path.c_str());
        Figures s = Summarise(oursS);
        Figures x = Summarise(oursX);
        Figures m = Summarise(copy);

        std::printf("%s, %.1f MB\n", names[code], static_cast<double>(n) / 1e6);
        std::printf("  %-34s %9.0f / %9.0f / %9.0f\n", "ours, option s", s.min, s.median, s.max);
        std::printf("  %-34s %9.0f / %9.0f / %9.0f\n", "ours, option Xs", x.min, x.median, x.max);
        std::printf("  %-34s %9.0f / %9.0f / %9.0f\n", "nkf -s -x -m0", nkf.min, nkf.median, nkf.max);
        std::printf("  %-34s %9.0f / %9.0f / %9.0f\n", (iconvCommand).c_str(), iconv.min, iconv.median, iconv.max);
        std::printf("  %-34s %9.0f / %9.0f / %9.0f\n", "memcpy", m.min, m.median, m.max);
        double worst = std::min(s.min, x.min);
        static const NkfCharsetHint labels[CODE_COUNT] = {NKF_HINT_ISO2022JP, NKF_HINT_EUC_JP, NKF_HINT_SHIFT_JIS};
        double vsNkf = worst / nkf.max;
        double vsIconv = worst / iconv.max;
        bool met = ok && vsNkf >= 15.0 && vsIconv >= 3.0;
        allMet = allMet && met;
        std::printf("  our min / nkf max = %.1fx (target 15x), our min / iconv max = %.1fx (target 3x), "
                    "memcpy median / our median = %.1fx: %s\n\n",
                    vsNkf, vsIconv, m.median / std::min(s.median, x.median), met ? "met" : "NOT MET");
        allMet = BenchUtf8(in, iconvFrom[code], labels[code], runs) && allMet;
    }
    std::printf("targets %s\n", allMet ? "met for every input code" : "NOT met");
    return allMet ? 0 : 1;
}
